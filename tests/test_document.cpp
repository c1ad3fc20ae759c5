#include "document/CVeltroInterfaceDoc.h"

#include <gtest/gtest.h>

// A new document holds no picture and the initial operation parameters.
TEST(Document, StartsEmptyWithInitialParameters)
{
    CVeltroInterfaceDoc doc;
    EXPECT_EQ(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nDisplayState, 0);
    EXPECT_EQ(doc.m_nZoom, 1);
    EXPECT_EQ(doc.m_nWidth, 0);
    EXPECT_EQ(doc.m_nHeight, 0);
    EXPECT_EQ(doc.m_nChannels, 0);
    EXPECT_TRUE(doc.m_strImagePath.isEmpty());
    EXPECT_EQ(doc.m_nBlotchBorderDist, 7u);
    EXPECT_EQ(doc.m_nBlotchFlawlessWidth, 10u);
    EXPECT_EQ(doc.m_nCrackWhiteThreshold, 245);
    EXPECT_FLOAT_EQ(doc.m_fCrackDegStart, -90.0f);
    EXPECT_FLOAT_EQ(doc.m_fCrackDegStop, 90.0f);
    EXPECT_FLOAT_EQ(doc.m_fCrackDegStep, 3.0f);
    EXPECT_FLOAT_EQ(doc.m_fFoxAmplitude, 0.05f);
    EXPECT_EQ(doc.m_nFoxBorderDist, 3u);
    EXPECT_EQ(doc.m_nFoxFlawlessWidth, 2u);
    EXPECT_EQ(doc.m_nCreaseAvgSize, 22u);
    EXPECT_EQ(doc.m_nCreaseFilterSize, 25u);
    EXPECT_FLOAT_EQ(doc.m_fCreaseThreshold, 10.0f);
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_nDisplayState, 0);
}
