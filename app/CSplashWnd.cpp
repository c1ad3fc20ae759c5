#include "app/CSplashWnd.h"

#include "res/ArtPaths.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>

CSplashWnd* CSplashWnd::s_pSplashWnd = nullptr;
bool CSplashWnd::s_bSplashEnabled = false;
bool CSplashWnd::s_bShownOnce = false;

CSplashWnd::CSplashWnd(QWidget* pParent)
    // Owned by the main frame, so it stays above it (and only above it).
    : QWidget(pParent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
}

CSplashWnd::~CSplashWnd()
{
    if (s_pSplashWnd == this)
        s_pSplashWnd = nullptr;
}

void CSplashWnd::EnableSplashScreen(bool bEnable)
{
    // Called once at the start of a run: that run may show the splash once.
    s_bSplashEnabled = bEnable;
    s_bShownOnce = false;
}

void CSplashWnd::ShowSplashScreen(QWidget* pParent)
{
    if (!s_bSplashEnabled || s_pSplashWnd != nullptr || s_bShownOnce)
        return;
    s_pSplashWnd = new CSplashWnd(pParent);
    if (!s_pSplashWnd->Create()) {
        delete s_pSplashWnd;  // puts s_pSplashWnd back to null
        return;
    }
    s_bShownOnce = true;
    s_pSplashWnd->repaint();
}

bool CSplashWnd::Create()
{
    if (!m_bmpSplash.load(QString::fromLatin1(art::kSplash)))
        return false;
    setFixedSize(m_bmpSplash.size());
    // Centred on the screen: the main frame is not shown yet.
    QScreen* pScreen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (pScreen != nullptr)
        move(pScreen->geometry().center() - rect().center());
    show();
    return true;
}

bool CSplashWnd::PreTranslateAppMessage(QObject* /*pReceiver*/, QEvent* pEvent)
{
    if (s_pSplashWnd == nullptr)
        return false;
    switch (pEvent->type()) {
    case QEvent::ShortcutOverride:
        // Accepting the override turns a shortcut key into a plain key press,
        // which is then consumed below: the dismissing key does nothing else.
        pEvent->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        s_pSplashWnd->HideSplashScreen();
        return true;
    default:
        return false;
    }
}

void CSplashWnd::HideSplashScreen()
{
    hide();
    s_pSplashWnd = nullptr;
    deleteLater();
    if (QWidget* pMain = parentWidget())
        pMain->repaint();
}

void CSplashWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_bmpSplash);
}
