// Processing > Blotch end to end, with the test engine standing in for
// "veltro.exe", and the mask lookup it relies on.
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/EngineRunner.h"
#include "processing/FileFind.h"
#include "view/CVeltroInterfaceView.h"

#include <QAction>
#include <QColor>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolBar>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

namespace {

// ---------------------------------------------------------------- mask lookup

struct PatternCase
{
    const char* pszName;
    const char* pszPattern;
    bool bMatch;
};

TEST(FileFindTest, MatchesStarAndQuestionMarkOnly)
{
    const PatternCase cases[] = {
        {"abc", "a?c", true},      {"ac", "a?c", false},        {"ac", "a*c", true},
        {"", "*", true},           {"abcbd", "a*b?d", false},   {"abcbxd", "a*b?d", true},
        {"a", "a*?", false},       {"ABC", "a*", false},        {"a[b]c", "a[b]c", true},
        {"abc", "a[b]c", false},   {"mask.jpg.bak", "*.jpg", false},
    };
    for (const PatternCase& c : cases)
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
        const QString strPath = dir.filePath(QString::fromLatin1(pszFile));
        QDir().mkpath(QFileInfo(strPath).absolutePath());
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(dir.mkpath(QStringLiteral("empty")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));

    const struct
    {
        QString strPath;
        bool bFound;
    } cases[] = {
        {QString(), false},
        {dir.filePath(QStringLiteral("missing.jpg")), false},
        {tmp.path(), true},                                    // a folder
        {dir.filePath(QStringLiteral("dangling")), true},      // an entry, though it leads nowhere
        {dir.filePath(QStringLiteral("portrait_m*.jpg")), true},
        {dir.filePath(QStringLiteral(".hid*")), true},
        {dir.filePath(QStringLiteral("P*")), false},          // letter case counts
        {dir.filePath(QStringLiteral("empty/*")), false},     // "." and ".." are not entries
        {dir.filePath(QStringLiteral("nowhere/*")), false},
        {dir.filePath(QStringLiteral("s*b/x.jpg")), false},   // only the last component is a pattern
        {dir.filePath(QStringLiteral("sub/x.jpg")), true},
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

QImage IconImage(const QIcon& icon)
{
    return icon.pixmap(16, 15).toImage();
}

class BlotchTest : public AppFixture
{
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_strPhotos = m_tempDir.filePath(QStringLiteral("photos"));
        m_strImage = MakeJpeg(QStringLiteral("photos/portrait.jpg"), 40, 30, QColor(90, 140, 200));
        m_strMask = MakeJpeg(QStringLiteral("photos/portrait_mask.jpg"), 40, 30, Qt::black);
    }

    int WindowCount() const { return int(m_pFrame->MdiArea()->subWindowList().size()); }
    CChildFrame* ActiveFrame() const { return m_pFrame->MDIGetActive(); }

    // The template whose icon the frame shows (-1: none of the five).
    int TemplateOf(CChildFrame* pFrame) const
    {
        int nFound = -1;
        for (int i = 0; i < 5; ++i) {
            if (IconImage(pFrame->windowIcon()) == IconImage(m_pApp->m_pDocTemplates[i]->GetIcon())) {
                EXPECT_EQ(nFound, -1) << "two templates share an icon";
                nFound = i;
            }
        }
        return nFound;
    }

    void RunBlotch(CVeltroInterfaceView* pView)
    {
        pView->OnProcessingBlotch();
        ProcessEvents();
    }

    QString m_strPhotos;
    QString m_strImage;
    QString m_strMask;
};

TEST_F(BlotchTest, FirstUseWritesBlotchLogRunsEngineAndOpensResultWindow)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    const int nWindows = WindowCount();
    testengine::Recorder recorder;

    // Processing > Blotch, also on the toolbar.
    QAction* pAction = m_pFrame->Action(32771);
    ASSERT_NE(pAction, nullptr);
    EXPECT_TRUE(m_pFrame->ToolBar()->actions().contains(pAction));
    Fields shown;
    m_dialogAnswers.push_back(Answer({}, true, &shown));
    pAction->trigger();
    ProcessEvents();

    const QString strOutput = m_strPhotos + QStringLiteral("/portrait_BLOTCH.jpg");
    const QString strParams = m_strPhotos + QStringLiteral("/blotch.log");
    EXPECT_EQ(shown.value(QStringLiteral("1006")), m_strPhotos + QStringLiteral("/portrait_mask.jpg"));
    EXPECT_EQ(shown.value(QStringLiteral("1013")), strOutput);
    EXPECT_EQ(shown.value(QStringLiteral("1002")), QStringLiteral("7"));
    EXPECT_EQ(shown.value(QStringLiteral("1003")), QStringLiteral("10"));

    const QByteArray expected = "DIST\t7\nCOST\t10\nMASKFILE\t" + QFile::encodeName(m_strMask) + "\n";
    EXPECT_EQ(ReadFile(strParams), expected);
    EXPECT_EQ(recorder.Params(), expected);  // complete before the engine started
    EXPECT_EQ(recorder.Args(), (QStringList{QStringLiteral("-i"), m_strImage, QStringLiteral("-gorex"), strParams,
                                            QStringLiteral("-o"), strOutput}));
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join(QLatin1Char('|')));
    EXPECT_EQ(pView->m_bEngineFailed, 0);

    // The result: one more window, the blotch results' icon, titled with the
    // output path, the engine's picture loaded, not a recent file.
    ASSERT_EQ(WindowCount(), nWindows + 1);
    CChildFrame* pResult = ActiveFrame();
    ASSERT_NE(pResult, nullptr);
    ASSERT_NE(pResult->GetView(), pView);
    EXPECT_EQ(TemplateOf(pResult), 1);
    CVeltroInterfaceDoc* pResultDoc = pResult->GetView()->GetDocument();
    EXPECT_TRUE(pResultDoc->GetTitle().startsWith(strOutput)) << qPrintable(pResultDoc->GetTitle());
    EXPECT_EQ(pResultDoc->m_strImagePath, strOutput);
    EXPECT_EQ(pResultDoc->m_nWidth, 8);
    EXPECT_EQ(pResultDoc->m_nHeight, 6);
    EXPECT_TRUE(pResultDoc->GetPathName().isEmpty());
    EXPECT_FALSE(m_pApp->RecentFiles().contains(strOutput));
    EXPECT_TRUE(m_pApp->RecentFiles().contains(m_strImage));
}

TEST_F(BlotchTest, DialogRemembersPerDocumentAndResultDocumentsStartAfresh)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    testengine::Recorder recorder;

    // Values as typed: a wildcard mask, 0, and a number above 2^31 - 1, with
    // blanks around it.
    const QString strMaskPattern = m_strPhotos + QStringLiteral("/portrait_m?sk.*");
    m_dialogAnswers.push_back(Answer({{QStringLiteral("1006"), strMaskPattern},
                                       {QStringLiteral("1002"), QStringLiteral(" 4294967295 ")},
                                       {QStringLiteral("1003"), QStringLiteral("0")}}));
    RunBlotch(pView);
    EXPECT_EQ(recorder.Params(),
              "DIST\t-1\nCOST\t0\nMASKFILE\t" + QFile::encodeName(strMaskPattern) + "\n");
    CChildFrame* pResult = ActiveFrame();
    ASSERT_NE(pResult, nullptr);
    ASSERT_NE(pResult->GetView(), pView);

    // Same document again: last time's values.
    Fields shown;
    m_dialogAnswers.push_back(Answer({}, false, &shown));
    pView->OnProcessingBlotch();
    EXPECT_EQ(shown.value(QStringLiteral("1006")), strMaskPattern);
    EXPECT_EQ(shown.value(QStringLiteral("1013")), m_strPhotos + QStringLiteral("/portrait_BLOTCH.jpg"));
    EXPECT_EQ(shown.value(QStringLiteral("1002")), QStringLiteral("4294967295"));
    EXPECT_EQ(shown.value(QStringLiteral("1003")), QStringLiteral("0"));

    // The result document: initial values, paths from its own image path.
    shown.clear();
    m_dialogAnswers.push_back(Answer({}, false, &shown));
    pResult->GetView()->OnProcessingBlotch();
    EXPECT_EQ(shown.value(QStringLiteral("1006")), m_strPhotos + QStringLiteral("/portrait_BLOTCH_mask.jpg"));
    EXPECT_EQ(shown.value(QStringLiteral("1013")), m_strPhotos + QStringLiteral("/portrait_BLOTCH_BLOTCH.jpg"));
    EXPECT_EQ(shown.value(QStringLiteral("1002")), QStringLiteral("7"));
    EXPECT_EQ(shown.value(QStringLiteral("1003")), QStringLiteral("10"));
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join(QLatin1Char('|')));
}

TEST_F(BlotchTest, MaskCheckStopsBeforeAnythingIsWrittenOrRun)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
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
        m_dialogAnswers.push_back(Answer({{QStringLiteral("1006"), c.strMask}, {QStringLiteral("1002"), QStringLiteral("5")}}));
        RunBlotch(pView);

        // Either way the document keeps what was confirmed.
        EXPECT_EQ(pDoc->m_strBlotchMask, c.strMask);
        EXPECT_EQ(pDoc->m_nBlotchBorderDist, 5u);
        if (c.bFound) {
            EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join(QLatin1Char('|')));
            EXPECT_EQ(ReadFile(strParams), "DIST\t5\nCOST\t10\nMASKFILE\t" + QFile::encodeName(c.strMask) + "\n");
            EXPECT_TRUE(recorder.WasRun());
            EXPECT_EQ(WindowCount(), nWindows + 1);
        } else {
            EXPECT_EQ(m_messages, QStringList{QStringLiteral("The Mask file does not exist.")});
            EXPECT_FALSE(QFileInfo::exists(strParams));
            EXPECT_FALSE(recorder.WasRun());
            EXPECT_EQ(WindowCount(), nWindows);
        }
    }
}

TEST_F(BlotchTest, UnwritableParameterFileIsReportedAndNothingRuns)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
    const int nWindows = WindowCount();
    testengine::Recorder recorder;

    const QString strOutput = m_tempDir.filePath(QStringLiteral("missing/p.jpg"));
    m_dialogAnswers.push_back(Answer({{QStringLiteral("1013"), strOutput}}));
    RunBlotch(pView);

    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(m_tempDir.filePath(QStringLiteral("missing/blotch.log"))))
        << qPrintable(m_messages[0]);
    EXPECT_TRUE(m_messages[0].contains(QString::fromLocal8Bit(std::strerror(ENOENT)))) << qPrintable(m_messages[0]);
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), nWindows);
    EXPECT_EQ(pView->m_bEngineFailed, 0);
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    EXPECT_EQ(pView->GetDocument()->m_strBlotchOutput, strOutput);
    EXPECT_EQ(pView->GetDocument()->m_strBlotchMask, m_strMask);
}

TEST_F(BlotchTest, PathsWithBlanksReachTheEngineAsSingleWords)
{
    const QString strDir = m_tempDir.filePath(QStringLiteral("my photos"));
    const QString strImage = MakeJpeg(QStringLiteral("my photos/old portrait.jpg"), 20, 10, Qt::gray);
    MakeJpeg(QStringLiteral("my photos/old portrait_mask.jpg"), 20, 10, Qt::black);
    CVeltroInterfaceView* pView = OpenImage(strImage);
    ASSERT_NE(pView, nullptr);
    testengine::Recorder recorder;

    m_dialogAnswers.push_back(Answer());
    RunBlotch(pView);

    const QString strOutput = strDir + QStringLiteral("/old portrait_BLOTCH.jpg");
    EXPECT_EQ(recorder.Args(), (QStringList{QStringLiteral("-i"), strImage, QStringLiteral("-gorex"),
                                            strDir + QStringLiteral("/blotch.log"), QStringLiteral("-o"), strOutput}));
    EXPECT_EQ(recorder.Params(),
              "DIST\t7\nCOST\t10\nMASKFILE\t" + QFile::encodeName(strDir + QStringLiteral("/old portrait_mask.jpg"))
                  + "\n");
    ASSERT_NE(ActiveFrame(), nullptr);
    EXPECT_EQ(ActiveFrame()->GetView()->GetDocument()->m_nWidth, 8);
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join(QLatin1Char('|')));
}

TEST_F(BlotchTest, EngineWithoutOutputStillOpensAnEmptyTitledWindow)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    const QString strOutput = m_strPhotos + QStringLiteral("/portrait_BLOTCH.jpg");

    const struct
    {
        const char* pszMode;
        const char* pszEngineSays;  // expected in the message after the first line, or null
    } cases[] = {
        {"nooutput", nullptr},
        {"fail", "asked to fail"},  // exit status 3 and a line on its standard error
        {"crash", nullptr},         // killed by a signal: started and ended all the same
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszMode);
        m_messages.clear();
        testengine::Recorder recorder(c.pszMode);
        const int nWindows = WindowCount();
        m_dialogAnswers.push_back(Answer());
        RunBlotch(pView);

        EXPECT_TRUE(recorder.WasRun());
        EXPECT_EQ(pView->m_bEngineFailed, 0);
        ASSERT_EQ(m_messages.size(), 1);
        const QString strFirst = QStringLiteral("%1 was not found.").arg(strOutput);
        if (c.pszEngineSays == nullptr) {
            EXPECT_EQ(m_messages[0], strFirst);
        } else {
            EXPECT_TRUE(m_messages[0].startsWith(strFirst + QLatin1Char('\n'))) << qPrintable(m_messages[0]);
            EXPECT_TRUE(m_messages[0].contains(QLatin1String(c.pszEngineSays))) << qPrintable(m_messages[0]);
        }
        ASSERT_EQ(WindowCount(), nWindows + 1);
        CChildFrame* pResult = ActiveFrame();
        ASSERT_NE(pResult, nullptr);
        EXPECT_EQ(TemplateOf(pResult), 1);
        EXPECT_EQ(pResult->GetView()->GetDocument()->GetTitle(), strOutput);
        EXPECT_EQ(pResult->GetView()->GetDocument()->m_pImage, nullptr);
        EXPECT_TRUE(pResult->GetView()->GetDocument()->GetPathName().isEmpty());
    }
    EXPECT_FALSE(m_pApp->RecentFiles().contains(strOutput));
}

TEST_F(BlotchTest, ResultThatCannotBeDecodedIsReportedAndItsWindowOpens)
{
    // Without an active window there is nowhere to add the result.
    const QString strBad = m_strPhotos + QStringLiteral("/bad.jpg");
    {
        QFile file(strBad);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
    }
    m_pFrame->OpenResultDocument(m_pApp->m_pDocTemplates[1], strBad);
    ProcessEvents();
    EXPECT_EQ(WindowCount(), 0);
    EXPECT_TRUE(m_messages.isEmpty());

    ASSERT_NE(OpenImage(m_strImage), nullptr);
    m_pFrame->OpenResultDocument(m_pApp->m_pDocTemplates[1], strBad);
    ProcessEvents();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Cannot open %1:\n").arg(strBad))) << qPrintable(m_messages[0]);
    ASSERT_EQ(WindowCount(), 2);
    CChildFrame* pResult = ActiveFrame();
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(TemplateOf(pResult), 1);
    EXPECT_TRUE(pResult->GetView()->GetDocument()->GetTitle().startsWith(strBad));
    EXPECT_TRUE(pResult->GetView()->GetDocument()->GetPathName().isEmpty());
}

TEST_F(BlotchTest, MissingEngineReportsAndClosesTheApplication)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    const int nWindows = WindowCount();

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
    pView->OnProcessingBlotch();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("CreateProcess failed.")});
    EXPECT_EQ(pView->m_bEngineFailed, 1);
    EXPECT_EQ(WindowCount(), nWindows);
    // The parameter file was written and stays.
    EXPECT_TRUE(QFileInfo::exists(m_strPhotos + QStringLiteral("/blotch.log")));

    // The repaint that follows ends the program.
    for (int i = 0; i < 200 && m_pFrame->isVisible(); ++i)
        ProcessEvents(10);
    EXPECT_EQ(m_messages, (QStringList{QStringLiteral("CreateProcess failed."),
                                       QStringLiteral("The Veltro application will be closed.")}));
    EXPECT_FALSE(m_pFrame->isVisible());
}

} // namespace
