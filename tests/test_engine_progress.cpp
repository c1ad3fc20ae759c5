// The status bar while the engine runs: what the restoration is doing and how
// far it has come, then "Ready" again; the test engine stands in for
// "veltro.exe" and reports its progress a moment apart.
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

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

// True when `wanted` appears in `list` in this order (other entries may lie between).
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
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_pView = OpenImage(MakeJpeg(QStringLiteral("photo.jpg"), 40, 30, QColor(180, 150, 120)));
        ASSERT_NE(m_pView, nullptr);
    }

    void RunFoxing()
    {
        m_dialogAnswers.push_back(uitest::Answer());
        m_pView->OnProcessingFoxing();
        ProcessEvents();
    }

    CVeltroInterfaceView* m_pView = nullptr;
};

} // namespace

// The operation, each percentage reported, then "Ready" whatever the outcome.
TEST_F(EngineProgressTest, StatusBarShowsTheOperationAndItsPercentageThenReady)
{
    const struct
    {
        const char* pszMode;
        QStringList given;
        QStringList painted;   // while waiting (the last report may end too soon for a paint)
    } cases[] = {
        {"", {"Removing foxing...", "Removing foxing... 0%", "Removing foxing... 50%", "Removing foxing... 100%", "Ready"},
         {"Removing foxing...", "Removing foxing... 0%", "Removing foxing... 50%", "Ready"}},
        {"sleep", {"Removing foxing...", "Ready"}, {}},
        {"fail", {"Removing foxing...", "Ready"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszMode);
        testengine::Recorder recorder(c.pszMode);
        testengine::ScopedEnv progress("VELTRO_TEST_PROGRESS", *c.pszMode ? "" : "0,50,100");
        PaneWatch watch(m_pFrame->StatusBar());
        RunFoxing();
        ASSERT_TRUE(recorder.WasRun());
        EXPECT_TRUE(InOrder(watch.m_given, c.given)) << qPrintable(watch.m_given.join(" | "));
        EXPECT_TRUE(InOrder(watch.m_painted, c.painted)) << qPrintable(watch.m_painted.join(" | "));
        EXPECT_EQ(watch.m_given.join(QString()).contains('%'), !*c.pszMode);
        EXPECT_EQ(m_pFrame->StatusBar()->currentMessage(), QStringLiteral("Ready"));
    }
}

// While the engine runs, the pointer entering a widget sends its status tip
// (or an empty one); the pane keeps telling what the engine is doing.
TEST_F(EngineProgressTest, StatusTipsDuringARunDoNotReplaceItsText)
{
    QStatusBar* pBar = m_pFrame->StatusBar();
    testengine::Recorder recorder;
    testengine::ScopedEnv progress("VELTRO_TEST_PROGRESS", "0,50,100");
    QStringList shownAfterTips;
    bool bTipsSent = false;
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
    RunFoxing();
    ASSERT_TRUE(bTipsSent);
    EXPECT_EQ(shownAfterTips, QStringList({"Removing foxing... 0%", "Removing foxing... 0%"}));
    EXPECT_EQ(pBar->currentMessage(), QStringLiteral("Ready"));

    // Afterwards tips are shown again, and an empty one brings "Ready".
    for (const QString& strTip : {QStringLiteral("Open an existing document"), QString()}) {
        QStatusTipEvent tip(strTip);
        QCoreApplication::sendEvent(m_pFrame, &tip);
        EXPECT_EQ(pBar->currentMessage(), strTip.isEmpty() ? QStringLiteral("Ready") : strTip);
    }
}
