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
constexpr int kBlock = 64;

int64_t CeilDiv(int64_t a, int64_t b)
{
    return (a + b - 1) / b;
}

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
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);

    if (nZoom >= 1) {
        // Blocks of whole picture pixels, so that no display pixel is tinted twice.
        const int z = nZoom;
        const int nStep = std::max(1, kBlock / z);
        const int x0 = rc.left() / z, x1 = int(CeilDiv(int64_t(rc.right()) + 1, z));
        const int y0 = rc.top() / z, y1 = int(CeilDiv(int64_t(rc.bottom()) + 1, z));
        for (int by = y0; by < y1; by += nStep) {
            for (int bx = x0; bx < x1; bx += nStep) {
                const QRect rcBlock(bx, by, std::min(nStep, x1 - bx), std::min(nStep, y1 - by));
                if (!MayHaveIn(rcBlock))
                    continue;
                QImage block(rcBlock.size(), QImage::Format_ARGB32_Premultiplied);
                for (int y = 0; y < rcBlock.height(); ++y) {
                    const uint8_t* pSrc = m_levels[0].data() + size_t(by + y) * size_t(m_nWidth) + size_t(bx);
                    auto* pDst = reinterpret_cast<uint32_t*>(block.scanLine(y));
                    for (int x = 0; x < rcBlock.width(); ++x)
                        pDst[x] = pSrc[x] != 0 ? colour : 0u;
                }
                painter.drawImage(DisplayRect(rcBlock, z), block);
            }
        }
        painter.restore();
        return;
    }

    // A reduction by n, drawn from level k (2^k <= n): display pixel x
    // covers picture columns [n x, n x + n), level columns n x >> k to
    // (n x + n - 1) >> k; it is tinted when any of them is set.
    const int64_t n = -int64_t(nZoom);
    int k = 0;
    while (k + 1 < int(m_levels.size()) && (int64_t(2) << k) <= n)
        ++k;
    const std::vector<uint8_t>& level = m_levels[size_t(k)];
    const QSize levelSize = m_sizes[size_t(k)];
    std::vector<uint8_t> rowOr;
    for (int by = rc.top(); by <= rc.bottom(); by += kBlock) {
        for (int bx = rc.left(); bx <= rc.right(); bx += kBlock) {
            const QRect rcBlock(bx, by, std::min(kBlock, rc.right() + 1 - bx), std::min(kBlock, rc.bottom() + 1 - by));
            const QRect rcPicture(QPoint(int(std::min<int64_t>(n * rcBlock.left(), INT_MAX)),
                                         int(std::min<int64_t>(n * rcBlock.top(), INT_MAX))),
                                  QPoint(int(std::min<int64_t>(n * (rcBlock.right() + 1) - 1, INT_MAX)),
                                         int(std::min<int64_t>(n * (rcBlock.bottom() + 1) - 1, INT_MAX))));
            if (!MayHaveIn(rcPicture))
                continue;
            const int lx0 = int(std::min<int64_t>((n * rcBlock.left()) >> k, levelSize.width() - 1));
            const int lx1 = int(std::min<int64_t>((n * (rcBlock.right() + 1) - 1) >> k, levelSize.width() - 1));
            rowOr.assign(size_t(lx1 - lx0 + 1), 0);
            QImage block(rcBlock.size(), QImage::Format_ARGB32_Premultiplied);
            for (int y = 0; y < rcBlock.height(); ++y) {
                const int64_t v = by + y;
                const int ly0 = int(std::min<int64_t>((n * v) >> k, levelSize.height() - 1));
                const int ly1 = int(std::min<int64_t>((n * v + n - 1) >> k, levelSize.height() - 1));
                std::fill(rowOr.begin(), rowOr.end(), uint8_t(0));
                for (int ly = ly0; ly <= ly1; ++ly) {
                    const uint8_t* pRow = level.data() + size_t(ly) * size_t(levelSize.width()) + size_t(lx0);
                    for (size_t i = 0; i < rowOr.size(); ++i)
                        rowOr[i] |= pRow[i];
                }
                auto* pDst = reinterpret_cast<uint32_t*>(block.scanLine(y));
                for (int x = 0; x < rcBlock.width(); ++x) {
                    const int64_t u = bx + x;
                    const int c0 = int(std::min<int64_t>((n * u) >> k, lx1)) - lx0;
                    const int c1 = int(std::min<int64_t>((n * u + n - 1) >> k, lx1)) - lx0;
                    uint8_t any = 0;
                    for (int c = c0; c <= c1; ++c)
                        any |= rowOr[size_t(c)];
                    pDst[x] = any != 0 ? colour : 0u;
                }
            }
            painter.drawImage(rcBlock.topLeft(), block);
        }
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
