// Processing > Foxing end to end, with the test engine standing in for
// "veltro.exe".
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

#include <QAction>
#include <QColor>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QMdiArea>

#include <cerrno>
#include <cstring>

namespace {

const char* const kWarning = "The following algorithm can take several minutes of processing";

using namespace uitest;

class FoxingTest : public AppFixture
{
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_strPhotos = m_tempDir.filePath(QStringLiteral("photos"));
        m_strImage = MakeJpeg(QStringLiteral("photos/portrait.jpg"), 40, 30, QColor(160, 120, 80));
    }

    int WindowCount() const { return int(m_pFrame->MdiArea()->subWindowList().size()); }

    // Answer() that first notes the messages shown so far.
    std::function<int(QDialog&)> NoteMessagesThen(std::function<int(QDialog&)> answer, QStringList* pMessages)
    {
        return [this, answer, pMessages](QDialog& dlg) {
            *pMessages = m_messages;
            return answer(dlg);
        };
    }

    QString m_strPhotos;
    QString m_strImage;
};

TEST_F(FoxingTest, FirstUseWarnsThenWritesFoxLogRunsEngineAndOpensResultWindow)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    const int nWindows = WindowCount();
    testengine::Recorder recorder;

    Fields shown;
    QStringList messagesBefore;
    m_dialogAnswers.push_back(NoteMessagesThen(Answer({}, true, &shown), &messagesBefore));
    QAction* pAction = m_pFrame->Action(32773);   // Processing > Foxing
    ASSERT_NE(pAction, nullptr);
    pAction->trigger();
    ProcessEvents();

    const QString strOutput = m_strPhotos + QStringLiteral("/portrait_FOX.jpg");
    const QString strParams = m_strPhotos + QStringLiteral("/fox.log");
    EXPECT_EQ(messagesBefore, QStringList{QString::fromLatin1(kWarning)});
    EXPECT_EQ(shown.value(QStringLiteral("1028")), strOutput);
    EXPECT_EQ(shown.value(QStringLiteral("1025")), QStringLiteral("0.05"));
    EXPECT_EQ(shown.value(QStringLiteral("1026")), QStringLiteral("3"));
    EXPECT_EQ(shown.value(QStringLiteral("1027")), QStringLiteral("2"));

    EXPECT_EQ(ReadFile(strParams), QByteArray("DIST\t3\nCOST\t2\nAMP\t0.050000\n"));
    EXPECT_EQ(recorder.Params(), QByteArray("DIST\t3\nCOST\t2\nAMP\t0.050000\n"));
    EXPECT_EQ(recorder.Args(), (QStringList{QStringLiteral("-i"), m_strImage, QStringLiteral("-fox"), strParams,
                                            QStringLiteral("-o"), strOutput}));
    EXPECT_EQ(m_messages, QStringList{QString::fromLatin1(kWarning)});
    EXPECT_EQ(pView->m_bEngineFailed, 0);

    ASSERT_EQ(WindowCount(), nWindows + 1);
    CChildFrame* pResult = m_pFrame->MDIGetActive();
    ASSERT_NE(pResult, nullptr);
    ASSERT_NE(pResult->GetView(), pView);
    const QImage icon = pResult->windowIcon().pixmap(16, 15).toImage();
    EXPECT_EQ(icon, m_pApp->m_pDocTemplates[3]->GetIcon().pixmap(16, 15).toImage());
    for (int i : {0, 1, 2, 4})
        EXPECT_NE(icon, m_pApp->m_pDocTemplates[i]->GetIcon().pixmap(16, 15).toImage()) << i;
    CVeltroInterfaceDoc* pResultDoc = pResult->GetView()->GetDocument();
    EXPECT_TRUE(pResultDoc->GetTitle().startsWith(strOutput)) << qPrintable(pResultDoc->GetTitle());
    EXPECT_EQ(pResultDoc->m_nWidth, 8);
    EXPECT_FALSE(m_pApp->RecentFiles().contains(strOutput));
}

TEST_F(FoxingTest, WarningEveryTimeAndCancelAfterItWritesNothing)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    const int nWindows = WindowCount();
    testengine::Recorder recorder;

    for (int nTime = 1; nTime <= 2; ++nTime) {
        QStringList messagesBefore;
        m_dialogAnswers.push_back(NoteMessagesThen(Answer({{QStringLiteral("1026"), QStringLiteral("9")}}, false),
                                                   &messagesBefore));
        pView->OnProcessingFoxing();
        ProcessEvents();
        EXPECT_EQ(messagesBefore.size(), nTime);
        EXPECT_EQ(messagesBefore.value(nTime - 1), QString::fromLatin1(kWarning));
    }
    EXPECT_EQ(m_messages.size(), 2);
    EXPECT_FALSE(QFileInfo::exists(m_strPhotos + QStringLiteral("/fox.log")));
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), nWindows);
    EXPECT_EQ(pDoc->m_nFoxBorderDist, 3u);
    EXPECT_TRUE(pDoc->m_strFoxOutput.isEmpty());
}

TEST_F(FoxingTest, DocumentWithoutPictureFileStillRunsInTheCurrentDirectory)
{
    const QString strCwd = m_tempDir.filePath(QStringLiteral("cwd"));
    ASSERT_TRUE(QDir().mkpath(strCwd));
    testengine::ScopedCurrentDir cwd(strCwd);
    m_pApp->OnFileNew();
    ProcessEvents();
    CVeltroInterfaceView* pView = ActiveView();
    ASSERT_NE(pView, nullptr);
    ASSERT_TRUE(pView->GetDocument()->m_strImagePath.isEmpty());
    testengine::Recorder recorder;

    Fields shown;
    m_dialogAnswers.push_back(Answer({}, true, &shown));
    pView->OnProcessingFoxing();
    ProcessEvents();

    EXPECT_EQ(shown.value(QStringLiteral("1028")), QStringLiteral("_FOX.jpg"));
    EXPECT_EQ(ReadFile(QDir(strCwd).filePath(QStringLiteral("fox.log"))),
              QByteArray("DIST\t3\nCOST\t2\nAMP\t0.050000\n"));
    // The image word is there, empty.
    EXPECT_EQ(recorder.Args(), (QStringList{QStringLiteral("-i"), QString(), QStringLiteral("-fox"),
                                            QStringLiteral("fox.log"), QStringLiteral("-o"),
                                            QStringLiteral("_FOX.jpg")}));
    CChildFrame* pResult = m_pFrame->MDIGetActive();
    ASSERT_NE(pResult, nullptr);
    ASSERT_NE(pResult->GetView(), pView);
    EXPECT_TRUE(pResult->GetView()->GetDocument()->GetTitle().startsWith(QStringLiteral("_FOX.jpg")));
    EXPECT_EQ(pResult->GetView()->GetDocument()->m_strImagePath, QDir(strCwd).filePath(QStringLiteral("_FOX.jpg")));
}

TEST_F(FoxingTest, UnwritableParameterFileIsReportedAndNothingRuns)
{
    CVeltroInterfaceView* pView = OpenImage(m_strImage);
    ASSERT_NE(pView, nullptr);
    pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    pView->m_nPointStage = 1;
    const int nWindows = WindowCount();
    testengine::Recorder recorder;

    const QString strOutput = m_tempDir.filePath(QStringLiteral("missing/f.jpg"));
    m_dialogAnswers.push_back(Answer({{QStringLiteral("1028"), strOutput}}, true));
    pView->OnProcessingFoxing();
    ProcessEvents();

    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_EQ(m_messages[0], QString::fromLatin1(kWarning));
    EXPECT_TRUE(m_messages[1].contains(m_tempDir.filePath(QStringLiteral("missing/fox.log"))))
        << qPrintable(m_messages[1]);
    EXPECT_TRUE(m_messages[1].contains(QString::fromLocal8Bit(std::strerror(ENOENT)))) << qPrintable(m_messages[1]);
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), nWindows);
    EXPECT_EQ(pView->GetDocument()->m_strFoxOutput, strOutput);
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_EQ(pView->m_nPointStage, 1);
}

} // namespace
