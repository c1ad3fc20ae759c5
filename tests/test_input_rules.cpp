#include "processing/InputRules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace {

// One text typed into a field and what reading it gives.
template <typename T>
struct ParseCase
{
    const char* pszText;
    bool bAccepted;
    T value;   // meaningful when accepted
};

template <typename T>
std::ostream& operator<<(std::ostream& os, const ParseCase<T>& c)
{
    return os << '"' << c.pszText << '"';
}

using UnsignedCase = ParseCase<uint32_t>;
using IntCase = ParseCase<int32_t>;
using FloatCase = ParseCase<float>;

class ParseUnsignedTest : public ::testing::TestWithParam<UnsignedCase> {};
class ParseIntTest : public ::testing::TestWithParam<IntCase> {};
class ParseFloatTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ParseUnsignedTest, ReadsOrRefuses)
{
    const UnsignedCase& c = GetParam();
    uint32_t nValue = 12345;
    EXPECT_EQ(inputrules::ParseUnsigned(QString::fromUtf8(c.pszText), nValue), c.bAccepted);
    // A refused text leaves the variable as it was.
    EXPECT_EQ(nValue, c.bAccepted ? c.value : 12345u);
}

INSTANTIATE_TEST_SUITE_P(Fields, ParseUnsignedTest, ::testing::Values(
    UnsignedCase{"7", true, 7},
    UnsignedCase{"0", true, 0},
    UnsignedCase{"007", true, 7},
    UnsignedCase{" \t 12 \t ", true, 12},
    UnsignedCase{"+12", true, 12},
    UnsignedCase{"2147483648", true, 2147483648u},
    UnsignedCase{"4294967295", true, 4294967295u},
    UnsignedCase{"99999999999", true, 4294967295u},
    UnsignedCase{"", false, 0},
    UnsignedCase{"-3", false, 0},
    UnsignedCase{"-0", false, 0},
    UnsignedCase{"+0", false, 0},     // a zero counts only when written with a leading 0
    UnsignedCase{"2.5", false, 0},
    UnsignedCase{"3abc", false, 0},
    UnsignedCase{"1 2", false, 0},
    UnsignedCase{"0x10", false, 0},
    UnsignedCase{"++1", false, 0},
    UnsignedCase{"\n12", false, 0},
    UnsignedCase{"\xd9\xa3", false, 0}));   // ARABIC-INDIC DIGIT THREE

TEST_P(ParseIntTest, ReadsOrRefuses)
{
    const IntCase& c = GetParam();
    int32_t nValue = -12345;
    EXPECT_EQ(inputrules::ParseInt(QString::fromUtf8(c.pszText), nValue), c.bAccepted);
    EXPECT_EQ(nValue, c.bAccepted ? c.value : -12345);
}

INSTANTIATE_TEST_SUITE_P(Fields, ParseIntTest, ::testing::Values(
    IntCase{"245", true, 245},
    IntCase{"0", true, 0},
    IntCase{"-90", true, -90},
    IntCase{"+90", true, 90},
    IntCase{" \t-7\t ", true, -7},
    IntCase{"2147483647", true, 2147483647},
    IntCase{"99999999999", true, 2147483647},
    IntCase{"-99999999999", true, std::numeric_limits<int32_t>::min()},
    IntCase{"-0", false, 0},
    IntCase{"+0", false, 0},
    IntCase{"2.5", false, 0},
    IntCase{"", false, 0},
    IntCase{"-", false, 0},
    IntCase{"1e3", false, 0},
    IntCase{"12 3", false, 0}));

TEST_P(ParseFloatTest, ReadsOrRefuses)
{
    const FloatCase& c = GetParam();
    float fValue = -1234.5f;
    EXPECT_EQ(inputrules::ParseFloat(QString::fromUtf8(c.pszText), fValue), c.bAccepted);
    EXPECT_FLOAT_EQ(fValue, c.bAccepted ? c.value : -1234.5f);
}

INSTANTIATE_TEST_SUITE_P(Fields, ParseFloatTest, ::testing::Values(
    FloatCase{"0", true, 0.0f},
    FloatCase{"0e5", true, 0.0f},
    FloatCase{"00.000", true, 0.0f},
    FloatCase{"-90", true, -90.0f},
    FloatCase{"-1.5", true, -1.5f},
    FloatCase{".5", true, 0.5f},
    FloatCase{"5.", true, 5.0f},
    FloatCase{"1e-2", true, 0.01f},
    FloatCase{"\t0.05 ", true, 0.05f},
    FloatCase{"0.1234567", true, 0.1234567f},
    FloatCase{"3e38", true, 3e38f},
    FloatCase{"1e-50", true, 0.0f},   // not zero as written, zero as a float
    // Zero counts only when the text starts with the digit 0.
    FloatCase{".0", false, 0},
    FloatCase{"-0", false, 0},
    FloatCase{"+0", false, 0},
    FloatCase{"1e-400", false, 0},   // comes out as zero
    FloatCase{"", false, 0},
    FloatCase{"3abc", false, 0},
    FloatCase{"1,5", false, 0},
    FloatCase{".", false, 0},
    FloatCase{"-", false, 0},
    FloatCase{"e5", false, 0},
    FloatCase{"1e", false, 0},
    FloatCase{"1 2", false, 0},
    // Words and forms that are no decimal number.
    FloatCase{"inf", false, 0},
    FloatCase{"nan", false, 0},
    FloatCase{"0x1p3", false, 0},
    // Beyond the range of a float: it would reach the engine as "inf".
    FloatCase{"1e39", false, 0},
    FloatCase{"1e400", false, 0}));

TEST(InputRules, FloatReadingIgnoresTheProcessLocale)
{
    // An application may run with a locale whose decimal mark is a comma.
    const char* pszOld = std::setlocale(LC_NUMERIC, nullptr);
    const std::string strOld = pszOld ? pszOld : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale installed";
    float fValue = 0.0f;
    EXPECT_TRUE(inputrules::ParseFloat(QStringLiteral("2.5"), fValue));
    EXPECT_FLOAT_EQ(fValue, 2.5f);
    EXPECT_FALSE(inputrules::ParseFloat(QStringLiteral("2,5"), fValue));
    std::setlocale(LC_NUMERIC, strOld.c_str());
}

TEST(InputRules, DisplayOfValues)
{
    const struct
    {
        float fValue;
        const char* pszShown;
    } floats[] = {
        {-90.0f, "-90"}, {0.05f, "0.05"}, {0.0f, "0"}, {0.1234567f, "0.123457"}, {1234567.0f, "1.23457e+06"},
        {1e-5f, "1e-05"},
    };
    for (const auto& f : floats)
        EXPECT_EQ(inputrules::FormatFloat(f.fValue), QString::fromLatin1(f.pszShown)) << f.pszShown;

    EXPECT_EQ(inputrules::FormatUnsigned(0), QStringLiteral("0"));
    EXPECT_EQ(inputrules::FormatUnsigned(7), QStringLiteral("7"));
    EXPECT_EQ(inputrules::FormatUnsigned(4294967295u), QStringLiteral("4294967295"));
    EXPECT_EQ(inputrules::FormatInt(245), QStringLiteral("245"));
    EXPECT_EQ(inputrules::FormatInt(-2147483647 - 1), QStringLiteral("-2147483648"));
}

TEST(InputRules, ShownValuesReadBackTheSame)
{
    // What a dialog shows when it opens must pass when OK is pressed at once.
    for (uint32_t n : {0u, 1u, 25u, 2147483648u, 4294967295u}) {
        uint32_t nRead = 0;
        EXPECT_TRUE(inputrules::ParseUnsigned(inputrules::FormatUnsigned(n), nRead));
        EXPECT_EQ(nRead, n);
    }
    for (int32_t n : {0, 245, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        int32_t nRead = 1;
        EXPECT_TRUE(inputrules::ParseInt(inputrules::FormatInt(n), nRead));
        EXPECT_EQ(nRead, n);
    }
    // A tiny negative value is kept as a plain zero, which shows as "0".
    float fTiny = 1.0f;
    ASSERT_TRUE(inputrules::ParseFloat(QStringLiteral("-1e-50"), fTiny));
    EXPECT_EQ(inputrules::FormatFloat(fTiny), QStringLiteral("0"));
    for (float f : {0.0f, 3.0f, -90.0f, 0.05f, 10.0f, 1e-30f, 3e38f, -1.5f}) {
        float fRead = 1.0f;
        EXPECT_TRUE(inputrules::ParseFloat(inputrules::FormatFloat(f), fRead)) << f;
        EXPECT_NEAR(fRead, f, std::fabs(f) * 1e-5f);
    }
}

} // namespace
