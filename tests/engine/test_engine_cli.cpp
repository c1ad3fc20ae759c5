// The command-line contract of the built veltro.exe, run as a child process
// (and through RunCommandLine for what it writes while it works).

#include "engine/CommandLine.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class EngineCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("veltro-cli-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        cv::Mat picture(60, 80, CV_8UC3);
        cv::randu(picture, 0, 255);
        cv::GaussianBlur(picture, picture, cv::Size(), 2);
        input = (dir / "in.jpg").string();
        cv::imwrite(input, picture);
        mask = (dir / "mask.png").string();
        cv::Mat m = cv::Mat::zeros(60, 80, CV_8UC1);
        cv::circle(m, cv::Point(40, 30), 5, cv::Scalar(255), cv::FILLED);
        cv::imwrite(mask, m);
        blotchLog = Write("blotch.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + mask + "\n");
        output = (dir / "out.jpg").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Write(const std::string& name, const std::string& text)
    {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }

    Result Run(const std::vector<std::string>& args)
    {
        const fs::path outFile = dir / "stdout.txt", errFile = dir / "stderr.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            const int o = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            std::vector<char*> argv{const_cast<char*>(VELTRO_ENGINE_PATH)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(VELTRO_ENGINE_PATH, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Result r;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadAll(outFile);
        r.err = ReadAll(errFile);
        fs::remove(outFile);
        fs::remove(errFile);
        return r;
    }

    // What the engine left in the directory: outputs and temporary files.
    std::vector<std::string> Leftovers()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.rfind("out", 0) == 0 || n.rfind(".veltro-", 0) == 0)
                names.push_back(n);
        }
        return names;
    }

    static bool OneLine(const std::string& text, const std::string& prefix)
    {
        return text.rfind(prefix, 0) == 0 && text.find('\n') == text.size() - 1;
    }

    fs::path dir;
    std::string input, mask, blotchLog, output;
};

}  // namespace

TEST_F(EngineCli, HelpAndVersion)
{
    Result r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: veltro.exe -i INPUT -gorex|-crax|-fox|-crease PARAMFILE -o OUTPUT"), std::string::npos);
    r = Run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("veltro.exe ", 0), 0u);
}

TEST_F(EngineCli, WritesTheOutputWithThePairsInAnyOrder)
{
    const std::string before = ReadAll(input);
    Result r = Run({"-o", output, "-gorex", blotchLog, "-i", input});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Standard output holds the progress only.
    EXPECT_EQ(r.out.rfind("progress 0\n", 0), 0u) << r.out;
    ASSERT_GE(r.out.size(), 14u);
    EXPECT_EQ(r.out.substr(r.out.size() - 14), "\nprogress 100\n") << r.out;
    const cv::Mat out = cv::imread(output);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.size(), cv::Size(80, 60));
    EXPECT_EQ(ReadAll(input), before);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"out.jpg"});
    // Any extension: the output is a JPEG all the same.
    const std::string png = (dir / "out.png").string();
    r = Run({"-i", input, "-gorex", blotchLog, "-o", png});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(png).substr(0, 2), std::string("\xFF\xD8"));
}

TEST_F(EngineCli, WindowsLineEndsAndUnknownKeys)
{
    const std::string log = Write("fox.log", "DIST\t3\r\nCOST\t2\r\nAMP\t0.050000\r\nEXTRA\t1\r\n");
    const Result r = Run({"-i", input, "-fox", log, "-o", output});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning"), std::string::npos);
    EXPECT_NE(r.err.find("EXTRA"), std::string::npos);
    EXPECT_TRUE(fs::exists(output));
}

struct FailureCase {
    const char* name;
    int status;
    const char* messagePart;
};

TEST_F(EngineCli, EveryFailureHasItsExitStatusOneLineAndNoOutput)
{
    const std::string crackBase = "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n";
    const std::string points = "Y1\t10\nX1\t10\nY2\t70\nX2\t50\n";
    const std::string wrongMask = (dir / "small.png").string();
    cv::imwrite(wrongMask, cv::Mat::zeros(10, 10, CV_8UC1));
    const std::string notPicture = Write("notes.txt", "not a picture");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string messagePart;
    };
    const std::vector<Case> cases = {
        {{}, 2, "veltro.exe: invalid command line: "},
        {{"-i", input, "-gorex", blotchLog}, 2, "veltro.exe: invalid command line: -o: missing"},
        {{"-i", input, "-gorex", blotchLog, "-fox", blotchLog, "-o", output}, 2, ": -fox: only one operation"},
        {{"-i", input, "-gorex", (dir / "none.log").string(), "-o", output}, 3, "veltro.exe: cannot read parameter file: "},
        {{"-i", (dir / "none.jpg").string(), "-gorex", blotchLog, "-o", output}, 3, "veltro.exe: cannot read input picture: "},
        {{"-i", notPicture, "-gorex", blotchLog, "-o", output}, 3, "not a picture that can be decoded"},
        {{"-i", input, "-gorex", Write("b1.log", "DIST\t2\nCOST\t5\nMASKFILE\t/none/mask.png\n"), "-o", output}, 3,
         "veltro.exe: cannot read mask: /none/mask.png: no such file"},
        {{"-i", input, "-gorex", Write("b2.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + wrongMask + "\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: MASKFILE: the mask is 10x10 but the picture is 80x60"},
        {{"-i", input, "-gorex", Write("b3.log", "DIST\t-2\nCOST\t5\nMASKFILE\t" + mask + "\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: DIST: -2 is negative"},
        {{"-i", input, "-gorex", Write("b4.log", "COST\t5\nMASKFILE\t" + mask + "\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: DIST: missing from"},
        {{"-i", input, "-crax", Write("c1.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t0.000000\nDEGSTOP\t90.000000\n" + points), "-o", output}, 4,
         "veltro.exe: invalid parameter: STEP_ANGLE: 0 is not above 0"},
        {{"-i", input, "-crax", Write("c2.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t-3.000000\nDEGSTOP\t90.000000\n" + points), "-o", output}, 4,
         "STEP_ANGLE: -3 is not above 0"},
        {{"-i", input, "-crax", Write("c3.log", "THRWHITE\t245\nDEGSTART\t30.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t10.000000\n" + points), "-o", output}, 4,
         "veltro.exe: invalid parameter: DEGSTART: 30 is above DEGSTOP 10"},
        {{"-i", input, "-crax", Write("c4.log", crackBase + "Y1\t10\nX1\t10\nY2\t70\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: X2: missing from"},
        {{"-i", input, "-crax", Write("c5.log", crackBase + "Y1\t1O\nX1\t10\nY2\t70\nX2\t5\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: Y1: \"1O\" is not a whole number"},
        {{"-i", input, "-fox", Write("f1.log", "DIST\t3\nCOST\t2\nAMP\tabc\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: AMP: \"abc\" is not a number"},
        {{"-i", input, "-crease", Write("k1.log", "THR1\t10.000000\nQ\t-22\nN\t25\n" + points), "-o", output}, 4,
         "veltro.exe: invalid parameter: Q: -22 is negative"},
        {{"-i", input, "-gorex", blotchLog, "-o", (dir / "missing-dir" / "out.jpg").string()}, 5,
         "veltro.exe: cannot write output: "},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.messagePart << "\n" << r.err;
        EXPECT_TRUE(OneLine(r.err, "veltro.exe: ")) << r.err;
        EXPECT_NE(r.err.find(c.messagePart), std::string::npos) << r.err;
        EXPECT_TRUE(Leftovers().empty()) << c.messagePart;
    }
}

TEST_F(EngineCli, NeverWritesOverTheInputOrTheMask)
{
    const std::string before = ReadAll(input), maskBefore = ReadAll(mask);
    Result r = Run({"-i", input, "-gorex", blotchLog, "-o", input});
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("it names the input picture"), std::string::npos) << r.err;
    // The same file under another name.
    r = Run({"-i", input, "-gorex", blotchLog, "-o", (dir / "." / "in.jpg").string()});
    EXPECT_EQ(r.status, 5);
    r = Run({"-i", input, "-gorex", blotchLog, "-o", mask});
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("it names the mask"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(input), before);
    EXPECT_EQ(ReadAll(mask), maskBefore);
}

TEST_F(EngineCli, OutputNamingADirectoryFailsWithoutLeftovers)
{
    fs::create_directories(dir / "taken");
    const Result r = Run({"-i", input, "-gorex", blotchLog, "-o", (dir / "taken").string()});
    EXPECT_EQ(r.status, 5);
    EXPECT_TRUE(OneLine(r.err, "veltro.exe: cannot write output: ")) << r.err;
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().rfind(".veltro-", 0), std::string::npos);
}

TEST_F(EngineCli, RegionOutsideThePictureLeavesItUnchangedWithAWarning)
{
    const std::string log = Write("crease.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t500\nX1\t500\nY2\t600\nX2\t600\n");
    const Result r = Run({"-i", input, "-crease", log, "-o", output});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("outside the picture"), std::string::npos);
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(EngineCli, CrackPointsOutsideThePictureAreClamped)
{
    const std::string log = Write("crack.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"
                                               "Y1\t-100\nX1\t-100\nY2\t5000\nX2\t5000\n");
    const Result r = Run({"-i", input, "-crax", log, "-o", output});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(output));
}

// ---- Progress ---------------------------------------------------------------

TEST(Progress, SharesMapIntoTheWholeAndOnlyGrowingPercentagesAreTold)
{
    std::vector<int> told;
    const veltro::Progress run([&](int percent) { told.push_back(percent); });
    run.Report(0.0);
    const veltro::Progress work = run.Sub(0.2, 0.8);
    // Many reports of one share: told once per whole percentage, never back.
    for (int i = 0; i <= 100000; ++i)
        work.Part(1, 2).Report(i, 100000);
    work.Part(0, 2).Report(0.5);   // lower than already told: ignored
    run.Report(0.999);
    run.Report(1.0);
    run.Report(1.0);
    std::vector<int> expected{0};
    for (int p = 50; p <= 80; ++p)
        expected.push_back(p);
    expected.push_back(99);
    expected.push_back(100);
    EXPECT_EQ(told, expected);
    EXPECT_EQ(run.Last(), 100);
    // Without a sink nothing is told, and nothing fails.
    veltro::Progress().Sub(0.1, 0.5).Report(0.7);
    EXPECT_EQ(veltro::Progress().Last(), -1);
}

namespace {

struct CapturedRun {
    int status = -1;
    std::string out, err;
};

CapturedRun RunCaptured(const std::vector<std::string>& args)
{
    std::vector<const char*> argv{"veltro.exe"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    CapturedRun r;
    r.status = veltro::RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The percentages of "progress N" lines; fails the test on any other text.
std::vector<int> ProgressLines(const std::string& out)
{
    std::vector<int> percents;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        int n = -1;
        char rest = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "progress %d%c", &n, &rest), 1) << line;
        EXPECT_EQ(line, "progress " + std::to_string(n));
        percents.push_back(n);
    }
    EXPECT_TRUE(out.empty() || out.back() == '\n');
    return percents;
}

}  // namespace

TEST_F(EngineCli, EveryRestorationReportsGrowingProgressFrom0To100)
{
    // A larger picture with damage for each operation: a blotch, a white
    // crack, a brown spot on light paper, a dark crease line.
    cv::Mat picture(240, 320, CV_8UC3, cv::Scalar(200, 210, 215));
    cv::Mat noise(picture.size(), CV_8UC3);
    cv::randu(noise, 0, 30);
    picture -= noise;
    cv::line(picture, cv::Point(40, 200), cv::Point(280, 40), cv::Scalar(255, 255, 255), 2);
    cv::circle(picture, cv::Point(250, 190), 12, cv::Scalar(120, 150, 185), cv::FILLED);
    cv::line(picture, cv::Point(20, 20), cv::Point(150, 120), cv::Scalar(120, 120, 120), 1);
    const std::string big = (dir / "big.jpg").string();
    cv::imwrite(big, picture);
    cv::Mat m = cv::Mat::zeros(picture.size(), CV_8UC1);
    cv::circle(m, cv::Point(100, 150), 40, cv::Scalar(255), cv::FILLED);
    const std::string bigMask = (dir / "bigmask.png").string();
    cv::imwrite(bigMask, m);

    struct Case {
        const char* op;
        std::string log;
        size_t minLines;
    };
    const std::vector<Case> cases = {
        {"-gorex", Write("b.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + bigMask + "\n"), 20},
        {"-crax", Write("c.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"
                                 "Y1\t40\nX1\t39\nY2\t280\nX2\t199\n"), 10},
        {"-fox", Write("f.log", "DIST\t3\nCOST\t2\nAMP\t0.050000\n"), 5},
        {"-crease", Write("k.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t20\nX1\t219\nY2\t150\nX2\t119\n"), 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        const CapturedRun r = RunCaptured({"-i", big, c.op, c.log, "-o", output});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<int> percents = ProgressLines(r.out);
        ASSERT_GE(percents.size(), c.minLines) << r.out;
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<int>()) ==
                    percents.end()) << r.out;
        fs::remove(output);
    }
}

TEST_F(EngineCli, FailedRunsNeverReport100AndHelpAndVersionReportNothing)
{
    fs::create_directories(dir / "taken");
    const struct {
        std::vector<std::string> args;
        bool started;   // the parameters were accepted before the failure
    } cases[] = {
        {{"-i", input, "-gorex"}, false},
        {{"-i", input, "-gorex", Write("bad.log", "DIST\t-1\nCOST\t5\nMASKFILE\t" + mask + "\n"), "-o", output}, false},
        {{"-i", (dir / "none.jpg").string(), "-gorex", blotchLog, "-o", output}, true},
        {{"-i", input, "-gorex", Write("m.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + (dir / "none.png").string() + "\n"),
          "-o", output}, true},
        {{"-i", input, "-gorex", blotchLog, "-o", input}, true},
        // Fails only at the final rename, after the restoration.
        {{"-i", input, "-gorex", blotchLog, "-o", (dir / "taken").string()}, true},
    };
    for (const auto& c : cases) {
        const CapturedRun r = RunCaptured(c.args);
        EXPECT_NE(r.status, 0);
        const std::vector<int> percents = ProgressLines(r.out);
        EXPECT_EQ(percents.empty(), !c.started) << r.out;
        if (!percents.empty()) {
            EXPECT_EQ(percents.front(), 0);
            EXPECT_LT(percents.back(), 100) << r.err;
        }
    }
    CapturedRun r = RunCaptured({"--help"});
    EXPECT_EQ(r.out, veltro::UsageText());
    r = RunCaptured({"--version"});
    EXPECT_EQ(r.out.rfind("veltro.exe ", 0), 0u);
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
}
