#include "processing/EngineRunner.h"

#include "app/UiSeams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QAbstractButton>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace engine {

namespace {

const char* const kEngineName = "veltro.exe";
// A line longer than this is cut when kept as the last error line; the rest
// is still passed on to the terminal.
const int kMaxKeptLine = 4096;
// How long the program's own events may wait while the engine runs.
const int kWaitSliceMs = 25;

struct OperationWords {
    const char* pszSwitch;
    const char* pszText;
    const char* pszName;
};
const OperationWords kOperationWords[] = {
    {"-gorex", "Removing blotches...", "Blotch removal"},
    {"-crax", "Removing the crack...", "Crack removal"},
    {"-fox", "Removing foxing...", "Foxing removal"},
    {"-crease", "Removing the crease...", "Crease removal"},
};

QString g_strProgramDirOverride;
bool g_bProgramDirOverridden = false;
QString g_strLastErrorLine;
RunOutcome g_lastOutcome;

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

// Where keys typed during a run go once it has ended: to the widget that has
// the keyboard then (the run's result window, or a dialog a held key opened),
// as if they had been typed that moment. Each key is its own posted event, so
// a key that opens a modal dialog leaves the keys after it to that dialog.
class TypeAhead : public QObject
{
public:
    static constexpr QEvent::Type kReplay = QEvent::User;

    struct Replay : QEvent {
        Replay(QPointer<QObject> pFormer, QKeyEvent* pKey) : QEvent(kReplay), pTarget(std::move(pFormer)), key(pKey) {}
        QPointer<QObject> pTarget;   // where the key went when it was typed
        std::unique_ptr<QKeyEvent> key;
    };

    static TypeAhead* Instance()
    {
        static QPointer<TypeAhead> s_pInstance;
        if (s_pInstance == nullptr)
            s_pInstance = new TypeAhead(QCoreApplication::instance());
        return s_pInstance;
    }

protected:
    bool event(QEvent* pEvent) override
    {
        if (pEvent->type() != kReplay)
            return QObject::event(pEvent);
        auto* pReplay = static_cast<Replay*>(pEvent);
        QObject* pTarget = QApplication::focusWidget();
        if (pTarget == nullptr)
            pTarget = pReplay->pTarget;
        // Sent, not spontaneous: the application tries the key's shortcuts
        // first, as it does for keys straight from the keyboard.
        if (pTarget != nullptr)
            QCoreApplication::sendEvent(pTarget, pReplay->key.get());
        return true;
    }

private:
    using QObject::QObject;
};

// Keys typed during runs, waiting for the outermost TypeAheadScope to end.
int g_nTypeAheadScopes = 0;
std::vector<TypeAhead::Replay*> g_heldKeys;

void ReleaseHeldKeys()
{
    for (TypeAhead::Replay* pReplay : g_heldKeys)
        QCoreApplication::postEvent(TypeAhead::Instance(), pReplay);
    g_heldKeys.clear();
}

// While the engine runs no input acts on the program. Keys are held and typed
// once the run has ended (type-ahead, as before); Escape asks to cancel
// instead. Clicks, the wheel and closing a window are dropped, as a modal box
// would: what a click aimed at may not be there when the run ends. Only the
// Cancel button takes the pointer. Windows dispatch the pointer to the widget
// under it, so the pointer is judged by that widget, not by its window.
class InputHold : public QObject
{
public:
    explicit InputHold(QAbstractButton* pCancel) : m_pCancel(pCancel)
    {
        if (m_pCancel != nullptr)
            QObject::connect(m_pCancel, &QAbstractButton::clicked, this, [this] { m_bCancel = true; });
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputHold() override
    {
        QCoreApplication::instance()->removeEventFilter(this);
        for (auto& held : m_keys)
            g_heldKeys.push_back(new TypeAhead::Replay(held.first, held.second.release()));
        if (g_nTypeAheadScopes == 0)
            ReleaseHeldKeys();
    }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

    bool CancelRequested() const { return m_bCancel; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        const bool bCancelButton = m_pCancel != nullptr && pWatched == m_pCancel;
        switch (pEvent->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* pKey = static_cast<QKeyEvent*>(pEvent);
            if (pKey->key() == Qt::Key_Escape) {
                m_bCancel = m_bCancel || pEvent->type() == QEvent::KeyPress;
            } else {
                m_keys.emplace_back(pWatched, static_cast<QKeyEvent*>(pKey->clone()));
            }
            return Drop(pEvent);
        }
        case QEvent::ShortcutOverride:
            // Taken, so that no shortcut fires now; the key itself follows.
            return Drop(pEvent);
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return Drop(pEvent);
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            // A press reaching a window would move the keyboard focus before
            // any widget sees it.
            if (!pWatched->isWidgetType())
                return !OverCancel(static_cast<QMouseEvent*>(pEvent)) && Drop(pEvent);
            return !bCancelButton && Drop(pEvent);
        case QEvent::MouseMove:
        case QEvent::HoverEnter:
        case QEvent::HoverMove:
        case QEvent::HoverLeave:
        case QEvent::ToolTip:
        case QEvent::StatusTip:
            return pWatched->isWidgetType() && !bCancelButton && Drop(pEvent);
        case QEvent::Enter:
        case QEvent::Leave:
            // The busy cursor everywhere but over Cancel, which can be used.
            if (bCancelButton && QApplication::overrideCursor() != nullptr)
                QApplication::changeOverrideCursor(pEvent->type() == QEvent::Enter ? Qt::ArrowCursor
                                                                                   : Qt::WaitCursor);
            return false;
        case QEvent::Close:
            // The window manager's close box; the program's own closing passes.
            if (!pEvent->spontaneous())
                return false;
            pEvent->ignore();
            return true;
        default:
            return false;
        }
    }

private:
    bool OverCancel(const QMouseEvent* pEvent) const
    {
        return m_pCancel != nullptr &&
               QApplication::widgetAt(pEvent->globalPosition().toPoint()) == m_pCancel.data();
    }
    static bool Drop(QEvent* pEvent)
    {
        pEvent->accept();   // taken: it goes no further, not even to a parent
        return true;
    }

    QPointer<QAbstractButton> m_pCancel;
    bool m_bCancel = false;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QKeyEvent>>> m_keys;
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

QString OperationName(const QString& strSwitch)
{
    for (const OperationWords& words : kOperationWords)
        if (strSwitch == QLatin1String(words.pszSwitch))
            return QString::fromLatin1(words.pszName);
    return QStringLiteral("The restoration");
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

QString OperationSwitch(const QStringList& arguments)
{
    // The words come in pairs: a switch, then its path.
    for (int i = 0; i + 1 < arguments.size(); i += 2)
        for (const OperationWords& words : kOperationWords)
            if (arguments.at(i) == QLatin1String(words.pszSwitch))
                return arguments.at(i);
    return QString();
}

std::optional<int> ProgressFromLine(const QByteArray& line)
{
    static const QByteArray kWord("progress");
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith(kWord))
        return std::nullopt;
    qsizetype i = kWord.size();
    if (i >= trimmed.size() || (trimmed.at(i) != ' ' && trimmed.at(i) != '\t'))
        return std::nullopt;
    while (trimmed.at(i) == ' ' || trimmed.at(i) == '\t')
        ++i;   // the line is trimmed: a digit or another character ends the blanks
    int nPercent = 0;
    for (; i < trimmed.size(); ++i) {
        const char c = trimmed.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        nPercent = nPercent * 10 + (c - '0');
        if (nPercent > 100)
            return std::nullopt;
    }
    return nPercent;
}

QString ProgressText(const QString& strSwitch, int nPercent)
{
    QString strText = QStringLiteral("Restoring...");
    for (const OperationWords& words : kOperationWords)
        if (strSwitch == QLatin1String(words.pszSwitch))
            strText = QString::fromLatin1(words.pszText);
    if (nPercent >= 0)
        strText += QStringLiteral(" %1%").arg(nPercent);
    return strText;
}

OutputLines::OutputLines(ProgressHandler onProgress, PassOn passOn)
    : m_onProgress(std::move(onProgress)), m_passOn(std::move(passOn))
{
}

void OutputLines::Feed(const QByteArray& data)
{
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        const char* pPiece = data.constData() + start;
        const qsizetype nLength = end - start;
        if (m_bPassing || m_partial.size() + nLength > kMaxHeldLine) {
            Pass(m_partial.constData(), m_partial.size());
            Pass(pPiece, nLength);
            m_partial.clear();
            // The rest of a long line follows it straight through.
            m_bPassing = newline < 0;
        } else {
            m_partial.append(pPiece, nLength);
            if (newline >= 0)
                EndLine();
        }
        start = end;
    }
}

void OutputLines::Finish()
{
    if (!m_partial.isEmpty())
        EndLine();
    m_bPassing = false;
    if (!m_passOn)
        std::fflush(stdout);
}

void OutputLines::EndLine()
{
    const std::optional<int> percent = ProgressFromLine(m_partial);
    if (!percent)
        Pass(m_partial.constData(), m_partial.size());
    else if (m_onProgress)
        m_onProgress(*percent);
    m_partial.clear();
}

void OutputLines::Pass(const char* pData, qsizetype nLength) const
{
    if (nLength <= 0)
        return;
    if (m_passOn)
        m_passOn(pData, nLength);
    else
        std::fwrite(pData, 1, static_cast<size_t>(nLength), stdout);
}

int Run(const QStringList& arguments, const ProgressHandler& onProgress, QAbstractButton* pCancelButton)
{
    g_strLastErrorLine.clear();
    g_lastOutcome = RunOutcome();

    const QString strProgram = FindEngine();
    if (strProgram.isEmpty())
        return CannotStart();

    // Declared before the process, which may still deliver output while it
    // is destroyed.
    ErrorLines err;
    OutputLines out(onProgress);

    // A local object: should anything unwind this function while the engine
    // runs, the destructor kills the engine and reaps it.
    QProcess process;
    process.setProgram(strProgram);
    process.setArguments(arguments);
    // The engine needs no input; it must never wait for a terminal.
    process.setStandardInputFile(QProcess::nullDevice());
    // Both channels are read as they arrive, so that neither pipe can fill.
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [&] { out.Feed(process.readAllStandardOutput()); });
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [&] { err.Feed(process.readAllStandardError()); });

    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return CannotStart();
    BusyCursor busy;
    // With widgets, input is dropped but Escape and Cancel; without, it
    // stays queued until the engine has ended.
    std::optional<InputHold> hold;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        hold.emplace(pCancelButton);
    if (onProgress)
        onProgress(-1);

    bool bCancelled = false;
    QElapsedTimer sinceTerminate;
    if (QCoreApplication::instance()) {
        // Windows keep repainting and timers run. The process is waited on
        // in short slices rather than in a blocking event loop. Unlike a
        // nested QEventLoop, this wait is not ended by a quit request: the
        // run is finished first, then the application quits.
        const QEventLoop::ProcessEventsFlags flags =
            hold ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
        while (process.state() != QProcess::NotRunning) {
            QCoreApplication::processEvents(flags);
            if (hold && hold->CancelRequested() && !bCancelled) {
                // The engine removes its temporary file on SIGTERM; nothing
                // else is removed here.
                bCancelled = true;
                process.terminate();
                sinceTerminate.start();
            } else if (bCancelled && sinceTerminate.isValid() && sinceTerminate.elapsed() >= kCancelGraceMs) {
                process.kill();
                sinceTerminate.invalidate();
            }
            process.waitForFinished(kWaitSliceMs);
        }
    } else {
        process.waitForFinished(-1);
    }

    out.Feed(process.readAllStandardOutput());
    out.Finish();
    err.Feed(process.readAllStandardError());
    err.Finish();

    RunOutcome& outcome = g_lastOutcome;
    outcome.strErrorLine = g_strLastErrorLine;
    const bool bExited = process.exitStatus() == QProcess::NormalExit;
    if (bExited && process.exitCode() == 0) {
        // Done before the cancel took effect: the result is there.
        outcome.kind = RunOutcome::Succeeded;
    } else if (bCancelled) {
        outcome.kind = RunOutcome::Cancelled;
    } else if (bExited) {
        outcome.kind = RunOutcome::Failed;
        outcome.nExitStatus = process.exitCode();
    } else {
        // A crash exit's code is the signal that ended the process.
        outcome.kind = RunOutcome::Killed;
        outcome.nSignal = process.exitCode();
    }
    return 0;
}

TypeAheadScope::TypeAheadScope()
{
    ++g_nTypeAheadScopes;
}

TypeAheadScope::~TypeAheadScope()
{
    if (--g_nTypeAheadScopes == 0)
        ReleaseHeldKeys();
}

RunOutcome LastRunOutcome()
{
    return g_lastOutcome;
}

QString LastEngineErrorLine()
{
    return g_strLastErrorLine;
}

QString FailureMessage(const RunOutcome& outcome, const QString& strSwitch, const QString& strOutputPath)
{
    QString strReason;
    if (outcome.kind == RunOutcome::Failed) {
        strReason = !outcome.strErrorLine.isEmpty()
                        ? outcome.strErrorLine
                        : QStringLiteral("The engine ended with exit status %1.").arg(outcome.nExitStatus);
    } else if (outcome.kind == RunOutcome::Killed) {
        strReason = QStringLiteral("The engine was ended by signal %1 (%2).")
                        .arg(outcome.nSignal)
                        .arg(QString::fromLocal8Bit(strsignal(outcome.nSignal)));
        if (!outcome.strErrorLine.isEmpty())
            strReason += QStringLiteral("\nIts last message: ") + outcome.strErrorLine;
    } else {
        return QString();
    }
    return QStringLiteral("%1 failed: %2 was not written.\n\n%3")
        .arg(OperationName(strSwitch), strOutputPath, strReason);
}

} // namespace engine
