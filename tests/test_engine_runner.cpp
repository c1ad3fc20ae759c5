#include "app/UiSeams.h"
#include "processing/EngineRunner.h"
#include "processing/ParamFile.h"
#include "support/TestEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using testengine::Recorder;
using testengine::ScopedCurrentDir;
using testengine::ScopedEnv;

namespace {

void MakeExecutable(const QString& strPath, const QByteArray& content)
{
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

// Runs f with this process's standard output (where the engine's is passed on) sent to /dev/null.
template <typename F>
void WithQuietStdout(F f)
{
    std::fflush(stdout);
    const int nSaved = dup(STDOUT_FILENO), nNull = open("/dev/null", O_WRONLY);
    dup2(nNull, STDOUT_FILENO);
    close(nNull);
    f();
    std::fflush(stdout);
    dup2(nSaved, STDOUT_FILENO);
    close(nSaved);
}

class EngineRunner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testengine::Application();
        engine::SetProgramDirOverride(QString());
        ui::SetMessageHandler([this](const QString& strText) { m_messages << strText; });
        ASSERT_TRUE(m_work.isValid());
    }
    void TearDown() override
    {
        ui::SetMessageHandler(nullptr);
        engine::SetProgramDirOverride(QString());
    }

    QString Work(const QString& strName) const { return m_work.filePath(strName); }
    bool Written(const char* pszName) const { return QFileInfo::exists(Work(QLatin1String(pszName))); }

    // The words of a run on an image in the work directory, with a parameter file written for it.
    QStringList Words(const char* pszSwitch, const QString& strOutputName)
    {
        const QString strParams = Work(QStringLiteral("params.log"));
        EXPECT_TRUE(paramfile::Write(strParams, paramfile::IntLine("DIST", 7), false, nullptr));
        return engine::Arguments(QString::fromLatin1(pszSwitch), Work(QStringLiteral("in.jpg")), strParams,
                                 Work(strOutputName));
    }

    QTemporaryDir m_work;
    QStringList m_messages;
};

} // namespace

// The engine is looked for beside the program, then in the current directory, then on PATH; neither a file without
// execute permission nor a directory counts. None found, or one the system refuses to start: one message, shown
// without the busy cursor, and no progress told.
TEST_F(EngineRunner, LookupOrderAndEnginesThatCannotBeStarted)
{
    Recorder record;
    QTemporaryDir programDir, currentDir, pathA, pathB;
    engine::SetProgramDirOverride(programDir.path());
    ScopedCurrentDir cwd(currentDir.path());
    ScopedEnv path("PATH", QFile::encodeName(pathA.path() + ':' + pathB.path()));
    bool bBusyDuringMessage = false, bTold = false;
    ui::SetMessageHandler([&](const QString& strText) {
        m_messages << strText;
        bBusyDuringMessage = bBusyDuringMessage || QApplication::overrideCursor() != nullptr;
    });
    const auto expectNotStarted = [&] {
        m_messages.clear();
        EXPECT_EQ(engine::Run(Words("-gorex", QStringLiteral("o.jpg")), [&](int) { bTold = true; }), 1);
        EXPECT_EQ(m_messages, QStringList({"CreateProcess failed."}));
    };
    const QString strBeside = programDir.filePath(QStringLiteral("veltro.exe"));
    QFile garbage(strBeside);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly) && garbage.write("\x7f" "ELF garbage") > 0);
    garbage.close();
    ASSERT_TRUE(QDir(pathA.path()).mkdir(QStringLiteral("veltro.exe")));
    EXPECT_EQ(engine::FindEngine(), QString());
    expectNotStarted();
    MakeExecutable(pathB.filePath(QStringLiteral("veltro.exe")), "#!/bin/sh\n");
    EXPECT_EQ(engine::FindEngine(), pathB.filePath(QStringLiteral("veltro.exe")));
    MakeExecutable(currentDir.filePath(QStringLiteral("veltro.exe")), "#!/bin/sh\n");
    EXPECT_EQ(QFileInfo(engine::FindEngine()).canonicalFilePath(),
              QFileInfo(currentDir.filePath(QStringLiteral("veltro.exe"))).canonicalFilePath());
    ASSERT_TRUE(garbage.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_EQ(engine::FindEngine(), strBeside);
    expectNotStarted();
    EXPECT_FALSE(record.WasRun());
    EXPECT_FALSE(bTold);
    EXPECT_FALSE(bBusyDuringMessage);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A run that started and ended returns 0 whatever the engine did; how it ended is kept with the engine's last error
// line (a new run forgets both), and its progress reports are told as they come, after a first one without a
// percentage.
TEST_F(EngineRunner, OutcomeOfEachRunIsKept)
{
    using Kind = engine::RunOutcome::Kind;
    const QString strFailLine =
        QStringLiteral("veltro.exe: test failure: %1: asked to fail").arg(Work(QStringLiteral("out put.jpg")));
    const struct {
        const char *pszMode, *pszProgress, *pszOutput;
        bool bWritten;
        Kind kind;
        int nCode;   // exit status or signal
        QString strLastLine;
        std::vector<int> reports;
    } cases[] = {
        {"nooutput", "", "n.jpg", false, Kind::Succeeded, 0, QString(), {-1}},
        {"crash", "", "c.jpg", false, Kind::Killed, SIGABRT, QString(), {-1}},
        {"fail", "", "out put.jpg", false, Kind::Failed, 3, strFailLine, {-1}},
        {"exit4", "", "e.jpg", false, Kind::Failed, 4, QString(), {-1}},
        // Far more output than a pipe holds, on both channels: read as it arrives, so the engine never stalls.
        {"chatty", "", "t.jpg", true, Kind::Succeeded, 0, QStringLiteral("veltro.exe: last line"), {-1}},
        {"", "0,40,x,100", "d.jpg", true, Kind::Succeeded, 0, QString(), {-1, 0, 40, 100}},
        // Megabytes without a line end, then a huge line: they hide no report after them.
        {"flood", "", "f.jpg", true, Kind::Succeeded, 0, QString(), {-1, 99}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszMode);
        Recorder record(c.pszMode);
        ScopedEnv progress("VELTRO_TEST_PROGRESS", c.pszProgress);
        std::vector<int> reports;
        const QStringList words = Words("-crax", QString::fromLatin1(c.pszOutput));
        WithQuietStdout([&] { EXPECT_EQ(engine::Run(words, [&](int n) { reports.push_back(n); }), 0); });
        EXPECT_TRUE(record.WasRun());
        EXPECT_EQ(Written(c.pszOutput), c.bWritten);
        const engine::RunOutcome outcome = engine::LastRunOutcome();
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(c.kind == Kind::Killed ? outcome.nSignal : outcome.nExitStatus, c.nCode);
        EXPECT_EQ(outcome.strErrorLine, c.strLastLine);
        EXPECT_EQ(engine::LastEngineErrorLine().toStdString(), c.strLastLine.toStdString());
        EXPECT_EQ(reports, c.reports);
    }
    EXPECT_TRUE(m_messages.isEmpty());
}

// What the user reads about a run that failed (more in test_blotch.cpp): the operation, the output, the signal that
// ended the engine and its last words. Success and Cancel say nothing.
TEST(EngineFailureMessage, NamesTheOutputTheSignalAndTheLastWords)
{
    using Kind = engine::RunOutcome::Kind;
    const QString strLine = QStringLiteral("veltro.exe: progress so far");
    EXPECT_EQ(engine::FailureMessage({Kind::Killed, 0, 9, strLine}, "-crease", "/p/a.jpg"),
              "Crease removal failed: /p/a.jpg was not written.\n\nThe engine was ended by signal 9 (Killed).\n"
              "Its last message: " + strLine);
    for (Kind kind : {Kind::Succeeded, Kind::Cancelled, Kind::NotStarted})
        EXPECT_EQ(engine::FailureMessage({kind, 0, 0, strLine}, "-fox", "/p/a.jpg"), QString());
}

// During a run the user's keys wait for its end and clicks go nowhere; Escape or the Cancel button end the engine
// (SIGTERM, or SIGKILL after the grace when it ignores that) and the run counts as cancelled, with nothing written.
TEST_F(EngineRunner, EscapeOrCancelEndTheEngineKeysWaitClicksAreDropped)
{
    QWidget window;
    auto* pEdit = new QLineEdit(&window);
    auto* pOther = new QPushButton(QStringLiteral("Other"), &window);
    auto* pCancel = new QPushButton(QStringLiteral("Cancel"), &window);
    pCancel->setFocusPolicy(Qt::NoFocus);   // as the program's: the keyboard stays where it was
    auto* pLayout = new QVBoxLayout(&window);
    for (QWidget* p : {static_cast<QWidget*>(pEdit), static_cast<QWidget*>(pOther), static_cast<QWidget*>(pCancel)})
        pLayout->addWidget(p);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    pEdit->setFocus();
    int nOtherClicks = 0;
    QObject::connect(pOther, &QPushButton::clicked, [&] { ++nOtherClicks; });

    const struct { const char* pszMode; bool bEscape; int nMinMs; } cases[] = {
        {"sleep", false, 0}, {"sleep", true, 0}, {"hang", true, engine::kCancelGraceMs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszMode) + (c.bEscape ? " Escape" : " Cancel"));
        Recorder record(c.pszMode);
        pEdit->clear();
        // Clicks come through the window, as the platform delivers them (a press would move the focus first).
        const auto click = [&](QWidget* p) {
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, p->mapTo(&window, p->rect().center()));
        };
        QTimer::singleShot(100, [&] {
            QTest::keyClicks(pEdit, QStringLiteral("typed"));
            click(pOther);
            if (c.bEscape)
                QTest::keyClick(pEdit, Qt::Key_Escape);
            else
                click(pCancel);
        });
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(engine::Run(Words("-fox", QStringLiteral("x.jpg")), engine::ProgressHandler(), pCancel), 0);
        EXPECT_GE(timer.elapsed(), c.nMinMs);
        EXPECT_EQ(engine::LastRunOutcome().kind, engine::RunOutcome::Cancelled);
        EXPECT_TRUE(record.WasRun());
        EXPECT_FALSE(Written("x.jpg"));
        EXPECT_TRUE(pEdit->text().isEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(pEdit->text(), QStringLiteral("typed"));
        EXPECT_EQ(nOtherClicks, 0);
    }
    // Outside a run the input arrives again.
    pEdit->clear();
    QTest::keyClicks(pEdit, QStringLiteral("ok"));
    EXPECT_EQ(pEdit->text(), QStringLiteral("ok"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(m_messages.isEmpty());
}

// While the engine runs the program keeps handling its own events under the busy cursor. Quitting then neither cuts
// the wait short nor leaves the engine behind: the run ends first, then the program's loop; the cursor is restored.
TEST_F(EngineRunner, EventsHandledUnderTheBusyCursorAndQuitWaitsForTheEngine)
{
    Recorder record("sleep");
    int nResult = -1;
    bool bBusy = false, bOutputWhenRunReturned = false;
    QEventLoop mainLoop;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            bBusy = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            QCoreApplication::exit(0);
        });
        nResult = engine::Run(Words("-crease", QStringLiteral("q.jpg")));
        bOutputWhenRunReturned = Written("q.jpg");
    });
    EXPECT_EQ(mainLoop.exec(), 0);
    EXPECT_EQ(nResult, 0);
    EXPECT_TRUE(bBusy);
    EXPECT_TRUE(bOutputWhenRunReturned);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- Progress reports on the engine's standard output ------------------------

TEST(EngineProgress, OnlyWellFormedReportsAreRead)
{
    const struct { const char* pszLine; int nPercent; } cases[] = {   // -1: not a report
        {"progress 0", 0}, {"progress 100", 100}, {"progress 45\n", 45}, {"progress 45\r\n", 45},
        {"  progress\t7  \n", 7}, {"progress   007", 7}, {"progress 101", -1},
        {"progress 99999999999999999999", -1}, {"progress -1", -1}, {"progress +5", -1}, {"progress 4x", -1},
        {"progress 4 5", -1}, {"progress 1e2", -1}, {"progress", -1}, {"progress \r\n", -1}, {"progress5", -1},
        {"Progress 5", -1}, {"xprogress 5", -1}, {"", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::ProgressFromLine(QByteArray(c.pszLine)).value_or(-1), c.nPercent) << '"' << c.pszLine << '"';
    // The switch is found among the pairs, whatever the paths are called.
    EXPECT_EQ(engine::OperationSwitch(engine::Arguments("-crease", "-fox", "-gorex", "-crax")), "-crease");
    EXPECT_EQ(engine::OperationSwitch({"-i", "in.jpg", "-o", "out.jpg"}), QString());
}

// Reports are found however the output is cut; other text passes on unchanged; an overlong line is never held.
TEST(EngineProgress, OutputSplitIntoReportsAndTextPassedOn)
{
    const QByteArray output("progress 5\nhello\r\nprogress 50\r\n  progress 60 \nprogress 200\nprogress 70");
    for (int nCut = 0; nCut <= output.size(); ++nCut) {
        std::vector<int> reports;
        QByteArray passed;
        engine::OutputLines lines([&](int n) { reports.push_back(n); },
                                  [&](const char* p, qsizetype n) { passed.append(p, n); });
        lines.Feed(output.left(nCut));
        lines.Feed(output.mid(nCut));
        lines.Finish();
        EXPECT_EQ(reports, (std::vector<int>{5, 50, 60, 70})) << nCut;
        EXPECT_EQ(passed, QByteArray("hello\r\nprogress 200\n")) << nCut;
    }

    std::vector<int> reports;
    qsizetype nPassed = 0;
    engine::OutputLines lines([&](int n) { reports.push_back(n); }, [&](const char*, qsizetype n) { nPassed += n; });
    const QByteArray block(4096, '.');
    for (int i = 0; i < 256; ++i) {
        lines.Feed(block);
        ASSERT_LE(lines.Held(), engine::OutputLines::kMaxHeldLine);
    }
    // The end of the long line is no report, the next line is.
    lines.Feed("progress 7\nprogress 8\n");
    lines.Finish();
    EXPECT_EQ(reports, std::vector<int>{8});
    EXPECT_EQ(nPassed, 256 * 4096 + qsizetype(sizeof "progress 7\n") - 1);
}
