#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QAbstractButton;

// Starting the restoration engine "veltro.exe" and waiting for it.
namespace engine {

// The words of one engine run: "-i" image, the switch ("-gorex", "-crax",
// "-fox" or "-crease") and the parameter file, "-o" output. Each path is one
// word, whatever blanks it holds.
QStringList Arguments(const QString& strSwitch, const QString& strImagePath,
                      const QString& strParamFile, const QString& strOutputPath);

// The command line as a person would read it:
// "veltro.exe -i IMAGE -gorex PARAMS -o OUTPUT" (paths inserted as they stand).
QString CommandLine(const QString& strSwitch, const QString& strImagePath,
                    const QString& strParamFile, const QString& strOutputPath);

// Where "veltro.exe" is looked for: the running program's directory, then the
// current directory, then each directory of PATH. Returns the first
// executable found, or an empty string.
QString FindEngine();
// Tests may point the lookup at another program directory (empty restores
// the running program's own).
void SetProgramDirOverride(const QString& strDir);

// The operation switch among the words of a run ("-gorex", "-crax", "-fox"
// or "-crease"), or an empty string.
QString OperationSwitch(const QStringList& arguments);

// One line of the engine's standard output read as a progress report:
// "progress N", N a whole percentage 0..100. Blanks around the line and a
// CR before its LF are allowed. Any other line is not a report.
std::optional<int> ProgressFromLine(const QByteArray& line);

// What the status bar says while the engine runs the operation of this
// switch: "Removing blotches..." until the engine has reported (nPercent
// -1), then with its percentage: "Removing blotches... 45%".
QString ProgressText(const QString& strSwitch, int nPercent);

// Told how far a run has come: -1 once the engine has started, then each
// percentage it reports.
using ProgressHandler = std::function<void(int nPercent)>;

// Splits what the engine writes to its standard output, as it arrives, into
// progress reports (told to onProgress) and any other text (given to passOn;
// by default this program's standard output). Only a line short enough to be
// a report is held back until its end; a longer one is passed on as it
// comes, so that no output, however long its lines, is held without bound.
class OutputLines
{
public:
    using PassOn = std::function<void(const char* pData, qsizetype nLength)>;
    static constexpr int kMaxHeldLine = 256;

    explicit OutputLines(ProgressHandler onProgress, PassOn passOn = PassOn());
    void Feed(const QByteArray& data);
    // The output has ended: a last line without its LF counts all the same.
    void Finish();
    // How many bytes are held back (never more than kMaxHeldLine).
    qsizetype Held() const { return m_partial.size(); }

private:
    void EndLine();
    void Pass(const char* pData, qsizetype nLength) const;

    ProgressHandler m_onProgress;
    PassOn m_passOn;
    QByteArray m_partial;
    bool m_bPassing = false;   // in the middle of a line too long to hold
};

// How a run ended.
struct RunOutcome
{
    enum Kind {
        NotStarted,   // the engine could not be started ("CreateProcess failed." was shown)
        Succeeded,    // exit status 0
        Failed,       // another exit status
        Killed,       // ended by a signal it did not ask for
        Cancelled,    // ended on the user's request (Cancel or Escape)
    };
    Kind kind = NotStarted;
    int nExitStatus = 0;     // Succeeded, Failed
    int nSignal = 0;         // Killed
    QString strErrorLine;    // the last line the engine wrote to standard error
};

// How long a cancelled engine has to end after SIGTERM (its own temporary
// file is removed then) before it is killed with SIGKILL.
constexpr int kCancelGraceMs = 2000;

// Starts the engine with the given words (see Arguments) and waits until
// its process has ended, without a time limit. Returns 0 when it was started
// and has ended, whatever its exit status (see LastRunOutcome); 1 after
// showing "CreateProcess failed." when it could not be started. Meanwhile
// the program's windows keep repainting, a busy cursor shows, and no user
// input reaches the program: keys are held and typed once the run has ended,
// pointer input is dropped; Escape and a click on pCancelButton (if given)
// cancel the run: the engine is asked to end
// (SIGTERM) and killed (SIGKILL) if it has not after kCancelGraceMs. The
// engine's output is read as it arrives (never buffered without bound): its
// progress reports go to onProgress (if given), any other text on its
// standard output and error is passed on to the program's own.
int Run(const QStringList& arguments, const ProgressHandler& onProgress = ProgressHandler(),
        QAbstractButton* pCancelButton = nullptr);

// Keys typed during a run act once it has ended, or, while a TypeAheadScope
// exists, once the outermost scope ends: a command that runs the engine and
// then opens its result holds one throughout, so that the keys act on what
// the user saw coming, not on the way there.
class TypeAheadScope
{
public:
    TypeAheadScope();
    ~TypeAheadScope();
    TypeAheadScope(const TypeAheadScope&) = delete;
    TypeAheadScope& operator=(const TypeAheadScope&) = delete;
};

// How the most recent run ended.
RunOutcome LastRunOutcome();

// The last line the engine wrote to its standard error in the most recent
// run (empty if none).
QString LastEngineErrorLine();

// What the user is told about a run of the operation strSwitch that failed
// or was killed: "Foxing removal failed: OUTPUT was not written.", a blank
// line, then the engine's last error line (or, without one, its exit
// status), or the signal that ended it. Empty for the other outcomes.
QString FailureMessage(const RunOutcome& outcome, const QString& strSwitch, const QString& strOutputPath);

} // namespace engine
