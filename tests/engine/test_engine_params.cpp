#include "engine/CommandLine.h"
#include "engine/EngineError.h"
#include "engine/ParamFile.h"
#include "engine/Restoration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace veltro;

namespace {

const std::vector<std::string> kBlotchKeys = {"DIST", "COST", "MASKFILE"};

ParamFile Parse(const std::string& text, std::ostream& warnings)
{
    return ParamFile::Parse(text, "blotch.log", kBlotchKeys, warnings);
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

TEST(ParamFile, AcceptsOnlyPlainDecimalNumbers)
{
    const struct { const char* text; bool wholeOk; long long whole; bool realOk; double real; } cases[] = {
        {"7", true, 7, true, 7.0},          {"-90.000000", false, 0, true, -90.0}, {" 12\t", true, 12, true, 12.0},
        {"0.050000", false, 0, true, 0.05}, {"-1", true, -1, true, -1.0},          {"", false, 0, false, 0},
        {"abc", false, 0, false, 0},        {"7x", false, 0, false, 0},            {"1e400", false, 0, false, 0},
        {"nan", false, 0, false, 0},        {"inf", false, 0, false, 0},           {"0x10", false, 0, false, 0},
        {"99999999999999999999", false, 0, true, 1e20},
    };
    for (const auto& c : cases) {
        long long w = 0;
        double r = 0;
        EXPECT_TRUE(ParseWholeNumber(c.text, w) == c.wholeOk && w == (c.wholeOk ? c.whole : w)) << c.text;
        EXPECT_TRUE(ParseRealNumber(c.text, r) == c.realOk && r == (c.realOk ? c.real : r)) << c.text;
    }
}

// LF, CR LF and CR lines alike, with or without a last line end or a byte-order mark; unknown keys and lines without a
// tab are warned about (control characters escaped, the first ten, then a count), a repeated key's last value counts.
TEST(ParamFile, ReadsLinesWarnsAboutUnknownKeysAndKeepsTheLastOfRepeatedKeys)
{
    std::ostringstream warnings;
    for (const char* text : {"DIST\t7\nCOST\t10\nMASKFILE\t/photos/a mask.jpg\n",
                             "DIST\t7\r\nCOST\t10\r\nMASKFILE\t/photos/a mask.jpg\r\n",
                             "\xEF\xBB\xBF" "DIST\t7\rCOST\t10\rMASKFILE\t/photos/a mask.jpg\r",
                             "DIST\t7\nCOST\t10\nMASKFILE\t/photos/a mask.jpg"}) {
        const ParamFile f = Parse(text, warnings);
        EXPECT_EQ(f.Int("DIST", 0), 7);
        EXPECT_EQ(f.Int("COST", 0), 10);
        EXPECT_EQ(f.Text("MASKFILE"), "/photos/a mask.jpg");
    }
    EXPECT_EQ(warnings.str(), "");
    const ParamFile f = Parse("DIST\t7\nCOLOR\tred\nDIST\t9\nCOST\t1\n\nno tab here\n", warnings);
    EXPECT_EQ(f.Int("DIST", 0), 9);
    EXPECT_FALSE(f.Has("COLOR"));
    EXPECT_NE(warnings.str().find("unknown key \"COLOR\" ignored"), std::string::npos);
    EXPECT_NE(warnings.str().find("line 6 has no tab"), std::string::npos);
    std::string junk = "K\x1b\t1\n";
    for (int i = 0; i < 2500; ++i)
        junk += "junk " + std::to_string(i) + "\n";
    std::ostringstream stream;
    Parse(junk, stream);
    const std::string many = stream.str();
    EXPECT_EQ(many.rfind("veltro.exe: warning: blotch.log: unknown key \"K\\x1B\" ignored\n", 0), 0u);
    EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 11);
    EXPECT_NE(many.find("... and 2,491 more unknown lines\n"), std::string::npos) << many;
}

// Bad values fail with exit status 4 naming key and value; an unreadable file with 3.
TEST(ParamFile, BadValuesAndUnreadableFilesFail)
{
    const struct { const char *text, *key, *reasonPart; } cases[] = {
        {"COST\t1\nMASKFILE\tm.png\n", "DIST", "missing from blotch.log"},
        {"DIST\tseven\nCOST\t1\nMASKFILE\tm.png\n", "DIST", "\"seven\" is not a whole number"},
        {"DIST\t7.5\nCOST\t1\nMASKFILE\tm.png\n", "DIST", "is not a whole number"},
        {"DIST\t3\nCOST\t-1\nMASKFILE\tm.png\n", "COST", "-1 is negative"},   // an unsigned 4294967295 as %d
        {"DIST\t3\nCOST\t1\nMASKFILE\t\n", "MASKFILE", "empty value"},
    };
    std::ostringstream warnings;
    for (const auto& c : cases) {
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
    const ParamFile crack = ParamFile::Parse("DEGSTART\t-400.000000\n", "crack.log", {"DEGSTART"}, warnings);
    EngineError e = Failure([&] { crack.Real("DEGSTART", -360, 360); });
    EXPECT_EQ(e.ExitStatus(), kExitInvalid);
    EXPECT_NE(e.Reason().find("-400.000000 is out of range"), std::string::npos) << e.Reason();
    e = Failure([&] { ParamFile::Load("/nonexistent/dir/blotch.log", kBlotchKeys, warnings); });
    EXPECT_EQ(e.ExitStatus(), kExitUnreadable);
    EXPECT_EQ(e.Subject(), "/nonexistent/dir/blotch.log");
}

// The front end counts rows from the bottom: "X" keys carry that row, "Y" keys the column. Points are clamped and
// regions cut to the picture.
TEST(Coordinates, RowsFromTheBottomBecomeTopDownAndStayInThePicture)
{
    const cv::Size size(400, 300);
    EXPECT_EQ(TopDownRow(300, 279), 20);
    EXPECT_EQ(TopDownRow(300, 0), 299);
    EXPECT_EQ(TopDownRow(300, 299), 0);
    EXPECT_EQ(ClampedPoint(size, 10, 279), cv::Point(10, 20));
    EXPECT_EQ(ClampedPoint(size, -5, 1000), cv::Point(0, 0));
    EXPECT_EQ(ClampedPoint(size, 2147483647, -2147483647 - 1), cv::Point(399, 299));   // no overflow
    // Corner 1 lower left, corner 2 upper right, both inclusive, in either order.
    EXPECT_EQ(RegionFromCorners(size, 10, 20, 110, 80), cv::Rect(10, 219, 101, 61));
    EXPECT_EQ(RegionFromCorners(size, 110, 80, 10, 20), cv::Rect(10, 219, 101, 61));
    EXPECT_EQ(RegionFromCorners(size, -50, -50, 1000, 1000), cv::Rect(0, 0, 400, 300));
    EXPECT_TRUE(RegionFromCorners(size, 500, 10, 600, 20).empty());
    EXPECT_TRUE(RegionFromCorners(size, 10, 400, 20, 500).empty());
}

// Pairs in any order; anything else fails with exit status 2 naming the argument.
TEST(CommandLine, PairsInAnyOrderOrExit2NamingTheArgument)
{
    const struct { std::vector<std::string> args; const char* subject; } cases[] = {   // nullptr: accepted
        {{"-i", "in.jpg", "-gorex", "p.log", "-o", "out.jpg"}, nullptr},
        {{"-o", "out.jpg", "-i", "in.jpg", "-crease", "p.log"}, nullptr},
        {{"-fox", "p.log", "-o", "out.jpg", "-i", "in.jpg", "-m", "changed.png"}, nullptr},
        {{"-i", "in.jpg", "-gorex", "p.log", "-o", "out.bmp"}, "out.bmp"},
        {{"-i", "in.jpg", "-gorex", "p.log", "-o", "out.jpg", "-m"}, "-m"},
        {{}, "(no arguments)"},
        {{"-i", "in.jpg", "-gorex", "p.log", "-o", "out.jpg", "-x"}, "-x"},
        {{"-i", "in.jpg", "-gorex", "p.log", "-crax", "p.log", "-o", "out.jpg"}, "-crax"},
        {{"-i", "in.jpg", "-i", "b.jpg", "-gorex", "p.log", "-o", "out.jpg"}, "-i"},
        {{"-i", "-gorex", "p.log", "-o", "out.jpg"}, "-i"},
        {{"-i", "in.jpg", "-gorex", "p.log", "-o"}, "-o"},
        {{"-i", "in.jpg", "-gorex", "p.log"}, "-o"},
        {{"-gorex", "p.log", "-o", "out.jpg"}, "-i"},
        {{"-i", "in.jpg", "-o", "out.jpg"}, "-gorex|-crax|-fox|-crease"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        if (c.subject) {
            const EngineError e = Failure([&] { ParseCommandLine(c.args); });
            EXPECT_EQ(e.ExitStatus(), kExitUsage);
            EXPECT_EQ(e.Subject(), c.subject);
        } else {
            const CommandLine cl = ParseCommandLine(c.args);
            EXPECT_EQ(cl.input + " " + cl.paramFile + " " + cl.output, "in.jpg p.log out.jpg");
        }
    }
}
