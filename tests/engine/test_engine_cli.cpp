// The command-line contract of the built veltro.exe, run as a child process.

#include "EngineTestFiles.h"

#include "engine/CommandLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace enginetest;

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
        input = Save("in.jpg", EncodeJpeg(Scene(cv::Size(80, 60)), {}));
        cv::Mat m = cv::Mat::zeros(60, 80, CV_8UC1);
        cv::circle(m, cv::Point(40, 30), 5, cv::Scalar(255), cv::FILLED);
        cv::imwrite(mask = (dir / "mask.png").string(), m);
        blotchLog = Write("blotch.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + mask + "\n");
        output = (dir / "out.jpg").string();
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }
    std::string Save(const std::string& name, const Bytes& bytes)
    {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }

    // Starts the engine with its standard output on a pipe; a run that hangs is ended after a minute.
    pid_t Start(const std::vector<std::string>& args, int& outFd)
    {
        int pipeFds[2];
        EXPECT_EQ(pipe(pipeFds), 0);
        const fs::path errFile = dir / "stderr.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(60);
            dup2(pipeFds[1], 1);
            dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            close(pipeFds[0]);
            std::vector<char*> argv{const_cast<char*>(VELTRO_ENGINE_PATH)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(VELTRO_ENGINE_PATH, argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        outFd = pipeFds[0];
        return pid;
    }
    Result Finish(pid_t pid, int outFd, std::string out = std::string())
    {
        char buffer[4096];
        for (ssize_t n; (n = read(outFd, buffer, sizeof buffer)) > 0;)
            out.append(buffer, size_t(n));
        close(outFd);
        int status = 0;
        waitpid(pid, &status, 0);
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, ReadAll(dir / "stderr.txt")};
        fs::remove(dir / "stderr.txt");
        return r;
    }
    Result Run(const std::vector<std::string>& args)
    {
        int fd = -1;
        const pid_t pid = Start(args, fd);
        return Finish(pid, fd);
    }

    // What the engine left in the directory: outputs and temporary files.
    std::vector<std::string> Leftovers()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.rfind("out", 0) == 0 || n.rfind("changed", 0) == 0 || n.rfind(".veltro-", 0) == 0)
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
// and progress (if begun) short of 100; FIFOs do not hold the engine up. Damaged pictures: see test_engine_io.
TEST_F(EngineCli, EveryFailureHasItsExitStatusOneLineAndNoOutput)
{
    const std::string points = "Y1\t10\nX1\t10\nY2\t70\nX2\t50\n";
    const std::string smallMask = (dir / "small.png").string();
    cv::imwrite(smallMask, cv::Mat::zeros(10, 10, CV_8UC1));
    fs::create_directories(dir / "taken.jpg");
    for (const char* fifo : {"fifo.jpg", "fifo.log", "fifo.png"})
        ASSERT_EQ(mkfifo((dir / fifo).c_str(), 0644), 0);
    const std::string readOnly = Write("out-readonly.jpg", "kept");
    fs::permissions(readOnly, fs::perms::owner_read);
    const auto crack = [&](const char* name, const std::string& text) {
        return std::vector<std::string>{"-i", input, "-crax", Write(name, text + points), "-o", output};
    };
    const auto blotch = [&](const std::string& log, const std::string& out) {
        return std::vector<std::string>{"-i", input, "-gorex", log, "-o", out};
    };
    const auto fox = [&](const std::string& in) {
        return std::vector<std::string>{"-i", in, "-fox", Write("f.log", "DIST\t3\nCOST\t2\nAMP\t0.05\n"), "-o", output};
    };
    const struct {
        std::vector<std::string> args;
        int status;
        std::string messagePart;
        bool started;   // the parameters were accepted before the failure: progress has begun
    } cases[] = {
        {{}, 2, "veltro.exe: invalid command line: ", false},
        {blotch(blotchLog, (dir / "out.bmp").string()), 2, "must end in .jpg, .jpeg, .tif, .tiff or .png", false},
        {{"-i", input, "-gorex", (dir / "none.log").string(), "-o", output}, 3,
         "veltro.exe: cannot read parameter file: ", false},
        {blotch(dir.string(), output), 3, "cannot read parameter file: " + dir.string() + ": is a directory", false},
        {blotch((dir / "fifo.log").string(), output), 3, "fifo.log: not a regular file", false},
        {blotch(Write("huge.log", std::string(1100000, 'x')), output), 4, "invalid parameter file: ", false},
        {fox((dir / "none.jpg").string()), 3, "veltro.exe: cannot read input picture: ", true},
        {fox((dir / "fifo.jpg").string()), 3, "fifo.jpg: not a regular file", true},
        {fox(Write("notes.txt", "not a picture")), 3, "not a JPEG, TIFF or PNG picture", true},
        {blotch(Write("b1.log", "DIST\t2\nCOST\t5\nMASKFILE\t/none/mask.png\n"), output), 3,
         "veltro.exe: cannot read mask: /none/mask.png: no such file", true},
        {blotch(Write("b3.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + (dir / "fifo.png").string() + "\n"), output), 3,
         "fifo.png: not a regular file", true},
        {blotch(Write("b2.log", "DIST\t2\nCOST\t5\nMASKFILE\t" + smallMask + "\n"), output), 4,
         "veltro.exe: invalid parameter: MASKFILE: the mask is 10x10 but the picture is 80x60", true},
        {crack("c1.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t0.000000\nDEGSTOP\t90.000000\n"), 4,
         "veltro.exe: invalid parameter: STEP_ANGLE: 0 is not above 0", false},
        {crack("c2.log", "THRWHITE\t245\nDEGSTART\t30.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t10.000000\n"), 4,
         "veltro.exe: invalid parameter: DEGSTART: 30 is above DEGSTOP 10", false},
        {{"-i", input, "-fox", Write("f1.log", "DIST\t3\nCOST\t2\nAMP\ta\x1b[2Jb\n"), "-o", output}, 4,
         "veltro.exe: invalid parameter: AMP: \"a\\x1B[2Jb\" is not a number", false},
        {blotch(blotchLog, (dir / "missing-dir" / "out.jpg").string()), 5, "its directory does not exist", false},
        {blotch(blotchLog, (dir / "taken.jpg").string()), 5, "taken.jpg: is a directory", false},
        {blotch(blotchLog, readOnly), 5, "the file is read-only", false},
        // Never over the input, the mask or the parameter file, even under another name.
        {blotch(blotchLog, input), 5, "it names the input picture", false},
        {blotch(blotchLog, (dir / "." / "in.jpg").string()), 5, "it names the input picture", false},
        {blotch(blotchLog, mask), 5, "it names the mask", false},
        {{"-i", input, "-gorex", blotchLog, "-o", output, "-m", blotchLog}, 5, "it names the parameter file", false},
    };
    const std::string inputBefore = ReadAll(input), maskBefore = ReadAll(mask);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.messagePart);
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err.rfind("veltro.exe: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.messagePart), std::string::npos) << r.err;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{"out-readonly.jpg"});
        const std::vector<int> percents = ProgressLines(r.out);
        EXPECT_EQ(percents.empty(), !c.started) << r.out;
        if (!percents.empty()) {
            EXPECT_EQ(percents.front(), 0);
            EXPECT_LT(percents.back(), 100);
        }
    }
    EXPECT_EQ(ReadAll(input), inputBefore);
    EXPECT_EQ(ReadAll(mask), maskBefore);
    EXPECT_EQ(ReadAll(readOnly), "kept");
}

// Each restoration on damage made for it, pairs in any order, odd but readable parameter files (CR LF, CR alone, a
// byte-order mark, a distance far beyond the picture): the output in the format its name asks for, the changed mask
// beside it, the input untouched, warnings at most, and only progress lines growing from 0 to 100.
TEST_F(EngineCli, EveryRestorationWritesItsOutputAndReportsProgress)
{
    cv::Mat picture(240, 320, CV_8UC3, cv::Scalar(200, 210, 215));
    cv::Mat noise(picture.size(), CV_8UC3);
    cv::randu(noise, 0, 30);
    picture -= noise;
    cv::line(picture, cv::Point(40, 200), cv::Point(280, 40), cv::Scalar(255, 255, 255), 2);
    cv::circle(picture, cv::Point(250, 190), 12, cv::Scalar(120, 150, 185), cv::FILLED);
    cv::line(picture, cv::Point(20, 20), cv::Point(150, 120), cv::Scalar(120, 120, 120), 1);
    const std::string big = Save("big.jpg", EncodeJpeg(picture, {})), bigMask = (dir / "bigmask.png").string();
    cv::Mat m = cv::Mat::zeros(picture.size(), CV_8UC1);
    cv::circle(m, cv::Point(100, 150), 40, cv::Scalar(255), cv::FILLED);
    cv::imwrite(bigMask, m);
    const std::string before = ReadAll(big), changed = (dir / "changed.png").string();
    const std::string png = (dir / "out.png").string(), tif = (dir / "out.TIFF").string();
    const struct { std::vector<std::string> args; const char* warning; size_t minLines; const char* magic; } cases[] = {
        {{"-o", output, "-gorex", Write("b.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + bigMask + "\n"), "-i", big,
          "-m", changed}, "", 20, "\xFF\xD8"},
        {{"-i", big, "-crax", Write("c.log", kCrack + std::string("Y1\t40\nX1\t39\nY2\t280\nX2\t199\n")), "-o", tif},
         "", 10, "II*"},
        {{"-fox", Write("f.log", "\xEF\xBB\xBF" "DIST\t3\r\nCOST\t2\r\nAMP\t0.05\r\nEXTRA\t1\r\n"), "-i", big, "-o",
          png}, "EXTRA", 5, "\x89PNG"},
        {{"-i", big, "-fox", Write("f2.log", "DIST\t2147483647\rCOST\t1073741824\rAMP\t0.05\r"), "-o", output}, nullptr, 5,
         "\xFF\xD8"},
        {{"-i", big, "-crease", Write("k.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t20\nX1\t219\nY2\t150\nX2\t119\n"),
          "-o", output}, "", 5, "\xFF\xD8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[3]);
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        if (c.warning) {
            EXPECT_TRUE(*c.warning ? r.err.find(c.warning) != std::string::npos : r.err.empty()) << r.err;
        }
        const std::string out = c.args[std::find(c.args.begin(), c.args.end(), "-o") - c.args.begin() + 1];
        EXPECT_EQ(ReadAll(out).rfind(c.magic, 0), 0u);
        EXPECT_EQ(cv::imread(out).size(), picture.size());
        fs::remove(out);
        const std::vector<int> percents = ProgressLines(r.out);
        ASSERT_GE(percents.size(), c.minLines) << r.out;
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<int>()) == percents.end())
            << r.out;
    }
    // The changed mask marks the repaired blotch and nothing far from it.
    const cv::Mat marked = cv::imread(changed, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(marked.type(), CV_8UC1);
    cv::Mat grown;
    cv::dilate(m, grown, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(9, 9)));
    EXPECT_GT(cv::countNonZero(marked), 1000);
    EXPECT_EQ(cv::countNonZero(marked & ~grown), 0);
    EXPECT_EQ(ReadAll(big), before);
    EXPECT_TRUE(Leftovers().size() == 1);   // the changed mask
}

// Nothing to repair: exit 0, the operation's one line, the very same file (or in another format the same pixels),
// an empty changed mask. Repairing three times in a row changes nothing outside the touched MCUs.
TEST_F(EngineCli, NothingToRepairGivesTheInputAndGenerationsKeepUntouchedBlocks)
{
    const cv::Mat clean(96, 128, CV_8UC3, cv::Scalar(150, 160, 170));
    const std::string in = Save("clean.jpg", EncodeJpeg(clean, {})), changed = (dir / "changed.png").string();
    const std::string emptyMask = (dir / "empty.png").string();
    cv::imwrite(emptyMask, cv::Mat::zeros(clean.size(), CV_8UC1));
    const struct { const char* op; std::string params; const char* line; } cases[] = {
        {"-gorex", "DIST\t3\nCOST\t10\nMASKFILE\t" + emptyMask + "\n", "the mask marks no blotch"},
        {"-crax", kCrack + std::string("Y1\t10\nX1\t20\nY2\t100\nX2\t70\n"), "no crack found between (10,20) and (100,70)"},
        {"-fox", "DIST\t3\nCOST\t2\nAMP\t0.05\n", "no foxing found"},
        {"-crease", "THR1\t10\nQ\t22\nN\t25\nY1\t5\nX1\t5\nY2\t90\nX2\t60\n", "no crease found in the region (5,5)-(90,60)"},
    };
    for (const auto& c : cases)
        for (const char* name : {"out.jpg", "out.png"}) {
            SCOPED_TRACE(std::string(c.op) + " " + name);
            const Result r = Run({"-i", in, c.op, Write("p.log", c.params), "-o", (dir / name).string(), "-m", changed});
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, std::string("veltro.exe: ") + c.line + "; the picture is left unchanged\n");
            if (std::string(name) == "out.jpg") {
                EXPECT_EQ(ReadAll(dir / name), ReadAll(in));
            }
            EXPECT_EQ(cv::norm(cv::imread((dir / name).string()), cv::imread(in), cv::NORM_INF), 0);
            EXPECT_EQ(cv::countNonZero(cv::imread(changed, cv::IMREAD_GRAYSCALE)), 0);
        }

    const cv::Mat scene = Scene(cv::Size(160, 128), 3);
    std::string previous = Save("gen0.jpg", EncodeJpeg(scene, {}));
    cv::Mat blot = cv::Mat::zeros(scene.size(), CV_8UC1);
    cv::circle(blot, cv::Point(70, 60), 9, cv::Scalar(255), cv::FILLED);
    cv::imwrite(mask, blot);
    for (int generation = 1; generation <= 3; ++generation) {
        SCOPED_TRACE(generation);
        const std::string next = (dir / ("gen" + std::to_string(generation) + ".jpg")).string();
        ASSERT_EQ(Run({"-i", previous, "-gorex", blotchLog, "-o", next, "-m", changed}).status, 0);
        // The touched MCUs (16 x 16, chroma halved) and the one pixel around them that chroma upsampling reaches.
        cv::Mat touched = cv::Mat::zeros(scene.size(), CV_8U), marked = cv::imread(changed, cv::IMREAD_GRAYSCALE);
        for (int y = 0; y < scene.rows; ++y)
            for (int x = 0; x < scene.cols; ++x)
                if (marked.at<uint8_t>(y, x))
                    touched(cv::Rect(x / 16 * 16, y / 16 * 16, 16, 16) & cv::Rect(0, 0, scene.cols, scene.rows)) = 255;
        cv::dilate(touched, touched, cv::Mat::ones(3, 3, CV_8U));
        cv::Mat diff;
        cv::absdiff(cv::imread(previous), cv::imread(next), diff);
        cv::cvtColor(diff, diff, cv::COLOR_BGR2GRAY);
        EXPECT_EQ(cv::countNonZero(diff & ~touched), 0);
        EXPECT_GT(cv::countNonZero(marked), 0);
        previous = next;
    }
}

// A signal mid-run ends the engine with 128 + its number and leaves nothing; temporaries a killed run left are
// removed by the next run once stale, unless a live engine holds them.
TEST_F(EngineCli, SignalsLeaveNothingAndStaleTemporariesAreRemoved)
{
    const cv::Size size(1600, 1200);
    const std::string big = Save("big.jpg", EncodeJpeg(Scene(size), {}));
    cv::Mat m = cv::Mat::zeros(size, CV_8UC1);
    cv::circle(m, cv::Point(800, 600), 300, cv::Scalar(255), cv::FILLED);
    const std::string bigMask = (dir / "bigmask.png").string();
    cv::imwrite(bigMask, m);
    const std::string log = Write("big.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + bigMask + "\n");
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        int fd = -1;
        const pid_t pid = Start({"-i", big, "-gorex", log, "-o", output}, fd);
        // Stopped once the picture and the mask are read, while the blotch is rebuilt.
        std::string out;
        char c;
        for (size_t line = 0; read(fd, &c, 1) == 1;) {
            out += c;
            if (c == '\n' && std::atoi(out.c_str() + line + 9) > 16)
                break;
            if (c == '\n')
                line = out.size();
        }
        kill(pid, sig);
        const Result r = Finish(pid, fd, out);
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        EXPECT_TRUE(Leftovers().empty());
    }
    const auto stale = [&](const char* name, int age) {
        const std::string path = Write(name, "left by a killed run");
        const timespec times[2] = {{time(nullptr) - age, 0}, {time(nullptr) - age, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    };
    stale(".veltro-old123", 120);
    stale(".veltro-new123", 5);
    const int held = open(stale(".veltro-run123", 120).c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_EQ(Run({"-i", input, "-gorex", blotchLog, "-o", output}).status, 0);
    close(held);
    std::vector<std::string> left = Leftovers();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".veltro-new123", ".veltro-run123", "out.jpg"}));
}
