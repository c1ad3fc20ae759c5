#include "processing/InputRules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

// Texts typed into a field and what reading them gives; a refused text leaves the variable as it was.
template <typename T>
struct ParseCase { const char* pszText; bool bAccepted; T value; };

template <typename T, typename Parse>
void ExpectParses(std::initializer_list<ParseCase<T>> cases, Parse parse)
{
    for (const ParseCase<T>& c : cases) {
        const T untouched = T(-12345);
        T value = untouched;
        EXPECT_TRUE(parse(QString::fromUtf8(c.pszText), value) == c.bAccepted
                    && value == (c.bAccepted ? c.value : untouched)) << '"' << c.pszText << "\" gives " << value;
    }
}

} // namespace

TEST(InputRules, UnsignedFields)
{
    ExpectParses<uint32_t>({{"7", true, 7}, {"0", true, 0}, {"007", true, 7}, {" \t 12 \t ", true, 12},
                            {"+12", true, 12}, {"4294967295", true, 4294967295u},
                            {"99999999999", true, 4294967295u},   // clamped
                            {"", false, 0}, {"-3", false, 0}, {"-0", false, 0},
                            {"+0", false, 0},   // a zero counts only when written with a leading 0
                            {"2.5", false, 0}, {"3abc", false, 0}, {"1 2", false, 0}, {"0x10", false, 0},
                            {"++1", false, 0}, {"\n12", false, 0},
                            {"\xd9\xa3", false, 0}},   // ARABIC-INDIC DIGIT THREE
                           inputrules::ParseUnsigned);
}

TEST(InputRules, IntFields)
{
    ExpectParses<int32_t>({{"245", true, 245}, {"0", true, 0}, {"-90", true, -90}, {"+90", true, 90},
                           {" \t-7\t ", true, -7}, {"99999999999", true, 2147483647},
                           {"-99999999999", true, std::numeric_limits<int32_t>::min()},
                           {"-0", false, 0}, {"+0", false, 0}, {"2.5", false, 0}, {"", false, 0}, {"-", false, 0},
                           {"1e3", false, 0}, {"12 3", false, 0}},
                          inputrules::ParseInt);
}

TEST(InputRules, FloatFields)
{
    ExpectParses<float>({{"0", true, 0.0f}, {"0e5", true, 0.0f}, {"00.000", true, 0.0f}, {"-1.5", true, -1.5f},
                         {".5", true, 0.5f}, {"5.", true, 5.0f}, {"1e-2", true, 0.01f}, {"\t0.05 ", true, 0.05f},
                         {"3e38", true, 3e38f},
                         {"1e-50", true, 0.0f},   // not zero as written, zero as a float
                         // Zero counts only when the text starts with the digit 0.
                         {".0", false, 0}, {"-0", false, 0}, {"+0", false, 0},
                         {"1e-400", false, 0},   // comes out as zero
                         {"", false, 0}, {"3abc", false, 0}, {"1,5", false, 0}, {".", false, 0}, {"-", false, 0},
                         {"e5", false, 0}, {"1e", false, 0}, {"1 2", false, 0}, {"inf", false, 0}, {"nan", false, 0},
                         {"0x1p3", false, 0},
                         // Beyond the range of a float: it would reach the engine as "inf".
                         {"1e39", false, 0}, {"1e400", false, 0}},
                        inputrules::ParseFloat);
}

// An application may run with a locale whose decimal mark is a comma.
TEST(InputRules, FloatReadingIgnoresTheProcessLocale)
{
    const std::string strOld = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale installed";
    float fValue = 0.0f;
    EXPECT_TRUE(inputrules::ParseFloat(QStringLiteral("2.5"), fValue));
    EXPECT_FLOAT_EQ(fValue, 2.5f);
    EXPECT_FALSE(inputrules::ParseFloat(QStringLiteral("2,5"), fValue));
    std::setlocale(LC_NUMERIC, strOld.c_str());
}

// What a dialog shows when it opens must pass when OK is pressed at once.
TEST(InputRules, ShownValuesReadBackTheSame)
{
    const struct { float fValue; const char* pszShown; } floats[] = {
        {-90.0f, "-90"}, {0.05f, "0.05"}, {0.0f, "0"}, {0.1234567f, "0.123457"}, {1234567.0f, "1.23457e+06"},
        {1e-5f, "1e-05"},
    };
    for (const auto& f : floats)
        EXPECT_EQ(inputrules::FormatFloat(f.fValue).toStdString(), f.pszShown);
    for (uint32_t n : {0u, 1u, 2147483648u, 4294967295u}) {
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
    for (float f : {0.0f, 3.0f, -90.0f, 0.05f, 1e-30f, 3e38f, -1.5f, 0.1234567f}) {
        float fRead = 1.0f;
        EXPECT_TRUE(inputrules::ParseFloat(inputrules::FormatFloat(f), fRead)) << f;
        EXPECT_NEAR(fRead, f, std::fabs(f) * 1e-5f);
    }
}
