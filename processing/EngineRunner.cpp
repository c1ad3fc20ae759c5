#include "processing/EngineRunner.h"

#include "app/UiSeams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace engine {

namespace {

const char* const kEngineName = "veltro.exe";
// A line longer than this is cut when kept as the last error line; the rest
// is still passed on to the terminal.
const int kMaxKeptLine = 4096;
// How long the program's own events may wait while the engine runs.
const int kWaitSliceMs = 25;

QString g_strProgramDirOverride;
bool g_bProgramDirOverridden = false;
QString g_strLastErrorLine;

// Takes what the engine writes to its standard error as it arrives: passes
// it on to this program's standard error (useful when the program was
// started from a terminal) and keeps the last line.
class ErrorLines
{
public:
    void Feed(const QByteArray& data)
    {
        std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), stderr);
        for (char c : data) {
            if (c == '\n') {
                EndLine();
            } else if (m_partial.size() < kMaxKeptLine) {
                m_partial += c;
            }
        }
    }

    void Finish()
    {
        std::fflush(stderr);
        if (!m_partial.isEmpty())
            EndLine();
    }

private:
    void EndLine()
    {
        if (m_partial.endsWith('\r'))
            m_partial.chop(1);
        if (!m_partial.isEmpty())
            g_strLastErrorLine = QString::fromLocal8Bit(m_partial);
        m_partial.clear();
    }

    QByteArray m_partial;
};

// The busy cursor for as long as the engine runs, also on early returns.
class BusyCursor
{
public:
    BusyCursor() : m_bSet(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (m_bSet)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor()
    {
        if (m_bSet)
            QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool m_bSet;
};

QString ExecutableIn(const QString& strDir)
{
    if (strDir.isEmpty())
        return QString();
    const QFileInfo info(QDir(strDir), QString::fromLatin1(kEngineName));
    if (info.isFile() && info.isExecutable())
        return info.absoluteFilePath();
    return QString();
}

int CannotStart()
{
    ui::ShowMessage(QStringLiteral("CreateProcess failed."));
    return 1;
}

} // namespace

QStringList Arguments(const QString& strSwitch, const QString& strImagePath,
                      const QString& strParamFile, const QString& strOutputPath)
{
    return {QStringLiteral("-i"), strImagePath, strSwitch, strParamFile, QStringLiteral("-o"), strOutputPath};
}

QString CommandLine(const QString& strSwitch, const QString& strImagePath,
                    const QString& strParamFile, const QString& strOutputPath)
{
    // Concatenated rather than QString::arg(), which would also replace a
    // "%1" that happens to stand in one of the paths.
    return QString::fromLatin1(kEngineName) + QStringLiteral(" -i ") + strImagePath + QLatin1Char(' ')
           + strSwitch + QLatin1Char(' ') + strParamFile + QStringLiteral(" -o ") + strOutputPath;
}

QString FindEngine()
{
    QStringList dirs;
    if (g_bProgramDirOverridden)
        dirs << g_strProgramDirOverride;
    else if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath();
    dirs << QDir::currentPath();
    const QString strPath = QString::fromLocal8Bit(qgetenv("PATH"));
    // An empty PATH entry traditionally means the current directory, which
    // has already been searched.
    dirs << strPath.split(QLatin1Char(':'), Qt::SkipEmptyParts);

    for (const QString& strDir : dirs) {
        const QString strFound = ExecutableIn(strDir);
        if (!strFound.isEmpty())
            return strFound;
    }
    return QString();
}

void SetProgramDirOverride(const QString& strDir)
{
    g_strProgramDirOverride = strDir;
    g_bProgramDirOverridden = !strDir.isEmpty();
}

int Run(const QStringList& arguments)
{
    g_strLastErrorLine.clear();

    const QString strProgram = FindEngine();
    if (strProgram.isEmpty())
        return CannotStart();

    // Declared before the process, which may still deliver output while it
    // is destroyed.
    ErrorLines err;

    // A local object: should anything unwind this function while the engine
    // runs, the destructor kills the engine and reaps it.
    QProcess process;
    process.setProgram(strProgram);
    process.setArguments(arguments);
    // The engine needs no input; it must never wait for a terminal.
    process.setStandardInputFile(QProcess::nullDevice());
    // The engine's standard output holds nothing the program needs: it goes
    // straight where the program's own goes, without a pipe that could fill.
    process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [&] { err.Feed(process.readAllStandardError()); });

    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return CannotStart();
    BusyCursor busy;

    if (QCoreApplication::instance()) {
        // Windows keep repainting and timers run, but user input stays
        // queued until the engine has ended. The process is waited on in
        // short slices rather than in a blocking event loop, which queued
        // input could keep waking. Unlike a nested QEventLoop, this wait is
        // not ended by a quit request: the run is finished first, then the
        // application quits.
        while (process.state() != QProcess::NotRunning) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            process.waitForFinished(kWaitSliceMs);
        }
    } else {
        process.waitForFinished(-1);
    }

    err.Feed(process.readAllStandardError());
    err.Finish();
    return 0;
}

QString LastEngineErrorLine()
{
    return g_strLastErrorLine;
}

} // namespace engine
