// The splash screen at start-up and the Help > About box.
#include "support/AppFixture.h"

#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/CommandLineInfo.h"
#include "document/CVeltroInterfaceDoc.h"
#include "res/ResourceIds.h"
#include "view/CVeltroInterfaceView.h"

#include "VeltroVersion.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

TEST(SplashSwitchTest, OnlyEmbeddingAndAutomationSwitchesTurnTheSplashOff)
{
    const struct
    {
        QStringList arguments;
        bool bShow;
    } cases[] = {
        {{}, true},
        {{QStringLiteral("/Embedding")}, false},
        {{QStringLiteral("-Embedding")}, false},
        {{QStringLiteral("/AUTOMATION")}, false},
        {{QStringLiteral("photo.jpg"), QStringLiteral("/embedding")}, false},
        {{QStringLiteral("photo.jpg")}, true},
        {{QStringLiteral("Embedding")}, true},     // not a switch
        {{QStringLiteral("/")}, true},
        {{QStringLiteral("--Embedding")}, true},
        {{QStringLiteral("/Embeddings")}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShowSplashFromArguments(c.arguments), c.bShow) << qPrintable(c.arguments.join(QLatin1Char(' ')));
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
    }

    int WindowCount() const { return int(m_pFrame->MdiArea()->subWindowList().size()); }

    // Ctrl+N typed by a person: Ctrl goes down first (a key press of its
    // own), then N with Ctrl held.
    void CtrlN()
    {
        QTest::keyClick(m_pFrame, Qt::Key_N, Qt::ControlModifier);
        ProcessEvents();
    }

    // One key press of N with Ctrl already held (say, since before the
    // splash appeared), delivered as the platform delivers it: offered as a
    // shortcut first, then as a key press.
    void PressCtrlNOnce()
    {
        if (!qt_sendShortcutOverrideEvent(m_pFrame, 0, Qt::Key_N, Qt::ControlModifier)) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
            QApplication::sendEvent(m_pFrame, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_N, Qt::ControlModifier);
            QApplication::sendEvent(m_pFrame, &release);
        }
        ProcessEvents();
    }
};

TEST_F(SplashTest, ShownCentredAboveTheMainWindowAndFirstKeyOnlyRemovesIt)
{
    StartWithSplash();
    CSplashWnd* pSplash = CSplashWnd::Instance();
    ASSERT_NE(pSplash, nullptr);
    EXPECT_TRUE(pSplash->isVisible());
    EXPECT_TRUE(pSplash->isWindow());
    EXPECT_EQ(pSplash->parentWidget(), m_pFrame);  // owned by the main window: kept above it
    EXPECT_EQ(pSplash->size(), QSize(590, 602));
    const QRect rcScreen = pSplash->screen()->geometry();
    EXPECT_LE((pSplash->geometry().center() - rcScreen.center()).manhattanLength(), 2);

    // No time-out, and moving the pointer leaves it.
    ProcessEvents(50);
    QTest::mouseMove(m_pFrame, QPoint(10, 10));
    ProcessEvents();
    ASSERT_NE(CSplashWnd::Instance(), nullptr);

    // The first key press removes it and does nothing else.
    PressCtrlNOnce();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    EXPECT_EQ(WindowCount(), 0);
    // The next one is a key like any other.
    CtrlN();
    ASSERT_EQ(WindowCount(), 1);
    ASSERT_NE(ActiveView(), nullptr);
    EXPECT_EQ(ActiveView()->GetDocument()->GetTitle(), QStringLiteral("Veltro1"));

    // At most once a run.
    CSplashWnd::ShowSplashScreen(m_pFrame);
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
}

TEST_F(SplashTest, TypedCtrlNSpendsItsCtrlOnTheSplash)
{
    // Ctrl going down is the first key press: it removes the splash, and the
    // N that follows with Ctrl held is an ordinary Ctrl+N.
    StartWithSplash();
    ASSERT_NE(CSplashWnd::Instance(), nullptr);
    CtrlN();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    EXPECT_EQ(WindowCount(), 1);
}

TEST_F(SplashTest, FirstClickOnTheMenuBarOnlyRemovesIt)
{
    StartWithSplash();
    ASSERT_NE(CSplashWnd::Instance(), nullptr);
    QMenuBar* pMenuBar = m_pFrame->menuBar();
    ASSERT_FALSE(pMenuBar->actions().isEmpty());
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

TEST_F(SplashTest, NonClientPressRemovesItAndIsConsumed)
{
    StartWithSplash();
    ASSERT_NE(CSplashWnd::Instance(), nullptr);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(m_pFrame, &release);  // not a press: no effect on the splash
    EXPECT_NE(CSplashWnd::Instance(), nullptr);

    QMouseEvent press(QEvent::NonClientAreaMouseButtonPress, QPointF(5, -5), QPointF(5, -5), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(QApplication::sendEvent(m_pFrame, &press));
    ProcessEvents();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
}

TEST_F(SplashTest, EmbeddingStartsWithoutSplashAndKeysWorkAtOnce)
{
    // SetUp started the program with "/Embedding".
    EXPECT_FALSE(CSplashWnd::IsEnabled());
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    CtrlN();
    ASSERT_EQ(WindowCount(), 1);
    EXPECT_EQ(ActiveView()->GetDocument()->GetTitle(), QStringLiteral("Veltro1"));
}

TEST_F(SplashTest, RestartedProgramShowsTheSplashAgain)
{
    // Each run has its own splash, whatever an earlier run in this process did.
    for (int nRun = 0; nRun < 2; ++nRun) {
        StartWithSplash();
        ASSERT_NE(CSplashWnd::Instance(), nullptr) << nRun;
        QTest::keyClick(m_pFrame, Qt::Key_Control);
        ProcessEvents();
        EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    }
    // Stopping the program with the splash still up leaves nothing behind.
    StartWithSplash();
    ASSERT_NE(CSplashWnd::Instance(), nullptr);
    StopApp();
    EXPECT_EQ(CSplashWnd::Instance(), nullptr);
    StartApp();
}

using AboutTest = AppFixture;

TEST_F(AboutTest, ShowsNameReleaseAndLogoTheSameEachTime)
{
    QStringList releases;
    auto answer = [&releases](QDialog& dlg) {
        EXPECT_EQ(dlg.objectName(), QString::number(ids::IDD_ABOUTBOX));
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About VeltroInterface"));
        QStringList texts;
        for (QLabel* pLabel : dlg.findChildren<QLabel*>())
            texts << pLabel->text();
        EXPECT_TRUE(texts.contains(QStringLiteral("VELTROINTERFACE")));
        EXPECT_TRUE(texts.contains(QStringLiteral("Release:")));
        QLabel* pRelease = dlg.findChild<QLabel*>(QStringLiteral("1024"));
        EXPECT_NE(pRelease, nullptr);
        if (pRelease != nullptr)
            releases << pRelease->text();
        QLabel* pLogo = dlg.findChild<QLabel*>(QString::number(ids::IDB_LOGO));
        EXPECT_NE(pLogo, nullptr);
        if (pLogo != nullptr) {
            EXPECT_EQ(pLogo->pixmap().size(), QSize(40, 36));
            EXPECT_EQ(pLogo->size(), QSize(40, 36));
        }
        QPushButton* pOk = dlg.findChild<QPushButton*>(QStringLiteral("1"));
        EXPECT_NE(pOk, nullptr);
        if (pOk == nullptr)
            return int(QDialog::Rejected);
        EXPECT_EQ(pOk->text(), QStringLiteral("OK"));
        EXPECT_TRUE(pOk->isDefault());
        pOk->click();
        return dlg.result();
    };
    m_dialogAnswers.push_back(answer);
    m_dialogAnswers.push_back(answer);

    QAction* pAbout = m_pFrame->Action(ids::ID_APP_ABOUT);
    ASSERT_NE(pAbout, nullptr);
    pAbout->trigger();
    ProcessEvents();
    pAbout->trigger();
    ProcessEvents();

    ASSERT_EQ(releases.size(), 2);
    EXPECT_EQ(releases[0], QStringLiteral(VELTRO_VERSION));
    EXPECT_EQ(releases[1], releases[0]);
    EXPECT_FALSE(releases[0].isEmpty());
    EXPECT_TRUE(m_dialogAnswers.empty());
    EXPECT_TRUE(m_messages.isEmpty());
}

} // namespace
