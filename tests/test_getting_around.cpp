// The rules of getting around, without windows: display sizes and the zooms allowed, the zoom that fits, keeping a
// point in place across zoom steps, linked views, frame sizes, the Window menu's list, the changed-pixels text and
// where the Open dialog starts.
#include "app/AppSettings.h"
#include "app/WindowList.h"
#include "view/CChangesTool.h"
#include "view/ViewGeometry.h"
#include "view/ViewNavigation.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <utility>

using namespace viewnav;

namespace {

bool Within(int32_t w, int32_t h, int32_t z, const QSize& room)
{
    const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(w, h, z);
    return size.nWidth <= room.width() && size.nHeight <= room.height();
}

// The pixel shown at display position d.
int64_t PixelAt(int64_t d, int32_t z)
{
    return z > 0 ? d / z : d * -int64_t(z);
}

} // namespace

TEST(GettingAround, DisplaySizeRoundsReductionsHalfUpAndZoomsStayWithinLimits)
{
    const struct { int w, h, zoom; int64_t dw, dh; } sizes[] = {
        {101, 50, 1, 101, 50},  {101, 50, 3, 303, 150}, {101, 50, -2, 51, 25},
        {100, 3, -2, 50, 2},    {7, 7, -3, 2, 2},       {1, 1, -2, 1, 1},
        {30000, 20000, 4096, int64_t(30000) * 4096, int64_t(20000) * 4096},
    };
    for (const auto& c : sizes) {
        const viewgeometry::DisplaySize size = viewgeometry::GetDisplaySize(c.w, c.h, c.zoom);
        EXPECT_EQ(std::make_pair(size.nWidth, size.nHeight), std::make_pair(c.dw, c.dh)) << c.w << " at " << c.zoom;
    }
    // Neither the skipped steps 0 and -1, nor a large scan enlarged past the display limit, nor a small one reduced to
    // nothing; without a picture, any step up to the largest zoom.
    const struct { int32_t w, h, zoom; bool fits; } zooms[] = {
        {640, 480, 2, true}, {640, 480, -8, true}, {640, 480, 0, false}, {640, 480, -1, false},
        {100000, 100, 4000, false}, {10, 10, -30, false}, {0, 0, viewgeometry::kMaxZoom + 1, false},
        {0, 0, viewgeometry::kMaxZoom, true},
    };
    for (const auto& c : zooms)
        EXPECT_EQ(viewgeometry::ZoomFits(c.w, c.h, c.zoom), c.fits) << c.w << "x" << c.h << " at " << c.zoom;
}

// The largest step that fits: the next step up never does.
TEST(GettingAround, FitZoomIsTheLargestStepThatFits)
{
    const struct { int32_t w, h; QSize room; int32_t zoom; } cases[] = {
        {200, 100, {1000, 1000}, 5}, {200, 100, {199, 100}, -2}, {1000, 10, {100, 100}, -10},
        {203, 50, {102, 100}, -2},   // 203 / 2 shows as 102 pixels
        {205, 50, {102, 100}, -3},   // 205 / 2 would show as 103
        {100, 100, {0, 0}, -67},     // nothing fits: the strongest reduction still a pixel wide
        {1, 1, {100000, 100000}, viewgeometry::kMaxZoom},
        {0, 0, {100, 100}, 1},       // no picture
        {20, 4000, {900, 700}, -6}, {12500, 8000, {1560, 860}, -10},
    };
    for (const auto& c : cases) {
        const int32_t z = FitZoom(c.w, c.h, c.room);
        EXPECT_EQ(z, c.zoom) << c.w << "x" << c.h << " in " << c.room.width() << "x" << c.room.height();
        if (c.w > 0 && c.room.width() > 0 && z < viewgeometry::kMaxZoom) {
            EXPECT_TRUE(Within(c.w, c.h, z, c.room));
            EXPECT_FALSE(Within(c.w, c.h, viewgeometry::ZoomUp(z), c.room));
        }
    }
}

// Across any zoom step the pixel under the anchor stays under it (at a
// reduction: within the block shown there), and back again the scroll is
// where it was when it started at actual pixels.
TEST(GettingAround, ZoomStepsKeepThePointUnderTheAnchor)
{
    const int32_t zooms[] = {1, 2, 3, 8, -2, -3, -7};
    for (int32_t from : zooms) {
        for (int32_t to : zooms) {
            for (const int64_t scroll : {int64_t(0), int64_t(35), int64_t(1001)}) {
                const int anchor = 117;
                const int64_t before = PixelAt(scroll + anchor, from);
                const int64_t after = ScrollKeepingPoint(scroll, anchor, from, to) + anchor;
                const int64_t nBlock = to < 0 ? -to : 1;
                const int64_t nBlockFrom = from < 0 ? -from : 1;
                // The blocks shown before and after overlap.
                EXPECT_LT(PixelAt(after, to), before + nBlockFrom) << from << "->" << to << " at " << scroll;
                EXPECT_GT(PixelAt(after, to) + nBlock, before) << from << "->" << to << " at " << scroll;
                if (from == 1 && to > 0) {   // in from actual pixels and back out
                    EXPECT_EQ(ScrollKeepingPoint(ScrollKeepingPoint(scroll, anchor, from, to), anchor, to, from), scroll);
                }
            }
        }
    }
}

TEST(GettingAround, LinkedViewTakesTheZoomAndPlaceItsPictureAllows)
{
    const struct { ViewPlace from; int32_t w, h, current; ViewPlace to; } cases[] = {
        {{2, {40, 60}}, 500, 400, 1, {2, {40, 60}}},
        {{-3, {10, 20}}, 500, 400, 1, {-3, {10, 20}}},
        // A step the other picture does not allow (1 x 1 reduced by 3): it keeps
        // its own and shows the same picture point at its corner.
        {{-3, {1, 0}}, 1, 1, 1, {1, {3, 0}}},
    };
    for (const auto& c : cases) {
        const ViewPlace to = LinkedPlace(c.from, c.w, c.h, c.current);
        EXPECT_EQ(to.nZoom, c.to.nZoom);
        EXPECT_EQ(to.scroll, c.to.scroll);
    }
}

// A picture that fits one way shows whole that way: the scroll bar of the
// other direction gets its own room.
TEST(GettingAround, FrameAllowsForTheOtherDirectionsScrollBar)
{
    const QSize chrome(10, 30), client(1000, 700);
    const int nBar = 15;
    const struct { int64_t w, h; QSize frame; } cases[] = {
        {20, 4000, {45, 700}},      // tall: a vertical bar, no horizontal one
        {4000, 20, {1000, 65}},     // wide
        {300, 200, {310, 230}},     // fits: no bars
        {985, 4000, {1000, 700}},   // the vertical bar leaves too little width: both
        {5000, 5000, {1000, 700}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitFrameSize(c.w, c.h, chrome, client, nBar), c.frame) << c.w << "x" << c.h;
}

// Nine windows are listed without "More Windows...", an ampersand in a title is not a mnemonic; with no window
// active, Next takes the first and Previous the last. (Ten windows and stepping round: test_seeing.cpp.)
TEST(GettingAround, WindowMenuListsNineAndStepsRoundTheEnd)
{
    QStringList titles;
    for (int i = 1; i <= 9; ++i)
        titles << QStringLiteral("w%1").arg(i);
    titles[1] = QStringLiteral("Tom & Jerry.jpg");
    const QStringList texts = windowlist::MenuTexts(titles);
    ASSERT_EQ(texts.size(), 9);
    EXPECT_EQ(texts.at(1), QStringLiteral("&2 Tom && Jerry.jpg"));
    EXPECT_EQ(texts.at(8), QStringLiteral("&9 w9"));
    const struct { int current, count, step, next; } steps[] = {
        {-1, 3, 1, 0}, {-1, 3, -1, 2}, {0, 1, 1, 0}, {0, 0, 1, -1}, {0, 3, -1, 2},
    };
    for (const auto& s : steps)
        EXPECT_EQ(windowlist::Step(s.current, s.count, s.step), s.next) << s.current << "/" << s.count << s.step;
}

TEST(GettingAround, ChangedPixelsTextGroupsThousandsWhateverTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German));
    const struct { int64_t changed, total; const char* text; } cases[] = {
        {1234, 2468000, "1,234 pixels changed (0.05 %)"},
        {1, 100, "1 pixel changed (1.00 %)"},
        {999, 1000, "999 pixels changed (99.90 %)"},
        {123456789, 123456789, "123,456,789 pixels changed (100.00 %)"},
        {0, 0, "0 pixels changed (0.00 %)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CChangesTool::ChangedPixelsText(c.changed, c.total), QString::fromLatin1(c.text));
    QLocale::setDefault(QLocale::c());
}

// The folder last opened from, or the nearest one above it still there.
TEST(GettingAround, OpenDialogStartsInTheNearestFolderStillThere)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("a/b")));
    EXPECT_EQ(appsettings::OpenDialogFolder(tmp.filePath(QStringLiteral("a/b"))), tmp.filePath(QStringLiteral("a/b")));
    EXPECT_EQ(appsettings::OpenDialogFolder(tmp.filePath(QStringLiteral("a/gone/deeper"))), tmp.filePath(QStringLiteral("a")));
    EXPECT_EQ(appsettings::OpenDialogFolder(QString()), QString());
}
