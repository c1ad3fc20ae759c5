#include "view/CMaskPaintTool.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CMaskLayer.h"
#include "view/CVeltroInterfaceView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <algorithm>
#include <cmath>
#include <iterator>

const QColor CMaskPaintTool::kTint(0, 160, 255, 140);

namespace {

const int kDiameters[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512};
int g_nDiameter = 16;

const char* const kMaskName = "paintedMask";

} // namespace

CMaskPaintTool::CMaskPaintTool(CVeltroInterfaceView* pView)
    : CViewTool(pView), m_pMask(PaintedMask(pView->GetDocument(), true))
{
    if (m_pMask != nullptr)
        connect(m_pMask, &CMaskLayer::changed, this, [this](const QRect& rcImage) {
            if (CVeltroInterfaceDoc* pDoc = View()->GetDocument())
                View()->InvalidateDisplayRect(CMaskLayer::DisplayRect(rcImage, pDoc->m_nZoom).adjusted(-1, -1, 1, 1));
        });
    pView->viewport()->setCursor(Qt::CrossCursor);
    pView->InvalidateAll();
    ShowPrompt();
}

CMaskPaintTool::~CMaskPaintTool()
{
    if (CVeltroInterfaceView* pView = View()) {
        pView->viewport()->unsetCursor();
        pView->InvalidateAll();
    }
}

CMaskLayer* CMaskPaintTool::PaintedMask(CVeltroInterfaceDoc* pDoc, bool bCreate)
{
    if (pDoc == nullptr || pDoc->m_pImage == nullptr)
        return nullptr;
    auto* pMask = pDoc->findChild<CMaskLayer*>(QLatin1String(kMaskName), Qt::FindDirectChildrenOnly);
    if (pMask == nullptr && bCreate) {
        pMask = new CMaskLayer(pDoc->m_nWidth, pDoc->m_nHeight, pDoc);
        pMask->setObjectName(QLatin1String(kMaskName));
    }
    return pMask;
}

int CMaskPaintTool::BrushDiameter()
{
    return g_nDiameter;
}

void CMaskPaintTool::SetBrushDiameter(int nDiameter)
{
    g_nDiameter = std::clamp(nDiameter, kDiameters[0], kDiameters[std::size(kDiameters) - 1]);
}

int CMaskPaintTool::NextBrushDiameter(int nDiameter, int nStep)
{
    if (nStep > 0) {
        for (int d : kDiameters)
            if (d > nDiameter)
                return d;
        return kDiameters[std::size(kDiameters) - 1];
    }
    for (auto it = std::rbegin(kDiameters); it != std::rend(kDiameters); ++it)
        if (*it < nDiameter)
            return *it;
    return kDiameters[0];
}

void CMaskPaintTool::ShowPrompt() const
{
    if (CMainFrame* pMain = AfxGetMainWnd())
        pMain->StatusBar()->showMessage(
            QStringLiteral("Painting the blotch mask: left button paints, right button erases, [ and ] change "
                           "the brush (%1 px), Esc leaves")
                .arg(g_nDiameter));
}

bool CMaskPaintTool::Yields() const
{
    // A crack or crease being marked takes the pointer.
    const int32_t nMode = View()->m_nMode;
    return nMode == CVeltroInterfaceView::modeCrackPoints || nMode == CVeltroInterfaceView::modeCreaseRegion;
}

QPointF CMaskPaintTool::PicturePoint(const QPoint& viewportPos) const
{
    // The middle of the display pixel under the pointer, in picture units.
    const QPointF d = QPointF(View()->ViewportToDisplay(viewportPos)) + QPointF(0.5, 0.5);
    const int32_t nZoom = View()->GetDocument()->m_nZoom;
    return nZoom > 0 ? d / nZoom : d * -nZoom;
}

QRect CMaskPaintTool::CircleRect() const
{
    const int32_t nZoom = View()->GetDocument()->m_nZoom;
    const double fRadius = g_nDiameter / 2.0 * (nZoom > 0 ? nZoom : 1.0 / -nZoom);
    const int r = int(std::ceil(fRadius)) + 2;
    const QPoint c = View()->ViewportToDisplay(m_ptPointer);
    return QRect(c.x() - r, c.y() - r, 2 * r + 1, 2 * r + 1);
}

void CMaskPaintTool::MoveCircle(const QPoint& viewportPos, bool bShown)
{
    if (m_bCircleShown)
        View()->InvalidateDisplayRect(CircleRect());
    m_ptPointer = viewportPos;
    m_bCircleShown = bShown;
    if (m_bCircleShown)
        View()->InvalidateDisplayRect(CircleRect());
}

void CMaskPaintTool::StrokeTo(const QPoint& viewportPos)
{
    const QPointF pt = PicturePoint(viewportPos);
    if (m_pMask != nullptr)
        m_pMask->PaintStroke(m_ptLast, pt, g_nDiameter / 2.0, m_button == Qt::LeftButton);
    m_ptLast = pt;
}

void CMaskPaintTool::Paint(QPainter& painter, const QRect& rcExposed)
{
    CVeltroInterfaceDoc* pDoc = View()->GetDocument();
    if (m_pMask != nullptr && pDoc != nullptr)
        m_pMask->Draw(painter, rcExposed, pDoc->m_nZoom, kTint);
    if (!m_bCircleShown || pDoc == nullptr || !CircleRect().intersects(rcExposed))
        return;
    // The brush's outline, black and white so that it shows on any picture.
    const QRect rc = CircleRect().adjusted(2, 2, -2, -2);
    const QPointF c = QRectF(rc).center();
    const double r = rc.width() / 2.0 - 0.5;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1.0));
    painter.drawEllipse(c, r, r);
    painter.setPen(QPen(Qt::black, 1.0, Qt::DashLine));
    painter.drawEllipse(c, r, r);
    painter.restore();
}

bool CMaskPaintTool::ViewEvent(QEvent* pEvent)
{
    if (View()->GetDocument() == nullptr || m_pMask == nullptr)
        return false;
    switch (pEvent->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (Yields() || (pMouse->button() != Qt::LeftButton && pMouse->button() != Qt::RightButton))
            return false;
        m_button = pMouse->button();
        m_ptLast = PicturePoint(pMouse->position().toPoint());
        StrokeTo(pMouse->position().toPoint());
        return true;
    }
    case QEvent::MouseMove: {
        if (Yields())
            return false;
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        MoveCircle(pMouse->position().toPoint(), true);
        if (m_button != Qt::NoButton && (pMouse->buttons() & m_button))
            StrokeTo(pMouse->position().toPoint());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (m_button == Qt::NoButton || pMouse->button() != m_button)
            return !Yields();
        m_button = Qt::NoButton;
        return true;
    }
    case QEvent::KeyPress: {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_BracketLeft || pKey->key() == Qt::Key_BracketRight) {
            MoveCircle(m_ptPointer, false);
            SetBrushDiameter(NextBrushDiameter(g_nDiameter, pKey->key() == Qt::Key_BracketRight ? 1 : -1));
            MoveCircle(m_ptPointer, View()->viewport()->rect().contains(m_ptPointer));
            ShowPrompt();
            return true;
        }
        if (pKey->key() == Qt::Key_Escape && !Yields()) {
            MoveCircle(m_ptPointer, false);
            deleteLater();
            if (CMainFrame* pMain = AfxGetMainWnd())
                pMain->StatusBar()->clearMessage();
            return true;
        }
        return false;
    }
    case QEvent::Leave:
        MoveCircle(m_ptPointer, false);
        return false;
    default:
        return false;
    }
}
