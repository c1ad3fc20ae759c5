// Processing > Blotch and Foxing end to end, with the test engine standing in
// for "veltro.exe", and the mask lookup Blotch relies on.
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "processing/EngineRunner.h"
#include "processing/FileFind.h"

#include <QDir>
#include <QAbstractButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// ---------------------------------------------------------------- mask lookup

TEST(FileFindTest, MatchesStarAndQuestionMarkOnly)
{
    const struct
    {
        const char* pszName;
        const char* pszPattern;
        bool bMatch;
    } cases[] = {
        {"abc", "a?c", true},      {"ac", "a?c", false},        {"ac", "a*c", true},
        {"", "*", true},           {"abcbd", "a*b?d", false},   {"abcbxd", "a*b?d", true},
        {"a", "a*?", false},       {"ABC", "a*", false},        {"a[b]c", "a[b]c", true},
        {"abc", "a[b]c", false},   {"mask.jpg.bak", "*.jpg", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(filefind::MatchesPattern(QString::fromLatin1(c.pszName), QString::fromLatin1(c.pszPattern)),
                  c.bMatch)
            << c.pszName << " ~ " << c.pszPattern;
}

TEST(FileFindTest, FindsExistingEntriesAndPatternMatchesInTheLastComponent)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QDir dir(tmp.path());
    for (const char* pszFile : {"portrait.jpg", "portrait_mask.jpg", ".hidden", "sub/x.jpg"}) {
        QDir().mkpath(QFileInfo(dir.filePath(pszFile)).absolutePath());
        ASSERT_TRUE(uitest::WriteFile(dir.filePath(pszFile), {}));
    }
    ASSERT_TRUE(dir.mkpath(QStringLiteral("empty")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));

    const struct
    {
        QString strPath;
        bool bFound;
    } cases[] = {
        {QString(), false},
        {dir.filePath("missing.jpg"), false},
        {tmp.path(), true},                   // a folder
        {dir.filePath("dangling"), true},     // an entry, though it leads nowhere
        {dir.filePath("portrait_m*.jpg"), true},
        {dir.filePath(".hid*"), true},
        {dir.filePath("P*"), false},          // letter case counts
        {dir.filePath("empty/*"), false},     // "." and ".." are not entries
        {dir.filePath("nowhere/*"), false},
        {dir.filePath("s*b/x.jpg"), false},   // only the last component is a pattern
        {dir.filePath("sub/x.jpg"), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(filefind::FindFile(c.strPath), c.bFound) << qPrintable(c.strPath);

    // A bare pattern searches the current directory.
    testengine::ScopedCurrentDir cwd(tmp.path());
    EXPECT_TRUE(filefind::FindFile(QStringLiteral("portrait_*")));
    EXPECT_FALSE(filefind::FindFile(QStringLiteral("nothing_*")));
}

// ---------------------------------------------------------------- the command

using namespace uitest;

QByteArray BlotchLog(const char* pszDist, const char* pszCost, const QString& strMask)
{
    return QByteArray("DIST\t") + pszDist + "\nCOST\t" + pszCost + "\nMASKFILE\t" + QFile::encodeName(strMask) + "\n";
}

class BlotchTest : public AppFixture
{
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        // Blanks in the paths: each still reaches the engine as one word.
        m_strPhotos = m_tempDir.filePath(QStringLiteral("my photos"));
        m_strImage = MakeJpeg(QStringLiteral("my photos/old portrait.jpg"), 40, 30, QColor(90, 140, 200));
        m_strMask = MakeJpeg(QStringLiteral("my photos/old portrait_mask.jpg"), 40, 30, Qt::black);
        m_strOutput = m_strPhotos + QStringLiteral("/old portrait_BLOTCH.jpg");
        m_pView = OpenImage(m_strImage);
        ASSERT_NE(m_pView, nullptr);
    }

    void RunBlotch(const Fields& typed = {}, CVeltroInterfaceView* pView = nullptr)
    {
        m_dialogAnswers.push_back(Answer(typed, true, &m_shown));
        (pView != nullptr ? pView : m_pView)->OnProcessingBlotch();
        ProcessEvents();
    }

    // Runs Foxing with this answer; returns the messages shown before the dialog.
    QStringList RunFoxing(CVeltroInterfaceView* pView, std::function<int(QDialog&)> answer)
    {
        QStringList before;
        m_dialogAnswers.push_back([&, answer](QDialog& dlg) {
            before = m_messages;
            return answer(dlg);
        });
        pView->OnProcessingFoxing();
        ProcessEvents();
        return before;
    }

    QString m_strPhotos, m_strImage, m_strMask, m_strOutput;
    CVeltroInterfaceView* m_pView = nullptr;
    Fields m_shown;
};

TEST_F(BlotchTest, FirstUseWritesBlotchLogRunsEngineAndOpensResultWindow)
{
    testengine::Recorder recorder;
    m_dialogAnswers.push_back(Answer({}, true, &m_shown));
    m_pFrame->Action(32771)->trigger();   // Processing > Blotch
    ProcessEvents();

    const QString strParams = m_strPhotos + QStringLiteral("/blotch.log");
    EXPECT_EQ(m_shown.value("1006"), m_strMask);
    EXPECT_EQ(m_shown.value("1013"), m_strOutput);
    const QByteArray expected = BlotchLog("7", "10", m_strMask);
    EXPECT_EQ(ReadFile(strParams), expected);
    EXPECT_EQ(recorder.Params(), expected);   // complete before the engine started
    EXPECT_EQ(recorder.Args(), (QStringList{"-i", m_strImage, "-gorex", strParams, "-o", m_strOutput}));
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join('|'));
    EXPECT_EQ(m_pView->m_bEngineFailed, 0);

    // The result: the blotch results' window, titled with the output path,
    // the engine's picture loaded, not a recent file.
    ASSERT_EQ(WindowCount(), 2);
    ASSERT_NE(ActiveView(), m_pView);
    CVeltroInterfaceDoc* pResultDoc = ActiveView()->GetDocument();
    EXPECT_EQ(pResultDoc->GetDocTemplate(), m_pApp->m_pDocTemplates[1]);
    EXPECT_TRUE(pResultDoc->GetTitle().startsWith(m_strOutput)) << qPrintable(pResultDoc->GetTitle());
    EXPECT_EQ(pResultDoc->m_strImagePath, m_strOutput);
    EXPECT_EQ(pResultDoc->m_nWidth, 8);
    EXPECT_TRUE(pResultDoc->GetPathName().isEmpty());
    EXPECT_EQ(m_pApp->RecentFiles(), QStringList{m_strImage});
}

TEST_F(BlotchTest, DialogRemembersPerDocumentAndResultDocumentsStartAfresh)
{
    testengine::Recorder recorder;
    // A wildcard mask, 0, and a number above 2^31 - 1 with blanks around it.
    const QString strPattern = m_strPhotos + QStringLiteral("/old portrait_m?sk.*");
    RunBlotch({{"1006", strPattern}, {"1002", " 4294967295 "}, {"1003", "0"}});
    EXPECT_EQ(recorder.Params(), BlotchLog("-1", "0", strPattern));
    CVeltroInterfaceView* pResult = ActiveView();
    ASSERT_NE(pResult, m_pView);

    m_dialogAnswers.push_back(Answer({}, false, &m_shown));
    m_pView->OnProcessingBlotch();
    EXPECT_EQ(m_shown, (Fields{{"1006", strPattern}, {"1013", m_strOutput}, {"1002", "4294967295"}, {"1003", "0"}}));

    // The result document: initial values, paths from its own image path.
    m_dialogAnswers.push_back(Answer({}, false, &m_shown));
    pResult->OnProcessingBlotch();
    EXPECT_EQ(m_shown, (Fields{{"1006", m_strPhotos + "/old portrait_BLOTCH_mask.jpg"},
                               {"1013", m_strPhotos + "/old portrait_BLOTCH_BLOTCH.jpg"}, {"1002", "7"}, {"1003", "10"}}));
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join('|'));
}

TEST_F(BlotchTest, MaskCheckStopsBeforeAnythingIsWrittenOrRun)
{
    CVeltroInterfaceDoc* pDoc = m_pView->GetDocument();
    const QString strParams = m_strPhotos + QStringLiteral("/blotch.log");
    const struct
    {
        QString strMask;
        bool bFound;
    } cases[] = {
        {m_strPhotos + QStringLiteral("/missing_mask.jpg"), false},
        {QString(), false},
        {m_strPhotos + QStringLiteral("/*_mask.jpg"), true},   // a matching pattern passes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.strMask));
        QFile::remove(strParams);
        m_messages.clear();
        testengine::Recorder recorder;
        const int nWindows = WindowCount();
        RunBlotch({{"1006", c.strMask}, {"1002", "5"}});

        // Either way the document keeps what was confirmed.
        EXPECT_EQ(pDoc->m_strBlotchMask, c.strMask);
        EXPECT_EQ(pDoc->m_nBlotchBorderDist, 5u);
        EXPECT_EQ(recorder.WasRun(), c.bFound);
        EXPECT_EQ(WindowCount(), nWindows + (c.bFound ? 1 : 0));
        if (c.bFound) {
            EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join('|'));
            EXPECT_EQ(ReadFile(strParams), BlotchLog("5", "10", c.strMask));
        } else {
            EXPECT_EQ(m_messages, QStringList{QStringLiteral("The Mask file does not exist.")});
            EXPECT_FALSE(QFileInfo::exists(strParams));
        }
    }
}

// How each end of a run shows: only an engine that ended well opens a window (an empty one, with "was not found.",
// when it wrote nothing); a failure says why and leaves the older file at the output path as it was; Cancel in the
// status bar ends the run quietly. None of them ends the program.
TEST_F(BlotchTest, RunOutcomes)
{
    const QString strNotWritten = QStringLiteral("Blotch removal failed: %1 was not written.\n\n").arg(m_strOutput);
    const struct
    {
        const char* pszMode;
        bool bCancel, bWindow;
        QString strMessage;
    } cases[] = {
        {"", false, true, QString()},
        {"nooutput", false, true, m_strOutput + QStringLiteral(" was not found.")},
        {"fail", false, false,
         strNotWritten + QStringLiteral("veltro.exe: test failure: %1: asked to fail").arg(m_strOutput)},
        {"exit4", false, false, strNotWritten + QStringLiteral("The engine ended with exit status 4.")},
        {"crash", false, false, strNotWritten + QStringLiteral("The engine was ended by signal 6 (Aborted).")},
        {"sleep", true, false, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszMode);
        m_messages.clear();
        QFile::remove(m_strOutput);
        if (!c.bWindow) {
            ASSERT_TRUE(WriteFile(m_strOutput, "an older result"));
        }
        testengine::Recorder recorder(c.pszMode);
        const int nWindows = WindowCount();
        QAbstractButton* pCancel = nullptr;
        const int nWorkspaceHeight = m_pFrame->MdiArea()->height();
        QTimer::singleShot(100, [&] {
            pCancel = m_pFrame->StatusBar()->findChild<QAbstractButton*>(QStringLiteral("cancelRun"));
            EXPECT_EQ(m_pFrame->MdiArea()->height(), nWorkspaceHeight);   // the run's pane fits the status bar
            if (c.bCancel && pCancel != nullptr)
                QTest::mouseClick(pCancel, Qt::LeftButton);
        });
        RunBlotch();

        EXPECT_TRUE(recorder.WasRun());
        EXPECT_EQ(m_pView->m_bEngineFailed, 0);
        EXPECT_EQ(m_messages, c.strMessage.isEmpty() ? QStringList() : QStringList{c.strMessage});
        EXPECT_EQ(WindowCount(), nWindows + (c.bWindow ? 1 : 0));
        if (!c.bWindow) {
            EXPECT_EQ(ReadFile(m_strOutput), "an older result");
        } else {
            CVeltroInterfaceDoc* pResultDoc = ActiveView()->GetDocument();
            EXPECT_EQ(pResultDoc->GetDocTemplate(), m_pApp->m_pDocTemplates[1]);
            EXPECT_TRUE(pResultDoc->GetTitle().startsWith(m_strOutput));
            EXPECT_EQ(pResultDoc->m_pImage == nullptr, c.strMessage.endsWith(QLatin1String("was not found.")));
        }
        // The Cancel button was there during the run (the engine runs a second in "sleep"), and went with it.
        EXPECT_TRUE(pCancel != nullptr || !c.bCancel);
        EXPECT_EQ(m_pFrame->StatusBar()->findChild<QAbstractButton*>(QStringLiteral("cancelRun")), nullptr);
    }
    EXPECT_FALSE(m_pApp->RecentFiles().contains(m_strOutput));
}

TEST_F(BlotchTest, ResultThatCannotBeDecodedIsReportedAndItsWindowOpens)
{
    const QString strBad = m_strPhotos + QStringLiteral("/bad.jpg");
    ASSERT_TRUE(WriteFile(strBad, "not a picture"));
    m_pFrame->OpenResultDocument(m_pApp->m_pDocTemplates[1], strBad);
    ProcessEvents();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Cannot open %1:\n").arg(strBad))) << qPrintable(m_messages[0]);
    ASSERT_EQ(WindowCount(), 2);
    CVeltroInterfaceDoc* pResultDoc = ActiveView()->GetDocument();
    EXPECT_EQ(pResultDoc->GetDocTemplate(), m_pApp->m_pDocTemplates[1]);
    EXPECT_TRUE(pResultDoc->GetTitle().startsWith(strBad));
    EXPECT_TRUE(pResultDoc->GetPathName().isEmpty());

    // Without an active window there is nowhere to add the result.
    m_pFrame->MdiArea()->closeAllSubWindows();
    ProcessEvents();
    m_messages.clear();
    m_pFrame->OpenResultDocument(m_pApp->m_pDocTemplates[1], strBad);
    ProcessEvents();
    EXPECT_EQ(WindowCount(), 0);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(BlotchTest, MissingEngineReportsAndClosesTheApplication)
{
    // No veltro.exe where the lookup goes: program directory, current
    // directory (not the test programs' own), PATH.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    engine::SetProgramDirOverride(empty.path());
    struct RestoreLookup
    {
        ~RestoreLookup() { engine::SetProgramDirOverride(QString()); }
    } restoreLookup;
    testengine::ScopedCurrentDir cwd(empty.path());
    testengine::ScopedEnv path("PATH", QFile::encodeName(empty.path()));
    ASSERT_TRUE(engine::FindEngine().isEmpty());

    m_dialogAnswers.push_back(Answer());
    m_pView->OnProcessingBlotch();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("CreateProcess failed.")});
    EXPECT_EQ(m_pView->m_bEngineFailed, 1);
    EXPECT_EQ(WindowCount(), 1);
    EXPECT_TRUE(QFileInfo::exists(m_strPhotos + QStringLiteral("/blotch.log")));   // written, and it stays

    // The repaint that follows ends the program.
    for (int i = 0; i < 200 && m_pFrame->isVisible(); ++i)
        ProcessEvents(10);
    EXPECT_EQ(m_messages, (QStringList{QStringLiteral("CreateProcess failed."),
                                       QStringLiteral("The Veltro application will be closed.")}));
    EXPECT_FALSE(m_pFrame->isVisible());
}

// ---------------------------------------------------------------- Foxing

const QString kFoxWarning = QStringLiteral("The following algorithm can take several minutes of processing");
const QByteArray kFoxLog("DIST\t3\nCOST\t2\nAMP\t0.050000\n");

// The warning comes every time, before the dialog; Cancel after it writes
// and runs nothing. (A run with the proposals: tests/e2e/desktop_road.sh.)
TEST_F(BlotchTest, FoxingWarnsEveryTimeAndCancelAfterItWritesNothing)
{
    testengine::Recorder recorder;
    EXPECT_EQ(RunFoxing(m_pView, Answer({{"1026", "9"}}, false)), QStringList{kFoxWarning});
    EXPECT_EQ(RunFoxing(m_pView, Answer({}, false)), (QStringList{kFoxWarning, kFoxWarning}));
    EXPECT_FALSE(QFileInfo::exists(m_strPhotos + QStringLiteral("/fox.log")));
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), 1);
    EXPECT_EQ(m_pView->GetDocument()->m_nFoxBorderDist, 3u);
    EXPECT_TRUE(m_pView->GetDocument()->m_strFoxOutput.isEmpty());
}

// A document without a picture file runs in the current directory, with an
// empty image word.
TEST_F(BlotchTest, FoxingWithoutPictureFileRunsInTheCurrentDirectory)
{
    const QString strCwd = m_tempDir.filePath(QStringLiteral("cwd"));
    ASSERT_TRUE(QDir().mkpath(strCwd));
    testengine::ScopedCurrentDir cwd(strCwd);
    CVeltroInterfaceView* pView = NewDocument();
    ASSERT_NE(pView, nullptr);
    testengine::Recorder recorder;
    Fields shown;
    RunFoxing(pView, Answer({}, true, &shown));

    EXPECT_EQ(shown.value("1028"), QStringLiteral("_FOX.jpg"));
    EXPECT_EQ(ReadFile(QDir(strCwd).filePath(QStringLiteral("fox.log"))), kFoxLog);
    EXPECT_EQ(recorder.Params(), kFoxLog);   // complete before the engine started
    EXPECT_EQ(recorder.Args(), (QStringList{"-i", QString(), "-fox", "fox.log", "-o", "_FOX.jpg"}));
    ASSERT_NE(ActiveView(), pView);
    CVeltroInterfaceDoc* pResultDoc = ActiveView()->GetDocument();
    EXPECT_EQ(pResultDoc->GetDocTemplate(), m_pApp->m_pDocTemplates[3]);
    EXPECT_TRUE(pResultDoc->GetTitle().startsWith(QStringLiteral("_FOX.jpg")));
    EXPECT_EQ(pResultDoc->m_strImagePath, QDir(strCwd).filePath(QStringLiteral("_FOX.jpg")));
}

} // namespace
