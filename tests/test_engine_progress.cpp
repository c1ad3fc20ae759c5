// The status bar while the engine runs: what the restoration is doing and how
// far it has come, then "Ready" again; the test engine stands in for
// "veltro.exe" and reports its progress a moment apart.
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "app/CMainFrame.h"
#include "view/CVeltroInterfaceView.h"

#include <QColor>
#include <QEvent>
#include <QStatusBar>
#include <QStatusTipEvent>

namespace {

// Notes every text the status bar's message pane is given, and the text it
// shows each time it is painted.
class PaneWatch : public QObject
{
public:
    explicit PaneWatch(QStatusBar* pBar) : m_pBar(pBar)
    {
        connect(pBar, &QStatusBar::messageChanged, this, [this](const QString& strText) { m_given << strText; });
        pBar->installEventFilter(this);
    }

    QStringList m_given;
    QStringList m_painted;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pWatched == m_pBar && pEvent->type() == QEvent::Paint
            && (m_painted.isEmpty() || m_painted.last() != m_pBar->currentMessage()))
            m_painted << m_pBar->currentMessage();
        return false;
    }

private:
    QStatusBar* m_pBar;
};

// True when `wanted` appears in `list` in this order (other entries may lie
// between).
bool InOrder(const QStringList& list, const QStringList& wanted)
{
    int nNext = 0;
    for (const QString& str : list)
        if (nNext < wanted.size() && str == wanted.at(nNext))
            ++nNext;
    return nNext == wanted.size();
}

class EngineProgressTest : public AppFixture
{
};

} // namespace

TEST_F(EngineProgressTest, StatusBarShowsTheOperationAndItsPercentageThenReady)
{
    CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("photo.jpg"), 40, 30, QColor(180, 150, 120)));
    ASSERT_NE(pView, nullptr);
    QStatusBar* pBar = m_pFrame->StatusBar();
    ASSERT_TRUE(pBar->isVisible());
    testengine::Recorder recorder;
    testengine::ScopedEnv progress("VELTRO_TEST_PROGRESS", "0,50,100");
    PaneWatch watch(pBar);

    m_dialogAnswers.push_back(uitest::Answer());
    pView->OnProcessingFoxing();
    ProcessEvents();

    ASSERT_TRUE(recorder.WasRun());
    EXPECT_EQ(pView->m_bEngineFailed, 0);
    const QStringList given{"Removing foxing...", "Removing foxing... 0%", "Removing foxing... 50%",
                            "Removing foxing... 100%", "Ready"};
    EXPECT_TRUE(InOrder(watch.m_given, given)) << qPrintable(watch.m_given.join(QStringLiteral(" | ")));
    // Painted while the program waited for the engine (the last report may
    // be followed by the engine's end too soon for a paint).
    const QStringList painted{"Removing foxing...", "Removing foxing... 0%", "Removing foxing... 50%", "Ready"};
    EXPECT_TRUE(InOrder(watch.m_painted, painted)) << qPrintable(watch.m_painted.join(QStringLiteral(" | ")));
    EXPECT_EQ(pBar->currentMessage(), QStringLiteral("Ready"));
}

// An engine that reports nothing: the operation without a percentage, and
// "Ready" once it has ended, whatever its outcome.
TEST_F(EngineProgressTest, SilentOrFailingEngineStillEndsWithReady)
{
    CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("photo.jpg"), 40, 30, QColor(180, 150, 120)));
    ASSERT_NE(pView, nullptr);
    for (const char* pszMode : {"sleep", "fail"}) {
        SCOPED_TRACE(pszMode);
        testengine::Recorder recorder(pszMode);
        PaneWatch watch(m_pFrame->StatusBar());
        m_dialogAnswers.push_back(uitest::Answer());
        pView->OnProcessingFoxing();
        ProcessEvents();
        ASSERT_TRUE(recorder.WasRun());
        EXPECT_TRUE(InOrder(watch.m_given, {"Removing foxing...", "Ready"}))
            << qPrintable(watch.m_given.join(QStringLiteral(" | ")));
        EXPECT_FALSE(watch.m_given.join(QString()).contains(QLatin1Char('%')));
        EXPECT_EQ(m_pFrame->StatusBar()->currentMessage(), QStringLiteral("Ready"));
    }
}

// While the engine runs, the pointer entering a widget sends its status tip
// (or an empty one); the pane keeps telling what the engine is doing.
TEST_F(EngineProgressTest, StatusTipsDuringARunDoNotReplaceItsText)
{
    CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("photo.jpg"), 40, 30, QColor(180, 150, 120)));
    ASSERT_NE(pView, nullptr);
    QStatusBar* pBar = m_pFrame->StatusBar();
    testengine::Recorder recorder;
    testengine::ScopedEnv progress("VELTRO_TEST_PROGRESS", "0,50,100");
    QStringList shownAfterTips;
    bool bTipsSent = false;
    // Once the first report is shown, tips arrive as they would from the
    // window system; what the pane then shows is noted.
    QObject::connect(pBar, &QStatusBar::messageChanged, pBar, [&](const QString& strText) {
        if (bTipsSent || strText != QStringLiteral("Removing foxing... 0%"))
            return;
        bTipsSent = true;
        for (const QString& strTip : {QString(), QStringLiteral("Open an existing document")}) {
            QStatusTipEvent tip(strTip);
            QCoreApplication::sendEvent(m_pFrame, &tip);
            shownAfterTips << pBar->currentMessage();
        }
    });

    m_dialogAnswers.push_back(uitest::Answer());
    pView->OnProcessingFoxing();
    ProcessEvents();

    ASSERT_TRUE(recorder.WasRun());
    ASSERT_TRUE(bTipsSent);
    EXPECT_EQ(shownAfterTips, QStringList({"Removing foxing... 0%", "Removing foxing... 0%"}));
    EXPECT_EQ(pBar->currentMessage(), QStringLiteral("Ready"));
    // Afterwards tips are shown again, and an empty one brings "Ready".
    QStatusTipEvent tip(QStringLiteral("Open an existing document"));
    QCoreApplication::sendEvent(m_pFrame, &tip);
    EXPECT_EQ(pBar->currentMessage(), QStringLiteral("Open an existing document"));
    QStatusTipEvent empty{QString()};
    QCoreApplication::sendEvent(m_pFrame, &empty);
    EXPECT_EQ(pBar->currentMessage(), QStringLiteral("Ready"));
}
