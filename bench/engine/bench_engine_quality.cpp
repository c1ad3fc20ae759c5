// Quality and speed of the restoration engine on synthetic damage with known
// ground truth, against peers given the true damaged pixels, and its harm on
// clean pictures.
//
//   bench_engine_quality [--quick] [--tuning] [--cases N] [--only OPERATION] [--large]
//
// --tuning runs the tuning half alone, for iterating on the engine; --cases N
// lays N cases of each kind on every picture (2 by default).
//
// Pictures: Debian's opencv-doc sample photographs and generated document
// pages. Every set is split, by a rule fixed before any tuning, into a
// tuning half and a held-out half: photographs by their place in the sorted
// list (even: tuning, odd: held-out), pages by their number likewise, and
// every damage of a picture is drawn from a seed of its half's parity. Only
// the tuning half may guide changes to the engine; the held-out half tells
// whether they carry over. Both are reported, with the goals.
//
// Reported per operation: PSNR over the truly damaged pixels for the damaged
// input, the engine (default parameters, finding the damage itself) and the
// peers (OpenCV Telea and Navier-Stokes; FSR_FAST of opencv_contrib's xphoto
// and the G'MIC command line's patch-based inpaint where installed), pixels
// the engine changed by more than 2 levels outside the damage, crease
// detection found/missed, and the engine's seconds per megapixel with its
// ratio to a Telea run on the same picture. Clean pictures run through every
// operation (crack points and crease regions laid anywhere): what changes
// there is harm.
//
// VELTRO_BENCH_DUMP=DIR writes every case's pictures there and prints a line
// per case. With --large, every operation also runs as veltro.exe on
// 12-megapixel pictures, reporting wall time and peak memory.

#include "SyntheticDamage.h"
#include "engine/Restoration.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#ifdef VELTRO_HAVE_XPHOTO
#include <opencv2/xphoto/inpainting.hpp>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace veltro;
using namespace veltro::bench;

namespace {

// --- Measures -----------------------------------------------------------

double Psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask = cv::Mat())
{
    const int n = mask.empty() ? int(a.total()) : cv::countNonZero(mask);
    if (n == 0)
        return std::nan("");
    const double mse = cv::norm(a, b, cv::NORM_L2SQR, mask) / (3.0 * n);
    return mse <= 1e-10 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Pixels differing by more than `levels` in some channel.
cv::Mat ChangedBy(const cv::Mat& a, const cv::Mat& b, int levels)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    std::vector<cv::Mat> ch;
    cv::split(diff, ch);
    cv::Mat m = cv::max(cv::max(ch[0], ch[1]), ch[2]);
    return m > levels;
}

double Seconds(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// --- Peers, each given the true damage ----------------------------------

struct Peer {
    std::string name;
    std::function<cv::Mat(const cv::Mat& damaged, const cv::Mat& truth)> run;
};

int RunChild(const std::vector<std::string>& args, bool quiet, long* maxRssKb = nullptr)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0) {
                dup2(devNull, STDOUT_FILENO);
                dup2(devNull, STDERR_FILENO);
            }
        }
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (maxRssKb)
        *maxRssKb = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TempDir()
{
    static const std::string dir = [] {
        const std::string d = (std::filesystem::temp_directory_path() /
                               ("veltro-bench-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

// G'MIC's patch-based inpainting, run as `gmic` would be from a shell.
cv::Mat GmicInpaint(const cv::Mat& damaged, const cv::Mat& truth)
{
    const std::string in = TempDir() + "/gmic_in.png", mask = TempDir() + "/gmic_mask.png",
                      out = TempDir() + "/gmic_out.png";
    cv::imwrite(in, damaged);
    cv::imwrite(mask, truth);
    std::filesystem::remove(out);
    RunChild({"gmic", "-v", "-1", in, mask, "-inpaint[0]", "[1],5,15,0.5,1,9,0", "-o[0]", out}, true);
    cv::Mat result = cv::imread(out, cv::IMREAD_COLOR);
    return result.size() == damaged.size() ? result : cv::Mat();
}

std::vector<Peer> Peers(bool withGmic)
{
    std::vector<Peer> peers;
    peers.push_back({"Telea", [](const cv::Mat& d, const cv::Mat& t) {
                         cv::Mat o;
                         cv::inpaint(d, t, o, 5, cv::INPAINT_TELEA);
                         return o;
                     }});
    peers.push_back({"NS", [](const cv::Mat& d, const cv::Mat& t) {
                         cv::Mat o;
                         cv::inpaint(d, t, o, 5, cv::INPAINT_NS);
                         return o;
                     }});
    // The engine's own reconstruction given the true damage: how much of
    // the gap to a peer is the fill and how much the finding.
    peers.push_back({"EngFill", [](const cv::Mat& d, const cv::Mat& t) {
                         cv::Mat o = d.clone();
                         FillDamage(o, t, 12);
                         return o;
                     }});
#ifdef VELTRO_HAVE_XPHOTO
    peers.push_back({"FSR_FAST", [](const cv::Mat& d, const cv::Mat& t) {
                         cv::Mat o;
                         cv::xphoto::inpaint(d, t == 0, o, cv::xphoto::INPAINT_FSR_FAST);
                         return o;
                     }});
#endif
    if (withGmic && RunChild({"gmic", "-v", "-1", "-version"}, true) == 0)
        peers.push_back({"G'MIC", GmicInpaint});
    return peers;
}

// --- Cases and their results --------------------------------------------

enum Half { kTuning = 0, kHeldOut = 1 };
const char* HalfName(int h) { return h == kTuning ? "tuning" : "held-out"; }

struct Picture {
    std::string name;
    cv::Mat image;
    bool page = false;
    int index = 0;  // place in its list
    int half = kTuning;
};

struct Result {
    double input = 0, engine = 0;              // PSNR over the damage
    std::vector<double> peers;                 // same, per peer (NaN: not run)
    double outside = 0, outsideShare = 0;      // changed > 2 outside the damage
    double found = -1;                         // crease: 1 found, 0 missed
    double precision = -1, recall = -1;        // detection against the truth
    double seconds = 0, teleaSeconds = 0, megapixels = 0;
};

struct CleanResult {
    double changed = 0, share = 0;  // pixels changed by more than 2 levels
    double seconds = 0, megapixels = 0;
};

struct Group {
    std::vector<Result> results;
    std::vector<CleanResult> clean;
};

// Results by operation, then half.
std::map<std::string, Group> g_groups[2];

std::vector<Peer> g_peers;

// Seconds of each restoration on a 12-megapixel picture, with a Telea run
// on the same damage as the floor.
std::map<std::string, double> g_seconds12;

// The seed of the `k`-th case of operation `op` on a picture: of the
// picture's half's parity, so that the halves never share damage.
uint64_t Seed(int op, const Picture& p, int k)
{
    return uint64_t(((op * 100 + (p.page ? 50 : 0) + p.index) * 10 + k) * 2 + p.half);
}

void Dump(const std::string& name, const Damaged& d, const cv::Mat& out, const cv::Mat& found,
          const cv::Mat& clean = cv::Mat())
{
    static int counter = 0;
    const char* dir = std::getenv("VELTRO_BENCH_DUMP");
    if (!dir)
        return;
    const std::string base = std::string(dir) + "/" + std::to_string(counter++) + "_" + name;
    cv::imwrite(base + "_damaged.png", d.image);
    cv::imwrite(base + "_out.png", out);
    cv::imwrite(base + "_truth.png", d.truth);
    if (!found.empty())
        cv::imwrite(base + "_found.png", found);
    if (!clean.empty()) {
        // The error left, magnified four times.
        cv::Mat error;
        cv::absdiff(out, clean, error);
        cv::imwrite(base + "_error.png", error * 4);
    }
}

// Scores the engine's output of one case and runs the peers on it.
Result Score(const std::string& op, const Picture& pic, const cv::Mat& clean, const Damaged& d, const cv::Mat& out,
             const cv::Mat& found, double seconds, bool peersToo, double wasFound = -1)
{
    Result r;
    r.found = wasFound;
    r.input = Psnr(d.image, clean, d.truth);
    r.engine = Psnr(out, clean, d.truth);
    const cv::Mat outside = ChangedBy(out, d.image, 2) & (d.truth == 0);
    r.outside = cv::countNonZero(outside);
    r.outsideShare = r.outside / double(clean.total());
    r.seconds = seconds;
    r.megapixels = clean.total() / 1e6;
    if (!found.empty()) {
        const double hit = cv::countNonZero(found & d.truth);
        r.precision = hit / std::max(1, cv::countNonZero(found));
        r.recall = hit / std::max(1, cv::countNonZero(d.truth));
    }
    for (size_t i = 0; i < g_peers.size(); ++i) {
        if (!peersToo && i > 0) {
            r.peers.push_back(std::nan(""));
            continue;
        }
        cv::Mat peerOut;
        const double s = Seconds([&] { peerOut = g_peers[i].run(d.image, d.truth); });
        if (i == 0)
            r.teleaSeconds = s;
        r.peers.push_back(peerOut.empty() ? std::nan("") : Psnr(peerOut, clean, d.truth));
    }
    Dump(op + "_" + pic.name, d, out, found, clean);
    if (std::getenv("VELTRO_BENCH_DUMP")) {
        std::printf("  %-9s %-8s %-22s %-34s in %6.2f eng %6.2f", op.c_str(), HalfName(pic.half), pic.name.c_str(),
                    d.kind.c_str(), r.input, r.engine);
        for (size_t i = 0; i < r.peers.size(); ++i)
            std::printf(" %s %6.2f", g_peers[i].name.c_str(), r.peers[i]);
        if (r.found >= 0)
            std::printf(" found %.0f", r.found);
        if (!found.empty()) {
            // Of the error left in the damage, the share where nothing was found.
            auto sse = [&](const cv::Mat& m) {
                cv::Mat diff;
                cv::absdiff(out, clean, diff);
                diff.convertTo(diff, CV_64F);
                cv::Mat sq = diff.mul(diff);
                sq.setTo(0, m == 0);
                const cv::Scalar t = cv::sum(sq);
                return t[0] + t[1] + t[2];
            };
            const double all = sse(d.truth), missed = sse(d.truth & (found == 0));
            std::printf(" missed-share %.2f", all > 0 ? missed / all : 0.0);
        }
        std::printf(" out %.0f\n", r.outside);
    }
    return r;
}

void Blotches(const Picture& pic, int cases)
{
    for (int k = 0; k < cases; ++k) {
        cv::RNG rng(Seed(1, pic, k));
        BlotchOptions o;
        o.count = pic.page ? 10 : 8;
        o.minRadius = 4;
        o.maxRadius = 20;
        const Damaged d = AddBlotches(pic.image, rng, o);
        cv::Mat out = d.image.clone();
        const double s = Seconds([&] { RemoveBlotches(out, d.userMask, 7, 10); });
        g_groups[pic.half]["blotch"].results.push_back(Score("blotch", pic, pic.image, d, out, cv::Mat(), s, true));
    }
}

CrackParams DefaultCrack(cv::Point a, cv::Point b)
{
    CrackParams p;
    p.thrWhite = 245;
    p.degStart = -90;
    p.stepAngle = 3;
    p.degStop = 90;
    p.start = a;
    p.end = b;
    return p;
}

void Cracks(const Picture& pic, int cases)
{
    for (int k = 0; k < cases; ++k) {
        cv::RNG rng(Seed(2, pic, k));
        CrackOptions o;
        o.minLength = 120;
        o.maxLength = 360;
        const Damaged d = AddCrack(pic.image, rng, o);
        cv::Mat out = d.image.clone(), found;
        const double s = Seconds([&] { RemoveCrack(out, DefaultCrack(d.p1, d.p2), &found); });
        g_groups[pic.half]["crack"].results.push_back(Score("crack", pic, pic.image, d, out, found, s, true));
    }
}

void Creases(const Picture& pic, int cases)
{
    for (int k = 0; k < cases; ++k) {
        cv::RNG rng(Seed(3, pic, k));
        const Damaged d = AddCrease(pic.image, rng, CreaseOptions());
        cv::Mat out = d.image.clone(), found;
        const double s = Seconds([&] { RemoveCrease(out, d.region, 10, 22, 25, &found); });
        const cv::Mat changed = ChangedBy(out, d.image, 0);
        const cv::Mat near = GrowMask(d.truth, 3);
        const double hit = cv::countNonZero(changed & d.truth), total = std::max(1, cv::countNonZero(d.truth));
        const double changedCount = cv::countNonZero(changed);
        const bool wasFound = hit >= 0.5 * total && cv::countNonZero(changed & near) >= 0.5 * changedCount;
        g_groups[pic.half]["crease"].results.push_back(
            Score("crease", pic, pic.image, d, out, found, s, false, wasFound ? 1 : 0));
    }
}

void Foxing(const Picture& pic, int cases)
{
    for (int k = 0; k < cases; ++k) {
        cv::RNG rng(Seed(4, pic, k));
        FoxOptions o;
        // Small dense spots and large faint stains, in turn.
        const bool stains = (k + pic.index) % 2 == 1;
        if (stains) {
            o.count = rng.uniform(2, 6);
            o.minRadius = 18;
            o.maxRadius = 50;
            o.minPeak = 0.08;
            o.maxPeak = 0.25;
        } else {
            o.count = pic.page ? rng.uniform(15, 35) : rng.uniform(6, 16);
            o.minRadius = 2;
            o.maxRadius = pic.page ? 14 : 9;
            o.minPeak = 0.25;
            o.maxPeak = 0.7;
        }
        o.lightAreasOnly = !pic.page;
        cv::Mat clean = pic.image;
        if (!pic.page && rng.uniform(0, 3) == 0) {
            // An old print with its light border.
            const int b = std::max(12, clean.cols / 16);
            const int tone = rng.uniform(200, 240);
            cv::copyMakeBorder(pic.image, clean, b, b, b, b, cv::BORDER_CONSTANT,
                               cv::Scalar(tone - rng.uniform(5, 25), tone - rng.uniform(0, 10), tone));
        }
        const Damaged d = AddFoxing(clean, rng, o);
        if (d.image.empty())
            continue;
        cv::Mat out = d.image.clone(), found;
        const double s = Seconds([&] { RemoveFoxing(out, 3, 2, 0.05, &found); });
        const std::string op = pic.page ? "fox-page" : "fox-photo";
        g_groups[pic.half][op].results.push_back(Score(op, pic, clean, d, out, found, s, false));
    }
}

void CleanRuns(const Picture& pic, int cases)
{
    auto record = [&](const std::string& op, const cv::Mat& out, double s) {
        CleanResult c;
        c.changed = cv::countNonZero(ChangedBy(out, pic.image, 2));
        c.share = c.changed / double(pic.image.total());
        c.seconds = s;
        c.megapixels = pic.image.total() / 1e6;
        g_groups[pic.half][op].clean.push_back(c);
        if (std::getenv("VELTRO_BENCH_DUMP") && c.changed > 0) {
            std::printf("  clean %-7s %-8s %-22s changed %.0f (%.3f%%)\n", op.c_str(), HalfName(pic.half),
                        pic.name.c_str(), c.changed, 100 * c.share);
            Damaged d;
            d.image = pic.image;
            d.truth = cv::Mat::zeros(pic.image.size(), CV_8UC1);
            Dump("clean_" + op + "_" + pic.name, d, out, ChangedBy(out, pic.image, 0));
        }
    };
    const cv::Size size = pic.image.size();
    for (int k = 0; k < cases; ++k) {
        cv::RNG rng(Seed(5, pic, k));
        {
            cv::Mat out = pic.image.clone();
            const double s =
                Seconds([&] { RemoveBlotches(out, cv::Mat::zeros(size, CV_8UC1), 7, 10); });
            record("blotch", out, s);
        }
        {
            // Two points anywhere, 40 to 300 pixels apart.
            const cv::Point a(rng.uniform(0, size.width), rng.uniform(0, size.height));
            const double angle = rng.uniform(0.0, 2 * CV_PI), len = rng.uniform(40.0, 300.0);
            const cv::Point b(std::clamp(int(a.x + len * std::cos(angle)), 0, size.width - 1),
                              std::clamp(int(a.y + len * std::sin(angle)), 0, size.height - 1));
            cv::Mat out = pic.image.clone();
            const double s = Seconds([&] { RemoveCrack(out, DefaultCrack(a, b)); });
            record("crack", out, s);
        }
        {
            const cv::Rect region = RandomRegion(size, rng);
            cv::Mat out = pic.image.clone();
            const double s = Seconds([&] { RemoveCrease(out, region, 10, 22, 25); });
            record("crease", out, s);
        }
        if (k == 0) {
            cv::Mat out = pic.image.clone();
            const double s = Seconds([&] { RemoveFoxing(out, 3, 2, 0.05); });
            record("fox", out, s);
        }
    }
}

// --- Report -------------------------------------------------------------

double Mean(const std::vector<double>& v)
{
    double s = 0;
    int n = 0;
    for (double x : v)
        if (!std::isnan(x)) {
            s += x;
            ++n;
        }
    return n ? s / n : std::nan("");
}

template <typename T, typename F>
double MeanOf(const std::vector<T>& items, F f)
{
    std::vector<double> v;
    for (const T& i : items)
        v.push_back(f(i));
    return Mean(v);
}

const char* kOperations[] = {"blotch", "crack", "crease", "fox-page", "fox-photo"};

int PeerIndex(const std::string& name)
{
    for (size_t i = 0; i < g_peers.size(); ++i)
        if (g_peers[i].name == name)
            return int(i);
    return -1;
}

void PrintHalf(int half)
{
    std::printf("\n== %s half ==\n", HalfName(half));
    std::printf("%-9s %3s | PSNR in the damage: input engine", "operation", "n");
    for (const Peer& p : g_peers)
        std::printf(" %8s", p.name.c_str());
    std::printf(" | changed outside      | found  | s/MP   xTelea\n");
    for (const char* op : kOperations) {
        const Group& g = g_groups[half][op];
        if (g.results.empty())
            continue;
        std::printf("%-9s %3zu |                    %6.2f %6.2f", op, g.results.size(),
                    MeanOf(g.results, [](const Result& r) { return r.input; }),
                    MeanOf(g.results, [](const Result& r) { return r.engine; }));
        for (size_t i = 0; i < g_peers.size(); ++i)
            std::printf(" %8.2f", MeanOf(g.results, [&](const Result& r) { return r.peers[i]; }));
        std::printf(" | %7.0f px %6.3f%% |",
                    MeanOf(g.results, [](const Result& r) { return r.outside; }),
                    100 * MeanOf(g.results, [](const Result& r) { return r.outsideShare; }));
        const double found = MeanOf(g.results, [](const Result& r) { return r.found < 0 ? std::nan("") : r.found; });
        if (std::isnan(found))
            std::printf("   -    |");
        else
            std::printf(" %2.0f/%-3zu |", found * g.results.size(), g.results.size());
        const double sec = MeanOf(g.results, [](const Result& r) { return r.seconds / r.megapixels; });
        const double ratio = MeanOf(g.results, [](const Result& r) {
            return r.teleaSeconds > 0 ? r.seconds / r.teleaSeconds : std::nan("");
        });
        std::printf(" %6.3f %6.1f\n", sec, ratio);
        const double prec = MeanOf(g.results, [](const Result& r) { return r.precision < 0 ? std::nan("") : r.precision; });
        if (!std::isnan(prec))
            std::printf("%-9s       detection: precision %.2f recall %.2f\n", "", prec,
                        MeanOf(g.results, [](const Result& r) { return r.recall < 0 ? std::nan("") : r.recall; }));
    }
    std::printf("clean pictures: pixels changed by more than 2 levels\n");
    std::printf("%-9s %3s | mean pixels  mean share  worst share | s/MP\n", "operation", "n");
    for (const char* op : {"blotch", "crack", "crease", "fox"}) {
        const Group& g = g_groups[half][op];
        if (g.clean.empty())
            continue;
        double worst = 0;
        for (const CleanResult& c : g.clean)
            worst = std::max(worst, c.share);
        std::printf("%-9s %3zu | %11.0f  %9.4f%%  %10.4f%% | %6.3f\n", op, g.clean.size(),
                    MeanOf(g.clean, [](const CleanResult& c) { return c.changed; }),
                    100 * MeanOf(g.clean, [](const CleanResult& c) { return c.share; }), 100 * worst,
                    MeanOf(g.clean, [](const CleanResult& c) { return c.seconds / c.megapixels; }));
    }
}

struct Goal {
    std::string what, target;
    std::function<double(int half)> value;
    std::function<bool(double)> met;
    const char* unit;
};

void PrintGoals()
{
    const int fsr = PeerIndex("FSR_FAST");
    const int bar = fsr >= 0 ? fsr : 0;
    const std::string barName = g_peers[bar].name;
    auto meanEngineMinusPeer = [&](const std::string& op, int half) {
        return MeanOf(g_groups[half][op].results, [&](const Result& r) { return r.engine - r.peers[bar]; });
    };
    auto gain = [&](const std::string& op, int half) {
        return MeanOf(g_groups[half][op].results, [](const Result& r) { return r.engine - r.input; });
    };
    auto worstCleanMean = [&](int half) {
        double worst = 0;
        for (const char* op : {"blotch", "crack", "crease", "fox"})
            worst = std::max(worst, 100 * MeanOf(g_groups[half][op].clean, [](const CleanResult& c) { return c.share; }));
        return worst;
    };
    // Speed does not depend on the half: the same 12-megapixel runs for both.
    auto slowest = [&](int) {
        double worst = 0;
        for (const auto& [op, seconds] : g_seconds12)
            worst = std::max(worst, seconds);
        return g_seconds12.empty() ? std::nan("") : worst;
    };
    std::vector<Goal> goals = {
        {"blotch: engine - " + barName + " (true damage)", ">= +1 dB",
         [&](int h) { return meanEngineMinusPeer("blotch", h); }, [](double v) { return v >= 1.0; }, "dB"},
        {"crack: engine - " + barName + " (true crack)", ">= 0 dB",
         [&](int h) { return meanEngineMinusPeer("crack", h); }, [](double v) { return v >= 0.0; }, "dB"},
        {"crease: found", ">= 90 %",
         [&](int h) { return 100 * MeanOf(g_groups[h]["crease"].results, [](const Result& r) { return r.found; }); },
         [](double v) { return v >= 90.0; }, "%"},
        {"crease: gain over the damaged input", ">= +8 dB", [&](int h) { return gain("crease", h); },
         [](double v) { return v >= 8.0; }, "dB"},
        {"foxing on pages: gain", ">= +8 dB", [&](int h) { return gain("fox-page", h); },
         [](double v) { return v >= 8.0; }, "dB"},
        {"foxing on photographs: gain", ">= +8 dB", [&](int h) { return gain("fox-photo", h); },
         [](double v) { return v >= 8.0; }, "dB"},
        {"clean pictures: changed > 2 levels (worst op)", "<= 0.1 %", worstCleanMean,
         [](double v) { return v <= 0.1; }, "%"},
        {"speed: slowest operation at 12 MP (restoration only)", "<= 2 s", slowest, [](double v) { return v <= 2.0; },
         "s"},
    };
    if (fsr < 0)
        std::printf("\n(FSR_FAST is not built in: install libopencv-contrib-dev; Telea sets the bar instead)\n");
    std::printf("\nGoals (means)                                          goal        tuning   held-out  met (held-out)\n");
    for (const Goal& g : goals) {
        const double t = g.value(kTuning), h = g.value(kHeldOut);
        std::printf("%-54s %-10s %8.2f %-2s %7.2f %-2s  %s\n", g.what.c_str(), g.target.c_str(), t, g.unit, h, g.unit,
                    std::isnan(h) ? "-" : g.met(h) ? "yes" : "NO");
    }
}

int RunLarge(const std::string& engine, const cv::Mat& photo, const cv::Mat& page);

CrackParams DefaultCrack(cv::Point a, cv::Point b);

// Each restoration once on 12-megapixel pictures (a photograph and a page
// enlarged), timed in this process, with Telea on the same damage.
void TimeLarge(const cv::Mat& photo, const cv::Mat& page)
{
    const cv::Size size(4000, 3000);
    cv::Mat big, bigPage;
    cv::resize(photo, big, size, 0, 0, cv::INTER_CUBIC);
    cv::resize(page, bigPage, size, 0, 0, cv::INTER_CUBIC);
    cv::RNG rng(12);
    std::printf("\n12-megapixel pictures, restoration only (seconds; Telea on the true damage as the floor):\n");
    auto report = [&](const char* name, const Damaged& d, const std::function<void(cv::Mat&)>& restore) {
        cv::Mat out = d.image.clone(), telea;
        const double s = Seconds([&] { restore(out); });
        const double floor = Seconds([&] { cv::inpaint(d.image, d.truth, telea, 5, cv::INPAINT_TELEA); });
        g_seconds12[name] = s;
        std::printf("  %-7s %6.2f s   Telea %6.2f s   x%.1f\n", name, s, floor, s / std::max(floor, 1e-6));
    };
    BlotchOptions bo;
    bo.count = 40;
    bo.minRadius = 10;
    bo.maxRadius = 40;
    const Damaged blotch = AddBlotches(big, rng, bo);
    report("blotch", blotch, [&](cv::Mat& m) { RemoveBlotches(m, blotch.userMask, 7, 10); });
    CrackOptions co;
    co.minLength = 1500;
    co.maxLength = 2500;
    const Damaged crack = AddCrack(big, rng, co);
    report("crack", crack, [&](cv::Mat& m) { RemoveCrack(m, DefaultCrack(crack.p1, crack.p2)); });
    FoxOptions fo;
    fo.count = 150;
    fo.minRadius = 6;
    fo.maxRadius = 40;
    const Damaged fox = AddFoxing(bigPage, rng, fo);
    report("fox", fox, [&](cv::Mat& m) { RemoveFoxing(m, 3, 2, 0.05); });
    CreaseOptions ro;
    ro.region = RegionKind::Whole;
    const Damaged crease = AddCrease(big, rng, ro);
    report("crease", crease, [&](cv::Mat& m) { RemoveCrease(m, cv::Rect(0, 0, size.width, size.height), 10, 22, 25); });
}

}  // namespace

int main(int argc, char** argv)
{
    bool large = false, quick = false, tuningOnly = false;
    int casesWanted = 0;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--large")
            large = true;
        else if (a == "--quick")
            quick = true;
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (a == "--tuning")
            tuningOnly = true;
        else if (a == "--cases" && i + 1 < argc)
            casesWanted = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: bench_engine_quality [--quick] [--tuning] [--cases N] [--only blotch|crack|crease|fox|clean] [--large]\n");
            return 2;
        }
    }
    const std::string dir = SampleDataDir();
    if (!std::filesystem::is_directory(dir)) {
        std::printf("The sample photographs are missing (%s): install the package opencv-doc.\n", dir.c_str());
        return 0;
    }
    std::vector<Picture> pictures;
    const std::vector<std::string> names = SamplePhotoNames();
    for (size_t i = 0; i < names.size(); ++i) {
        Picture p;
        p.name = names[i];
        p.image = cv::imread(dir + "/" + names[i], cv::IMREAD_COLOR);
        p.index = int(i);
        p.half = int(i % 2);
        if (p.image.empty()) {
            std::printf("(missing: %s)\n", names[i].c_str());
            continue;
        }
        pictures.push_back(p);
    }
    const int pageCount = 8;
    for (int i = 0; i < pageCount; ++i) {
        Picture p;
        p.page = true;
        p.index = i;
        p.half = i % 2;
        p.name = "page" + std::to_string(i);
        cv::RNG rng(uint64_t(1000 + 2 * i + p.half));
        const cv::Size size(rng.uniform(560, 900), rng.uniform(680, 1000));
        p.image = MakeDocumentPage(size, rng, i % 4 >= 2);
        pictures.push_back(p);
    }
    if (quick) {
        // The first three photographs and two pages of each half.
        std::vector<Picture> few;
        int photos[2] = {0, 0}, pages[2] = {0, 0};
        for (const Picture& p : pictures) {
            int& n = p.page ? pages[p.half] : photos[p.half];
            if (n < (p.page ? 2 : 3)) {
                few.push_back(p);
                ++n;
            }
        }
        pictures = few;
    }
    // VELTRO_BENCH_PICTURE=NAME keeps the pictures whose name holds NAME.
    if (const char* keep = std::getenv("VELTRO_BENCH_PICTURE"))
        pictures.erase(std::remove_if(pictures.begin(), pictures.end(),
                                      [&](const Picture& p) { return p.name.find(keep) == std::string::npos; }),
                       pictures.end());
    if (tuningOnly)
        pictures.erase(std::remove_if(pictures.begin(), pictures.end(), [](const Picture& p) { return p.half != kTuning; }),
                       pictures.end());
    g_peers = Peers(!quick);
    std::printf("Engine quality on synthetic damage, %zu pictures%s; peers:", pictures.size(), quick ? " (quick)" : "");
    for (const Peer& p : g_peers)
        std::printf(" %s", p.name.c_str());
    std::printf("\n");

    const int cases = casesWanted > 0 ? casesWanted : quick ? 1 : 2;
    for (const Picture& pic : pictures) {
        std::fprintf(stderr, "%s ", pic.name.c_str());
        if (only.empty() || only == "blotch")
            Blotches(pic, 1);
        if (only.empty() || only == "crack")
            Cracks(pic, cases);
        if (only.empty() || only == "crease")
            Creases(pic, cases);
        if (only.empty() || only == "fox")
            Foxing(pic, cases);
        if (only.empty() || only == "clean")
            CleanRuns(pic, cases);
    }
    std::fprintf(stderr, "\n");
    if (!quick && only.empty()) {
        const Picture* photo = nullptr;
        const Picture* page = nullptr;
        for (const Picture& p : pictures) {
            if (!p.page && !photo)
                photo = &p;
            if (p.page && !page)
                page = &p;
        }
        if (photo && page)
            TimeLarge(photo->image, page->image);
    }
    PrintHalf(kTuning);
    PrintHalf(kHeldOut);
    PrintGoals();
    std::filesystem::remove_all(TempDir());
    if (large) {
        const Picture* photo = nullptr;
        const Picture* page = nullptr;
        for (const Picture& p : pictures) {
            if (!p.page && !photo)
                photo = &p;
            if (p.page && !page)
                page = &p;
        }
        if (photo && page)
            return RunLarge(VELTRO_ENGINE_PATH, photo->image, page->image);
    }
    return 0;
}

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (f) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
}

int RunLarge(const std::string& engine, const cv::Mat& photo, const cv::Mat& page)
{
    const cv::Size size(4000, 3000);
    const std::string tmp = (std::filesystem::temp_directory_path() / "veltro-bench-large").string();
    std::filesystem::create_directories(tmp);
    cv::RNG rng(7);
    cv::Mat big, bigPage;
    cv::resize(photo, big, size, 0, 0, cv::INTER_CUBIC);
    cv::resize(page, bigPage, size, 0, 0, cv::INTER_CUBIC);
    std::printf("\n12-megapixel pictures (%dx%d), veltro.exe end to end (JPEG read and write included):\n",
                size.width, size.height);
    std::printf("operation  seconds  algorithm-s  Telea-s  peak-MB  picture-MB  exit\n");
    auto report = [&](const char* name, const std::vector<std::string>& args, const std::function<void()>& direct,
                      const Damaged& d) {
        long rss = 0;
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::string> all{engine};
        all.insert(all.end(), args.begin(), args.end());
        const int status = RunChild(all, true, &rss);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double alg = Seconds(direct);
        cv::Mat telea;
        const double floor = Seconds([&] { cv::inpaint(d.image, d.truth, telea, 5, cv::INPAINT_TELEA); });
        std::printf("%-9s  %7.2f  %11.2f  %7.2f  %7.0f  %10.0f  %4d\n", name, wall, alg, floor, rss / 1024.0,
                    size.area() * 3 / 1048576.0, status);
    };
    {
        BlotchOptions o;
        o.count = 40;
        o.minRadius = 10;
        o.maxRadius = 40;
        const Damaged d = AddBlotches(big, rng, o);
        cv::imwrite(tmp + "/blotch.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        cv::imwrite(tmp + "/mask.png", d.userMask);
        WriteText(tmp + "/blotch.log", "DIST\t7\nCOST\t10\nMASKFILE\t" + tmp + "/mask.png\n");
        cv::Mat img = d.image.clone();
        report("blotch", {"-i", tmp + "/blotch.jpg", "-gorex", tmp + "/blotch.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveBlotches(img, d.userMask, 7, 10); }, d);
    }
    {
        CrackOptions o;
        o.minLength = 1500;
        o.maxLength = 2500;
        const Damaged d = AddCrack(big, rng, o);
        cv::imwrite(tmp + "/crack.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        const int h = size.height;
        WriteText(tmp + "/crack.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"
                  "Y1\t" + std::to_string(d.p1.x) + "\nX1\t" + std::to_string(h - 1 - d.p1.y) +
                  "\nY2\t" + std::to_string(d.p2.x) + "\nX2\t" + std::to_string(h - 1 - d.p2.y) + "\n");
        cv::Mat img = d.image.clone();
        report("crack", {"-i", tmp + "/crack.jpg", "-crax", tmp + "/crack.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveCrack(img, DefaultCrack(d.p1, d.p2)); }, d);
    }
    {
        FoxOptions o;
        o.count = 150;
        o.minRadius = 6;
        o.maxRadius = 40;
        const Damaged d = AddFoxing(bigPage, rng, o);
        cv::imwrite(tmp + "/fox.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        WriteText(tmp + "/fox.log", "DIST\t3\nCOST\t2\nAMP\t0.050000\n");
        cv::Mat img = d.image.clone();
        report("fox", {"-i", tmp + "/fox.jpg", "-fox", tmp + "/fox.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveFoxing(img, 3, 2, 0.05); }, d);
    }
    {
        CreaseOptions o;
        o.region = RegionKind::Whole;
        const Damaged d = AddCrease(big, rng, o);
        cv::imwrite(tmp + "/crease.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        const cv::Rect r(0, 0, size.width, size.height);
        WriteText(tmp + "/crease.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t0\nX1\t0\nY2\t" +
                  std::to_string(size.width - 1) + "\nX2\t" + std::to_string(size.height - 1) + "\n");
        cv::Mat img = d.image.clone();
        report("crease", {"-i", tmp + "/crease.jpg", "-crease", tmp + "/crease.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveCrease(img, r, 10, 22, 25); }, d);
    }
    std::filesystem::remove_all(tmp);
    return 0;
}

}  // namespace
