// Masks: the painted and changed-pixel layer (painting, reading a mask, its tint at every zoom) and the mask files
// written for the engine.
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "processing/MaskFile.h"
#include "view/CMaskLayer.h"
#include "view/ViewGeometry.h"

#include <QDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

// A mask with what trips up writers and reductions: a lone pixel, a one-pixel checkerboard, discs, and pixels on the
// last row and column.
QImage Pattern(int w, int h)
{
    QImage mask(w, h, QImage::Format_Grayscale8);
    mask.fill(0);
    QRandomGenerator rng(7);
    for (int i = 0; i < 12; ++i) {
        const int cx = rng.bounded(w), cy = rng.bounded(h), r = rng.bounded(1, 9);
        for (int y = std::max(0, cy - r); y < std::min(h, cy + r); ++y)
            for (int x = std::max(0, cx - r); x < std::min(w, cx + r); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    mask.scanLine(y)[x] = 255;
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            mask.scanLine(h / 2 + y)[w / 3 + x] = (x + y) % 2 ? 255 : 0;
    mask.scanLine(3)[w - 1] = 255;
    mask.scanLine(h - 1)[5] = 255;
    mask.scanLine(h - 5)[w - 9] = 255;   // a lone pixel
    return mask;
}

// Draws the layer at a zoom in a few exposed pieces, as paints come, over black.
QImage Drawn(const CMaskLayer& layer, int32_t nZoom, const QColor& tint)
{
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(layer.Width(), layer.Height(), nZoom);
    QImage shown(int(size.nWidth), int(size.nHeight), QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::black);
    QPainter painter(&shown);
    const int cx = shown.width() / 2 + 1, cy = shown.height() / 3;
    for (const QRect& rc : {QRect(0, 0, cx, cy), QRect(cx, 0, shown.width(), cy), QRect(0, cy, shown.width(), shown.height())}) {
        painter.setClipRect(rc);
        layer.Draw(painter, rc, nZoom, tint);
    }
    return shown;
}

} // namespace

// Whatever the name asks for, the engine's threshold at 128 gives back the very pixels; an earlier file is replaced
// whole, and a folder that is not there is reported.
TEST(MaskFile, ReadsBackExactlyInEveryFormat)
{
    testengine::Application();
    QTemporaryDir tmp;
    const QImage mask = Pattern(97, 61);
    for (const char* pszName : {"m.png", "m.jpg", "m.JPEG", "m.tif", "m.tiff", "m.bmp"}) {
        const QString strPath = tmp.filePath(QLatin1String(pszName));
        ASSERT_TRUE(uitest::WriteFile(strPath, "an earlier file"));
        QString strError;
        ASSERT_TRUE(maskfile::Write(strPath, mask, &strError)) << pszName << ": " << qPrintable(strError);
        EXPECT_EQ(maskfile::ReadThresholded(strPath), mask) << pszName;
    }
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), 6);   // nothing left beside them
    QString strError;
    EXPECT_FALSE(maskfile::Write(tmp.filePath(QStringLiteral("none/m.png")), mask, &strError));
    EXPECT_FALSE(strError.isEmpty());
}

// Painting sets the pixels whose middle is within the brush of the stroke; erasing clears them; a mask read in takes
// grey 128 and up.
TEST(MaskLayer, StrokesSetAndClearThePixelsUnderTheBrush)
{
    CMaskLayer layer(40, 30);
    EXPECT_EQ(layer.PaintStroke({10.5, 10.5}, {30.5, 10.5}, 3.0, false), QRect());   // nothing to erase
    EXPECT_EQ(layer.PaintStroke({10.5, 10.5}, {30.5, 10.5}, 3.0, true), QRect(QPoint(7, 7), QPoint(33, 13)));
    const struct { int x, y; bool bSet; } pixels[] = {
        {20, 10, true}, {20, 13, true}, {20, 14, false}, {7, 10, true}, {6, 10, false}, {8, 8, true}, {7, 8, false},
    };
    for (const auto& p : pixels)
        EXPECT_EQ(layer.At(p.x, p.y), p.bSet) << p.x << "," << p.y;
    const int64_t nCount = layer.Count();
    EXPECT_EQ(layer.PaintStroke({20.5, 10.5}, {20.5, 10.5}, 1.0, false), QRect(19, 9, 3, 3));
    EXPECT_EQ(layer.Count(), nCount - 5);
    EXPECT_FALSE(layer.At(20, 10));

    QImage grey(40, 30, QImage::Format_Grayscale8);
    grey.fill(127);
    grey.scanLine(2)[3] = 128;
    ASSERT_TRUE(layer.Assign(grey));
    EXPECT_EQ(layer.Count(), 1);
    EXPECT_TRUE(layer.At(3, 2));
    EXPECT_FALSE(layer.Assign(QImage(41, 30, QImage::Format_Grayscale8)));
}

// At every zoom each display pixel showing a set pixel is tinted, once: a lone pixel stays visible at the strongest
// reduction, erased pixels leave no trace, and paints in pieces leave no seams. Enlargements and reductions by powers
// of two tint nothing else; other reductions, drawn from the nearest finer reduction, may tint a neighbouring display
// pixel, never farther.
TEST(MaskLayer, TintShowsEverySetPixelAtEveryZoom)
{
    CMaskLayer layer(97, 61);
    ASSERT_TRUE(layer.Assign(Pattern(97, 61)));
    layer.PaintStroke({20, 20}, {60, 40}, 4.0, true);
    layer.PaintStroke({50, 30}, {50, 30}, 6.0, false);
    const QColor tint(255, 0, 255, 128);
    const QRgb tinted = Drawn(layer, 1, tint).pixel(97 - 9, 61 - 5);
    ASSERT_NE(tinted, qRgb(0, 0, 0));
    for (int32_t nZoom : {1, 3, -2, -8, -3, -5, -40}) {
        SCOPED_TRACE(nZoom);
        const QImage shown = Drawn(layer, nZoom, tint);
        const int n = nZoom > 0 ? 1 : -nZoom;
        const bool bExact = nZoom > 0 || (n & (n - 1)) == 0;
        auto shows = [&](int x, int y) {   // the display pixel shows a set pixel
            if (x < 0 || y < 0 || x >= shown.width() || y >= shown.height())
                return false;
            const QRect covered = nZoom > 0 ? QRect(x / nZoom, y / nZoom, 1, 1) : QRect(x * n, y * n, n, n);
            for (int py = covered.top(); py <= covered.bottom(); ++py)
                for (int px = covered.left(); px <= covered.right(); ++px)
                    if (layer.At(px, py))
                        return true;
            return false;
        };
        int nMissed = 0, nStray = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb rgb = shown.pixel(x, y);
                ASSERT_TRUE(rgb == tinted || rgb == qRgb(0, 0, 0)) << x << "," << y;   // tinted once or not at all
                if (shows(x, y))
                    nMissed += rgb != tinted;
                else if (rgb == tinted)
                    nStray += bExact || !(shows(x - 1, y) || shows(x + 1, y) || shows(x, y - 1) || shows(x, y + 1)
                                          || shows(x - 1, y - 1) || shows(x + 1, y + 1) || shows(x - 1, y + 1)
                                          || shows(x + 1, y - 1));
            }
        EXPECT_EQ(nMissed, 0);
        EXPECT_EQ(nStray, 0);
    }
}
