#include "engine/Restoration.h"

#include <algorithm>

namespace veltro {

namespace {

long long Clamp(long long v, long long lo, long long hi) { return std::max(lo, std::min(hi, v)); }

}  // namespace

int TopDownRow(int height, int rowFromBottom)
{
    // Computed wide: positions far outside the picture must not overflow.
    const long long row = static_cast<long long>(height) - 1 - rowFromBottom;
    return static_cast<int>(Clamp(row, INT_MIN, INT_MAX));
}

cv::Point ClampedPoint(cv::Size size, int column, int rowFromBottom)
{
    const long long row = static_cast<long long>(size.height) - 1 - rowFromBottom;
    return cv::Point(static_cast<int>(Clamp(column, 0, std::max(0, size.width - 1))),
                     static_cast<int>(Clamp(row, 0, std::max(0, size.height - 1))));
}

cv::Rect RegionFromCorners(cv::Size size, int column1, int row1, int column2, int row2)
{
    const long long left = std::min(column1, column2);
    const long long right = std::max(column1, column2);
    const long long top = static_cast<long long>(size.height) - 1 - std::max(row1, row2);
    const long long bottom = static_cast<long long>(size.height) - 1 - std::min(row1, row2);
    const long long x0 = Clamp(left, 0, size.width), x1 = Clamp(right + 1, 0, size.width);
    const long long y0 = Clamp(top, 0, size.height), y1 = Clamp(bottom + 1, 0, size.height);
    if (x1 <= x0 || y1 <= y0)
        return cv::Rect();
    return cv::Rect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                    static_cast<int>(y1 - y0));
}

}  // namespace veltro
