#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

class CChildFrame;
class CDocTemplate;
class CVeltroInterfaceView;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStatusBar;
class QToolBar;

// The program's one top-level window: menu bar, dockable toolbar, status bar
// with the pointer readout pane, and the workspace that holds one child
// frame per open window.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;

    // Builds the bars and the menus; false if any of them cannot be made.
    bool OnCreate();

    // Opens an engine output as a new document in a new child window made
    // by the given result template, titled with the path as confirmed. The
    // path does not join the recent-file list. A missing output is reported
    // ("%1 was not found.") and the window opens all the same, empty. The
    // result remembers the window it was made from and takes the file of its
    // changed pixels (removed with the result; at once if no window opens).
    void OpenResultDocument(CDocTemplate* pTemplate, const QString& strPath,
                            CVeltroInterfaceView* pSource = nullptr, const QString& strChangedMask = QString());

    QMdiArea* MdiArea() const { return m_pMdiArea; }
    CChildFrame* MDIGetActive() const;
    CVeltroInterfaceView* GetActiveView() const;
    QAction* Action(int nId) const { return m_actions.value(nId); }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QStatusBar* StatusBar() const { return m_wndStatusBar; }
    QLabel* PixelInfoPane() const { return m_pPanes[0]; }
    // Which menu is showing: 128 with no child window, 130 with one.
    int CurrentMenuId() const { return m_nMenuId; }

    // Text of status pane 59142, sent by the active view.
    void SetPixelInfoText(const QString& strText);
    // The status bar's message pane: what a long task is doing (shown at
    // once, also while the program waits, and kept until the task says
    // otherwise), then "Ready" again.
    void SetMessageText(const QString& strText);
    void SetIdleMessage();
    // Rebuilds the recent-file entries of the File menus.
    void UpdateRecentFileMenu(const QStringList& files);

    // Save As: copies the document's image file to a new path. The opened
    // photograph itself is never written (Save stays greyed: nothing in the
    // program changes a document).
    void OnFileSaveAs();
    // Window > New Window: another window on the active document.
    void OnWindowNew();
    // Window > Arrange Icons: minimised windows in a row along the bottom.
    void OnWindowArrange();
    // File > Close: closes every window of the active document.
    void OnFileClose();
    // Window > Compare with Source: the active result window and the window
    // of its source side by side, at the source's zoom and place, linked;
    // chosen again (in either), the link ends.
    void OnWindowCompare();
    // View > Show Changes in a result window, on and off.
    void OnViewShowChanges();
    // Processing > Paint Blotch Mask: the active view's painting mode, on and off.
    void OnProcessingPaintMask();
    // Next (nStep 1) or previous (-1) window, in the Window menu's order.
    void OnWindowStep(int nStep);
    // Window > More Windows...: every window in a list to choose from.
    void OnWindowMore();

    // Enables and checks the commands for the windows as they are.
    void UpdateMenus();
    // The Window menu's list of the open windows, made afresh.
    void UpdateWindowList();
    QMenu* WindowMenu() const { return m_pMenuWindow; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    bool event(QEvent* pEvent) override;

private:
    void CreateActions();
    void CreateMenus();
    bool CreateToolBar();
    bool CreateStatusBar();
    QList<QMdiSubWindow*> Windows() const;
    void UpdateCaption();
    void UpdateLockIndicators();
    void OnSubWindowActivated(QMdiSubWindow* pWindow);

    QMdiArea* m_pMdiArea = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QString m_strBusyMessage;   // a long task's text, kept while it runs
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_pPanes[4] = {};   // 59142, CAP, NUM, SCRL
    QHash<int, QAction*> m_actions;
    QList<QAction*> m_recentActions;
    QMenu* m_pMenuFile128 = nullptr;
    QMenu* m_pMenuFile130 = nullptr;
    QList<QMenu*> m_menus128;
    QList<QMenu*> m_menus130;
    QMenu* m_pMenuWindow = nullptr;
    QList<QAction*> m_windowListActions;
    int m_nMenuId = 0;
    QPointer<QMdiSubWindow> m_pLastActive;
};
