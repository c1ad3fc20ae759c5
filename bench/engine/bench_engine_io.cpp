// The engine's input and output, measured on a 12-megapixel photograph (an
// opencv-doc sample enlarged) and against an earlier build of the engine:
//   bench_engine_io [BEFORE_ENGINE]
// - generations: three blotch repairs in a row, each on the previous output
//   and each on blotches of its own: pixels changed outside the touched MCUs
//   (and the one pixel around them that chroma upsampling reaches), PSNR of
//   the repaired area and of everything else against the clean picture;
// - nothing to repair: pixels changed, output size against input size;
// - start-up on a 1-pixel picture, against exec of /bin/true as the floor;
// - each operation on 12 MP end to end (median of three runs), against
//   OpenCV decoding and encoding the picture in this process as the floor.
// BEFORE_ENGINE (e.g. a build of the main branch) runs the same steps for the
// ratios; without it only this build's engine is measured.

#include "SyntheticDamage.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace veltro::bench;

namespace {

struct Run {
    double seconds = 0;      // wall clock
    double cpuSeconds = 0;   // user and system
    long maxRssKb = 0;
    int status = -1;
};

// Programs are started by a small process forked before this one grows:
// a child's peak memory counts the memory of the process it was forked from.
int g_requests = -1, g_replies = -1;

Run Launch(const std::vector<std::string>& argv)
{
    Run r;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    r.maxRssKb = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Requests are argument lists, each argument ended by NUL and the list by an empty one.
void StartLauncher()
{
    int requests[2], replies[2];
    if (pipe(requests) != 0 || pipe(replies) != 0)
        return;
    if (fork() == 0) {
        close(requests[1]);
        close(replies[0]);
        FILE* in = fdopen(requests[0], "r");
        std::vector<std::string> argv(1);
        for (int c; (c = std::fgetc(in)) != EOF;) {
            if (c != 0) {
                argv.back() += char(c);
            } else if (!argv.back().empty()) {
                argv.emplace_back();
            } else {
                argv.pop_back();
                const Run r = Launch(argv);
                if (write(replies[1], &r, sizeof r) != ssize_t(sizeof r))
                    _exit(1);
                argv.assign(1, std::string());
            }
        }
        _exit(0);
    }
    close(requests[0]);
    close(replies[1]);
    g_requests = requests[1];
    g_replies = replies[0];
}

Run RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::string request = program + '\0';
    for (const std::string& a : args)
        request += a + '\0';
    request += '\0';
    Run r;
    if (write(g_requests, request.data(), request.size()) != ssize_t(request.size()) ||
        read(g_replies, &r, sizeof r) != ssize_t(sizeof r))
        r.status = -1;
    return r;
}

// The median of three runs (writing is synced to disk, so single runs vary).
Run RunMedian(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<Run> runs;
    for (int i = 0; i < 3; ++i)
        runs.push_back(RunProgram(program, args));
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return runs[1];
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

double Psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& where)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    d.convertTo(d, CV_64F);
    d = d.mul(d);
    const cv::Scalar s = cv::sum(d.setTo(0, ~where));
    const double n = 3.0 * cv::countNonZero(where);
    const double mse = n > 0 ? (s[0] + s[1] + s[2]) / n : 0;
    return mse <= 1e-10 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int CountDiffering(const cv::Mat& a, const cv::Mat& b, const cv::Mat& where)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    cv::cvtColor(d, d, cv::COLOR_BGR2GRAY);
    return cv::countNonZero((d > 0) & where);
}

// The MCUs (16 x 16 for 4:2:0) holding a marked pixel, grown by one pixel.
cv::Mat TouchedMcus(const cv::Mat& marked)
{
    cv::Mat touched = cv::Mat::zeros(marked.size(), CV_8U);
    for (int y = 0; y < marked.rows; ++y)
        for (int x = 0; x < marked.cols; ++x)
            if (marked.at<uint8_t>(y, x))
                touched(cv::Rect(x / 16 * 16, y / 16 * 16, 16, 16) & cv::Rect(cv::Point(), marked.size())) = 255;
    cv::dilate(touched, touched, cv::Mat::ones(3, 3, CV_8U));
    return touched;
}

struct Engine {
    const char* name;
    std::string path;
};

}  // namespace

int main(int argc, char** argv)
{
    StartLauncher();
    std::vector<Engine> engines = {{"after", VELTRO_ENGINE_PATH}};
    if (argc > 1)
        engines.insert(engines.begin(), Engine{"before", argv[1]});
    const cv::Mat sample = cv::imread(SampleDataDir() + "/fruits.jpg");
    if (sample.empty()) {
        std::printf("opencv-doc's sample photographs are missing (install opencv-doc)\n");
        return 0;
    }
    const std::string tmp = (fs::temp_directory_path() / ("veltro-bench-io-" + std::to_string(getpid()))).string();
    fs::create_directories(tmp);
    const cv::Size size(4000, 3000);
    cv::Mat clean;
    cv::resize(sample, clean, size, 0, 0, cv::INTER_CUBIC);
    cv::RNG rng(11);

    // Three sets of blotches, each repaired by a generation of its own.
    std::vector<Damaged> sets;
    cv::Mat damaged = clean.clone();
    for (int g = 0; g < 3; ++g) {
        sets.push_back(AddBlotches(damaged, rng, 15, 10, 30));
        damaged = sets.back().image;
    }
    const std::string input = tmp + "/gen0.jpg";
    cv::imwrite(input, damaged, {cv::IMWRITE_JPEG_QUALITY, 95});
    std::printf("Generations: three blotch repairs in a row on %dx%d (4:2:0, quality 95)\n", size.width, size.height);
    std::printf("engine  gen  changed-outside-touched-MCUs  PSNR-repaired  PSNR-undamaged  pixels-changed-elsewhere\n");
    // Away from every blotch of the three sets: what no repair should change.
    cv::Mat undamaged = cv::Mat::zeros(size, CV_8U);
    for (const Damaged& d : sets)
        undamaged |= d.truth;
    cv::dilate(undamaged, undamaged, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(9, 9)));
    undamaged = ~undamaged;
    for (const Engine& e : engines) {
        std::string previous = input;
        for (int g = 0; g < 3; ++g) {
            const std::string next = tmp + "/" + e.name + "-gen" + std::to_string(g + 1) + ".jpg";
            const std::string mask = tmp + "/mask" + std::to_string(g) + ".png", changed = tmp + "/changed.png";
            cv::imwrite(mask, sets[size_t(g)].userMask);
            WriteText(tmp + "/blotch.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + mask + "\n");
            std::vector<std::string> args = {"-i", previous, "-gorex", tmp + "/blotch.log", "-o", next};
            fs::remove(changed);
            if (std::string(e.name) == "after")
                args.insert(args.end(), {"-m", changed});
            const Run r = RunProgram(e.path, args);
            const cv::Mat before = cv::imread(previous), after = cv::imread(next);
            if (r.status != 0 || after.empty()) {
                std::printf("%-6s  %3d  engine failed (exit %d)\n", e.name, g + 1, r.status);
                break;
            }
            cv::Mat grown;
            cv::dilate(sets[size_t(g)].userMask, grown, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(9, 9)));
            const cv::Mat marked = fs::exists(changed) ? cv::imread(changed, cv::IMREAD_GRAYSCALE) : grown;
            const int outside = CountDiffering(before, after, ~TouchedMcus(marked));
            std::printf("%-6s  %3d  %28d  %13.2f  %14.2f  %24d\n", e.name, g + 1, outside,
                        Psnr(after, clean, grown), Psnr(after, clean, undamaged),
                        CountDiffering(before, after, ~grown));
            previous = next;
        }
    }

    std::printf("\nNothing to repair (an empty mask):\n");
    std::printf("engine  pixels-changed  size-ratio  exit\n");
    const std::string emptyMask = tmp + "/empty.png";
    cv::imwrite(emptyMask, cv::Mat::zeros(size, CV_8U));
    WriteText(tmp + "/empty.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + emptyMask + "\n");
    for (const Engine& e : engines) {
        const std::string out = tmp + "/" + e.name + "-same.jpg";
        const Run r = RunProgram(e.path, {"-i", input, "-gorex", tmp + "/empty.log", "-o", out});
        std::printf("%-6s  %14d  %10.4f  %4d\n", e.name,
                    CountDiffering(cv::imread(input), cv::imread(out), cv::Mat(size, CV_8U, cv::Scalar(255))),
                    double(fs::file_size(out)) / double(fs::file_size(input)), r.status);
    }

    std::printf("\nStart-up on a 1-pixel picture (mean of 20 runs, ms):\n");
    const std::string one = tmp + "/one.jpg", oneMask = tmp + "/one.png";
    cv::imwrite(one, cv::Mat(1, 1, CV_8UC3, cv::Scalar(90, 120, 150)));
    cv::imwrite(oneMask, cv::Mat::zeros(1, 1, CV_8U));
    WriteText(tmp + "/one.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + oneMask + "\n");
    const auto startUp = [&](const std::string& program, const std::vector<std::string>& args) {
        double total = 0;
        for (int i = 0; i < 20; ++i)
            total += RunProgram(program, args).seconds;
        return total / 20 * 1000;
    };
    const double floorMs = startUp("/bin/true", {});
    std::printf("floor (exec /bin/true)  %8.2f\n", floorMs);
    std::vector<double> startMs;
    for (const Engine& e : engines) {
        startMs.push_back(startUp(e.path, {"-i", one, "-gorex", tmp + "/one.log", "-o", tmp + "/one-out.jpg"}));
        std::printf("%-22s  %8.2f  (%.1f x floor)\n", e.name, startMs.back(), startMs.back() / floorMs);
    }
    if (startMs.size() == 2)
        std::printf("after / before          %8.3f\n", startMs[1] / startMs[0]);

    std::printf("\nEach operation on 12 MP end to end (median of three; wall and CPU s, peak MB):\n");
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<uchar> encoded;
    cv::imencode(".jpg", cv::imread(input), encoded, {cv::IMWRITE_JPEG_QUALITY, 95});
    std::printf("floor (OpenCV decode + encode in process)  %.2f\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    cv::Mat page;
    cv::resize(MakeDocumentPage(cv::Size(1000, 750), rng), page, size);
    const Damaged crack = AddCrack(clean, rng, 1500, 2500), fox = AddFoxing(page, rng, 150, 6, 40),
                  crease = AddCrease(clean, rng);
    cv::imwrite(tmp + "/crack.jpg", crack.image, {cv::IMWRITE_JPEG_QUALITY, 95});
    cv::imwrite(tmp + "/fox.jpg", fox.image, {cv::IMWRITE_JPEG_QUALITY, 95});
    cv::imwrite(tmp + "/crease.jpg", crease.image, {cv::IMWRITE_JPEG_QUALITY, 95});
    const int h = size.height;
    WriteText(tmp + "/crack.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\nY1\t" +
                                      std::to_string(crack.p1.x) + "\nX1\t" + std::to_string(h - 1 - crack.p1.y) +
                                      "\nY2\t" + std::to_string(crack.p2.x) + "\nX2\t" +
                                      std::to_string(h - 1 - crack.p2.y) + "\n");
    WriteText(tmp + "/fox.log", "DIST\t3\nCOST\t2\nAMP\t0.050000\n");
    WriteText(tmp + "/crease.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t0\nX1\t0\nY2\t" +
                                       std::to_string(size.width - 1) + "\nX2\t" + std::to_string(h - 1) + "\n");
    WriteText(tmp + "/blotch.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + tmp + "/mask0.png\n");
    const struct { const char* name; std::vector<std::string> args; } ops[] = {
        {"blotch", {"-i", input, "-gorex", tmp + "/blotch.log"}},
        {"crack", {"-i", tmp + "/crack.jpg", "-crax", tmp + "/crack.log"}},
        {"fox", {"-i", tmp + "/fox.jpg", "-fox", tmp + "/fox.log"}},
        {"crease", {"-i", tmp + "/crease.jpg", "-crease", tmp + "/crease.log"}},
    };
    std::printf("operation");
    for (const Engine& e : engines)
        std::printf("  %7s-s  %7s-cpu  %6s-MB", e.name, e.name, e.name);
    std::printf("%s\n", engines.size() == 2 ? "  after/before wall, cpu, MB" : "");
    for (const auto& op : ops) {
        std::printf("%-9s", op.name);
        std::vector<Run> runs;
        for (const Engine& e : engines) {
            std::vector<std::string> args = op.args;
            args.insert(args.end(), {"-o", tmp + "/op-out.jpg"});
            runs.push_back(RunMedian(e.path, args));
            const Run& r = runs.back();
            std::printf("  %9.2f  %11.2f  %9.0f", r.seconds, r.cpuSeconds, r.maxRssKb / 1024.0);
            if (r.status != 0)
                std::printf(" (exit %d)", r.status);
        }
        if (runs.size() == 2)
            std::printf("  %.3f, %.3f, %.3f", runs[1].seconds / runs[0].seconds, runs[1].cpuSeconds / runs[0].cpuSeconds,
                        double(runs[1].maxRssKb) / double(runs[0].maxRssKb));
        std::printf("\n");
    }
    fs::remove_all(tmp);
    return 0;
}
