#pragma once

#include <QString>
#include <cstdint>

// The rules that relate the picture, the zoom step and the window, kept as
// plain functions so they are tested without a window.
namespace viewgeometry {

// Limits on the zoom keys: a step is not taken when it would make the
// picture larger than kMaxDisplaySide pixels in either direction, smaller
// than one pixel, or when the step itself goes beyond kMaxZoom either way.
// They keep every display and image coordinate well inside 32 bits.
constexpr int64_t kMaxDisplaySide = int64_t(1) << 28;
constexpr int32_t kMaxZoom = 4096;

struct DisplaySize
{
    int64_t nWidth = 0;
    int64_t nHeight = 0;
};

// z > 0: z x W by z x H; z < 0: floor(W / |z| + 0.5) by floor(H / |z| + 0.5).
DisplaySize GetDisplaySize(int32_t nWidth, int32_t nHeight, int32_t nZoom);

// Zoom steps: ... -3, -2, 1, 2, 3 ...; 0 and -1 are skipped.
int32_t ZoomUp(int32_t nZoom);
int32_t ZoomDown(int32_t nZoom);
// Whether a zoom step is within the limits above for a picture of this size
// (a document without a picture passes 0 x 0).
bool ZoomFits(int32_t nWidth, int32_t nHeight, int32_t nZoom);

// Pointer position in display pixels (the scroll offset already added) to
// (column, row) of the pixel block, rows counted from the bottom. Not
// clamped to the picture.
void ClientToImage(int32_t nZoom, int32_t nHeight, int32_t x, int32_t y, int32_t& nColumn, int32_t& nRow);

// The document title with its zoom suffix: anything from three consecutive
// spaces on is dropped, then "   %.1f%%" of display width / W x 100 is added.
QString TitleWithZoom(const QString& strTitle, int64_t nDisplayWidth, int32_t nWidth);

} // namespace viewgeometry
