// Processing > Foxing end to end, with the test engine standing in for
// "veltro.exe" (its unwritable parameter file: test_crack_crease).
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include <QDir>

namespace {

using namespace uitest;

const QString kWarning = QStringLiteral("The following algorithm can take several minutes of processing");
const QByteArray kFoxLog("DIST\t3\nCOST\t2\nAMP\t0.050000\n");

class FoxingTest : public AppFixture
{
protected:
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
};

// The warning comes every time, before the dialog; Cancel after it writes
// and runs nothing. (A run with the proposals: tests/e2e/desktop_road.sh.)
TEST_F(FoxingTest, WarningEveryTimeAndCancelAfterItWritesNothing)
{
    const QString strImage = MakeJpeg(QStringLiteral("photos/portrait.jpg"), 40, 30, QColor(160, 120, 80));
    CVeltroInterfaceView* pView = OpenImage(strImage);
    ASSERT_NE(pView, nullptr);
    testengine::Recorder recorder;
    EXPECT_EQ(RunFoxing(pView, Answer({{"1026", "9"}}, false)), QStringList{kWarning});
    EXPECT_EQ(RunFoxing(pView, Answer({}, false)), (QStringList{kWarning, kWarning}));
    EXPECT_FALSE(QFileInfo::exists(m_tempDir.filePath(QStringLiteral("photos/fox.log"))));
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), 1);
    EXPECT_EQ(pView->GetDocument()->m_nFoxBorderDist, 3u);
    EXPECT_TRUE(pView->GetDocument()->m_strFoxOutput.isEmpty());
}

// A document without a picture file runs in the current directory, with an
// empty image word.
TEST_F(FoxingTest, DocumentWithoutPictureFileStillRunsInTheCurrentDirectory)
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
    EXPECT_EQ(ActiveView()->GetDocument()->GetDocTemplate(), m_pApp->m_pDocTemplates[3]);
    EXPECT_TRUE(ActiveView()->GetDocument()->GetTitle().startsWith(QStringLiteral("_FOX.jpg")));
    EXPECT_EQ(ActiveView()->GetDocument()->m_strImagePath, QDir(strCwd).filePath(QStringLiteral("_FOX.jpg")));
}

} // namespace
