#include "support/PoolHold.h"

#include "document/CVeltroInterfaceDoc.h"
#include "document/JpegLoader.h"
#include "view/CDisplayCache.h"
#include "view/ViewGeometry.h"

#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/mman.h>
#include <tiffio.h>
#include <tuple>
#include <unistd.h>

namespace {

constexpr QRgb kUntouched = 0xFF123456u;

// A document holding a W x H picture; fn(column, top-down row) gives each pixel as a word 0x00BBGGRR.
std::unique_ptr<CVeltroInterfaceDoc> MakeDoc(int nWidth, int nHeight, const std::function<uint32_t(int, int)>& fn)
{
    auto pDoc = std::make_unique<CVeltroInterfaceDoc>();
    pDoc->m_pImage = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(nWidth) * nHeight * 4));
    pDoc->m_nWidth = nWidth;
    pDoc->m_nHeight = nHeight;
    pDoc->m_nChannels = 3;
    pDoc->m_nDisplayState = 1;
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x)
            pDoc->m_pImage[(nHeight - 1 - y) * nWidth + x] = fn(x, y);
    return pDoc;
}

uint32_t Word(int r, int g, int b) { return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16); }
QRgb Shown(uint32_t nWord) { return qRgb(nWord & 0xFF, (nWord >> 8) & 0xFF, (nWord >> 16) & 0xFF); }
// Distinct colours everywhere, the channels telling column and row apart.
uint32_t Distinct(int x, int y) { return Word((x * 37) & 0xFF, (y * 59) & 0xFF, (x * y + 11) & 0xFF); }

// The cache of a document with all its levels built.
std::unique_ptr<CDisplayCache> Built(const CVeltroInterfaceDoc& doc)
{
    auto pCache = std::make_unique<CDisplayCache>(doc);
    pCache->WaitUntilComplete();
    return pCache;
}

// A pool whose threads are kept busy: builds started on it wait for hold.Release().
struct HeldPool : QThreadPool
{
    PoolHold hold{*this};
};

// Draws rcTarget at nZoom into a target of the given size, scrolled by ptScroll as a view does.
QImage Render(const CDisplayCache& cache, int nZoom, const QRect& rcTarget, const QSize& size,
              const QPoint& ptScroll = QPoint(), bool* pbFinal = nullptr)
{
    QImage target(size, QImage::Format_RGB32);
    target.fill(kUntouched);
    QPainter painter(&target);
    painter.translate(-ptScroll);
    const bool bFinal = cache.Draw(painter, rcTarget, nZoom);
    if (pbFinal != nullptr)
        *pbFinal = bFinal;
    return target;
}

QSize DisplaySize(const CDisplayCache& cache, int nZoom)
{
    const auto size = viewgeometry::GetDisplaySize(cache.Width(), cache.Height(), nZoom);
    return QSize(int(size.nWidth), int(size.nHeight));
}

// The whole display, with a margin of three pixels that must stay untouched.
QImage RenderAll(const CDisplayCache& cache, int nZoom, bool* pbFinal = nullptr)
{
    const QSize size = DisplaySize(cache, nZoom);
    return Render(cache, nZoom, QRect(QPoint(0, 0), size), size + QSize(3, 3), QPoint(), pbFinal);
}

double ResidentMb()
{
    std::ifstream in("/proc/self/statm");
    double fPages = 0.0;
    in >> fPages >> fPages;   // the second figure: resident pages
    return fPages * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

} // namespace

// Zoom 1 shows every pixel upright, enlarged zooms sharp z x z blocks, and nothing is drawn beyond the picture; all
// straight from the document's block, before any reduction is built.
TEST(DisplayCache, ZoomOneAndEnlargedShowEveryPixelUpright)
{
    const auto pDoc = MakeDoc(7, 5, Distinct);
    HeldPool pool;
    const CDisplayCache cache(*pDoc, nullptr, &pool);
    for (int nZoom : {1, 2, 3, 7}) {
        bool bFinal = false;
        const QImage shown = RenderAll(cache, nZoom, &bFinal);
        EXPECT_TRUE(bFinal);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const bool bInside = x < 7 * nZoom && y < 5 * nZoom;
                ASSERT_EQ(shown.pixel(x, y), bInside ? Shown(Distinct(x / nZoom, y / nZoom)) : kUntouched)
                    << "zoom " << nZoom << " at " << x << "," << y;
            }
    }
}

// The levels of a picture of some megabytes, reduced by two threads into mapped memory off the user's thread, are
// the 2 x 2 means of the level before, upright. The cache is made once per document, belongs to it and goes with
// it; a document without a picture has none.
TEST(DisplayCache, LevelsAreBuiltOncePerDocumentAndGoWithIt)
{
    auto pDoc = MakeDoc(1201, 901, Distinct);
    CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc.get());
    ASSERT_NE(pCache, nullptr);
    EXPECT_EQ(CDisplayCache::ForDocument(pDoc.get()), pCache);
    pCache->WaitUntilComplete();
    ASSERT_EQ(pCache->LevelCount(), 12);   // 1201 x 901 halved down to 1 x 1
    EXPECT_EQ(pCache->Level(1).size(), QSize(602, 452));
    EXPECT_EQ(pCache->Level(11).size(), QSize(2, 2));
    for (int y = 0; y < 451; y += 7)
        for (int x = 0; x < 601; x += 5) {
            const auto mean = [&](int nShift) {   // of one channel over the 2 x 2 pixels, the last ones repeated
                uint32_t nSum = 2;
                for (int i = 0; i < 4; ++i)
                    nSum += (Distinct(std::min(2 * x + i % 2, 1200), std::min(2 * y + i / 2, 900)) >> nShift) & 0xFF;
                return nSum / 4 << nShift;
            };
            ASSERT_EQ(pCache->Level(1).pixel(x, y), Shown(mean(0) | mean(8) | mean(16))) << x << "," << y;
        }
    const QPointer<CDisplayCache> pWatch(pCache);
    pDoc.reset();   // a leak or a bad release of the mapping shows under the sanitizers
    EXPECT_TRUE(pWatch.isNull());
    CVeltroInterfaceDoc empty;
    ASSERT_TRUE(empty.OnNewDocument());
    EXPECT_EQ(CDisplayCache::ForDocument(&empty), nullptr);
    EXPECT_EQ(CDisplayCache::ForDocument(nullptr), nullptr);
    EXPECT_TRUE(empty.findChildren<CDisplayCache*>().isEmpty());
}

// Reduced zooms keep the picture upright and in place: display pixel (x, y) at zoom -n shows image pixel (n x, n y).
TEST(DisplayCache, ReducedZoomsKeepPlaces)
{
    // Top-down: rows 0-31 red on the left half, blue on the right; rows 32-63 green.
    const auto pDoc = MakeDoc(64, 64, [](int x, int y) {
        return y < 32 ? (x < 32 ? Word(255, 0, 0) : Word(0, 0, 255)) : Word(0, 255, 0);
    });
    const auto pCache = Built(*pDoc);
    const CDisplayCache& cache = *pCache;
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0);
    for (int n : {2, 4, 8}) {
        const QImage shown = RenderAll(cache, -n);
        const int h = 32 / n;
        const struct { int x, y; QRgb want; } probes[] = {
            {0, 0, red}, {h - 1, h - 1, red}, {h, 0, blue}, {2 * h - 1, h - 1, blue}, {0, h, green},
            {2 * h - 1, 2 * h - 1, green},
        };
        for (const auto& p : probes)
            EXPECT_EQ(shown.pixel(p.x, p.y), p.want) << "zoom -" << n << " at " << p.x << "," << p.y;
    }
    // A reduction by 3 puts the red/blue edge at display column 32 / 3.
    const QImage shown = RenderAll(cache, -3);
    EXPECT_GT(qRed(shown.pixel(9, 2)), 200);
    EXPECT_GT(qBlue(shown.pixel(11, 2)), 200);
    EXPECT_GT(qGreen(shown.pixel(5, 12)), 200);
}

// A plain picture stays plain at every reduction up to the last display pixel (whose area reaches past the picture
// when the size was rounded up); nothing is drawn beyond the display size. A one-pixel checkerboard shows its mean
// grey: reductions are smoothed, not made by dropping pixels.
TEST(DisplayCache, ReductionsAreSmoothedFilledAndExact)
{
    const uint32_t nColour = Word(0x33, 0x66, 0x99);
    const auto checker = [](int x, int y) { return (x + y) % 2 == 0 ? 0x00FFFFFFu : 0u; };
    for (const QSize& picture : {QSize(101, 7), QSize(8, 8), QSize(5, 3), QSize(1, 1), QSize(33, 64), QSize(2, 9),
                                 QSize(64, 48)}) {
        const bool bChecker = picture == QSize(64, 48);
        const auto pDoc = MakeDoc(picture.width(), picture.height(), [&](int x, int y) {
            return bChecker ? checker(x, y) : nColour;
        });
        const auto pCache = Built(*pDoc);
        const CDisplayCache& cache = *pCache;
        for (int n = 2; n <= 9; ++n) {
            const QSize size = DisplaySize(cache, -n);
            const QImage shown = RenderAll(cache, -n);
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const QRgb c = shown.pixel(x, y);
                    if (x >= size.width() || y >= size.height())
                        ASSERT_EQ(c, kUntouched) << "zoom -" << n << " at " << x << "," << y;
                    else if (bChecker)
                        ASSERT_TRUE(std::abs(qRed(c) - 128) <= 1 && qRed(c) == qGreen(c) && qGreen(c) == qBlue(c))
                            << std::hex << c << " zoom -" << n << " at " << x << "," << y;
                    else
                        ASSERT_EQ(c, Shown(nColour))
                            << picture.width() << "x" << picture.height() << " zoom -" << n << " at " << x << "," << y;
                }
        }
    }
}

// Drawing only an exposed region, scrolled or not, gives the pixels a full draw gives there; reduced zooms draw
// nothing outside the region, enlarged ones at most the rest of the image pixels it cuts.
TEST(DisplayCache, ExposedRegionMatchesFullDraw)
{
    const auto pDoc = MakeDoc(61, 47, [](int x, int y) {
        return Word((x * 13 + y * 7) & 0xFF, (x * x + y) & 0xFF, (y * 29) & 0xFF);
    });
    const auto pCache = Built(*pDoc);
    const CDisplayCache& cache = *pCache;
    const struct { int nZoom; QRect rc; QPoint ptScroll; } cases[] = {
        {1, QRect(3, 5, 17, 9), QPoint()},      {1, QRect(40, 30, 30, 30), QPoint(35, 20)},
        {3, QRect(7, 4, 20, 11), QPoint()},     {3, QRect(100, 61, 37, 40), QPoint(90, 50)},
        {-2, QRect(3, 5, 17, 9), QPoint()},     {-2, QRect(11, 7, 30, 30), QPoint(9, 4)},
        {-3, QRect(1, 2, 9, 7), QPoint()},      {-3, QRect(5, 3, 30, 30), QPoint(4, 2)},
        {-5, QRect(2, 1, 5, 4), QPoint(1, 1)},  {7, QRect(15, 8, 3, 3), QPoint()},  // one image pixel
    };
    for (const auto& c : cases) {
        const QImage full = RenderAll(cache, c.nZoom);
        const QImage part = Render(cache, c.nZoom, c.rc, full.size(), c.ptScroll);
        const QRect rcDrawn = c.rc & QRect(QPoint(0, 0), DisplaySize(cache, c.nZoom));
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x) {
                const QPoint pt = QPoint(x, y) + c.ptScroll;   // display pixel
                const QRgb got = part.pixel(x, y);
                const bool bMayDraw = rcDrawn.contains(pt) || (c.nZoom > 0 && full.valid(pt) && got != kUntouched);
                ASSERT_EQ(got, bMayDraw ? full.pixel(pt) : kUntouched)
                    << "zoom " << c.nZoom << " at " << pt.x() << "," << pt.y();
            }
    }
}

// Zooms that never occur and regions outside the picture draw nothing; the painter's smoothing hint stays.
TEST(DisplayCache, DrawsNothingOutsideAndKeepsPainterState)
{
    const auto pDoc = MakeDoc(9, 9, Distinct);
    const auto pCache = Built(*pDoc);
    const CDisplayCache& cache = *pCache;
    const QSize size(20, 20);
    QImage blank(size, QImage::Format_RGB32);
    blank.fill(kUntouched);
    for (int nZoom : {0, -1})
        EXPECT_EQ(Render(cache, nZoom, QRect(0, 0, 20, 20), size), blank);
    EXPECT_EQ(Render(cache, 1, QRect(9, 0, 10, 10), size), blank);
    EXPECT_EQ(Render(cache, -2, QRect(5, 5, 10, 10), size), blank);
    EXPECT_EQ(Render(cache, 2, QRect(-10, -10, 10, 10), size), blank);
    QImage target(size, QImage::Format_RGB32);
    QPainter painter(&target);
    for (bool bSmooth : {false, true})
        for (int nZoom : {3, -3}) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, bSmooth);
            cache.Draw(painter, QRect(0, 0, 20, 20), nZoom);
            EXPECT_EQ(painter.testRenderHint(QPainter::SmoothPixmapTransform), bSmooth);
        }
}

// Until its reduction is built, a reduced zoom is drawn from the picture itself, said to be provisional: upright, in
// place and within a shade of the finished drawing (the light here changes evenly, so a flipped or shifted drawing
// would be far off). Once the levels are in, the same call draws the finished drawing.
TEST(DisplayCache, ReducedZoomsAreDrawnFromThePictureUntilTheirLevelsCome)
{
    const auto pDoc = MakeDoc(202, 150, [](int x, int y) { return Word(x / 2, y / 2, (x + y) / 4); });
    HeldPool pool;
    CDisplayCache cache(*pDoc, nullptr, &pool);
    for (int nZoom : {-2, -3, -5, -8}) {
        bool bFinal = true;
        const QImage provisional = RenderAll(cache, nZoom, &bFinal);
        EXPECT_FALSE(bFinal);
        const auto pBuilt = Built(*pDoc);
        const QImage finished = RenderAll(*pBuilt, nZoom, &bFinal);
        EXPECT_TRUE(bFinal);
        for (int y = 0; y < finished.height(); ++y)
            for (int x = 0; x < finished.width(); ++x) {
                const QRgb want = finished.pixel(x, y), got = provisional.pixel(x, y);
                const int nOff = std::max({std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)),
                                           std::abs(qBlue(want) - qBlue(got))});
                ASSERT_TRUE(want == kUntouched ? got == kUntouched : nOff <= 3) << nZoom << " at " << x << "," << y;
            }
    }
}

// A document closed while its levels are being built, or before its build has even started, goes at once: the work
// stops and the block is never read afterwards (the sanitizers watch that). A picture of the largest size the loader
// accepts opens within its own memory: the first paints read only what they show and copy nothing of its 4 GB. (This
// block is never written, so it takes no memory either.)
TEST(DisplayCache, ClosingWhileBuildingAndGigapixelPictures)
{
    for (int nPaints : {0, 1, 4, 16}) {
        const auto pDoc = MakeDoc(2400, 1600, Distinct);
        const CDisplayCache& cache = *CDisplayCache::ForDocument(pDoc.get());
        for (int i = 0; i < nPaints; ++i)
            Render(cache, -3, QRect(0, 0, 800, 533), QSize(800, 533));
    }
    static_assert(uint64_t(40000) * 25000 == jpeglimits::kMaxPixels);
    const size_t nBytes = size_t(40000) * 25000 * 4;
    void* pBlock = mmap(nullptr, nBytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pBlock, MAP_FAILED);
    CVeltroInterfaceDoc doc;
    std::tie(doc.m_pImage, doc.m_nWidth, doc.m_nHeight) = std::tuple(static_cast<uint32_t*>(pBlock), 40000, 25000);
    const double fResidentMb = ResidentMb();
    {
        HeldPool pool;
        const CDisplayCache cache(doc, nullptr, &pool);
        for (int nZoom : {1, -8})
            EXPECT_EQ(Render(cache, nZoom, QRect(1000, 1000, 1600, 1000), QSize(1600, 1000), QPoint(1000, 1000))
                          .pixel(1599, 999),
                      qRgb(0, 0, 0));
        // Far below a copy (4 GB), or even level 1 (1 GB); ThreadSanitizer's shadow of the pages read takes 450 MB.
        EXPECT_LT(ResidentMb() - fResidentMb, 600.0);
    }
    doc.m_pImage = nullptr;
    munmap(pBlock, nBytes);
}
