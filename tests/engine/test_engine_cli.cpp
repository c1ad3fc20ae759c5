// The command-line contract of the built veltro.exe, run as a child process.

#include "engine/CommandLine.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Result { int status; std::string out, err; };

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The percentages of "progress N" lines; fails the test on any other text.
std::vector<int> ProgressLines(const std::string& out)
{
    std::vector<int> percents;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        percents.push_back(line.rfind("progress ", 0) == 0 ? std::atoi(line.c_str() + 9) : -1);
        EXPECT_EQ(line, "progress " + std::to_string(percents.back()));
    }
    EXPECT_TRUE(out.empty() || out.back() == '\n');
    return percents;
}

const char* const kCrack = "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n";

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
        cv::imwrite(input = (dir / "in.jpg").string(), picture);
        cv::Mat m = cv::Mat::zeros(60, 80, CV_8UC1);
        cv::circle(m, cv::Point(40, 30), 5, cv::Scalar(255), cv::FILLED);
        cv::imwrite(mask = (dir / "mask.png").string(), m);
        blotchLog = Write("blotch.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + mask + "\n");
        output = (dir / "out.jpg").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }

    Result Run(const std::vector<std::string>& args)
    {
        const fs::path outFile = dir / "stdout.txt", errFile = dir / "stderr.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            std::vector<char*> argv{const_cast<char*>(VELTRO_ENGINE_PATH)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(VELTRO_ENGINE_PATH, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(outFile), ReadAll(errFile)};
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

    fs::path dir;
    std::string input, mask, blotchLog, output;
};

}  // namespace

TEST_F(EngineCli, HelpAndVersion)
{
    Result r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, veltro::UsageText());
    r = Run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("veltro.exe ", 0), 0u);
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
}

// Each failure: its exit status, one line on stderr, no output or temporary file left, the input and mask untouched,
// and progress (if begun) short of 100.
TEST_F(EngineCli, EveryFailureHasItsExitStatusOneLineAndNoOutput)
{
    const std::string points = "Y1\t10\nX1\t10\nY2\t70\nX2\t50\n";
    const std::string smallMask = (dir / "small.png").string();
    cv::imwrite(smallMask, cv::Mat::zeros(10, 10, CV_8UC1));
    fs::create_directories(dir / "taken");
    const auto crack = [&](const char* name, const std::string& text) {
        return std::vector<std::string>{"-i", input, "-crax", Write(name, text + points), "-o", output};
    };
    const auto blotch = [&](const std::string& log, const std::string& out) {
        return std::vector<std::string>{"-i", input, "-gorex", log, "-o", out};
    };
    const struct {
        std::vector<std::string> args;
        int status;
        std::string messagePart;
        bool started;   // the parameters were accepted before the failure: progress has begun
    } cases[] = {
        {{}, 2, "veltro.exe: invalid command line: ", false},
        {{"-i", input, "-gorex", (dir / "none.log").string(), "-o", output}, 3,
         "veltro.exe: cannot read parameter file: ", false},
        {{"-i", (dir / "none.jpg").string(), "-gorex", blotchLog, "-o", output}, 3,
         "veltro.exe: cannot read input picture: ", true},
        {{"-i", Write("notes.txt", "not a picture"), "-gorex", blotchLog, "-o", output}, 3,
         "not a picture that can be decoded", true},
        {blotch(Write("b1.log", "DIST\t2\nCOST\t5\nMASKFILE\t/none/mask.png\n"), output), 3,
         "veltro.exe: cannot read mask: /none/mask.png: no such file", true},
        {blotch(Write("b2.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + smallMask + "\n"), output), 4,
         "veltro.exe: invalid parameter: MASKFILE: the mask is 10x10 but the picture is 80x60", true},
        {crack("c1.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t0.000000\nDEGSTOP\t90.000000\n"), 4,
         "veltro.exe: invalid parameter: STEP_ANGLE: 0 is not above 0", false},
        {crack("c2.log", "THRWHITE\t245\nDEGSTART\t30.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t10.000000\n"), 4,
         "veltro.exe: invalid parameter: DEGSTART: 30 is above DEGSTOP 10", false},
        {{"-i", input, "-fox", Write("f1.log", "DIST\t3\nCOST\t2\nAMP\tabc\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: AMP: \"abc\" is not a number", false},
        {blotch(blotchLog, (dir / "missing-dir" / "out.jpg").string()), 5, "veltro.exe: cannot write output: ", true},
        // Fails only at the final rename, after the restoration.
        {blotch(blotchLog, (dir / "taken").string()), 5, "veltro.exe: cannot write output: ", true},
        // Never over the input or the mask, even under another name.
        {blotch(blotchLog, input), 5, "it names the input picture", true},
        {blotch(blotchLog, (dir / "." / "in.jpg").string()), 5, "it names the input picture", true},
        {blotch(blotchLog, mask), 5, "it names the mask", true},
    };
    const std::string inputBefore = ReadAll(input), maskBefore = ReadAll(mask);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.messagePart);
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err.rfind("veltro.exe: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.messagePart), std::string::npos) << r.err;
        EXPECT_TRUE(Leftovers().empty());
        const std::vector<int> percents = ProgressLines(r.out);
        EXPECT_EQ(percents.empty(), !c.started) << r.out;
        if (!percents.empty()) {
            EXPECT_EQ(percents.front(), 0);
            EXPECT_LT(percents.back(), 100);
        }
    }
    EXPECT_EQ(ReadAll(input), inputBefore);
    EXPECT_EQ(ReadAll(mask), maskBefore);
}

// Each restoration on damage made for it, pairs in any order, odd but readable parameters: a JPEG output whatever
// its name, the input untouched, warnings at most, and only progress lines growing from 0 to 100 on standard output.
TEST_F(EngineCli, EveryRestorationWritesItsOutputAndReportsProgress)
{
    cv::Mat picture(240, 320, CV_8UC3, cv::Scalar(200, 210, 215));
    cv::Mat noise(picture.size(), CV_8UC3);
    cv::randu(noise, 0, 30);
    picture -= noise;
    cv::line(picture, cv::Point(40, 200), cv::Point(280, 40), cv::Scalar(255, 255, 255), 2);
    cv::circle(picture, cv::Point(250, 190), 12, cv::Scalar(120, 150, 185), cv::FILLED);
    cv::line(picture, cv::Point(20, 20), cv::Point(150, 120), cv::Scalar(120, 120, 120), 1);
    const std::string big = (dir / "big.jpg").string(), bigMask = (dir / "bigmask.png").string();
    cv::imwrite(big, picture);
    cv::Mat m = cv::Mat::zeros(picture.size(), CV_8UC1);
    cv::circle(m, cv::Point(100, 150), 40, cv::Scalar(255), cv::FILLED);
    cv::imwrite(bigMask, m);
    const std::string before = ReadAll(big), png = (dir / "out.png").string();
    const struct { std::vector<std::string> args; const char* warning; size_t minLines; } cases[] = {
        {{"-o", output, "-gorex", Write("b.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + bigMask + "\n"), "-i", big}, "", 20},
        {{"-i", big, "-crax", Write("c.log", kCrack + std::string("Y1\t40\nX1\t39\nY2\t280\nX2\t199\n")), "-o", output},
         "", 10},
        {{"-fox", Write("f.log", "DIST\t3\r\nCOST\t2\r\nAMP\t0.05\r\nEXTRA\t1\r\n"), "-i", big, "-o", png}, "EXTRA", 5},
        {{"-i", big, "-crease", Write("k.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t20\nX1\t219\nY2\t150\nX2\t119\n"),
          "-o", output}, "", 5},
        {{"-i", big, "-crease", Write("k2.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t500\nX1\t500\nY2\t600\nX2\t600\n"),
          "-o", output}, "outside the picture", 2},
        {{"-i", big, "-crax", Write("c2.log", kCrack + std::string("Y1\t-100\nX1\t-100\nY2\t5000\nX2\t5000\n")),
          "-o", output}, "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[3]);
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(*c.warning ? r.err.find(c.warning) != std::string::npos : r.err.empty()) << r.err;
        const std::vector<std::string> left = Leftovers();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(ReadAll(dir / left[0]).substr(0, 2), std::string("\xFF\xD8"));
        EXPECT_EQ(cv::imread((dir / left[0]).string()).size(), picture.size());
        fs::remove(dir / left[0]);
        const std::vector<int> percents = ProgressLines(r.out);
        ASSERT_GE(percents.size(), c.minLines) << r.out;
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<int>()) == percents.end())
            << r.out;
    }
    EXPECT_EQ(ReadAll(big), before);
}
