#include "view/CVeltroInterfaceView.h"

#include "app/AppSettings.h"
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CDisplayCache.h"
#include "view/CViewTool.h"
#include "view/ViewGeometry.h"
#include "view/ViewNavigation.h"

#include <QApplication>
#include <QMdiArea>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

namespace {
const char* const kPromptFirstPoint = "Please, select 1st point!";
const char* const kPromptSecondPoint = "Please, select 2nd point!";
const char* const kPromptRegion = "Please, select the processing region!";

// The selection prompts: red, at the picture's top-left corner, over it.
void DrawPrompt(QPainter& painter, const char* pszPrompt)
{
    painter.save();
    painter.setPen(QColor(255, 0, 0));
    painter.drawText(QRect(0, 0, 2000, 200), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                     QString::fromLatin1(pszPrompt));
    painter.restore();
}

// Refusals close the whole program; one message is enough even when several
// views paint before the close takes effect.
bool g_bClosing = false;
} // namespace

CVeltroInterfaceView::CVeltroInterfaceView(CVeltroInterfaceDoc* pDoc, QWidget* pParent)
    : QAbstractScrollArea(pParent), m_pDocument(pDoc)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    if (pDoc != nullptr)
        pDoc->AddView(this);
}

CVeltroInterfaceView::~CVeltroInterfaceView()
{
    // The modes go while the view they draw on is whole.
    qDeleteAll(CViewTool::ToolsOf(this));
    SetBusyUntilDrawn(false);
    if (m_pDocument != nullptr)
        m_pDocument->RemoveView(this);
}

CChildFrame* CVeltroInterfaceView::GetParentFrame() const
{
    for (QWidget* p = parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (auto* pFrame = qobject_cast<CChildFrame*>(p))
            return pFrame;
    }
    return nullptr;
}

void CVeltroInterfaceView::OnInitialUpdate()
{
    SetScrollSizes(100, 100);
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc != nullptr && pDoc->m_pImage != nullptr)
        SetBusyUntilDrawn(true);
}

void CVeltroInterfaceView::SetBusyUntilDrawn(bool bBusy)
{
    if (bBusy == m_bBusyUntilDrawn)
        return;
    m_bBusyUntilDrawn = bBusy;
    if (bBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// The reductions of the picture come one by one from a worker; a view drawn
// provisionally meanwhile is drawn again as each comes.
void CVeltroInterfaceView::WatchCache(CDisplayCache* pCache)
{
    if (pCache == m_pWatchedCache)
        return;
    if (m_pWatchedCache != nullptr)
        disconnect(m_pWatchedCache, nullptr, this, nullptr);
    m_pWatchedCache = pCache;
    connect(pCache, &CDisplayCache::levelAdded, this, [this] {
        if (m_bProvisional) {
            m_bProvisional = false;
            viewport()->update();
        }
    });
}

QPoint CVeltroInterfaceView::ScrollOffset() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QPoint CVeltroInterfaceView::ViewportToDisplay(const QPoint& point) const
{
    return point + ScrollOffset();
}

void CVeltroInterfaceView::SetScrollSizes(int64_t nWidth, int64_t nHeight)
{
    if (nWidth == m_nScrollWidth && nHeight == m_nScrollHeight && nWidth != 0)
        return;
    m_nScrollWidth = nWidth;
    m_nScrollHeight = nHeight;
    // The page is the viewport as it will be: without a scroll bar where
    // the picture fits, less the other bar's breadth where it does not.
    QSize page = maximumViewportSize();
    const int nBarW = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool bNeedH = nWidth > page.width(), bNeedV = nHeight > page.height();
    if (bNeedH && !bNeedV)
        bNeedV = nHeight > page.height() - nBarW;
    if (bNeedV && !bNeedH)
        bNeedH = nWidth > page.width() - nBarW;
    if (bNeedH)
        page.rheight() -= nBarW;
    if (bNeedV)
        page.rwidth() -= nBarW;
    const int nMaxX = int(std::clamp<int64_t>(nWidth - page.width(), 0, INT32_MAX));
    const int nMaxY = int(std::clamp<int64_t>(nHeight - page.height(), 0, INT32_MAX));
    horizontalScrollBar()->setRange(0, nMaxX);
    verticalScrollBar()->setRange(0, nMaxY);
    horizontalScrollBar()->setPageStep(page.width());
    verticalScrollBar()->setPageStep(page.height());
    // The default line step of a scrolling view: a tenth of the page.
    horizontalScrollBar()->setSingleStep(std::max(1, page.width() / 10));
    verticalScrollBar()->setSingleStep(std::max(1, page.height() / 10));
}

void CVeltroInterfaceView::resizeEvent(QResizeEvent* pEvent)
{
    QAbstractScrollArea::resizeEvent(pEvent);
    const int64_t w = m_nScrollWidth, h = m_nScrollHeight;
    m_nScrollWidth = m_nScrollHeight = -1;
    SetScrollSizes(w, h);
}

void CVeltroInterfaceView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
    ToolsMoved();
}

void CVeltroInterfaceView::paintEvent(QPaintEvent* pEvent)
{
    QPainter painter(viewport());
    const QPoint offset = ScrollOffset();
    // Outside the picture the view shows the window background.
    painter.fillRect(pEvent->rect(), palette().color(QPalette::Window));
    painter.translate(-offset);
    OnDraw(painter, pEvent->rect().translated(offset), true);
    SetBusyUntilDrawn(false);
}

void CVeltroInterfaceView::RefuseDisplay(const QString& strMessage)
{
    if (g_bClosing)
        return;
    g_bClosing = true;
    // Not from inside the paint: the box and the close run right after it.
    QMetaObject::invokeMethod(
        qApp,
        [strMessage] {
            ui::ShowMessage(strMessage);
            if (CVeltroInterfaceApp* pApp = AfxGetApp())
                pApp->CloseApplication();
            g_bClosing = false;
        },
        Qt::QueuedConnection);
}

void CVeltroInterfaceView::OnDraw(QPainter& painter, const QRect& rcExposed, bool bScreen)
{
    const QPen penCrack(QColor(255, 0, 0), 1);

    const int nDepth = painter.device() != nullptr ? painter.device()->depth() : 32;
    if (nDepth < 24) {
        RefuseDisplay(QStringLiteral("The number of colors is less than 24 bits!"));
        return;
    }
    if (m_bEngineFailed != 0) {
        RefuseDisplay(QStringLiteral("The Veltro application will be closed."));
        return;
    }

    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc != nullptr && pDoc->m_nDisplayState != 0 && pDoc->m_pImage != nullptr) {
        const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(pDoc->m_nWidth, pDoc->m_nHeight,
                                                                           pDoc->m_nZoom);
        if (bScreen)
            SetScrollSizes(size.nWidth, size.nHeight);
        if (CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc)) {
            const bool bFinal = pCache->Draw(painter, rcExposed, pDoc->m_nZoom);
            if (bScreen) {
                WatchCache(pCache);
                m_bProvisional = m_bProvisional || !bFinal;
            }
        }
        // What is drawn over the picture (the modes' overlays, prompts,
        // feedback) comes after it, within rcExposed.
        if (bScreen)
            for (CViewTool* pTool : CViewTool::ToolsOf(this))
                pTool->Paint(painter, rcExposed);

        if (m_nPointStage == 0 || m_nPointStage == 1)
            DrawPrompt(painter, m_nPointStage == 0 ? kPromptFirstPoint : kPromptSecondPoint);

        if (bScreen && pDoc->m_nDisplayState == 1) {
            FitFrameAndRetitle(size.nWidth, size.nHeight);
            pDoc->m_nDisplayState += 1;
        }
    }

    switch (m_nMode) {
    case modeCrackPoints:
        if (!m_rcSelection.IsNone()) {
            painter.save();
            painter.setPen(penCrack);
            painter.drawLine(m_rcSelection.left, m_rcSelection.top, m_rcSelection.right, m_rcSelection.bottom);
            painter.restore();
        }
        break;
    case modeCreaseRegion:
        DrawPrompt(painter, kPromptRegion);
        painter.save();
        if (!m_rcSelection.IsNone()) {
            // Inverted colours: white in difference mode.
            const QRect rc = m_rcSelection.Area();
            painter.setCompositionMode(QPainter::CompositionMode_Difference);
            painter.fillRect(QRect(rc.topLeft(), QSize(rc.width() - 1, rc.height() - 1)), Qt::white);
        }
        painter.restore();
        break;
    default:
        m_rcSelection.SetNone();
        break;
    }
}

void CVeltroInterfaceView::FitFrameAndRetitle(int64_t nDisplayWidth, int64_t nDisplayHeight)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    CChildFrame* pFrame = GetParentFrame();
    if (pFrame != nullptr && !pFrame->isMaximized() && !pFrame->isMinimized() && !KeepsFrame()) {
        // The frame is fitted so the whole picture shows when it can, and
        // never grows beyond the workspace.
        QSize client(INT32_MAX, INT32_MAX);
        if (QMdiArea* pArea = pFrame->mdiArea())
            client = pArea->viewport()->size();
        // Everything around the picture but the scroll bars, which go when
        // the picture fits.
        const QSize chrome = pFrame->size() - maximumViewportSize();
        const QSize size = viewnav::FitFrameSize(nDisplayWidth, nDisplayHeight, chrome, client,
                                                 style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
        pFrame->resize(size);
        // A frame pushed partly out of the workspace by its new size comes back in.
        QPoint pos = pFrame->pos();
        pos.setX(std::max(0, std::min(pos.x(), client.width() - size.width())));
        pos.setY(std::max(0, std::min(pos.y(), client.height() - size.height())));
        pFrame->move(pos);
        pFrame->show();
    }
    pDoc->SetTitle(viewgeometry::TitleWithZoom(pDoc->GetTitle(), nDisplayWidth, pDoc->m_nWidth));
}

void CVeltroInterfaceView::LayOut()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr || pDoc->m_nDisplayState == 0 || pDoc->m_pImage == nullptr)
        return;
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(pDoc->m_nWidth, pDoc->m_nHeight,
                                                                       pDoc->m_nZoom);
    SetScrollSizes(size.nWidth, size.nHeight);
    if (pDoc->m_nDisplayState == 1) {
        FitFrameAndRetitle(size.nWidth, size.nHeight);
        pDoc->m_nDisplayState = 2;
    }
}

void CVeltroInterfaceView::ScrollTo(const QPoint& scroll)
{
    horizontalScrollBar()->setValue(scroll.x());
    verticalScrollBar()->setValue(scroll.y());
}

QSize CVeltroInterfaceView::sizeHint() const
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr || pDoc->m_pImage == nullptr)
        return QAbstractScrollArea::sizeHint();
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(pDoc->m_nWidth, pDoc->m_nHeight,
                                                                       pDoc->m_nZoom);
    QSize hint(int(std::clamp<int64_t>(size.nWidth, 1, 1 << 20)), int(std::clamp<int64_t>(size.nHeight, 1, 1 << 20)));
    const CChildFrame* pFrame = GetParentFrame();
    if (pFrame != nullptr && pFrame->mdiArea() != nullptr)
        hint = hint.boundedTo(pFrame->mdiArea()->viewport()->size() * 2 / 3);
    return hint;
}

bool CVeltroInterfaceView::OfferToTools(QEvent* pEvent)
{
    for (CViewTool* pTool : CViewTool::ToolsOf(this)) {
        if (pTool->ViewEvent(pEvent))
            return true;
    }
    return false;
}

void CVeltroInterfaceView::ToolsMoved()
{
    for (CViewTool* pTool : CViewTool::ToolsOf(this))
        pTool->ViewMoved();
}

bool CVeltroInterfaceView::KeepsFrame() const
{
    for (CViewTool* pTool : CViewTool::ToolsOf(this)) {
        if (pTool->KeepsFrame())
            return true;
    }
    return false;
}

QString CVeltroInterfaceView::OnUpdatePixelInfo() const
{
    if (!m_strStatus.isEmpty() && (m_nMode == modeReadout || m_nMode == modeCrackPoints))
        return m_strStatus;
    return QString();
}

void CVeltroInterfaceView::UpdatePixelInfo()
{
    CMainFrame* pMain = AfxGetMainWnd();
    if (pMain != nullptr && pMain->GetActiveView() == this)
        pMain->SetPixelInfoText(OnUpdatePixelInfo());
}

void CVeltroInterfaceView::InvalidateAll()
{
    viewport()->update();
}

void CVeltroInterfaceView::InvalidateDisplayRect(const QRect& rcDisplay)
{
    viewport()->update(rcDisplay.translated(-ScrollOffset()));
}

// --- Printing -----------------------------------------------------------

void CVeltroInterfaceView::PrintTo(QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    CVeltroInterfaceDoc* pDoc = GetDocument();
    QRect rcAll(0, 0, 1, 1);
    if (pDoc != nullptr && pDoc->m_pImage != nullptr) {
        const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(pDoc->m_nWidth, pDoc->m_nHeight,
                                                                           pDoc->m_nZoom);
        rcAll = QRect(0, 0, int(std::min<int64_t>(size.nWidth, INT32_MAX)),
                      int(std::min<int64_t>(size.nHeight, INT32_MAX)));
        // The picture keeps the size it has on the screen (a display pixel is
        // a pixel at 96 dots per inch) and is shrunk only to fit the page.
        const QRectF page = printer.pageRect(QPrinter::DevicePixel);
        double scale = printer.resolution() / 96.0;
        if (rcAll.width() * scale > page.width())
            scale = page.width() / rcAll.width();
        if (rcAll.height() * scale > page.height())
            scale = page.height() / rcAll.height();
        painter.scale(scale, scale);
        // A page is never drawn provisionally: the reductions are usually
        // long built by now.
        if (CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc))
            pCache->WaitUntilComplete();
    }
    OnDraw(painter, rcAll, false);
    painter.end();
}

void CVeltroInterfaceView::OnFilePrint()
{
    CVeltroInterfaceApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return;
    QPrintDialog dlg(&pApp->Printer(), this);
    if (ui::DoModal(dlg) == QDialog::Accepted)
        PrintTo(pApp->Printer());
}

void CVeltroInterfaceView::OnFilePrintDirect()
{
    if (CVeltroInterfaceApp* pApp = AfxGetApp())
        PrintTo(pApp->Printer());
}

void CVeltroInterfaceView::OnFilePrintPreview()
{
    CVeltroInterfaceApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return;
    QPrintPreviewDialog dlg(&pApp->Printer(), this);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* pPrinter) { PrintTo(*pPrinter); });
    QPrintPreviewWidget* pPreview = dlg.findChild<QPrintPreviewWidget*>();
    if (pPreview != nullptr && appsettings::LoadPreviewPages() == 2)
        pPreview->setViewMode(QPrintPreviewWidget::FacingPagesView);
    ui::DoModal(dlg);
    if (pPreview != nullptr)
        appsettings::SavePreviewPages(pPreview->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1);
}
