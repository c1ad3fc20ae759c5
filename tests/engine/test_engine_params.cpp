#include "engine/CommandLine.h"
#include "engine/EngineError.h"
#include "engine/ParamFile.h"
#include "engine/Restoration.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace veltro;

namespace {

const std::vector<std::string> kBlotchKeys = {"DIST", "COST", "MASKFILE"};

ParamFile Parse(const std::string& text, std::ostream& warnings,
                const std::vector<std::string>& keys = kBlotchKeys)
{
    return ParamFile::Parse(text, "blotch.log", keys, warnings);
}

// Runs `f`, expecting an EngineError; returns it.
template <typename F>
EngineError Failure(F f)
{
    try {
        f();
    } catch (const EngineError& e) {
        return e;
    }
    ADD_FAILURE() << "no EngineError thrown";
    return EngineError(0, "", "", "");
}

}  // namespace

struct NumberCase {
    const char* text;
    bool wholeOk;
    long long whole;
    bool realOk;
    double real;
};

class NumberParsing : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberParsing, AcceptsOnlyPlainDecimalNumbers)
{
    const NumberCase& c = GetParam();
    long long w = 0;
    double r = 0;
    EXPECT_EQ(ParseWholeNumber(c.text, w), c.wholeOk) << c.text;
    if (c.wholeOk) {
        EXPECT_EQ(w, c.whole);
    }
    EXPECT_EQ(ParseRealNumber(c.text, r), c.realOk) << c.text;
    if (c.realOk) {
        EXPECT_DOUBLE_EQ(r, c.real);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, NumberParsing, ::testing::Values(
    NumberCase{"7", true, 7, true, 7.0},
    NumberCase{"-90.000000", false, 0, true, -90.0},
    NumberCase{" 12\t", true, 12, true, 12.0},
    NumberCase{"0.050000", false, 0, true, 0.05},
    NumberCase{"-1", true, -1, true, -1.0},
    NumberCase{"", false, 0, false, 0},
    NumberCase{"abc", false, 0, false, 0},
    NumberCase{"7x", false, 0, false, 0},
    NumberCase{"1e400", false, 0, false, 0},
    NumberCase{"nan", false, 0, false, 0},
    NumberCase{"inf", false, 0, false, 0},
    NumberCase{"0x10", false, 0, false, 0},
    NumberCase{"99999999999999999999", false, 0, true, 1e20}));

TEST(ParamFile, ReadsLfAndCrLfLinesAlike)
{
    std::ostringstream warnings;
    for (const char* text : {"DIST\t7\nCOST\t10\nMASKFILE\t/photos/a mask.jpg\n",
                             "DIST\t7\r\nCOST\t10\r\nMASKFILE\t/photos/a mask.jpg\r\n",
                             "DIST\t7\nCOST\t10\nMASKFILE\t/photos/a mask.jpg"}) {
        const ParamFile f = Parse(text, warnings);
        EXPECT_EQ(f.Int("DIST", 0), 7);
        EXPECT_EQ(f.Int("COST", 0), 10);
        EXPECT_EQ(f.Text("MASKFILE"), "/photos/a mask.jpg");
    }
    EXPECT_EQ(warnings.str(), "");
}

TEST(ParamFile, WarnsAboutUnknownKeysAndKeepsTheLastOfRepeatedKeys)
{
    std::ostringstream warnings;
    const ParamFile f = Parse("DIST\t7\nCOLOR\tred\nDIST\t9\nCOST\t1\n\nno tab here\n", warnings);
    EXPECT_EQ(f.Int("DIST", 0), 9);
    EXPECT_FALSE(f.Has("COLOR"));
    EXPECT_NE(warnings.str().find("unknown key \"COLOR\" ignored"), std::string::npos);
    EXPECT_NE(warnings.str().find("line 6 has no tab"), std::string::npos);
}

struct BadValueCase {
    const char* text;
    const char* key;
    const char* reasonPart;
};

class ParamFileBadValues : public ::testing::TestWithParam<BadValueCase> {};

TEST_P(ParamFileBadValues, FailWithExit4NamingKeyAndValue)
{
    const BadValueCase& c = GetParam();
    std::ostringstream warnings;
    const ParamFile f = Parse(c.text, warnings);
    const EngineError e = Failure([&] {
        f.Int("DIST", 0);
        f.Int("COST", 0);
        f.Text("MASKFILE");
    });
    EXPECT_EQ(e.ExitStatus(), kExitInvalid);
    EXPECT_EQ(e.Subject(), c.key);
    EXPECT_NE(e.Reason().find(c.reasonPart), std::string::npos) << e.Reason();
    EXPECT_EQ(std::string(e.what()).rfind("veltro.exe: invalid parameter: ", 0), 0u) << e.what();
}

INSTANTIATE_TEST_SUITE_P(Cases, ParamFileBadValues, ::testing::Values(
    BadValueCase{"COST\t1\nMASKFILE\tm.png\n", "DIST", "missing from blotch.log"},
    BadValueCase{"DIST\tseven\nCOST\t1\nMASKFILE\tm.png\n", "DIST", "\"seven\" is not a whole number"},
    BadValueCase{"DIST\t7.5\nCOST\t1\nMASKFILE\tm.png\n", "DIST", "is not a whole number"},
    // An unsigned 4294967295 written with %d.
    BadValueCase{"DIST\t3\nCOST\t-1\nMASKFILE\tm.png\n", "COST", "-1 is negative"},
    BadValueCase{"DIST\t3\nCOST\t1\nMASKFILE\t\n", "MASKFILE", "empty value"}));

TEST(ParamFile, UnreadableFileIsExit3)
{
    std::ostringstream warnings;
    const EngineError e = Failure([&] { ParamFile::Load("/nonexistent/dir/blotch.log", kBlotchKeys, warnings); });
    EXPECT_EQ(e.ExitStatus(), kExitUnreadable);
    EXPECT_EQ(e.Subject(), "/nonexistent/dir/blotch.log");
}

TEST(ParamFile, RealRangeIsChecked)
{
    std::ostringstream warnings;
    const ParamFile f = ParamFile::Parse("DEGSTART\t-400.000000\n", "crack.log", {"DEGSTART"}, warnings);
    const EngineError e = Failure([&] { f.Real("DEGSTART", -360, 360); });
    EXPECT_EQ(e.ExitStatus(), kExitInvalid);
    EXPECT_NE(e.Reason().find("-400.000000 is out of range"), std::string::npos) << e.Reason();
}

// The front end counts rows from the bottom: "X" keys carry that row, "Y"
// keys the column.
TEST(Coordinates, RowsCountedFromTheBottomBecomeTopDownRows)
{
    EXPECT_EQ(TopDownRow(300, 279), 20);
    EXPECT_EQ(TopDownRow(300, 0), 299);
    EXPECT_EQ(TopDownRow(300, 299), 0);
    EXPECT_EQ(ClampedPoint(cv::Size(400, 300), 10, 279), cv::Point(10, 20));
    // Outside the picture: clamped, without overflow.
    EXPECT_EQ(ClampedPoint(cv::Size(400, 300), -5, 1000), cv::Point(0, 0));
    EXPECT_EQ(ClampedPoint(cv::Size(400, 300), 2147483647, -2147483647 - 1), cv::Point(399, 299));
}

TEST(Coordinates, RegionsAreIntersectedWithThePicture)
{
    const cv::Size size(400, 300);
    // Corner 1 lower left, corner 2 upper right, both inclusive.
    EXPECT_EQ(RegionFromCorners(size, 10, 20, 110, 80), cv::Rect(10, 219, 101, 61));
    // Corners in either order give the same region.
    EXPECT_EQ(RegionFromCorners(size, 110, 80, 10, 20), cv::Rect(10, 219, 101, 61));
    EXPECT_EQ(RegionFromCorners(size, -50, -50, 1000, 1000), cv::Rect(0, 0, 400, 300));
    EXPECT_TRUE(RegionFromCorners(size, 500, 10, 600, 20).empty());
    EXPECT_TRUE(RegionFromCorners(size, 10, 400, 20, 500).empty());
}

struct CommandLineCase {
    std::vector<std::string> args;
    const char* subject;  // nullptr: accepted
};

class CommandLineParsing : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineParsing, RejectsWithExit2NamingTheArgument)
{
    const CommandLineCase& c = GetParam();
    if (!c.subject) {
        const CommandLine cl = ParseCommandLine(c.args);
        EXPECT_EQ(cl.input, "in.jpg");
        EXPECT_EQ(cl.output, "out.jpg");
        EXPECT_EQ(cl.paramFile, "p.log");
        return;
    }
    const EngineError e = Failure([&] { ParseCommandLine(c.args); });
    EXPECT_EQ(e.ExitStatus(), kExitUsage);
    EXPECT_EQ(e.Subject(), c.subject);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineParsing, ::testing::Values(
    CommandLineCase{{"-i", "in.jpg", "-gorex", "p.log", "-o", "out.jpg"}, nullptr},
    CommandLineCase{{"-o", "out.jpg", "-i", "in.jpg", "-crease", "p.log"}, nullptr},
    CommandLineCase{{"-fox", "p.log", "-o", "out.jpg", "-i", "in.jpg"}, nullptr},
    CommandLineCase{{}, "(no arguments)"},
    CommandLineCase{{"-i", "in.jpg", "-gorex", "p.log", "-o", "out.jpg", "-x"}, "-x"},
    CommandLineCase{{"-i", "in.jpg", "-gorex", "p.log", "-crax", "p.log", "-o", "out.jpg"}, "-crax"},
    CommandLineCase{{"-i", "in.jpg", "-i", "b.jpg", "-gorex", "p.log", "-o", "out.jpg"}, "-i"},
    CommandLineCase{{"-i", "-gorex", "p.log", "-o", "out.jpg"}, "-i"},
    CommandLineCase{{"-i", "in.jpg", "-gorex", "p.log", "-o"}, "-o"},
    CommandLineCase{{"-i", "in.jpg", "-gorex", "p.log"}, "-o"},
    CommandLineCase{{"-gorex", "p.log", "-o", "out.jpg"}, "-i"},
    CommandLineCase{{"-i", "in.jpg", "-o", "out.jpg"}, "-gorex|-crax|-fox|-crease"}));
