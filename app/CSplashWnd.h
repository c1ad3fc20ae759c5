#pragma once

#include <QPixmap>
#include <QWidget>

class QEvent;

// The title picture shown over the main window while the program starts.
// It has no time-out: the first key press or mouse-button press anywhere in
// the program removes it and does nothing else. Shown at most once a run.
class CSplashWnd : public QWidget
{
    Q_OBJECT
public:
    // Called once at start-up with the command line's show-splash flag.
    static void EnableSplashScreen(bool bEnable);
    // Shows the splash over pParent if start-up allowed it and none shows yet;
    // a picture that cannot be loaded skips it silently.
    static void ShowSplashScreen(QWidget* pParent);
    // Offered every event before normal dispatch; true when it was the press
    // that removed the splash (the event then goes no further).
    static bool PreTranslateAppMessage(QObject* pReceiver, QEvent* pEvent);

    static CSplashWnd* Instance() { return s_pSplashWnd; }
    static bool IsEnabled() { return s_bSplashEnabled; }

    void HideSplashScreen();
    ~CSplashWnd() override;

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    explicit CSplashWnd(QWidget* pParent);
    bool Create();

    QPixmap m_bmpSplash;
    static CSplashWnd* s_pSplashWnd;
    static bool s_bSplashEnabled;
    static bool s_bShownOnce;
};
