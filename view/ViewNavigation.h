#pragma once

#include <QSize>
#include <QPoint>
#include <cstdint>

// The rules of getting around a picture, kept as plain functions so they are
// tested without a window: the zoom that fits a picture, the scroll position
// that keeps a point in place across a zoom step, the place a linked view
// takes, and the size a frame needs to show a picture whole.
namespace viewnav {

// The largest zoom step (... -3, -2, 1, 2, 3 ..., within the zoom limits) at
// which the whole W x H picture fits into the available display pixels. When
// not even the strongest reduction fits, that reduction; without a picture, 1.
int32_t FitZoom(int32_t nWidth, int32_t nHeight, const QSize& available);

// Along one axis: the scroll position at zoom nZoomTo that shows, at viewport
// position nAnchor, the picture point that scroll nScroll shows there at
// nZoomFrom. Not clamped to the scroll range.
int64_t ScrollKeepingPoint(int64_t nScroll, int nAnchor, int32_t nZoomFrom, int32_t nZoomTo);

// Where a view is: its zoom step and its scroll position (display pixels).
struct ViewPlace
{
    int32_t nZoom = 1;
    QPoint scroll;
};

// The place a view linked to another takes when the other moves: the same
// zoom step when its own picture allows it (else it keeps nCurrentZoom), and
// the same picture point at its top-left corner.
ViewPlace LinkedPlace(const ViewPlace& from, int32_t nWidthTo, int32_t nHeightTo, int32_t nCurrentZoom);

// The size of a frame that shows a display of W x H pixels whole, where the
// frame adds `chrome` around its viewport and may be no larger than
// `client`. Where one direction does not fit, its scroll bar (nBar pixels)
// takes room from the other, which is then given that room if it can be.
QSize FitFrameSize(int64_t nDisplayWidth, int64_t nDisplayHeight, const QSize& chrome, const QSize& client,
                   int nBar);

} // namespace viewnav
