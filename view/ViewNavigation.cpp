#include "view/ViewNavigation.h"

#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace viewnav {

namespace {

bool Within(int32_t nWidth, int32_t nHeight, int32_t nZoom, const QSize& available)
{
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(nWidth, nHeight, nZoom);
    return size.nWidth <= available.width() && size.nHeight <= available.height();
}

// A display coordinate, continuous (the middle of display pixel d is d + 0.5),
// to picture units and back.
double DisplayToPicture(double d, int32_t nZoom)
{
    return nZoom > 0 ? d / nZoom : d * -double(nZoom);
}

double PictureToDisplay(double p, int32_t nZoom)
{
    return nZoom > 0 ? p * nZoom : p / -double(nZoom);
}

} // namespace

int32_t FitZoom(int32_t nWidth, int32_t nHeight, const QSize& available)
{
    using viewgeometry::kMaxZoom;
    using viewgeometry::ZoomFits;
    if (nWidth <= 0 || nHeight <= 0)
        return 1;
    const QSize room(std::max(1, available.width()), std::max(1, available.height()));
    if (Within(nWidth, nHeight, 1, room)) {
        int32_t z = std::min<int64_t>({room.width() / nWidth, room.height() / nHeight, kMaxZoom});
        while (z > 1 && !ZoomFits(nWidth, nHeight, z))
            --z;
        return z;
    }
    // Reductions: the display is floor(W / n + 0.5), so the smallest n with
    // W / n <= room always fits, and one less may fit as well.
    auto ceilDiv = [](int64_t a, int64_t b) { return (a + b - 1) / b; };
    int64_t n = std::max<int64_t>({2, ceilDiv(nWidth, room.width()), ceilDiv(nHeight, room.height())});
    n = std::min<int64_t>(n, kMaxZoom);
    while (n > 2 && Within(nWidth, nHeight, int32_t(-(n - 1)), room))
        --n;
    while (n < kMaxZoom && !Within(nWidth, nHeight, int32_t(-n), room))
        ++n;
    // Never to a display of less than a pixel.
    while (n > 2 && !ZoomFits(nWidth, nHeight, int32_t(-n)))
        --n;
    return int32_t(-n);
}

int64_t ScrollKeepingPoint(int64_t nScroll, int nAnchor, int32_t nZoomFrom, int32_t nZoomTo)
{
    const double p = DisplayToPicture(double(nScroll + nAnchor) + 0.5, nZoomFrom);
    return int64_t(std::floor(PictureToDisplay(p, nZoomTo) - nAnchor));
}

ViewPlace LinkedPlace(const ViewPlace& from, int32_t nWidthTo, int32_t nHeightTo, int32_t nCurrentZoom)
{
    ViewPlace to;
    to.nZoom = viewgeometry::ZoomFits(nWidthTo, nHeightTo, from.nZoom) ? from.nZoom : nCurrentZoom;
    if (to.nZoom == from.nZoom) {
        to.scroll = from.scroll;
    } else {
        // The picture point at the corner of the view, to the other zoom.
        auto map = [&](int v) {
            const double d = std::floor(PictureToDisplay(DisplayToPicture(v, from.nZoom), to.nZoom));
            return int(std::clamp(d, 0.0, double(INT32_MAX)));
        };
        to.scroll = QPoint(map(from.scroll.x()), map(from.scroll.y()));
    }
    return to;
}

QSize FitFrameSize(int64_t nDisplayWidth, int64_t nDisplayHeight, const QSize& chrome, const QSize& client,
                   int nBar)
{
    const int64_t w0 = nDisplayWidth + chrome.width();
    const int64_t h0 = nDisplayHeight + chrome.height();
    bool bNeedV = h0 > client.height();
    bool bNeedH = w0 > client.width();
    // A bar in one direction narrows the other, which may then need its own.
    for (int i = 0; i < 2; ++i) {
        bNeedH = bNeedH || w0 + (bNeedV ? nBar : 0) > client.width();
        bNeedV = bNeedV || h0 + (bNeedH ? nBar : 0) > client.height();
    }
    const int64_t w = w0 + (bNeedV ? nBar : 0);
    const int64_t h = h0 + (bNeedH ? nBar : 0);
    return QSize(int(std::min<int64_t>(w, client.width())), int(std::min<int64_t>(h, client.height())));
}

} // namespace viewnav
