#include "app/CMainFrame.h"

#include "app/AppSettings.h"
#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CSplashWnd.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/CommandTable.h"
#include "app/UiSeams.h"
#include "app/WindowList.h"
#include "document/CVeltroInterfaceDoc.h"
#include "document/ImageFile.h"
#include "processing/CResultInfo.h"
#include "processing/EngineRunner.h"
#include "res/ArtPaths.h"
#include "res/ResourceIds.h"
#include "view/CChangesTool.h"
#include "view/CCompareTool.h"
#include "view/CMaskLayer.h"
#include "view/CMaskPaintTool.h"
#include "view/CVeltroInterfaceView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QStatusBar>
#include <QToolBar>

#include "app/LockKeys.h"

using namespace ids;

namespace {
const char* const kPixelInfoInitial = "xy=(0000,0000) rgb=(255,255,255)";
const char* const kIdleMessage = "Ready";
} // namespace

CMainFrame::CMainFrame()
{
    setWindowTitle(QStringLiteral("VeltroInterface"));
    setWindowIcon(QIcon(QString::fromLatin1(art::kAppIcon)));
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_pMdiArea);
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    resize(1200, 800);
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::OnCreate()
{
    CreateActions();
    if (!CreateToolBar())
        return false;
    if (!CreateStatusBar())
        return false;
    CreateMenus();
    UpdateMenus();
    UpdateRecentFileMenu(CVeltroInterfaceApp::Instance() ? CVeltroInterfaceApp::Instance()->RecentFiles()
                                                          : QStringList());
    CSplashWnd::ShowSplashScreen(this);
    return true;
}

void CMainFrame::CreateActions()
{
    CVeltroInterfaceApp* pApp = CVeltroInterfaceApp::Instance();
    for (const CommandInfo& info : CommandTable()) {
        QString strText = QString::fromLatin1(info.pszMenuText);
        const int nTab = strText.indexOf(QLatin1Char('\t'));
        if (nTab >= 0)
            strText.truncate(nTab);
        auto* pAction = new QAction(strText, this);
        pAction->setObjectName(QString::number(info.nId));
        pAction->setData(info.nId);
        pAction->setStatusTip(QString::fromLatin1(info.pszPrompt));
        pAction->setToolTip(QString::fromLatin1(info.pszTooltip));
        if (info.pszIcon != nullptr)
            pAction->setIcon(QIcon(QString::fromLatin1(info.pszIcon)));
        pAction->setShortcuts(info.shortcuts);
        m_actions.insert(info.nId, pAction);
        addAction(pAction);  // keyboard shortcuts work wherever the focus is in the frame
    }

    auto onTrigger = [this](int nId, auto&& fn) {
        connect(m_actions.value(nId), &QAction::triggered, this, fn);
    };
    auto onView = [this, onTrigger](int nId, void (CVeltroInterfaceView::*pfn)()) {
        onTrigger(nId, [this, pfn] {
            if (CVeltroInterfaceView* pView = GetActiveView())
                (pView->*pfn)();
        });
    };

    if (pApp != nullptr) {
        onTrigger(ID_FILE_NEW, [pApp] { pApp->OnFileNew(); });
        onTrigger(ID_FILE_OPEN, [pApp] { pApp->OnFileOpen(); });
        onTrigger(ID_FILE_PRINT_SETUP, [pApp] { pApp->OnFilePrintSetup(); });
        onTrigger(ID_APP_ABOUT, [pApp] { pApp->OnAppAbout(); });
    }
    onTrigger(ID_FILE_CLOSE, [this] { OnFileClose(); });
    onTrigger(ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); });
    onTrigger(ID_APP_EXIT, [this] { close(); });
    onView(ID_FILE_PRINT, &CVeltroInterfaceView::OnFilePrint);
    onView(ID_FILE_PRINT_PREVIEW, &CVeltroInterfaceView::OnFilePrintPreview);
    onView(ID_PROCESSING_BLOTCH, &CVeltroInterfaceView::OnProcessingBlotch);
    onView(ID_PROCESSING_CRACK, &CVeltroInterfaceView::OnProcessingCrack);
    onView(ID_PROCESSING_FOXING, &CVeltroInterfaceView::OnProcessingFoxing);
    onView(ID_PROCESSING_CREASE, &CVeltroInterfaceView::OnProcessingCrease);
    onTrigger(ID_WINDOW_NEW, [this] { OnWindowNew(); });
    onTrigger(ID_WINDOW_CASCADE, [this] { m_pMdiArea->cascadeSubWindows(); });
    onTrigger(ID_WINDOW_TILE_HORZ, [this] { m_pMdiArea->tileSubWindows(); });
    onTrigger(ID_WINDOW_ARRANGE, [this] { OnWindowArrange(); });
    onView(ID_VIEW_FIT_WINDOW, &CVeltroInterfaceView::OnViewFitInWindow);
    onView(ID_VIEW_ACTUAL_PIXELS, &CVeltroInterfaceView::OnViewActualPixels);
    onTrigger(ID_VIEW_SHOW_CHANGES, [this] { OnViewShowChanges(); });
    onTrigger(ID_PROCESSING_PAINT_MASK, [this] { OnProcessingPaintMask(); });
    onTrigger(ID_WINDOW_COMPARE, [this] { OnWindowCompare(); });
    onTrigger(ID_WINDOW_NEXT, [this] { OnWindowStep(1); });
    onTrigger(ID_WINDOW_PREV, [this] { OnWindowStep(-1); });
    onTrigger(ID_WINDOW_MORE, [this] { OnWindowMore(); });

    // Nothing in the program changes a document, so there is never anything
    // to save; nobody serves the Edit commands or the pane switches.
    for (int nId : {ID_FILE_SAVE, ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_NEXT_PANE, ID_PREV_PANE})
        m_actions.value(nId)->setEnabled(false);

    for (int nId : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_SHOW_CHANGES, ID_PROCESSING_PAINT_MASK,
                    ID_WINDOW_COMPARE})
        m_actions.value(nId)->setCheckable(true);
    // The window switches apply wherever the keyboard is in the frame, also
    // within the workspace, which would otherwise take Ctrl+Tab for itself.
    for (int nId : {ID_WINDOW_NEXT, ID_WINDOW_PREV})
        m_actions.value(nId)->setShortcutContext(Qt::ApplicationShortcut);

    for (int i = 0; i < appsettings::kRecentFileCount; ++i) {
        auto* pAction = new QAction(this);
        pAction->setObjectName(QString::number(ID_FILE_MRU_FILE1 + i));
        pAction->setStatusTip(QStringLiteral("Open this document"));
        connect(pAction, &QAction::triggered, this, [i] {
            if (CVeltroInterfaceApp* pTheApp = CVeltroInterfaceApp::Instance())
                pTheApp->OnOpenRecentFile(i);
        });
        m_recentActions.append(pAction);
    }
}

void CMainFrame::CreateMenus()
{
    auto act = [this](int nId) { return m_actions.value(nId); };
    auto addRecent = [this](QMenu* pMenu) {
        for (QAction* pAction : m_recentActions)
            pMenu->addAction(pAction);
    };

    m_pMenuFile130 = new QMenu(QStringLiteral("&File"), this);
    m_pMenuFile130->addActions({act(ID_FILE_NEW), act(ID_FILE_OPEN), act(ID_FILE_CLOSE), act(ID_FILE_SAVE),
                                act(ID_FILE_SAVE_AS)});
    m_pMenuFile130->addSeparator();
    m_pMenuFile130->addActions({act(ID_FILE_PRINT), act(ID_FILE_PRINT_PREVIEW), act(ID_FILE_PRINT_SETUP)});
    m_pMenuFile130->addSeparator();
    addRecent(m_pMenuFile130);
    m_pMenuFile130->addSeparator();
    m_pMenuFile130->addAction(act(ID_APP_EXIT));

    m_pMenuFile128 = new QMenu(QStringLiteral("&File"), this);
    m_pMenuFile128->addAction(act(ID_FILE_OPEN));
    m_pMenuFile128->addSeparator();
    m_pMenuFile128->addAction(act(ID_FILE_PRINT_SETUP));
    m_pMenuFile128->addSeparator();
    addRecent(m_pMenuFile128);
    m_pMenuFile128->addSeparator();
    m_pMenuFile128->addAction(act(ID_APP_EXIT));

    auto* pEdit = new QMenu(QStringLiteral("&Edit"), this);
    pEdit->addAction(act(ID_EDIT_UNDO));
    pEdit->addSeparator();
    pEdit->addActions({act(ID_EDIT_CUT), act(ID_EDIT_COPY), act(ID_EDIT_PASTE)});

    auto* pView128 = new QMenu(QStringLiteral("&View"), this);
    pView128->addActions({act(ID_VIEW_TOOLBAR), act(ID_VIEW_STATUS_BAR)});
    auto* pView = new QMenu(QStringLiteral("&View"), this);
    pView->addActions({act(ID_VIEW_TOOLBAR), act(ID_VIEW_STATUS_BAR)});
    pView->addSeparator();
    pView->addActions({act(ID_VIEW_FIT_WINDOW), act(ID_VIEW_ACTUAL_PIXELS)});
    pView->addSeparator();
    pView->addAction(act(ID_VIEW_SHOW_CHANGES));

    auto* pProcessing = new QMenu(QStringLiteral("Processing"), this);
    pProcessing->addActions({act(ID_PROCESSING_BLOTCH), act(ID_PROCESSING_CRACK), act(ID_PROCESSING_FOXING),
                             act(ID_PROCESSING_CREASE)});
    pProcessing->addSeparator();
    pProcessing->addAction(act(ID_PROCESSING_PAINT_MASK));

    m_pMenuWindow = new QMenu(QStringLiteral("&Window"), this);
    QMenu* pWindow = m_pMenuWindow;
    pWindow->addActions({act(ID_WINDOW_NEW), act(ID_WINDOW_CASCADE), act(ID_WINDOW_TILE_HORZ),
                         act(ID_WINDOW_ARRANGE)});
    pWindow->addSeparator();
    pWindow->addActions({act(ID_WINDOW_COMPARE), act(ID_WINDOW_NEXT), act(ID_WINDOW_PREV)});
    pWindow->addSeparator();
    connect(pWindow, &QMenu::aboutToShow, this, &CMainFrame::UpdateWindowList);

    auto* pHelp = new QMenu(QStringLiteral("&Help"), this);
    pHelp->addAction(act(ID_APP_ABOUT));

    m_menus128 = {m_pMenuFile128, pView128, pHelp};
    m_menus130 = {m_pMenuFile130, pEdit, pView, pProcessing, pWindow, pHelp};
    for (QMenu* pMenu : m_menus130 + m_menus128)
        pMenu->setToolTipsVisible(false);
}

bool CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_wndToolBar->setObjectName(QString::number(ID_VIEW_TOOLBAR));
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int nId : ToolbarLayout()) {
        if (nId == 0)
            m_wndToolBar->addSeparator();
        else
            m_wndToolBar->addAction(m_actions.value(nId));
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    QAction* pToggle = m_actions.value(ID_VIEW_TOOLBAR);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, m_wndToolBar, &QToolBar::setVisible);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, pToggle, [this, pToggle](bool) {
        // Floating toolbars hide while the frame is minimised; the item
        // follows what the user chose, not those passing states.
        if (!isMinimized())
            pToggle->setChecked(!m_wndToolBar->isHidden());
    });
    return true;
}

bool CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(QString::number(ID_VIEW_STATUS_BAR));
    setStatusBar(m_wndStatusBar);

    const QFontMetrics metrics(m_wndStatusBar->font());
    const char* const texts[4] = {kPixelInfoInitial, "CAP", "NUM", "SCRL"};
    const int ids[4] = {ID_INDICATOR_PIXELINFO, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
    for (int i = 0; i < 4; ++i) {
        auto* pPane = new QLabel(m_wndStatusBar);
        pPane->setObjectName(QString::number(ids[i]));
        pPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pPane->setContentsMargins(3, 0, 3, 0);
        const int nWidth = metrics.horizontalAdvance(QString::fromLatin1(texts[i]))
                           + 2 * pPane->frameWidth() + 6 + 4;
        pPane->setFixedWidth(nWidth);
        m_wndStatusBar->addPermanentWidget(pPane);
        m_pPanes[i] = pPane;
    }

    connect(m_wndStatusBar, &QStatusBar::messageChanged, this, [this](const QString& strMessage) {
        // While a long task runs its text stays: the pointer entering a
        // widget (when a dialog closes, say) sends that widget's status tip,
        // or an empty one, which would otherwise put up "Ready".
        if (!m_strBusyMessage.isEmpty()) {
            if (strMessage != m_strBusyMessage)
                m_wndStatusBar->showMessage(m_strBusyMessage);
        } else if (strMessage.isEmpty()) {
            m_wndStatusBar->showMessage(QString::fromLatin1(kIdleMessage));
        }
    });
    m_wndStatusBar->showMessage(QString::fromLatin1(kIdleMessage));

    QAction* pToggle = m_actions.value(ID_VIEW_STATUS_BAR);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, m_wndStatusBar, &QStatusBar::setVisible);
    UpdateLockIndicators();
    return true;
}

void CMainFrame::SetPixelInfoText(const QString& strText)
{
    m_pPanes[0]->setText(strText);
}

void CMainFrame::SetMessageText(const QString& strText)
{
    // The repaint this schedules is done by the wait for the engine too,
    // which handles every event but user input.
    m_strBusyMessage = strText;
    m_wndStatusBar->showMessage(strText);
}

void CMainFrame::SetIdleMessage()
{
    m_strBusyMessage.clear();
    m_wndStatusBar->showMessage(QString::fromLatin1(kIdleMessage));
}

void CMainFrame::UpdateRecentFileMenu(const QStringList& files)
{
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction* pAction = m_recentActions.at(i);
        if (i < files.size()) {
            pAction->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(files.at(i)));
            pAction->setEnabled(true);
            pAction->setVisible(true);
        } else if (i == 0) {
            // An empty list shows one greyed "Recent File" entry.
            pAction->setText(QStringLiteral("Recent File"));
            pAction->setEnabled(false);
            pAction->setVisible(true);
        } else {
            pAction->setVisible(false);
        }
    }
}

CChildFrame* CMainFrame::MDIGetActive() const
{
    return qobject_cast<CChildFrame*>(m_pMdiArea->currentSubWindow());
}

CVeltroInterfaceView* CMainFrame::GetActiveView() const
{
    CChildFrame* pFrame = MDIGetActive();
    return pFrame != nullptr ? pFrame->GetView() : nullptr;
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* pWindow)
{
    if (m_pLastActive != nullptr && m_pLastActive != pWindow)
        disconnect(m_pLastActive, &QWidget::windowTitleChanged, this, nullptr);
    if (pWindow != nullptr && pWindow != m_pLastActive)
        connect(pWindow, &QWidget::windowTitleChanged, this, [this] { UpdateCaption(); });
    if (pWindow != nullptr)
        m_pLastActive = pWindow;
    UpdateMenus();
    // A window that is closing is still listed while it goes; look again
    // once it has gone.
    QMetaObject::invokeMethod(this, [this] { UpdateMenus(); UpdateCaption(); }, Qt::QueuedConnection);
    UpdateCaption();
    CVeltroInterfaceView* pView = GetActiveView();
    SetPixelInfoText(pView != nullptr ? pView->OnUpdatePixelInfo() : QString());
}

void CMainFrame::UpdateMenus()
{
    bool bAnyWindow = false;
    for (QMdiSubWindow* pWindow : m_pMdiArea->subWindowList()) {
        if (pWindow->isVisible())
            bAnyWindow = true;
    }
    const int nMenuId = bAnyWindow ? IDR_VELTROTYPE : IDR_MAINFRAME;
    if (nMenuId != m_nMenuId) {
        m_nMenuId = nMenuId;
        menuBar()->clear();
        for (QMenu* pMenu : nMenuId == IDR_VELTROTYPE ? m_menus130 : m_menus128)
            menuBar()->addMenu(pMenu);
    }

    CVeltroInterfaceView* pView = GetActiveView();
    const bool bActive = pView != nullptr;
    for (int nId : {ID_FILE_CLOSE, ID_FILE_SAVE_AS, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_PROCESSING_BLOTCH,
                    ID_PROCESSING_CRACK, ID_PROCESSING_FOXING, ID_PROCESSING_CREASE, ID_WINDOW_NEW,
                    ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE})
        m_actions.value(nId)->setEnabled(bActive);

    // The modes of the active window.
    CVeltroInterfaceDoc* pDoc = bActive ? pView->GetDocument() : nullptr;
    const bool bPicture = pDoc != nullptr && pDoc->m_pImage != nullptr;
    const CResultInfo* pResult = CResultInfo::Of(pDoc);
    const bool bLinked = CViewTool::Find<CCompareTool>(pView) != nullptr;
    const bool bChanges = CViewTool::Find<CChangesTool>(pView) != nullptr;
    const bool bPainting = CViewTool::Find<CMaskPaintTool>(pView) != nullptr;
    auto set = [this](int nId, bool bEnabled, bool bChecked) {
        QAction* pAction = m_actions.value(nId);
        pAction->setEnabled(bEnabled);
        if (pAction->isCheckable())
            pAction->setChecked(bChecked);
    };
    set(ID_VIEW_FIT_WINDOW, bPicture, false);
    set(ID_VIEW_ACTUAL_PIXELS, bPicture, false);
    set(ID_VIEW_SHOW_CHANGES, bChanges || (bPicture && pResult != nullptr && pResult->HasChangedMask()), bChanges);
    set(ID_PROCESSING_PAINT_MASK, bPainting || bPicture, bPainting);
    set(ID_WINDOW_COMPARE, bLinked || (pResult != nullptr && pResult->SourceView() != nullptr), bLinked);
    const bool bSeveral = Windows().size() > 1;
    set(ID_WINDOW_NEXT, bSeveral, false);
    set(ID_WINDOW_PREV, bSeveral, false);
    UpdateWindowList();
}

QList<QMdiSubWindow*> CMainFrame::Windows() const
{
    // The workspace's own order: the order the windows were opened in.
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* pWindow : m_pMdiArea->subWindowList(QMdiArea::CreationOrder))
        if (pWindow->isVisible() || pWindow->isMinimized())
            windows.append(pWindow);
    return windows;
}

void CMainFrame::UpdateWindowList()
{
    if (m_pMenuWindow == nullptr)
        return;
    for (QAction* pAction : m_windowListActions) {
        m_pMenuWindow->removeAction(pAction);
        if (pAction != m_actions.value(ID_WINDOW_MORE))
            pAction->deleteLater();
    }
    m_windowListActions.clear();
    const QList<QMdiSubWindow*> windows = Windows();
    QStringList titles;
    for (QMdiSubWindow* pWindow : windows)
        titles.append(pWindow->windowTitle());
    const QStringList texts = windowlist::MenuTexts(titles);
    for (int i = 0; i < texts.size(); ++i) {
        QAction* pAction = nullptr;
        if (i < windowlist::kListed) {
            pAction = new QAction(texts.at(i), this);
            pAction->setObjectName(QString::number(AFX_IDM_FIRST_MDICHILD + i));
            pAction->setStatusTip(QStringLiteral("Activate this window"));
            pAction->setCheckable(true);
            pAction->setChecked(windows.at(i) == m_pMdiArea->currentSubWindow());
            QPointer<QMdiSubWindow> pWindow = windows.at(i);
            connect(pAction, &QAction::triggered, this, [this, pWindow] {
                if (pWindow != nullptr)
                    m_pMdiArea->setActiveSubWindow(pWindow);
            });
        } else {
            pAction = m_actions.value(ID_WINDOW_MORE);
        }
        m_pMenuWindow->addAction(pAction);
        m_windowListActions.append(pAction);
    }
}

void CMainFrame::OnWindowStep(int nStep)
{
    const QList<QMdiSubWindow*> windows = Windows();
    const int nNext = windowlist::Step(int(windows.indexOf(m_pMdiArea->currentSubWindow())), int(windows.size()),
                                       nStep);
    if (nNext >= 0)
        m_pMdiArea->setActiveSubWindow(windows.at(nNext));
}

void CMainFrame::OnWindowMore()
{
    const QList<QMdiSubWindow*> windows = Windows();
    QDialog dlg(this);
    dlg.setWindowTitle(QStringLiteral("Select Window"));
    auto* pList = new QListWidget(&dlg);
    for (QMdiSubWindow* pWindow : windows)
        pList->addItem(pWindow->windowTitle());
    pList->setCurrentRow(int(windows.indexOf(m_pMdiArea->currentSubWindow())));
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    connect(pButtons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    connect(pList, &QListWidget::itemActivated, &dlg, &QDialog::accept);
    auto* pLayout = new QVBoxLayout(&dlg);
    pLayout->addWidget(pList);
    pLayout->addWidget(pButtons);
    dlg.resize(480, 320);
    if (ui::DoModal(dlg) != QDialog::Accepted)
        return;
    const int nRow = pList->currentRow();
    if (nRow >= 0 && nRow < windows.size() && windows.at(nRow) != nullptr)
        m_pMdiArea->setActiveSubWindow(windows.at(nRow));
}

void CMainFrame::OnProcessingPaintMask()
{
    CVeltroInterfaceView* pView = GetActiveView();
    if (pView == nullptr)
        return;
    if (CMaskPaintTool* pTool = CViewTool::Find<CMaskPaintTool>(pView)) {
        delete pTool;
        m_wndStatusBar->clearMessage();
    } else if (CMaskPaintTool::PaintedMask(pView->GetDocument(), true) != nullptr) {
        new CMaskPaintTool(pView);
    }
    UpdateMenus();
}

void CMainFrame::OnViewShowChanges()
{
    CVeltroInterfaceView* pView = GetActiveView();
    if (pView == nullptr)
        return;
    if (CChangesTool* pTool = CViewTool::Find<CChangesTool>(pView)) {
        delete pTool;
        m_wndStatusBar->clearMessage();
        UpdateMenus();
        return;
    }
    CResultInfo* pResult = CResultInfo::Of(pView->GetDocument());
    if (pResult == nullptr)
        return;
    QString strError;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CMaskLayer* pChanged = pResult->ChangedPixels(&strError);
    QApplication::restoreOverrideCursor();
    if (pChanged == nullptr) {
        ui::ShowMessage(strError);
    } else {
        new CChangesTool(pView, pChanged);
        m_wndStatusBar->showMessage(CChangesTool::ChangedPixelsText(
            pChanged->Count(), int64_t(pChanged->Width()) * int64_t(pChanged->Height())));
    }
    UpdateMenus();
}

void CMainFrame::OnWindowCompare()
{
    CVeltroInterfaceView* pResult = GetActiveView();
    if (pResult == nullptr)
        return;
    if (CCompareTool* pLink = CViewTool::Find<CCompareTool>(pResult)) {
        pLink->Unlink();
        UpdateMenus();
        return;
    }
    const CResultInfo* pInfo = CResultInfo::Of(pResult->GetDocument());
    CVeltroInterfaceView* pSource = pInfo != nullptr ? pInfo->SourceView() : nullptr;
    CChildFrame* pSourceFrame = pSource != nullptr ? pSource->GetParentFrame() : nullptr;
    CChildFrame* pResultFrame = pResult->GetParentFrame();
    if (pSourceFrame == nullptr || pResultFrame == nullptr)
        return;

    // The picture point in the middle of the source view stays there, as far
    // as the scroll range allows.
    const QPoint scroll = pSource->ScrollOffset();
    const QPoint middle = pSource->viewport()->rect().center();

    // Side by side, the source on the left, each half of the workspace.
    const QSize area = m_pMdiArea->viewport()->size();
    for (CChildFrame* pFrame : {pSourceFrame, pResultFrame})
        if (pFrame->isMaximized() || pFrame->isMinimized())
            pFrame->showNormal();
    pSourceFrame->setGeometry(0, 0, area.width() / 2, area.height());
    pResultFrame->setGeometry(area.width() / 2, 0, area.width() - area.width() / 2, area.height());
    // Other windows may lie over the source: both come to the front.
    pSourceFrame->raise();
    pResultFrame->raise();
    CCompareTool::Link(pResult, pSource);
    pSource->LayOut();
    pSource->ScrollTo(scroll + middle - pSource->viewport()->rect().center());

    // The result takes the source's zoom and place.
    if (CCompareTool* pLink = CViewTool::Find<CCompareTool>(pSource))
        pLink->ViewMoved();
    m_pMdiArea->setActiveSubWindow(pResultFrame);
    pResult->setFocus();
    UpdateMenus();
}

void CMainFrame::UpdateCaption()
{
    QString strCaption = QStringLiteral("VeltroInterface");
    if (CChildFrame* pFrame = MDIGetActive())
        strCaption += QStringLiteral(" - ") + pFrame->windowTitle();
    setWindowTitle(strCaption);
}

void CMainFrame::UpdateLockIndicators()
{
    bool bCaps = false, bNum = false, bScroll = false;
    QueryLockKeys(bCaps, bNum, bScroll);
    if (m_pPanes[1] == nullptr)
        return;
    m_pPanes[1]->setText(bCaps ? QStringLiteral("CAP") : QString());
    m_pPanes[2]->setText(bNum ? QStringLiteral("NUM") : QString());
    m_pPanes[3]->setText(bScroll ? QStringLiteral("SCRL") : QString());
}

bool CMainFrame::event(QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::WindowActivate:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        UpdateLockIndicators();
        break;
    default:
        break;
    }
    return QMainWindow::event(pEvent);
}

void CMainFrame::OpenResultDocument(CDocTemplate* pTemplate, const QString& strPath,
                                    CVeltroInterfaceView* pSource, const QString& strChangedMask)
{
    CVeltroInterfaceDoc* pDoc = nullptr;
    CChildFrame* pFrame = nullptr;
    if (MDIGetActive() != nullptr && pTemplate != nullptr) {
        pDoc = pTemplate->CreateNewDocument();
        pFrame = pTemplate->CreateNewFrame(pDoc, this);
    }
    if (pFrame == nullptr) {
        delete pDoc;
        if (!strChangedMask.isEmpty())
            QFile::remove(strChangedMask);
        return;
    }
    new CResultInfo(pSource, strChangedMask, pDoc);
    // The window opens whatever the engine left; what went wrong is said.
    QString strMessage;
    if (QFileInfo::exists(strPath)) {
        QString strError;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool bLoaded = pDoc->OnOpenDocument(strPath, &strError);
        QApplication::restoreOverrideCursor();
        if (!bLoaded)
            strMessage = QStringLiteral("Cannot open %1:\n%2").arg(strPath, strError);
    } else {
        strMessage = QStringLiteral("%1 was not found.").arg(strPath);
    }
    if (!strMessage.isEmpty()) {
        const QString strEngineLine = engine::LastEngineErrorLine();
        if (!strEngineLine.isEmpty())
            strMessage += QStringLiteral("\n\nThe engine said: ") + strEngineLine;
        ui::ShowMessage(strMessage);
    }
    pDoc->SetTitle(strPath);
    pTemplate->InitialUpdateFrame(pFrame, pDoc, true);
    // What the engine said about a run that went through ("no crack found
    // ...; the picture is left unchanged") is the news: the window alone
    // would look as if it had worked. Without it, Show Changes needs the
    // engine's record of what it changed.
    if (strMessage.isEmpty() && !engine::LastEngineErrorLine().isEmpty())
        m_wndStatusBar->showMessage(engine::LastEngineErrorLine());
    else if (strMessage.isEmpty() && !CResultInfo::Of(pDoc)->HasChangedMask())
        m_wndStatusBar->showMessage(QStringLiteral("The engine wrote no record of the pixels it changed: "
                                                   "Show Changes is not available for this result."));
    UpdateMenus();
}

void CMainFrame::OnFileSaveAs()
{
    CVeltroInterfaceView* pView = GetActiveView();
    CVeltroInterfaceDoc* pDoc = pView != nullptr ? pView->GetDocument() : nullptr;
    if (pDoc == nullptr)
        return;
    const QString strSource = pDoc->m_strImagePath;
    if (strSource.isEmpty() || !QFileInfo::exists(strSource)) {
        ui::ShowMessage(QStringLiteral("%1 has no picture file to save.").arg(pDoc->GetTitle()));
        return;
    }
    // The copy is the same file, so the chooser offers the kind it holds.
    const imagefile::Format format = imagefile::FormatOf(strSource);
    const QString strTarget = ui::GetSaveFileName(
        this, QStringLiteral("Save As"), imagefile::DialogFilter(format) + QStringLiteral(";;All Files (*.*)"),
        QFileInfo(strSource).absolutePath(), imagefile::Suffix(format));
    if (strTarget.isEmpty())
        return;
    const QFileInfo sourceInfo(strSource), targetInfo(strTarget);
    if (targetInfo.absoluteFilePath() == sourceInfo.absoluteFilePath()
        || (targetInfo.exists() && targetInfo.canonicalFilePath() == sourceInfo.canonicalFilePath())) {
        ui::ShowMessage(QStringLiteral("Cannot save as %1: it is the picture's own file. Choose another name.")
                            .arg(strTarget));
        return;
    }

    QFile source(strSource);
    if (!source.open(QIODevice::ReadOnly)) {
        ui::ShowMessage(QStringLiteral("Cannot read %1: %2").arg(strSource, source.errorString()));
        return;
    }
    // Written beside the target and renamed into place, so a failure never
    // leaves a half-written file where an earlier one stood.
    QSaveFile target(strTarget);
    if (!target.open(QIODevice::WriteOnly)) {
        ui::ShowMessage(QStringLiteral("Cannot save %1: %2").arg(strTarget, target.errorString()));
        return;
    }
    QByteArray chunk;
    while (!(chunk = source.read(1 << 20)).isEmpty()) {
        if (target.write(chunk) != chunk.size())
            break;
    }
    if (source.error() != QFileDevice::NoError) {
        target.cancelWriting();
        ui::ShowMessage(QStringLiteral("Cannot read %1: %2").arg(strSource, source.errorString()));
        return;
    }
    if (!target.commit())
        ui::ShowMessage(QStringLiteral("Cannot save %1: %2").arg(strTarget, target.errorString()));
}

void CMainFrame::OnWindowNew()
{
    CVeltroInterfaceView* pView = GetActiveView();
    CVeltroInterfaceDoc* pDoc = pView != nullptr ? pView->GetDocument() : nullptr;
    if (pDoc == nullptr || pDoc->GetDocTemplate() == nullptr)
        return;
    CDocTemplate* pTemplate = pDoc->GetDocTemplate();
    CChildFrame* pFrame = pTemplate->CreateNewFrame(pDoc, this);
    if (pFrame == nullptr)
        return;
    pTemplate->InitialUpdateFrame(pFrame, pDoc, true);
    for (QObject* pObject : pDoc->GetViews()) {
        if (auto* pOther = qobject_cast<CVeltroInterfaceView*>(pObject))
            if (CChildFrame* pOtherFrame = pOther->GetParentFrame())
                pOtherFrame->UpdateTitle();
    }
}

void CMainFrame::OnWindowArrange()
{
    // Minimised windows in a row along the bottom of the workspace.
    const QSize area = m_pMdiArea->viewport()->size();
    int x = 0;
    for (QMdiSubWindow* pWindow : m_pMdiArea->subWindowList()) {
        if (!pWindow->isMinimized())
            continue;
        const QSize size = pWindow->size();
        if (x + size.width() > area.width())
            x = 0;
        pWindow->move(x, area.height() - size.height());
        x += size.width();
    }
}

void CMainFrame::OnFileClose()
{
    CVeltroInterfaceView* pView = GetActiveView();
    CVeltroInterfaceDoc* pDoc = pView != nullptr ? pView->GetDocument() : nullptr;
    if (pDoc == nullptr)
        return;
    for (QObject* pObject : pDoc->GetViews()) {
        if (auto* pOther = qobject_cast<CVeltroInterfaceView*>(pObject))
            if (CChildFrame* pFrame = pOther->GetParentFrame())
                pFrame->close();
    }
}

void CMainFrame::closeEvent(QCloseEvent* pEvent)
{
    m_pMdiArea->closeAllSubWindows();
    if (CVeltroInterfaceApp* pApp = CVeltroInterfaceApp::Instance())
        pApp->SaveSettings();
    pEvent->accept();
}
