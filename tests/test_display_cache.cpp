#include "document/CVeltroInterfaceDoc.h"
#include "view/CDisplayCache.h"
#include "view/ViewGeometry.h"

#include <QPainter>
#include <QPointer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <tiffio.h>

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

// Draws rcTarget at nZoom into a target of the given size, scrolled by ptScroll as a view does.
QImage Render(const CDisplayCache& cache, int nZoom, const QRect& rcTarget, const QSize& size,
              const QPoint& ptScroll = QPoint())
{
    QImage target(size, QImage::Format_RGB32);
    target.fill(kUntouched);
    QPainter painter(&target);
    painter.translate(-ptScroll);
    cache.Draw(painter, rcTarget, nZoom);
    return target;
}

QSize DisplaySize(const CDisplayCache& cache, int nZoom)
{
    const auto size = viewgeometry::GetDisplaySize(cache.Width(), cache.Height(), nZoom);
    return QSize(int(size.nWidth), int(size.nHeight));
}

// The whole display, with a margin of three pixels that must stay untouched.
QImage RenderAll(const CDisplayCache& cache, int nZoom)
{
    const QSize size = DisplaySize(cache, nZoom);
    return Render(cache, nZoom, QRect(QPoint(0, 0), size), size + QSize(3, 3));
}

} // namespace

// Zoom 1 shows every pixel upright, enlarged zooms sharp z x z blocks, and nothing is drawn beyond the picture.
TEST(DisplayCache, ZoomOneAndEnlargedShowEveryPixelUpright)
{
    const auto pDoc = MakeDoc(7, 5, Distinct);
    const CDisplayCache cache(*pDoc);
    for (int nZoom : {1, 2, 3, 7}) {
        const QImage shown = RenderAll(cache, nZoom);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const bool bInside = x < 7 * nZoom && y < 5 * nZoom;
                ASSERT_EQ(shown.pixel(x, y), bInside ? Shown(Distinct(x / nZoom, y / nZoom)) : kUntouched)
                    << "zoom " << nZoom << " at " << x << "," << y;
            }
    }
}

// A picture of some megabytes, converted by two threads into mapped memory, comes out as a small one does. The cache
// is built once per document, belongs to it and goes with it; a document without a picture has none.
TEST(DisplayCache, LargePictureConvertsAlikeOncePerDocument)
{
    auto pDoc = MakeDoc(1201, 901, Distinct);
    CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc.get());
    ASSERT_NE(pCache, nullptr);
    EXPECT_EQ(CDisplayCache::ForDocument(pDoc.get()), pCache);
    const QImage& image = pCache->FullImage();
    ASSERT_EQ(image.size(), QSize(1201, 901));
    for (int y = 0; y < 901; ++y) {
        const auto* pRow = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < 1201; ++x)
            ASSERT_EQ(pRow[x], Shown(Distinct(x, y))) << x << "," << y;
    }
    EXPECT_EQ(pCache->Level(1).pixel(600, 450), Shown(Distinct(1200, 900)));
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
    const CDisplayCache cache(*pDoc);
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
        const CDisplayCache cache(*pDoc);
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
    const CDisplayCache cache(*pDoc);
    const struct { int nZoom; QRect rc; QPoint ptScroll; } cases[] = {
        {1, QRect(3, 5, 17, 9), QPoint()},      {1, QRect(40, 30, 30, 30), QPoint(35, 20)},
        {3, QRect(7, 4, 20, 11), QPoint()},     {3, QRect(100, 61, 37, 40), QPoint(90, 50)},
        {-2, QRect(3, 5, 17, 9), QPoint()},     {-2, QRect(11, 7, 30, 30), QPoint(9, 4)},
        {-3, QRect(1, 2, 9, 7), QPoint()},      {-3, QRect(5, 3, 30, 30), QPoint(4, 2)},
        {-5, QRect(2, 1, 5, 4), QPoint(1, 1)},
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
    const CDisplayCache cache(*pDoc);
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
