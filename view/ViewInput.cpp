// Pointer and key handling of the view: zoom keys, the readout, and the
// crack and crease selections.
#include "view/CVeltroInterfaceView.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/ViewGeometry.h"

#include <QKeyEvent>
#include <QMouseEvent>

void CVeltroInterfaceView::ClientToImage(CVeltroInterfaceDoc* pDoc, int32_t x, int32_t y, int32_t& nColumn,
                                         int32_t& nRow) const
{
    viewgeometry::ClientToImage(pDoc->m_nZoom, pDoc->m_nHeight, x, y, nColumn, nRow);
}

void CVeltroInterfaceView::OnKeyDown(int /*nKey*/)
{
}

void CVeltroInterfaceView::OnLButtonDown(Qt::KeyboardModifiers, Qt::MouseButtons, const QPoint&)
{
}

void CVeltroInterfaceView::OnMouseMove(Qt::KeyboardModifiers, Qt::MouseButtons, const QPoint&)
{
}

void CVeltroInterfaceView::OnLButtonUp(Qt::KeyboardModifiers, Qt::MouseButtons, const QPoint&)
{
}

void CVeltroInterfaceView::keyPressEvent(QKeyEvent* pEvent)
{
    QAbstractScrollArea::keyPressEvent(pEvent);
}

void CVeltroInterfaceView::mousePressEvent(QMouseEvent* pEvent)
{
    QAbstractScrollArea::mousePressEvent(pEvent);
}

void CVeltroInterfaceView::mouseMoveEvent(QMouseEvent* pEvent)
{
    QAbstractScrollArea::mouseMoveEvent(pEvent);
}

void CVeltroInterfaceView::mouseReleaseEvent(QMouseEvent* pEvent)
{
    QAbstractScrollArea::mouseReleaseEvent(pEvent);
}
