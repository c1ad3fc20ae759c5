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

// A document holding a W x H picture; fn(column, top-down row) gives each
// pixel as a block word 0x00BBGGRR.
std::unique_ptr<CVeltroInterfaceDoc> MakeDoc(int nWidth, int nHeight,
                                             const std::function<uint32_t(int, int)>& fn)
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

uint32_t Word(int r, int g, int b)
{
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

QRgb Shown(uint32_t nWord)
{
    return qRgb(nWord & 0xFF, (nWord >> 8) & 0xFF, (nWord >> 16) & 0xFF);
}

// Distinct colours everywhere, the channels telling column and row apart.
uint32_t Distinct(int x, int y)
{
    return Word((x * 37) & 0xFF, (y * 59) & 0xFF, (x * y + 11) & 0xFF);
}

// Draws rcTarget at nZoom into a target of the given size, first scrolled
// by ptScroll (the painter's translation, as a view applies it).
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

QImage RenderAll(const CDisplayCache& cache, int nZoom)
{
    const QSize size = DisplaySize(cache, nZoom);
    return Render(cache, nZoom, QRect(QPoint(0, 0), size), size + QSize(3, 3));
}

int Grey(QRgb c)
{
    return (qRed(c) + qGreen(c) + qBlue(c)) / 3;
}

} // namespace

// Zoom 1 shows the top buffer row first, every pixel up to the bottom right
// of an odd-sized picture, red in red, and nothing beyond the picture.
TEST(DisplayCache, ZoomOneShowsEveryPixelUpright)
{
    const auto pDoc = MakeDoc(7, 5, [](int x, int y) {
        return x == 0 && y == 0 ? 0x000000FFu : Distinct(x, y);
    });
    const CDisplayCache cache(*pDoc);
    const QImage shown = RenderAll(cache, 1);

    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), Shown(pDoc->m_pImage[4 * 7 + 1]));  // buffer row H-1 on top
    EXPECT_EQ(shown.pixel(6, 4), Shown(pDoc->m_pImage[6]));          // bottom right
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(shown.pixel(x, y), Shown(pDoc->m_pImage[(4 - y) * 7 + x])) << x << "," << y;
    for (int y = 0; y < shown.height(); ++y)
        EXPECT_EQ(shown.pixel(7, y), kUntouched);
    for (int x = 0; x < shown.width(); ++x)
        EXPECT_EQ(shown.pixel(x, 5), kUntouched);
}

// A picture of some megabytes, converted by two threads into mapped memory,
// comes out as a small one does, and its memory goes with the document.
TEST(DisplayCache, LargePictureConvertsAlike)
{
    auto pDoc = MakeDoc(1201, 901, Distinct);
    const CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc.get());
    ASSERT_NE(pCache, nullptr);
    const QImage& image = pCache->FullImage();
    ASSERT_EQ(image.size(), QSize(1201, 901));
    for (int y = 0; y < 901; ++y) {
        const auto* pRow = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < 1201; ++x)
            ASSERT_EQ(pRow[x], Shown(Distinct(x, y))) << x << "," << y;
    }
    EXPECT_EQ(pCache->Level(1).pixel(600, 450), Shown(Distinct(1200, 900)));
    pDoc.reset();  // a leak or a bad release of the mapping shows under the sanitizers
}

// Enlarged zooms show each image pixel as a sharp z x z block.
TEST(DisplayCache, EnlargedZoomsShowSharpBlocks)
{
    const auto pDoc = MakeDoc(5, 3, Distinct);
    const CDisplayCache cache(*pDoc);
    for (int nZoom : {2, 3, 4, 7}) {
        const QImage shown = RenderAll(cache, nZoom);
        for (int y = 0; y < 3 * nZoom; ++y)
            for (int x = 0; x < 5 * nZoom; ++x)
                ASSERT_EQ(shown.pixel(x, y), Shown(Distinct(x / nZoom, y / nZoom)))
                    << "zoom " << nZoom << " at " << x << "," << y;
        EXPECT_EQ(shown.pixel(5 * nZoom, 0), kUntouched);
        EXPECT_EQ(shown.pixel(0, 3 * nZoom), kUntouched);
    }
}

// A one-pixel checkerboard reduced shows its mean grey: the reductions are
// smoothed, not made by dropping pixels (which would show black or white).
TEST(DisplayCache, ReducedCheckerboardIsMidGrey)
{
    const auto pDoc = MakeDoc(64, 48, [](int x, int y) {
        return (x + y) % 2 == 0 ? 0x00FFFFFFu : 0u;
    });
    const CDisplayCache cache(*pDoc);
    for (int nZoom : {-2, -3, -4, -5, -8}) {
        const QImage shown = RenderAll(cache, nZoom);
        const QSize size = DisplaySize(cache, nZoom);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = shown.pixel(x, y);
                ASSERT_NEAR(Grey(c), 128, 1) << "zoom " << nZoom << " at " << x << "," << y;
                ASSERT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
            }
    }
}

// Reduced zooms keep the picture upright and in place: display pixel (x, y)
// at a reduction by n shows the image around column n x, top-down row n y.
TEST(DisplayCache, ReducedZoomsKeepPlaces)
{
    // Top-down: rows 0-31 red on the left half, blue on the right; rows
    // 32-63 green.
    const auto pDoc = MakeDoc(64, 64, [](int x, int y) {
        return y < 32 ? (x < 32 ? Word(255, 0, 0) : Word(0, 0, 255)) : Word(0, 255, 0);
    });
    const CDisplayCache cache(*pDoc);
    for (int n : {2, 4, 8}) {
        const QImage shown = RenderAll(cache, -n);
        const int nHalf = 32 / n;
        EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 0, 0)) << n;
        EXPECT_EQ(shown.pixel(nHalf - 1, nHalf - 1), qRgb(255, 0, 0)) << n;
        EXPECT_EQ(shown.pixel(nHalf, 0), qRgb(0, 0, 255)) << n;
        EXPECT_EQ(shown.pixel(2 * nHalf - 1, nHalf - 1), qRgb(0, 0, 255)) << n;
        EXPECT_EQ(shown.pixel(0, nHalf), qRgb(0, 255, 0)) << n;
        EXPECT_EQ(shown.pixel(2 * nHalf - 1, 2 * nHalf - 1), qRgb(0, 255, 0)) << n;
    }
    // A reduction by 3 puts the red/blue edge at display column 32 / 3.
    const QImage shown = RenderAll(cache, -3);
    EXPECT_GT(qRed(shown.pixel(9, 2)), 200);
    EXPECT_GT(qBlue(shown.pixel(11, 2)), 200);
    EXPECT_GT(qGreen(shown.pixel(5, 12)), 200);
}

// A plain picture stays plain at every reduction, up to the last display
// pixel, whose area reaches past the picture when the size was rounded up;
// nothing is drawn beyond the display size.
TEST(DisplayCache, ReducedEdgesAreFilledAndExact)
{
    const uint32_t nColour = Word(0x33, 0x66, 0x99);
    const QSize sizes[] = {{101, 7}, {8, 8}, {5, 3}, {1, 1}, {33, 64}, {2, 9}};
    for (const QSize& sizePicture : sizes) {
        const auto pDoc = MakeDoc(sizePicture.width(), sizePicture.height(),
                                  [&](int, int) { return nColour; });
        const CDisplayCache cache(*pDoc);
        for (int n = 2; n <= 9; ++n) {
            const QSize size = DisplaySize(cache, -n);
            if (size.isEmpty())
                continue;
            const QImage shown = RenderAll(cache, -n);
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const bool bInside = x < size.width() && y < size.height();
                    ASSERT_EQ(shown.pixel(x, y), bInside ? Shown(nColour) : kUntouched)
                        << sizePicture.width() << "x" << sizePicture.height() << " zoom -" << n
                        << " at " << x << "," << y;
                }
        }
    }
}

// Drawing only an exposed region, scrolled or not, gives the pixels a full
// draw gives there; reduced zooms draw nothing outside the region, enlarged
// ones at most the rest of the image pixels it cuts.
TEST(DisplayCache, ExposedRegionMatchesFullDraw)
{
    const auto pDoc = MakeDoc(61, 47, [](int x, int y) {
        return Word((x * 13 + y * 7) & 0xFF, (x * x + y) & 0xFF, (y * 29) & 0xFF);
    });
    const CDisplayCache cache(*pDoc);
    struct Case { int nZoom; QRect rc; QPoint ptScroll; };
    const Case cases[] = {
        {1, QRect(3, 5, 17, 9), QPoint()},
        {1, QRect(40, 30, 30, 30), QPoint(35, 20)},
        {3, QRect(7, 4, 20, 11), QPoint()},
        {3, QRect(100, 61, 37, 40), QPoint(90, 50)},
        {-2, QRect(3, 5, 17, 9), QPoint()},
        {-2, QRect(11, 7, 30, 30), QPoint(9, 4)},
        {-3, QRect(1, 2, 9, 7), QPoint()},
        {-3, QRect(5, 3, 30, 30), QPoint(4, 2)},
        {-5, QRect(2, 1, 5, 4), QPoint(1, 1)},
    };
    for (const Case& c : cases) {
        const QImage full = RenderAll(cache, c.nZoom);
        const QImage part = Render(cache, c.nZoom, c.rc, full.size(), c.ptScroll);
        const QRect rcDrawn = c.rc & QRect(QPoint(0, 0), DisplaySize(cache, c.nZoom));
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x) {
                const QPoint pt = QPoint(x, y) + c.ptScroll;  // display pixel
                const QRgb got = part.pixel(x, y);
                QRgb want = kUntouched;
                if (rcDrawn.contains(pt))
                    want = full.pixel(pt);
                else if (c.nZoom > 0 && full.valid(pt) && got != kUntouched)
                    want = full.pixel(pt);
                ASSERT_EQ(got, want) << "zoom " << c.nZoom << " at " << pt.x() << "," << pt.y();
            }
    }
}

// Zooms that never occur, and regions outside the picture, draw nothing;
// the painter's smoothing hint is left as it was.
TEST(DisplayCache, DrawsNothingOutsideAndKeepsPainterState)
{
    const auto pDoc = MakeDoc(9, 9, Distinct);
    const CDisplayCache cache(*pDoc);
    const QSize size(20, 20);
    for (int nZoom : {0, -1})
        EXPECT_EQ(Render(cache, nZoom, QRect(0, 0, 20, 20), size), Render(cache, 0, QRect(), size));
    QImage blank(size, QImage::Format_RGB32);
    blank.fill(kUntouched);
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

// The cache is built once per document, belongs to it and goes with it; a
// document without a picture has none.
TEST(DisplayCache, ForDocumentBuildsOnceAndDiesWithDocument)
{
    auto pDoc = MakeDoc(4, 3, Distinct);
    CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc.get());
    ASSERT_NE(pCache, nullptr);
    EXPECT_EQ(CDisplayCache::ForDocument(pDoc.get()), pCache);
    EXPECT_EQ(pCache->parent(), pDoc.get());
    EXPECT_EQ(pCache->FullImage().size(), QSize(4, 3));
    const QPointer<CDisplayCache> pWatch(pCache);
    pDoc.reset();
    EXPECT_TRUE(pWatch.isNull());

    CVeltroInterfaceDoc empty;
    ASSERT_TRUE(empty.OnNewDocument());
    EXPECT_EQ(CDisplayCache::ForDocument(&empty), nullptr);
    EXPECT_EQ(CDisplayCache::ForDocument(nullptr), nullptr);
    EXPECT_TRUE(empty.findChildren<CDisplayCache*>().isEmpty());
}
