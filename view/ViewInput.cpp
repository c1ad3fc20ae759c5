// Pointer and key handling of the view: zoom keys and Ctrl + wheel, Fit in
// Window and Actual Pixels, the readout, and the crack and crease
// selections. The view's modes (CViewTool) see every event first.
//
// The Qt event handlers turn each pointer position into a display position
// (the scroll offset added), so every handler below works with the pixel
// under the pointer whatever the view is scrolled to.
#include "view/CVeltroInterfaceView.h"

#include "app/CChildFrame.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/ViewGeometry.h"
#include "view/ViewNavigation.h"

#include <QKeyEvent>
#include <QMdiArea>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdint>

namespace {

// The area a line or rectangle of the selection covers on screen, with a
// margin for the pen.
QRect FeedbackArea(const CSelectionRect& rc)
{
    return rc.Area().adjusted(-2, -2, 2, 2);
}

// The left button held alone: no other button, neither Shift nor Ctrl.
bool LeftButtonOnly(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    return buttons == Qt::LeftButton && !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier));
}

// The readout for a picture position: the position and the pixel's colour,
// black outside the picture or without one.
QString ReadoutText(const CVeltroInterfaceDoc* pDoc, int32_t nColumn, int32_t nRow)
{
    int nRed = 0, nGreen = 0, nBlue = 0;
    if (pDoc->m_pImage != nullptr && nRow >= 0 && nRow < pDoc->m_nHeight && nColumn >= 0
        && nColumn < pDoc->m_nWidth) {
        const uint32_t p = pDoc->m_pImage[size_t(pDoc->m_nWidth) * size_t(nRow) + size_t(nColumn)];
        nRed = int(p & 0xFF);
        nGreen = int((p >> 8) & 0xFF);
        nBlue = int((p >> 16) & 0xFF);
    }
    return QString::asprintf("xy=(%d,%d) rgb=(%d,%d,%d)", nColumn, nRow, nRed, nGreen, nBlue);
}

// A display coordinate (from the picture's left or top edge) to the picture
// coordinate it shows, as ClientToImage counts it, and back to the middle of
// the display pixels that show that picture coordinate.
int64_t DisplayToPicture(int64_t v, int32_t nZoom)
{
    return nZoom > 0 ? v / nZoom : -int64_t(nZoom) * v;
}

int PictureToDisplay(int64_t p, int32_t nZoom)
{
    int64_t v;
    if (nZoom > 0) {
        v = p * nZoom + nZoom / 2;
    } else {
        const int64_t n = -int64_t(nZoom);
        v = p >= 0 ? p / n : -((-p + n - 1) / n);
    }
    return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A selection in display pixels moved to another zoom: each corner goes to
// the display pixel that shows the same picture position.
CSelectionRect RescaleSelection(const CSelectionRect& rc, int32_t nFrom, int32_t nTo)
{
    auto move = [nFrom, nTo](int v) { return PictureToDisplay(DisplayToPicture(v, nFrom), nTo); };
    CSelectionRect result;
    result.Set(move(rc.left), move(rc.top), move(rc.right), move(rc.bottom));
    return result;
}

} // namespace

void CVeltroInterfaceView::ClientToImage(CVeltroInterfaceDoc* pDoc, int32_t x, int32_t y, int32_t& nColumn,
                                         int32_t& nRow) const
{
    viewgeometry::ClientToImage(pDoc->m_nZoom, pDoc->m_nHeight, x, y, nColumn, nRow);
}

// Up and Down step the zoom (skipping 0 and -1, and refusing a step whose
// display would be too large or vanish); every key lays the view out again
// and retitles the document at the next paint.
void CVeltroInterfaceView::OnKeyDown(int nKey)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
        const int32_t nZoom = nKey == Qt::Key_Up ? viewgeometry::ZoomUp(pDoc->m_nZoom)
                                                 : viewgeometry::ZoomDown(pDoc->m_nZoom);
        if (viewgeometry::ZoomFits(pDoc->m_nWidth, pDoc->m_nHeight, nZoom) && nZoom != pDoc->m_nZoom) {
            // A selection under way stays on the same picture positions.
            if (!m_rcSelection.IsNone())
                m_rcSelection = RescaleSelection(m_rcSelection, pDoc->m_nZoom, nZoom);
            pDoc->m_nZoom = nZoom;
        }
    }
    pDoc->m_nDisplayState = 1;
    InvalidateAll();
}

void CVeltroInterfaceView::OnLButtonDown(Qt::KeyboardModifiers, Qt::MouseButtons, const QPoint& point)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    int32_t nColumn = 0, nRow = 0;
    ClientToImage(pDoc, point.x(), point.y(), nColumn, nRow);
    m_strStatus = ReadoutText(pDoc, nColumn, nRow);

    switch (m_nMode) {
    case modeCreaseRegion:
        // A rectangle left from a drag that ended outside the view goes.
        if (!m_rcSelection.IsNone())
            InvalidateDisplayRect(FeedbackArea(m_rcSelection));
        m_rcSelection.Set(point.x(), point.y(), point.x(), point.y());
        break;
    case modeCrackPoints:
        if (m_nPointStage == 0)
            OnCrackFirstPoint(point, nColumn, nRow);
        else if (m_nPointStage == 1)
            OnCrackSecondPoint(nColumn, nRow);
        break;
    default:
        m_nMode = modeReadout;
        break;
    }
    UpdatePixelInfo();
}

void CVeltroInterfaceView::OnMouseMove(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                                       const QPoint& point)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    switch (m_nMode) {
    case modeReadout: {
        int32_t nColumn = 0, nRow = 0;
        ClientToImage(pDoc, point.x(), point.y(), nColumn, nRow);
        m_strStatus = ReadoutText(pDoc, nColumn, nRow);
        UpdatePixelInfo();
        break;
    }
    case modeCreaseRegion:
        if (!LeftButtonOnly(modifiers, buttons))
            break;
        [[fallthrough]];
    case modeCrackPoints:
        if (!m_rcSelection.IsNone()) {
            // Both where the line or rectangle was and where it now is: the
            // picture comes back in the one, the feedback is drawn in the other.
            const QRect rcBefore = FeedbackArea(m_rcSelection);
            m_rcSelection.right = point.x();
            m_rcSelection.bottom = point.y();
            InvalidateDisplayRect(rcBefore.united(FeedbackArea(m_rcSelection)));
        }
        break;
    default:
        break;
    }
}

void CVeltroInterfaceView::OnLButtonUp(Qt::KeyboardModifiers, Qt::MouseButtons, const QPoint&)
{
    switch (m_nMode) {
    case modeReadout:
        m_nMode = modeIdle;
        UpdatePixelInfo();
        break;
    case modeCreaseRegion:
        OnCreaseComplete();
        break;
    default:
        break;
    }
}

// Ctrl + wheel, Fit in Window and Actual Pixels go through the same steps
// as the keys, but lay out at once so that the picture point under the
// pointer (or in the middle) can be kept where it is.
void CVeltroInterfaceView::SetZoom(int32_t nZoom, const QPoint& anchor)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr || !viewgeometry::ZoomFits(pDoc->m_nWidth, pDoc->m_nHeight, nZoom))
        return;
    const int32_t nFrom = pDoc->m_nZoom;
    const QPoint scroll = ScrollOffset();
    if (nZoom != nFrom && !m_rcSelection.IsNone())
        m_rcSelection = RescaleSelection(m_rcSelection, nFrom, nZoom);
    pDoc->m_nZoom = nZoom;
    pDoc->m_nDisplayState = 1;
    LayOut();
    auto keep = [&](int64_t v, int a) {
        return int(std::clamp<int64_t>(viewnav::ScrollKeepingPoint(v, a, nFrom, nZoom), 0, INT32_MAX));
    };
    ScrollTo(QPoint(keep(scroll.x(), anchor.x()), keep(scroll.y(), anchor.y())));
    InvalidateAll();
    ToolsMoved();
}

void CVeltroInterfaceView::OnViewFitInWindow()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr || pDoc->m_pImage == nullptr)
        return;
    QSize room = maximumViewportSize();
    CChildFrame* pFrame = GetParentFrame();
    if (pFrame != nullptr && pFrame->mdiArea() != nullptr && !pFrame->isMaximized() && !KeepsFrame())
        room = pFrame->mdiArea()->viewport()->size() - (pFrame->size() - maximumViewportSize());
    SetZoom(viewnav::FitZoom(pDoc->m_nWidth, pDoc->m_nHeight, room), QPoint(0, 0));
}

void CVeltroInterfaceView::OnViewActualPixels()
{
    SetZoom(1, viewport()->rect().center());
}

void CVeltroInterfaceView::keyPressEvent(QKeyEvent* pEvent)
{
    if (OfferToTools(pEvent))
        return;
    const int32_t nZoom = GetDocument() != nullptr ? GetDocument()->m_nZoom : 0;
    OnKeyDown(pEvent->key());
    if (GetDocument() != nullptr && GetDocument()->m_nZoom != nZoom)
        ToolsMoved();
    // The arrow keys up and down zoom; they do not scroll as well.
    if (pEvent->key() == Qt::Key_Up || pEvent->key() == Qt::Key_Down)
        pEvent->accept();
    else
        QAbstractScrollArea::keyPressEvent(pEvent);
}

void CVeltroInterfaceView::keyReleaseEvent(QKeyEvent* pEvent)
{
    if (!OfferToTools(pEvent))
        QAbstractScrollArea::keyReleaseEvent(pEvent);
}

void CVeltroInterfaceView::focusOutEvent(QFocusEvent* pEvent)
{
    OfferToTools(pEvent);
    QAbstractScrollArea::focusOutEvent(pEvent);
}

bool CVeltroInterfaceView::viewportEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::Leave)
        OfferToTools(pEvent);
    return QAbstractScrollArea::viewportEvent(pEvent);
}

void CVeltroInterfaceView::wheelEvent(QWheelEvent* pEvent)
{
    if (OfferToTools(pEvent))
        return;
    if (!(pEvent->modifiers() & Qt::ControlModifier) || GetDocument() == nullptr) {
        QAbstractScrollArea::wheelEvent(pEvent);
        return;
    }
    // One zoom step per notch (120); finer wheels add up to a notch.
    m_nWheelDelta += pEvent->angleDelta().y();
    const QPoint anchor = pEvent->position().toPoint();
    for (; m_nWheelDelta >= 120; m_nWheelDelta -= 120)
        SetZoom(viewgeometry::ZoomUp(GetDocument()->m_nZoom), anchor);
    for (; m_nWheelDelta <= -120; m_nWheelDelta += 120)
        SetZoom(viewgeometry::ZoomDown(GetDocument()->m_nZoom), anchor);
    pEvent->accept();
}

void CVeltroInterfaceView::mousePressEvent(QMouseEvent* pEvent)
{
    if (OfferToTools(pEvent))
        return;
    if (pEvent->button() == Qt::LeftButton)
        OnLButtonDown(pEvent->modifiers(), pEvent->buttons(), ViewportToDisplay(pEvent->position().toPoint()));
    QAbstractScrollArea::mousePressEvent(pEvent);
}

void CVeltroInterfaceView::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (OfferToTools(pEvent))
        return;
    OnMouseMove(pEvent->modifiers(), pEvent->buttons(), ViewportToDisplay(pEvent->position().toPoint()));
    QAbstractScrollArea::mouseMoveEvent(pEvent);
}

void CVeltroInterfaceView::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (OfferToTools(pEvent))
        return;
    if (pEvent->button() == Qt::LeftButton)
        OnLButtonUp(pEvent->modifiers(), pEvent->buttons(), ViewportToDisplay(pEvent->position().toPoint()));
    QAbstractScrollArea::mouseReleaseEvent(pEvent);
}
