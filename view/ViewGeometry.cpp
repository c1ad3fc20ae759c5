#include "view/ViewGeometry.h"

#include <cmath>
#include <cstdlib>

namespace viewgeometry {

DisplaySize GetDisplaySize(int32_t nWidth, int32_t nHeight, int32_t nZoom)
{
    DisplaySize size;
    if (nZoom > 0) {
        size.nWidth = int64_t(nZoom) * nWidth;
        size.nHeight = int64_t(nZoom) * nHeight;
    } else if (nZoom < 0) {
        const double n = std::fabs(double(nZoom));
        size.nWidth = int64_t(std::floor(nWidth / n + 0.5));
        size.nHeight = int64_t(std::floor(nHeight / n + 0.5));
    }
    return size;
}

int32_t ZoomUp(int32_t nZoom)
{
    const int32_t n = nZoom + 1;
    return n == -1 ? 1 : n;
}

int32_t ZoomDown(int32_t nZoom)
{
    const int32_t n = nZoom - 1;
    return n == 0 ? -2 : n;
}

bool ZoomFits(int32_t nWidth, int32_t nHeight, int32_t nZoom)
{
    if (nZoom == 0 || nZoom == -1 || nZoom > kMaxZoom || nZoom < -kMaxZoom)
        return false;
    if (nWidth <= 0 || nHeight <= 0)
        return true;
    const DisplaySize size = GetDisplaySize(nWidth, nHeight, nZoom);
    return size.nWidth >= 1 && size.nHeight >= 1
        && size.nWidth <= kMaxDisplaySide && size.nHeight <= kMaxDisplaySide;
}

void ClientToImage(int32_t nZoom, int32_t nHeight, int32_t x, int32_t y, int32_t& nColumn, int32_t& nRow)
{
    if (nZoom > 0) {
        nColumn = x / nZoom;
        nRow = nHeight - 1 - (y / nZoom);
    } else {
        const int32_t n = -nZoom;
        nColumn = n * x;
        nRow = nHeight - 1 - n * y;
    }
}

QString TitleWithZoom(const QString& strTitle, int64_t nDisplayWidth, int32_t nWidth)
{
    QString strBase = strTitle;
    const int nCut = strBase.indexOf(QStringLiteral("   "));
    if (nCut >= 0)
        strBase.truncate(nCut);
    const double fPercent = nWidth != 0 ? double(nDisplayWidth) / double(nWidth) * 100.0 : 0.0;
    return strBase + QString::asprintf("   %.1f%%", fPercent);
}

} // namespace viewgeometry
