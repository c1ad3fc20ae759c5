#include "view/ViewGeometry.h"

#include <gtest/gtest.h>

using namespace viewgeometry;

TEST(ViewGeometry, DisplaySizeRoundsReductionsHalfUp)
{
    struct Case { int w, h, zoom; int64_t dw, dh; };
    const Case cases[] = {
        {101, 50, 1, 101, 50},  {101, 50, 3, 303, 150}, {101, 50, -2, 51, 25},
        {100, 3, -2, 50, 2},    {7, 7, -3, 2, 2},       {1, 1, -2, 1, 1},
        {30000, 20000, 4096, int64_t(30000) * 4096, int64_t(20000) * 4096},
    };
    for (const Case& c : cases) {
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
    // Enlarging a large scan past the display limit, or reducing a small
    // one to nothing, is refused.
    EXPECT_FALSE(ZoomFits(100000, 100, 4000));
    EXPECT_FALSE(ZoomFits(10, 10, -30));
    EXPECT_FALSE(ZoomFits(0, 0, kMaxZoom + 1));
    EXPECT_TRUE(ZoomFits(0, 0, kMaxZoom));
}

TEST(ViewGeometry, ClientToImageCountsRowsFromTheBottom)
{
    int32_t c = 0, r = 0;
    ClientToImage(1, 300, 10, 20, c, r);
    EXPECT_EQ(c, 10);
    EXPECT_EQ(r, 279);
    ClientToImage(2, 300, 11, 21, c, r);
    EXPECT_EQ(c, 5);
    EXPECT_EQ(r, 299 - 10);
    ClientToImage(-2, 300, 10, 20, c, r);
    EXPECT_EQ(c, 20);
    EXPECT_EQ(r, 299 - 40);
    // Beyond the picture nothing is clamped.
    ClientToImage(1, 300, 500, 350, c, r);
    EXPECT_EQ(c, 500);
    EXPECT_EQ(r, -51);
}

TEST(ViewGeometry, TitleSuffixReplacesAnEarlierOne)
{
    EXPECT_EQ(TitleWithZoom("portrait.jpg", 101, 101), "portrait.jpg   100.0%");
    EXPECT_EQ(TitleWithZoom("portrait.jpg", 303, 101), "portrait.jpg   300.0%");
    EXPECT_EQ(TitleWithZoom("portrait.jpg", 51, 101), "portrait.jpg   50.5%");
    EXPECT_EQ(TitleWithZoom("old scan.jpg   100.0%", 50, 100), "old scan.jpg   50.0%");
    EXPECT_EQ(TitleWithZoom("/photos/p_BLOTCH.jpg   200.0%", 100, 100), "/photos/p_BLOTCH.jpg   100.0%");
}
