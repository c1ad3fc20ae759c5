#include "view/CDisplayCache.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/ViewGeometry.h"

#include <QElapsedTimer>
#include <QPaintEngine>
#include <QPainter>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <functional>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif
#ifdef __SANITIZE_THREAD__
#include <sanitizer/tsan_interface.h>
#endif

namespace {

// Qt's thread pool hands a task over to its thread through locks of its
// own, which ThreadSanitizer cannot see (Qt is not built with it): the hand-
// over is declared to it, so that it checks everything else.
void HandOver([[maybe_unused]] bool bTaking)
{
#ifdef __SANITIZE_THREAD__
    static char s_handOver;
    if (bTaking)
        __tsan_acquire(&s_handOver);
    else
        __tsan_release(&s_handOver);
#endif
}

// Below this many pixels a second thread costs more than it saves.
constexpr int64_t kParallelPixels = int64_t(1) << 20;

// Runs fn(first, last) over the rows [0, nRows), split between two threads
// when the work is large enough. Reduction is a simple streaming loop that
// a free second core can share; on a busy machine the split neither gains
// nor loses measurably.
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
// of a large one is faulted in by one call: faulting a hundred megabytes
// page by page, as the first writes would, costs more than reducing them on
// some systems (virtual machines above all).
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

// The rounded mean of four words, channel by channel: the even and the odd
// bytes are summed in separate 16-bit lanes, which hold 4 x 255.
inline uint32_t Mean4(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    constexpr uint32_t kMask = 0x00FF00FFu;
    constexpr uint32_t kHalf = 0x00020002u;
    const uint32_t lo = (a & kMask) + (b & kMask) + (c & kMask) + (d & kMask) + kHalf;
    const uint32_t hi = ((a >> 8) & kMask) + ((b >> 8) & kMask) + ((c >> 8) & kMask)
        + ((d >> 8) & kMask) + kHalf;
    return ((lo >> 2) & kMask) | ((hi << 6) & ~kMask);
}

// The level after one of nWidth x nHeight pixels whose top-down row y is
// srcRow(y): 2 x 2 means, a last odd column or row averaged with itself,
// and one more column and row repeating the last ones. Pixels come out
// through convert (the block's words are turned into Format_RGB32 here).
// Null when there is no memory, or when cancel was set on the way.
template <typename SrcRow, typename Convert>
QImage Reduce(SrcRow srcRow, int nWidth, int nHeight, Convert convert, const std::atomic<bool>& cancel)
{
    const int nOutW = (nWidth + 1) / 2;
    const int nOutH = (nHeight + 1) / 2;
    QImage dst = NewImage(nOutW + 1, nOutH + 1);
    if (dst.isNull())
        return dst;
    // Row pointers from the bits taken once: scanLine() on two threads at
    // once would race on the image's bookkeeping.
    uchar* const pBits = dst.bits();
    const qsizetype nStride = dst.bytesPerLine();
    const int nPairs = nWidth / 2;
    ForRows(nOutH, int64_t(nWidth) * nHeight, [&](int nFirst, int nLast) {
        for (int y = nFirst; y < nLast && !cancel.load(std::memory_order_relaxed); ++y) {
            const uint32_t* p0 = srcRow(2 * y);
            const uint32_t* p1 = srcRow(std::min(2 * y + 1, nHeight - 1));
            auto* pOut = reinterpret_cast<uint32_t*>(pBits + y * nStride);
            for (int x = 0; x < nPairs; ++x)
                pOut[x] = convert(Mean4(p0[2 * x], p0[2 * x + 1], p1[2 * x], p1[2 * x + 1]));
            if (nWidth % 2 != 0)
                pOut[nPairs] = convert(Mean4(p0[nWidth - 1], p0[nWidth - 1], p1[nWidth - 1], p1[nWidth - 1]));
            pOut[nOutW] = pOut[nOutW - 1];
        }
    });
    if (cancel.load())
        return QImage();
    std::memcpy(pBits + nOutH * nStride, pBits + (nOutH - 1) * nStride, size_t(nOutW + 1) * 4);
    return dst;
}

// How many levels a whole build of a W x H picture makes: halvings down to 1 x 1.
int FinalLevelCount(int nWidth, int nHeight)
{
    int nLevels = 0;
    while (nWidth > 1 || nHeight > 1) {
        nWidth = (nWidth + 1) / 2;
        nHeight = (nHeight + 1) / 2;
        ++nLevels;
    }
    return nLevels;
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

// Parts of the block are converted for drawing in bands of at most this many
// pixels, so that printing a huge picture never copies it whole.
constexpr int64_t kBandPixels = int64_t(16) << 20;

// A Format_RGB32 image to convert a part of the picture into and draw at
// once. On the screen its memory is kept from one paint to the next (a
// view's worth, faulted in once; painting happens on the user's thread
// only); other paint engines may keep the image (the print preview records
// it), so they get one of their own.
QImage DrawingImage(const QPainter& painter, int nWidth, int nHeight)
{
    constexpr int64_t kKeepPixels = int64_t(8) << 20;
    static std::vector<uint32_t> s_kept;
    const int64_t nPixels = int64_t(nWidth) * nHeight;
    const bool bScreen = painter.paintEngine() != nullptr && painter.paintEngine()->type() == QPaintEngine::Raster;
    if (!bScreen || nPixels > kKeepPixels)
        return QImage(nWidth, nHeight, QImage::Format_RGB32);
    if (s_kept.size() < size_t(nPixels))
        s_kept.resize(size_t(nPixels));
    return QImage(reinterpret_cast<uchar*>(s_kept.data()), nWidth, nHeight, qsizetype(nWidth) * 4,
                  QImage::Format_RGB32);
}

// The image pixels [first, last) that cover display pixels [nFrom, nTo) at
// an enlargement by z.
void CoveringSpan(int nFrom, int nTo, int z, int& nFirst, int& nLast)
{
    nFirst = nFrom / z;
    nLast = int((int64_t(nTo) + z - 1) / z);
}

} // namespace

// What the cache and its worker share. The worker reads the block only
// while bRunning is set, and the cache does not go before it is clear; the
// finished levels pass from the worker to the cache under the mutex.
struct CDisplayCache::BuildState
{
    const uint32_t* pBlock = nullptr;
    int nWidth = 0;
    int nHeight = 0;
    CDisplayCache* pReceiver = nullptr;  // told about each level; there while bRunning

    std::atomic<bool> bCancel{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool bRunning = false;
    bool bEnded = false;
    std::vector<QImage> finished;  // built, not yet taken by the cache
    double fMs = 0.0;
};

CDisplayCache* CDisplayCache::ForDocument(CVeltroInterfaceDoc* pDoc)
{
    if (pDoc == nullptr || pDoc->m_pImage == nullptr || pDoc->m_nWidth <= 0 || pDoc->m_nHeight <= 0)
        return nullptr;
    auto* pCache = pDoc->findChild<CDisplayCache*>(QString(), Qt::FindDirectChildrenOnly);
    if (pCache == nullptr)
        pCache = new CDisplayCache(*pDoc, pDoc);
    return pCache;
}

CDisplayCache::CDisplayCache(const CVeltroInterfaceDoc& doc, QObject* pParent, QThreadPool* pPool)
    : QObject(pParent), m_pState(std::make_shared<BuildState>())
{
    if (doc.m_pImage == nullptr || doc.m_nWidth <= 0 || doc.m_nHeight <= 0) {
        m_bComplete = true;
        return;
    }
    m_pBlock = doc.m_pImage;
    m_nWidth = doc.m_nWidth;
    m_nHeight = doc.m_nHeight;
    m_nFinalLevels = FinalLevelCount(doc.m_nWidth, doc.m_nHeight);
    {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_pState->pBlock = doc.m_pImage;
        m_pState->nWidth = doc.m_nWidth;
        m_pState->nHeight = doc.m_nHeight;
        m_pState->pReceiver = this;
    }
    std::shared_ptr<BuildState> pState = m_pState;
    std::function<void()> task = [pState] {
        HandOver(true);
        {
            std::lock_guard<std::mutex> lock(pState->mutex);
            if (pState->bCancel.load()) {
                pState->bEnded = true;
                pState->ended.notify_all();
                return;
            }
            pState->bRunning = true;
        }
        Build(*pState);
        {
            std::lock_guard<std::mutex> lock(pState->mutex);
            pState->bEnded = true;
        }
        // The last word: the build has ended (the cache is still there).
        PostTakeLevels(pState->pReceiver);
        {
            std::lock_guard<std::mutex> lock(pState->mutex);
            pState->bRunning = false;
        }
        pState->ended.notify_all();
    };
    HandOver(false);
    (pPool != nullptr ? pPool : BuildPool())->start(std::move(task));
}

QThreadPool* CDisplayCache::BuildPool()
{
    static QThreadPool pool;
    return &pool;
}

CDisplayCache::~CDisplayCache()
{
    m_pState->bCancel.store(true);
    std::unique_lock<std::mutex> lock(m_pState->mutex);
    m_pState->ended.wait(lock, [this] { return !m_pState->bRunning; });
}

void CDisplayCache::Build(BuildState& state)
{
    QElapsedTimer timer;
    timer.start();
    const uint32_t* const pBlock = state.pBlock;
    int nWidth = state.nWidth;
    int nHeight = state.nHeight;
    QImage previous;
    while ((nWidth > 1 || nHeight > 1) && !state.bCancel.load()) {
        QImage level;
        if (previous.isNull()) {
            // The block's rows run bottom-up; the levels' top-down.
            const int nW = nWidth, nH = nHeight;
            level = Reduce([=](int y) { return pBlock + size_t(nH - 1 - y) * size_t(nW); }, nWidth, nHeight,
                           [](uint32_t p) { return ToRgb32(p); }, state.bCancel);
        } else {
            const uchar* const pBits = previous.constBits();
            const qsizetype nStride = previous.bytesPerLine();
            level = Reduce([=](int y) { return reinterpret_cast<const uint32_t*>(pBits + y * nStride); }, nWidth,
                           nHeight, [](uint32_t p) { return p; }, state.bCancel);
        }
        if (level.isNull())
            break;  // out of memory (the coarser zooms use the finest level there is), or cancelled
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.finished.push_back(level);
            state.fMs = timer.nsecsElapsed() / 1e6;
        }
        PostTakeLevels(state.pReceiver);
        previous = std::move(level);
        nWidth = (nWidth + 1) / 2;
        nHeight = (nHeight + 1) / 2;
    }
}

// By name, so that nothing of the program's is handed over with the call:
// the levels pass under the state's mutex.
void CDisplayCache::PostTakeLevels(CDisplayCache* pCache)
{
    QMetaObject::invokeMethod(pCache, "TakeFinishedLevels", Qt::QueuedConnection);
}

void CDisplayCache::TakeFinishedLevels()
{
    size_t nBefore = m_levels.size();
    {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        for (QImage& level : m_pState->finished)
            m_levels.push_back(std::move(level));
        m_pState->finished.clear();
        m_fLevelsMs = m_pState->fMs;
        m_bComplete = m_pState->bEnded;
    }
    if (m_bComplete)
        m_nFinalLevels = int(m_levels.size());
    if (m_levels.size() != nBefore)
        emit levelAdded();
}

void CDisplayCache::WaitUntilComplete()
{
    if (m_bComplete)
        return;
    {
        std::unique_lock<std::mutex> lock(m_pState->mutex);
        m_pState->ended.wait(lock, [this] { return m_pState->bEnded; });
    }
    TakeFinishedLevels();
}

const QImage& CDisplayCache::Level(int nLevel) const
{
    static const QImage none;
    if (nLevel <= 0 || nLevel > int(m_levels.size()))
        return none;
    return m_levels[size_t(nLevel) - 1];
}

int CDisplayCache::LevelForReduction(int n) const
{
    int nLevel = 0;
    while (nLevel < m_nFinalLevels && n >= (int64_t(2) << nLevel))
        ++nLevel;
    return nLevel;
}

bool CDisplayCache::Draw(QPainter& painter, const QRect& rcTarget, int nZoom) const
{
    if (m_pBlock == nullptr || nZoom == 0 || nZoom == -1)
        return true;
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(m_nWidth, m_nHeight, nZoom);
    const QRect rcDisplay(0, 0, int(std::min<int64_t>(size.nWidth, INT_MAX)),
                          int(std::min<int64_t>(size.nHeight, INT_MAX)));
    const QRect rc = rcTarget & rcDisplay;
    if (rc.isEmpty())
        return true;
    if (nZoom >= 1) {
        DrawPicture(painter, rc, nZoom);
        return true;
    }

    // A reduction by n from level k (a reduction by f = 2^k <= n): display
    // pixel x covers image columns [n x, n x + n), that is level columns
    // [x n / f, (x + 1) n / f). The same mapping for every exposed region
    // keeps the bilinear samples, and so the pixels, independent of how the
    // view is split into regions. Levels come finest first: when the one
    // wanted is not there yet, the nearest one that is is finer.
    const int n = -nZoom;
    const int nWanted = LevelForReduction(n);
    const int nLevel = std::min(nWanted, LevelCount() - 1);
    if (nLevel == 0) {
        DrawQuickReduction(painter, rc, n);
    } else {
        const double fScale = double(n) / double(int64_t(1) << nLevel);
        const QRectF rcSource(rc.x() * fScale, rc.y() * fScale, rc.width() * fScale, rc.height() * fScale);
        SmoothingScope smoothing(painter, true);
        painter.drawImage(QRectF(rc), Level(nLevel), rcSource);
    }
    return nLevel == nWanted || m_bComplete;
}

// Zoom z >= 1: the image pixels under the exposed region, converted from
// the block as they are drawn (the block's words are not a format Qt draws
// faithfully: it takes their fourth byte, 0, for alpha in places). Whole
// image pixels are drawn, so that their edges land on multiples of the zoom
// wherever the exposed region starts.
void CDisplayCache::DrawPicture(QPainter& painter, const QRect& rc, int nZoom) const
{
    int x0, x1, y0, y1;
    CoveringSpan(rc.left(), rc.left() + rc.width(), nZoom, x0, x1);
    CoveringSpan(rc.top(), rc.top() + rc.height(), nZoom, y0, y1);
    x1 = std::min(x1, m_nWidth);
    y1 = std::min(y1, m_nHeight);
    const int nBandRows = int(std::clamp<int64_t>(kBandPixels / (x1 - x0), 1, y1 - y0));
    SmoothingScope smoothing(painter, false);
    for (int yBand = y0; yBand < y1; yBand += nBandRows) {
        const int nRows = std::min(nBandRows, y1 - yBand);
        QImage part = DrawingImage(painter, x1 - x0, nRows);
        if (part.isNull())
            return;
        for (int y = 0; y < nRows; ++y) {
            // The block's rows run bottom-up.
            const uint32_t* pSrc = m_pBlock + size_t(m_nHeight - 1 - (yBand + y)) * size_t(m_nWidth) + x0;
            auto* pDst = reinterpret_cast<uint32_t*>(part.scanLine(y));
            for (int x = 0; x < x1 - x0; ++x)
                pDst[x] = ToRgb32(pSrc[x]);
        }
        painter.drawImage(QRectF(double(x0) * nZoom, double(yBand) * nZoom, double(x1 - x0) * nZoom,
                                 double(nRows) * nZoom),
                          part);
    }
}

// A reduction by n before any level is there: each display pixel of the
// exposed region is the mean of the 2 x 2 image pixels at the middle of the
// n x n it covers (one pixel when n is odd), the pixels a bilinear sample
// there reads. It aliases where level 1 would not, until that comes; it
// reads four pixels per display pixel, whatever the reduction.
void CDisplayCache::DrawQuickReduction(QPainter& painter, const QRect& rc, int n) const
{
    // The two middle columns of each display column's n, clamped to the picture.
    std::vector<int> columns(size_t(rc.width()) * 2);
    for (int x = 0; x < rc.width(); ++x) {
        const int64_t nFirst = int64_t(rc.left() + x) * n;
        columns[2 * size_t(x)] = int(std::min<int64_t>(nFirst + (n - 1) / 2, m_nWidth - 1));
        columns[2 * size_t(x) + 1] = int(std::min<int64_t>(nFirst + n / 2, m_nWidth - 1));
    }
    const auto row = [&](int64_t y, int nHalf) {
        return m_pBlock + size_t(m_nHeight - 1 - std::min<int64_t>(y * n + nHalf, m_nHeight - 1)) * size_t(m_nWidth);
    };
    const int nBandRows = int(std::clamp<int64_t>(kBandPixels / rc.width(), 1, rc.height()));
    for (int yBand = rc.top(); yBand <= rc.bottom(); yBand += nBandRows) {
        const int nRows = std::min(nBandRows, rc.bottom() + 1 - yBand);
        QImage part = DrawingImage(painter, rc.width(), nRows);
        if (part.isNull())
            return;
        for (int y = 0; y < nRows; ++y) {
            const uint32_t* p0 = row(yBand + y, (n - 1) / 2);
            const uint32_t* p1 = row(yBand + y, n / 2);
            auto* pDst = reinterpret_cast<uint32_t*>(part.scanLine(y));
            const int* pColumn = columns.data();
            for (int x = 0; x < rc.width(); ++x, pColumn += 2)
                pDst[x] = ToRgb32(Mean4(p0[pColumn[0]], p0[pColumn[1]], p1[pColumn[0]], p1[pColumn[1]]));
        }
        painter.drawImage(QPoint(rc.left(), yBand), part);
    }
}
