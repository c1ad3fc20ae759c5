#include "view/CDisplayCache.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/ViewGeometry.h"

#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

// Below this many pixels a second thread costs more than it saves.
constexpr int64_t kParallelPixels = int64_t(1) << 20;

// Runs fn(first, last) over the rows [0, nRows), split between two threads
// when the work is large enough. Conversion and reduction are simple
// streaming loops that a free second core can share; on a
// busy machine the split neither gains nor loses measurably.
template <typename Fn>
void ForRows(int nRows, int64_t nPixels, Fn fn)
{
    if (nPixels < kParallelPixels || nRows < 2 || std::thread::hardware_concurrency() < 2) {
        fn(0, nRows);
        return;
    }
    const int nMid = nRows / 2;
    std::thread other([&] { fn(nMid, nRows); });
    fn(0, nMid);
    other.join();
}

#ifdef __linux__
// Images from this size on are mapped and faulted in at once.
constexpr size_t kMapBytes = size_t(4) << 20;

struct Mapping
{
    void* pAddress;
    size_t nBytes;
};

void Unmap(void* pInfo)
{
    auto* pMapping = static_cast<Mapping*>(pInfo);
    munmap(pMapping->pAddress, pMapping->nBytes);
    delete pMapping;
}
#endif

// A new Format_RGB32 image, null when there is no memory for it. The memory
// of a large one is faulted in by one call: faulting hundreds of megabytes
// page by page, as the first writes would, costs more than converting them
// on some systems (virtual machines above all).
QImage NewImage(int nWidth, int nHeight)
{
#ifdef __linux__
    const qsizetype nBytesPerLine = qsizetype(nWidth) * 4;
    const size_t nBytes = size_t(nBytesPerLine) * size_t(nHeight);
    if (nBytes >= kMapBytes) {
        void* pAddress = mmap(nullptr, nBytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (pAddress != MAP_FAILED) {
            auto* pMapping = new Mapping{pAddress, nBytes};
            QImage image(static_cast<uchar*>(pAddress), nWidth, nHeight, nBytesPerLine,
                         QImage::Format_RGB32, &Unmap, pMapping);
            if (!image.isNull())
                return image;
            Unmap(pMapping);  // a refused buffer is not handed to the clean-up
        }
    }
#endif
    return QImage(nWidth, nHeight, QImage::Format_RGB32);
}

// One pixel word 0x00BBGGRR of the document's block to 0xFFRRGGBB.
inline uint32_t ToRgb32(uint32_t p)
{
    return 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

void ConvertRow(const uint32_t* pSrc, uint32_t* pDst, int nCount)
{
    for (int i = 0; i < nCount; ++i)
        pDst[i] = ToRgb32(pSrc[i]);
}

// The rounded mean of four 0xAARRGGBB words, channel by channel: the even
// and the odd bytes are summed in separate 16-bit lanes, which hold 4 x 255.
inline uint32_t Mean4(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    constexpr uint32_t kMask = 0x00FF00FFu;
    constexpr uint32_t kHalf = 0x00020002u;
    const uint32_t lo = (a & kMask) + (b & kMask) + (c & kMask) + (d & kMask) + kHalf;
    const uint32_t hi = ((a >> 8) & kMask) + ((b >> 8) & kMask) + ((c >> 8) & kMask)
        + ((d >> 8) & kMask) + kHalf;
    return ((lo >> 2) & kMask) | ((hi << 6) & ~kMask);
}

// Level k + 1 from level k. Only the first nWidth x nHeight pixels of the
// source are read; a last odd column or row is averaged with itself. The
// result gets one more column and row repeating its last ones.
QImage Reduce(const QImage& src, int nWidth, int nHeight)
{
    const int nOutW = (nWidth + 1) / 2;
    const int nOutH = (nHeight + 1) / 2;
    QImage dst = NewImage(nOutW + 1, nOutH + 1);
    if (dst.isNull())
        return dst;
    const int nPairs = nWidth / 2;
    ForRows(nOutH, int64_t(nWidth) * nHeight, [&](int nFirst, int nLast) {
        for (int y = nFirst; y < nLast; ++y) {
            const auto* p0 = reinterpret_cast<const uint32_t*>(src.constScanLine(2 * y));
            const auto* p1 = reinterpret_cast<const uint32_t*>(src.constScanLine(std::min(2 * y + 1, nHeight - 1)));
            auto* pOut = reinterpret_cast<uint32_t*>(dst.scanLine(y));
            for (int x = 0; x < nPairs; ++x)
                pOut[x] = Mean4(p0[2 * x], p0[2 * x + 1], p1[2 * x], p1[2 * x + 1]);
            if (nWidth % 2 != 0)
                pOut[nPairs] = Mean4(p0[nWidth - 1], p0[nWidth - 1], p1[nWidth - 1], p1[nWidth - 1]);
            pOut[nOutW] = pOut[nOutW - 1];
        }
    });
    std::memcpy(dst.scanLine(nOutH), dst.constScanLine(nOutH - 1), size_t(nOutW + 1) * 4);
    return dst;
}

// Restores the painter's smoothing hint on leaving a scope.
class SmoothingScope
{
public:
    SmoothingScope(QPainter& painter, bool bSmooth)
        : m_painter(painter)
        , m_bWasSmooth(painter.testRenderHint(QPainter::SmoothPixmapTransform))
    {
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, bSmooth);
    }
    ~SmoothingScope() { m_painter.setRenderHint(QPainter::SmoothPixmapTransform, m_bWasSmooth); }
    SmoothingScope(const SmoothingScope&) = delete;
    SmoothingScope& operator=(const SmoothingScope&) = delete;

private:
    QPainter& m_painter;
    bool m_bWasSmooth;
};

// The image pixels [first, last) that cover display pixels [nFrom, nTo) at
// an enlargement by z.
void CoveringSpan(int nFrom, int nTo, int z, int& nFirst, int& nLast)
{
    nFirst = nFrom / z;
    nLast = int((int64_t(nTo) + z - 1) / z);
}

} // namespace

CDisplayCache* CDisplayCache::ForDocument(CVeltroInterfaceDoc* pDoc)
{
    if (pDoc == nullptr || pDoc->m_pImage == nullptr || pDoc->m_nWidth <= 0 || pDoc->m_nHeight <= 0)
        return nullptr;
    auto* pCache = pDoc->findChild<CDisplayCache*>(QString(), Qt::FindDirectChildrenOnly);
    if (pCache == nullptr)
        pCache = new CDisplayCache(*pDoc, pDoc);
    return pCache;
}

CDisplayCache::CDisplayCache(const CVeltroInterfaceDoc& doc, QObject* pParent)
    : QObject(pParent)
{
    if (doc.m_pImage == nullptr || doc.m_nWidth <= 0 || doc.m_nHeight <= 0)
        return;
    m_pSource = doc.m_pImage;
    m_nWidth = doc.m_nWidth;
    m_nHeight = doc.m_nHeight;
    QElapsedTimer timer;
    timer.start();
    BuildFullImage();
    m_fCopyMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    BuildLevels();
    m_fLevelsMs = timer.nsecsElapsed() / 1e6;
}

void CDisplayCache::BuildFullImage()
{
    m_image = NewImage(m_nWidth, m_nHeight);
    if (m_image.isNull())
        return;
    // The block's rows run bottom-up; the image's top-down.
    ForRows(m_nHeight, int64_t(m_nWidth) * m_nHeight, [this](int nFirst, int nLast) {
        for (int y = nFirst; y < nLast; ++y) {
            const uint32_t* pSrc = m_pSource + size_t(m_nHeight - 1 - y) * size_t(m_nWidth);
            ConvertRow(pSrc, reinterpret_cast<uint32_t*>(m_image.scanLine(y)), m_nWidth);
        }
    });
}

void CDisplayCache::BuildLevels()
{
    if (m_image.isNull())
        return;
    int nWidth = m_nWidth;
    int nHeight = m_nHeight;
    while (nWidth > 1 || nHeight > 1) {
        QImage level = Reduce(m_levels.empty() ? m_image : m_levels.back(), nWidth, nHeight);
        if (level.isNull())
            break;  // out of memory: the coarser zooms use the finest level there is
        m_levels.push_back(std::move(level));
        nWidth = (nWidth + 1) / 2;
        nHeight = (nHeight + 1) / 2;
    }
}

const QImage& CDisplayCache::Level(int nLevel) const
{
    if (nLevel <= 0 || m_levels.empty())
        return m_image;
    return m_levels[size_t(std::min(nLevel, int(m_levels.size()))) - 1];
}

int CDisplayCache::LevelForReduction(int n) const
{
    int nLevel = 0;
    while (nLevel + 1 < LevelCount() && n >= (int64_t(2) << nLevel))
        ++nLevel;
    return nLevel;
}

void CDisplayCache::Draw(QPainter& painter, const QRect& rcTarget, int nZoom) const
{
    if (m_pSource == nullptr || nZoom == 0 || nZoom == -1)
        return;
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(m_nWidth, m_nHeight, nZoom);
    const QRect rcDisplay(0, 0, int(std::min<int64_t>(size.nWidth, INT_MAX)),
                          int(std::min<int64_t>(size.nHeight, INT_MAX)));
    const QRect rc = rcTarget & rcDisplay;
    if (rc.isEmpty())
        return;
    if (m_image.isNull()) {
        DrawUncached(painter, rc, nZoom);
        return;
    }

    if (nZoom >= 1) {
        // Whole image pixels, so that their edges land on multiples of the
        // zoom wherever the exposed region starts.
        int x0, x1, y0, y1;
        CoveringSpan(rc.left(), rc.left() + rc.width(), nZoom, x0, x1);
        CoveringSpan(rc.top(), rc.top() + rc.height(), nZoom, y0, y1);
        const QRectF rcSource(x0, y0, x1 - x0, y1 - y0);
        const QRectF rcDest(double(x0) * nZoom, double(y0) * nZoom,
                            double(x1 - x0) * nZoom, double(y1 - y0) * nZoom);
        SmoothingScope smoothing(painter, false);
        painter.drawImage(rcDest, m_image, rcSource);
        return;
    }

    // A reduction by n from level k (a reduction by f = 2^k <= n): display
    // pixel x covers image columns [n x, n x + n), that is level columns
    // [x n / f, (x + 1) n / f). The same mapping for every exposed region
    // keeps the bilinear samples, and so the pixels, independent of how the
    // view is split into regions.
    const int n = -nZoom;
    const int nLevel = LevelForReduction(n);
    const double fScale = double(n) / double(int64_t(1) << nLevel);
    const QRectF rcSource(rc.x() * fScale, rc.y() * fScale, rc.width() * fScale, rc.height() * fScale);
    SmoothingScope smoothing(painter, true);
    painter.drawImage(QRectF(rc), Level(nLevel), rcSource);
}

// Without the converted copy (its memory could not be had), converts only
// the pixels drawn, straight from the document's block; reduced zooms then
// show every n-th pixel.
void CDisplayCache::DrawUncached(QPainter& painter, const QRect& rc, int nZoom) const
{
    if (nZoom >= 1) {
        int x0, x1, y0, y1;
        CoveringSpan(rc.left(), rc.left() + rc.width(), nZoom, x0, x1);
        CoveringSpan(rc.top(), rc.top() + rc.height(), nZoom, y0, y1);
        QImage part(x1 - x0, y1 - y0, QImage::Format_RGB32);
        if (part.isNull())
            return;
        for (int y = y0; y < y1; ++y)
            ConvertRow(m_pSource + size_t(m_nHeight - 1 - y) * size_t(m_nWidth) + x0,
                       reinterpret_cast<uint32_t*>(part.scanLine(y - y0)), x1 - x0);
        SmoothingScope smoothing(painter, false);
        painter.drawImage(QRectF(double(x0) * nZoom, double(y0) * nZoom, double(x1 - x0) * nZoom,
                                 double(y1 - y0) * nZoom),
                          part);
        return;
    }
    const int64_t n = -int64_t(nZoom);
    QImage part(rc.size(), QImage::Format_RGB32);
    if (part.isNull())
        return;
    for (int y = 0; y < rc.height(); ++y) {
        const int64_t nRow = std::min<int64_t>(n * (rc.top() + y), m_nHeight - 1);
        const uint32_t* pSrc = m_pSource + size_t(m_nHeight - 1 - nRow) * size_t(m_nWidth);
        auto* pDst = reinterpret_cast<uint32_t*>(part.scanLine(y));
        for (int x = 0; x < rc.width(); ++x)
            pDst[x] = ToRgb32(pSrc[std::min<int64_t>(n * (rc.left() + x), m_nWidth - 1)]);
    }
    painter.drawImage(rc.topLeft(), part);
}
