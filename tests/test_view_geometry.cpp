#include "view/ViewGeometry.h"

#include <gtest/gtest.h>

using namespace viewgeometry;

TEST(ViewGeometry, DisplaySizeRoundsReductionsHalfUp)
{
    const struct { int w, h, zoom; int64_t dw, dh; } cases[] = {
        {101, 50, 1, 101, 50},  {101, 50, 3, 303, 150}, {101, 50, -2, 51, 25},
        {100, 3, -2, 50, 2},    {7, 7, -3, 2, 2},       {1, 1, -2, 1, 1},
        {30000, 20000, 4096, int64_t(30000) * 4096, int64_t(20000) * 4096},
    };
    for (const auto& c : cases) {
        const DisplaySize size = GetDisplaySize(c.w, c.h, c.zoom);
        EXPECT_EQ(size.nWidth, c.dw) << c.w << " at " << c.zoom;
        EXPECT_EQ(size.nHeight, c.dh) << c.h << " at " << c.zoom;
    }
}

TEST(ViewGeometry, ZoomStepsSkipZeroAndMinusOneAndStayWithinLimits)
{
    EXPECT_EQ(ZoomUp(1), 2);
    EXPECT_EQ(ZoomDown(1), -2);
    EXPECT_EQ(ZoomUp(-2), 1);
    EXPECT_EQ(ZoomDown(-2), -3);
    EXPECT_EQ(ZoomUp(-3), -2);
    EXPECT_TRUE(ZoomFits(640, 480, 2));
    EXPECT_TRUE(ZoomFits(640, 480, -8));
    EXPECT_FALSE(ZoomFits(640, 480, 0));
    EXPECT_FALSE(ZoomFits(640, 480, -1));
    // Enlarging a large scan past the display limit, or reducing a small one to nothing, is refused.
    EXPECT_FALSE(ZoomFits(100000, 100, 4000));
    EXPECT_FALSE(ZoomFits(10, 10, -30));
    EXPECT_FALSE(ZoomFits(0, 0, kMaxZoom + 1));
    EXPECT_TRUE(ZoomFits(0, 0, kMaxZoom));
}

// Rows counted from the bottom of a 300-row picture; beyond it nothing is clamped.
TEST(ViewGeometry, ClientToImageCountsRowsFromTheBottom)
{
    const struct { int zoom, x, y, column, row; } cases[] = {
        {1, 10, 20, 10, 279}, {2, 11, 21, 5, 289}, {-2, 10, 20, 20, 259}, {1, 500, 350, 500, -51},
    };
    for (const auto& c : cases) {
        int32_t column = 0, row = 0;
        ClientToImage(c.zoom, 300, c.x, c.y, column, row);
        EXPECT_EQ(column, c.column) << c.zoom << ": " << c.x << "," << c.y;
        EXPECT_EQ(row, c.row) << c.zoom << ": " << c.x << "," << c.y;
    }
}
