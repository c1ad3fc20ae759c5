#include "view/CMaskLayer.h"

#include "view/ViewGeometry.h"

#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace {

// Display blocks drawn at a time: large enough to keep the calls few, small
// enough to skip most of an exposed area that holds nothing.
constexpr int kBlock = 32;

} // namespace

CMaskLayer::CMaskLayer(int nWidth, int nHeight, QObject* pParent)
    : QObject(pParent), m_nWidth(std::max(0, nWidth)), m_nHeight(std::max(0, nHeight))
{
}

bool CMaskLayer::Allocate()
{
    if (!m_levels.empty())
        return true;
    if (m_nWidth <= 0 || m_nHeight <= 0)
        return false;
    try {
        QSize size(m_nWidth, m_nHeight);
        for (;;) {
            m_levels.emplace_back(size_t(size.width()) * size_t(size.height()), uint8_t(0));
            m_sizes.push_back(size);
            if (size.width() == 1 && size.height() == 1)
                break;
            size = QSize((size.width() + 1) / 2, (size.height() + 1) / 2);
        }
    } catch (const std::bad_alloc&) {
        m_levels.clear();
        m_sizes.clear();
        return false;
    }
    return true;
}

bool CMaskLayer::At(int x, int y) const
{
    if (m_levels.empty() || x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight)
        return false;
    return m_levels[0][size_t(y) * size_t(m_nWidth) + size_t(x)] != 0;
}

bool CMaskLayer::Assign(const QImage& image)
{
    if (image.width() != m_nWidth || image.height() != m_nHeight || !Allocate())
        return false;
    const QImage grey = image.format() == QImage::Format_Grayscale8 ? image
                                                                      : image.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return false;
    int64_t nCount = 0;
    std::vector<uint8_t>& level = m_levels[0];
    for (int y = 0; y < m_nHeight; ++y) {
        const uchar* pSrc = grey.constScanLine(y);
        uint8_t* pDst = level.data() + size_t(y) * size_t(m_nWidth);
        for (int x = 0; x < m_nWidth; ++x) {
            pDst[x] = pSrc[x] >= 128 ? 1 : 0;
            nCount += pDst[x];
        }
    }
    m_nCount = nCount;
    UpdateLevels(QRect(0, 0, m_nWidth, m_nHeight));
    emit changed(QRect(0, 0, m_nWidth, m_nHeight));
    return true;
}

QRect CMaskLayer::PaintStroke(const QPointF& from, const QPointF& to, double fRadius, bool bSet)
{
    if (m_nWidth <= 0 || m_nHeight <= 0 || (!bSet && m_nCount == 0) || !Allocate())
        return QRect();
    const double r = std::max(0.0, fRadius);
    const QRect rcBox = QRect(QPoint(int(std::floor(std::min(from.x(), to.x()) - r)),
                                     int(std::floor(std::min(from.y(), to.y()) - r))),
                              QPoint(int(std::ceil(std::max(from.x(), to.x()) + r)),
                                     int(std::ceil(std::max(from.y(), to.y()) + r))))
                        & QRect(0, 0, m_nWidth, m_nHeight);
    const double dx = to.x() - from.x(), dy = to.y() - from.y();
    const double fLength2 = dx * dx + dy * dy;
    const uint8_t value = bSet ? 1 : 0;
    int nLeft = INT_MAX, nTop = INT_MAX, nRight = -1, nBottom = -1;
    std::vector<uint8_t>& level = m_levels[0];
    for (int y = rcBox.top(); y <= rcBox.bottom(); ++y) {
        uint8_t* pRow = level.data() + size_t(y) * size_t(m_nWidth);
        for (int x = rcBox.left(); x <= rcBox.right(); ++x) {
            // Distance from the pixel's middle to the nearest point of the segment.
            const double px = x + 0.5 - from.x(), py = y + 0.5 - from.y();
            const double t = fLength2 > 0 ? std::clamp((px * dx + py * dy) / fLength2, 0.0, 1.0) : 0.0;
            const double ex = px - t * dx, ey = py - t * dy;
            if (ex * ex + ey * ey > r * r || pRow[x] == value)
                continue;
            pRow[x] = value;
            m_nCount += bSet ? 1 : -1;
            nLeft = std::min(nLeft, x);
            nRight = std::max(nRight, x);
            nTop = std::min(nTop, y);
            nBottom = std::max(nBottom, y);
        }
    }
    if (nRight < 0)
        return QRect();
    const QRect rcChanged(QPoint(nLeft, nTop), QPoint(nRight, nBottom));
    UpdateLevels(rcChanged);
    emit changed(rcChanged);
    return rcChanged;
}

void CMaskLayer::UpdateLevels(QRect rc)
{
    for (size_t k = 1; k < m_levels.size(); ++k) {
        rc = QRect(QPoint(rc.left() / 2, rc.top() / 2), QPoint(rc.right() / 2, rc.bottom() / 2));
        const QSize below = m_sizes[k - 1];
        const std::vector<uint8_t>& src = m_levels[k - 1];
        std::vector<uint8_t>& dst = m_levels[k];
        const int nWidth = m_sizes[k].width();
        for (int y = rc.top(); y <= rc.bottom(); ++y) {
            const uint8_t* p0 = src.data() + size_t(2 * y) * size_t(below.width());
            const uint8_t* p1 = src.data() + size_t(std::min(2 * y + 1, below.height() - 1)) * size_t(below.width());
            for (int x = rc.left(); x <= rc.right(); ++x) {
                const int x1 = std::min(2 * x + 1, below.width() - 1);
                dst[size_t(y) * size_t(nWidth) + size_t(x)] = p0[2 * x] | p0[x1] | p1[2 * x] | p1[x1];
            }
        }
    }
}

bool CMaskLayer::MayHaveIn(const QRect& rc) const
{
    if (m_levels.empty() || m_nCount == 0)
        return false;
    const QRect r = rc & QRect(0, 0, m_nWidth, m_nHeight);
    if (r.isEmpty())
        return false;
    // The level at which the rectangle spans two or three pixels a side.
    int k = 0;
    while (k + 1 < int(m_levels.size()) && (std::max(r.width(), r.height()) >> (k + 1)) >= 2)
        ++k;
    const std::vector<uint8_t>& level = m_levels[size_t(k)];
    const int nWidth = m_sizes[size_t(k)].width();
    for (int y = r.top() >> k; y <= r.bottom() >> k; ++y)
        for (int x = r.left() >> k; x <= r.right() >> k; ++x)
            if (level[size_t(y) * size_t(nWidth) + size_t(x)] != 0)
                return true;
    return false;
}

QImage CMaskLayer::ToImage() const
{
    QImage image(m_nWidth, m_nHeight, QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    for (int y = 0; y < m_nHeight; ++y) {
        uchar* pDst = image.scanLine(y);
        if (m_levels.empty()) {
            std::fill(pDst, pDst + m_nWidth, uchar(0));
            continue;
        }
        const uint8_t* pSrc = m_levels[0].data() + size_t(y) * size_t(m_nWidth);
        for (int x = 0; x < m_nWidth; ++x)
            pDst[x] = pSrc[x] != 0 ? 255 : 0;
    }
    return image;
}

QRect CMaskLayer::DisplayRect(const QRect& rcImage, int32_t nZoom)
{
    if (rcImage.isEmpty())
        return QRect();
    if (nZoom >= 1)
        return QRect(rcImage.x() * nZoom, rcImage.y() * nZoom, rcImage.width() * nZoom, rcImage.height() * nZoom);
    const int n = -nZoom;
    return QRect(QPoint(rcImage.left() / n, rcImage.top() / n),
                 QPoint(rcImage.right() / n, rcImage.bottom() / n));
}

void CMaskLayer::Draw(QPainter& painter, const QRect& rcExposed, int32_t nZoom, const QColor& tint) const
{
    if (m_nCount == 0 || m_levels.empty() || nZoom == 0 || nZoom == -1)
        return;
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(m_nWidth, m_nHeight, nZoom);
    const QRect rc = rcExposed & QRect(0, 0, int(std::min<int64_t>(size.nWidth, INT_MAX)),
                                       int(std::min<int64_t>(size.nHeight, INT_MAX)));
    if (rc.isEmpty())
        return;
    const uint32_t colour = qPremultiply(tint.rgba());
    // The tint is made band by band (kBlock rows of the exposed area, in
    // picture pixels when enlarged, display pixels when reduced), only over
    // the blocks where the mask holds something, and each band is drawn
    // once: the cost follows what is tinted, not the size of the view.
    const int z = std::max(1, int(nZoom));
    const int64_t n = nZoom < 0 ? -int64_t(nZoom) : 1;
    const QRect rcTint = nZoom >= 1 ? QRect(QPoint(rc.left() / z, rc.top() / z),
                                            QPoint(rc.right() / z, rc.bottom() / z))
                                    : rc;
    // A reduction is drawn from level k (2^k <= n): display pixel x covers
    // picture columns [n x, n x + n), level columns n x >> k to
    // (n x + n - 1) >> k (at most three), and is tinted when any is set.
    int k = 0;
    while (nZoom < 0 && k + 1 < int(m_levels.size()) && (int64_t(2) << k) <= n)
        ++k;
    const std::vector<uint8_t>& level = m_levels[size_t(k)];
    const QSize levelSize = m_sizes[size_t(k)];
    auto pictureOf = [&](const QRect& r) {
        if (nZoom >= 1)
            return r;
        return QRect(QPoint(int(std::min<int64_t>(n * r.left(), INT_MAX)), int(std::min<int64_t>(n * r.top(), INT_MAX))),
                     QPoint(int(std::min<int64_t>(n * (r.right() + 1) - 1, INT_MAX)),
                            int(std::min<int64_t>(n * (r.bottom() + 1) - 1, INT_MAX))));
    };

    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    std::vector<uint8_t> rowOr;
    std::vector<int> c0, c1;
    std::vector<int> blocks;
    for (int by = rcTint.top(); by <= rcTint.bottom(); by += kBlock) {
        const int nRows = std::min(kBlock, rcTint.bottom() + 1 - by);
        blocks.clear();
        for (int bx = rcTint.left(); bx <= rcTint.right(); bx += kBlock)
            if (MayHaveIn(pictureOf(QRect(bx, by, std::min(kBlock, rcTint.right() + 1 - bx), nRows))))
                blocks.push_back(bx);
        if (blocks.empty())
            continue;
        const QRect rcBand(QPoint(blocks.front(), by),
                           QPoint(std::min(blocks.back() + kBlock, rcTint.right() + 1) - 1, by + nRows - 1));
        QImage band(rcBand.size(), QImage::Format_ARGB32_Premultiplied);
        if (band.isNull())
            break;
        band.fill(0u);
        for (const int bx : blocks) {
            const int nCols = std::min(kBlock, rcTint.right() + 1 - bx);
            const int nOffset = bx - rcBand.left();
            if (nZoom >= 1) {
                for (int y = 0; y < nRows; ++y) {
                    const uint8_t* pSrc = level.data() + size_t(by + y) * size_t(m_nWidth) + size_t(bx);
                    auto* pDst = reinterpret_cast<uint32_t*>(band.scanLine(y)) + nOffset;
                    for (int x = 0; x < nCols; ++x)
                        pDst[x] = pSrc[x] != 0 ? colour : 0u;
                }
                continue;
            }
            const int lx0 = int(std::min<int64_t>((n * bx) >> k, levelSize.width() - 1));
            const int lx1 = int(std::min<int64_t>((n * (bx + nCols) - 1) >> k, levelSize.width() - 1));
            rowOr.resize(size_t(lx1 - lx0 + 1));
            c0.resize(size_t(nCols));
            c1.resize(size_t(nCols));
            for (int x = 0; x < nCols; ++x) {
                const int64_t u = bx + x;
                c0[size_t(x)] = int(std::min<int64_t>((n * u) >> k, lx1)) - lx0;
                c1[size_t(x)] = int(std::min<int64_t>((n * u + n - 1) >> k, lx1)) - lx0;
            }
            for (int y = 0; y < nRows; ++y) {
                const int64_t v = by + y;
                const int ly0 = int(std::min<int64_t>((n * v) >> k, levelSize.height() - 1));
                const int ly1 = int(std::min<int64_t>((n * v + n - 1) >> k, levelSize.height() - 1));
                const uint8_t* pRow = level.data() + size_t(ly0) * size_t(levelSize.width()) + size_t(lx0);
                std::copy(pRow, pRow + rowOr.size(), rowOr.begin());
                for (int ly = ly0 + 1; ly <= ly1; ++ly) {
                    pRow = level.data() + size_t(ly) * size_t(levelSize.width()) + size_t(lx0);
                    for (size_t i = 0; i < rowOr.size(); ++i)
                        rowOr[i] |= pRow[i];
                }
                auto* pDst = reinterpret_cast<uint32_t*>(band.scanLine(y)) + nOffset;
                for (int x = 0; x < nCols; ++x) {
                    const int a = c0[size_t(x)], b = c1[size_t(x)];
                    const uint8_t any = rowOr[size_t(a)] | rowOr[size_t(b)] | rowOr[size_t(std::min(a + 1, b))];
                    pDst[x] = any != 0 ? colour : 0u;
                }
            }
        }
        painter.drawImage(nZoom >= 1 ? DisplayRect(rcBand, z) : rcBand, band);
    }
    painter.restore();
}

void CMaskLayer::NoteWritten(const QString& strPath)
{
    const QFileInfo info(strPath);
    m_strWrittenPath = info.absoluteFilePath();
    m_writtenTime = info.lastModified();
    m_nWrittenSize = info.size();
}

bool CMaskLayer::IsWrittenAs(const QString& strPath) const
{
    const QFileInfo info(strPath);
    return !m_strWrittenPath.isEmpty() && info.absoluteFilePath() == m_strWrittenPath && info.exists()
           && info.lastModified() == m_writtenTime && info.size() == m_nWrittenSize;
}
