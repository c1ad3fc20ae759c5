// The splash screen at start-up and the Help > About box.
#include "support/AppFixture.h"

#include "app/CSplashWnd.h"
#include "app/CommandLineInfo.h"
#include "res/ResourceIds.h"

#include "VeltroVersion.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

TEST(SplashSwitchTest, OnlyEmbeddingAndAutomationSwitchesTurnTheSplashOff)
{
    const struct { QStringList arguments; bool bShow; } cases[] = {
        {{}, true}, {{"/Embedding"}, false}, {{"-Embedding"}, false}, {{"/AUTOMATION"}, false},
        {{"photo.jpg", "/embedding"}, false}, {{"photo.jpg"}, true}, {{"Embedding"}, true}, {{"/"}, true},
        {{"--Embedding"}, true}, {{"/Embeddings"}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShowSplashFromArguments(c.arguments), c.bShow) << qPrintable(c.arguments.join(' '));
}

class SplashTest : public AppFixture
{
protected:
    // Restarts the program as a person starts it: without a switch.
    void StartWithSplash()
    {
        StopApp();
        StartApp({});
        ProcessEvents();
        ASSERT_NE(CSplashWnd::Instance(), nullptr);
    }

    // Ctrl+N typed: Ctrl goes down first (a key press of its own), then N.
    void CtrlN()
    {
        QTest::keyClick(m_pFrame, Qt::Key_N, Qt::ControlModifier);
        ProcessEvents();
    }
};

// Centred above the main window, with no time-out; a pointer move leaves it. The first key only removes it: N with
// Ctrl already held (offered as a shortcut first) does nothing else, while a typed Ctrl+N spends its Ctrl on the
// splash and the N is an ordinary Ctrl+N. At most once a run, and each run has its own.
TEST_F(SplashTest, ShownCentredAboveTheMainWindowAndFirstKeyOnlyRemovesIt)
{
    StartWithSplash();
    CSplashWnd* pSplash = CSplashWnd::Instance();
    EXPECT_TRUE(pSplash->isVisible());
    EXPECT_EQ(pSplash->parentWidget(), m_pFrame);   // owned by the main window: kept above it
    EXPECT_LE((pSplash->geometry().center() - pSplash->screen()->geometry().center()).manhattanLength(), 2);
    ProcessEvents(50);
    QTest::mouseMove(m_pFrame, QPoint(10, 10));
    ProcessEvents();
    ASSERT_NE(CSplashWnd::Instance(), nullptr);

    if (!qt_sendShortcutOverrideEvent(m_pFrame, 0, Qt::Key_N, Qt::ControlModifier)) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
        QApplication::sendEvent(m_pFrame, &press);
    }
    ProcessEvents();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    EXPECT_EQ(WindowCount(), 0);
    CtrlN();
    ASSERT_EQ(WindowCount(), 1);
    EXPECT_EQ(ActiveView()->GetDocument()->GetTitle(), QStringLiteral("Veltro1"));
    CSplashWnd::ShowSplashScreen(m_pFrame);
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);

    StartWithSplash();
    CtrlN();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    EXPECT_EQ(WindowCount(), 1);
    // Stopping the program with the splash still up leaves nothing behind.
    StartWithSplash();
    StopApp();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    StartApp();
}

// A release does nothing; the first press, in the frame or on the menu bar, only removes it.
TEST_F(SplashTest, FirstPressOnlyRemovesIt)
{
    StartWithSplash();
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(m_pFrame, &release);
    EXPECT_NE(CSplashWnd::Instance(), nullptr);
    QMouseEvent press(QEvent::NonClientAreaMouseButtonPress, QPointF(5, -5), QPointF(5, -5), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(QApplication::sendEvent(m_pFrame, &press));
    ProcessEvents();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);

    StartWithSplash();
    QMenuBar* pMenuBar = m_pFrame->menuBar();
    const QPoint ptFile = pMenuBar->actionGeometry(pMenuBar->actions().first()).center();
    QTest::mouseClick(pMenuBar, Qt::LeftButton, Qt::NoModifier, ptFile);
    ProcessEvents();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    QTest::mouseClick(pMenuBar, Qt::LeftButton, Qt::NoModifier, ptFile);
    ProcessEvents();
    QWidget* pPopup = QApplication::activePopupWidget();
    EXPECT_NE(qobject_cast<QMenu*>(pPopup), nullptr);
    if (pPopup != nullptr)
        pPopup->close();
    ProcessEvents();
}

using AboutTest = AppFixture;

// Shown each time with the build's release, and closed by OK.
TEST_F(AboutTest, ShowsTheReleaseEachTime)
{
    QStringList releases;
    auto answer = [&releases](QDialog& dlg) {
        QLabel* pRelease = dlg.findChild<QLabel*>(QStringLiteral("1024"));
        releases << (pRelease != nullptr ? pRelease->text() : QStringLiteral("<none>"));
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
        return dlg.result();
    };
    m_dialogAnswers = {answer, answer};
    for (int i = 0; i < 2; ++i)
        m_pFrame->Action(ids::ID_APP_ABOUT)->trigger();
    EXPECT_EQ(releases, (QStringList{QStringLiteral(VELTRO_VERSION), QStringLiteral(VELTRO_VERSION)}));
    EXPECT_TRUE(m_messages.isEmpty());
}

} // namespace
