// Quality and speed of the restoration engine, measured on synthetic damage
// with known ground truth: real photographs (opencv-doc samples) and
// generated document pages. For each operation: PSNR over the damaged
// pixels and over the whole picture for the damaged input, the engine and
// OpenCV's Telea inpainting given the true mask; detection precision and
// recall where the engine finds the damage itself; seconds per megapixel.
// With --large, every operation also runs as veltro.exe on 12-megapixel
// pictures, reporting wall time and peak memory.

#include "SyntheticDamage.h"
#include "engine/Restoration.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace veltro;
using namespace veltro::bench;

namespace {

double Psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask = cv::Mat())
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    diff.convertTo(diff, CV_64F);
    diff = diff.mul(diff);
    double sum = 0, n = 0;
    if (mask.empty()) {
        const cv::Scalar t = cv::sum(diff);
        sum = t[0] + t[1] + t[2];
        n = 3.0 * a.total();
    } else {
        cv::Mat masked;
        diff.copyTo(masked, mask);
        const cv::Scalar t = cv::sum(masked);
        sum = t[0] + t[1] + t[2];
        n = 3.0 * cv::countNonZero(mask);
    }
    if (n == 0)
        return 0;
    const double mse = sum / n;
    return mse <= 1e-10 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct Row {
    double inDamaged = 0, engDamaged = 0, teleaDamaged = 0;
    double inWhole = 0, engWhole = 0, teleaWhole = 0;
    double precision = 0, recall = 0, secondsPerMp = 0;
    double extra1 = 0, extra2 = 0, extra3 = 0;  // operation-specific
    int pictures = 0;
    void Add(const Row& r)
    {
        inDamaged += r.inDamaged; engDamaged += r.engDamaged; teleaDamaged += r.teleaDamaged;
        inWhole += r.inWhole; engWhole += r.engWhole; teleaWhole += r.teleaWhole;
        precision += r.precision; recall += r.recall; secondsPerMp += r.secondsPerMp;
        extra1 += r.extra1; extra2 += r.extra2; extra3 += r.extra3;
        ++pictures;
    }
};

double Seconds(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// With VELTRO_BENCH_DUMP=DIR, the pictures of every case are written there.
void Dump(const std::string& name, const Damaged& d, const cv::Mat& out, const cv::Mat& detected)
{
    static int counter = 0;
    const char* dir = std::getenv("VELTRO_BENCH_DUMP");
    if (!dir)
        return;
    const std::string base = std::string(dir) + "/" + name + std::to_string(counter++);
    cv::imwrite(base + "_damaged.png", d.image);
    cv::imwrite(base + "_out.png", out);
    cv::imwrite(base + "_truth.png", d.truth);
    if (!detected.empty())
        cv::imwrite(base + "_found.png", detected);
}

Row Measure(const cv::Mat& clean, const Damaged& d, const cv::Mat& scoreMask, const cv::Mat& engineOut,
            const cv::Mat& detected, double seconds, const std::string& name)
{
    Dump(name, d, engineOut, detected);
    Row r;
    cv::Mat telea;
    cv::inpaint(d.image, d.truth, telea, 5, cv::INPAINT_TELEA);
    r.inDamaged = Psnr(d.image, clean, scoreMask);
    r.engDamaged = Psnr(engineOut, clean, scoreMask);
    r.teleaDamaged = Psnr(telea, clean, scoreMask);
    r.inWhole = Psnr(d.image, clean);
    r.engWhole = Psnr(engineOut, clean);
    r.teleaWhole = Psnr(telea, clean);
    if (!detected.empty()) {
        const double hit = cv::countNonZero(detected & d.truth);
        r.precision = hit / std::max(1, cv::countNonZero(detected));
        r.recall = hit / std::max(1, cv::countNonZero(d.truth));
    }
    r.secondsPerMp = seconds / (clean.total() / 1e6);
    if (std::getenv("VELTRO_BENCH_DUMP"))
        std::printf("  %-9s %6.2f %6.2f %6.2f  prec %.2f rec %.2f\n", name.c_str(), r.inDamaged, r.engDamaged,
                    r.teleaDamaged, r.precision, r.recall);
    return r;
}

void PrintRow(const char* name, const Row& sum, bool detection, const char* note)
{
    const double n = std::max(1, sum.pictures);
    std::printf("%-8s %3d | %6.2f %6.2f %6.2f %+6.2f | %6.2f %6.2f %6.2f |", name, sum.pictures,
                sum.inDamaged / n, sum.engDamaged / n, sum.teleaDamaged / n,
                (sum.engDamaged - sum.teleaDamaged) / n, sum.inWhole / n, sum.engWhole / n, sum.teleaWhole / n);
    if (detection)
        std::printf(" %5.2f %5.2f |", sum.precision / n, sum.recall / n);
    else
        std::printf("   -     -   |");
    std::printf(" %6.3f  %s\n", sum.secondsPerMp / n, note);
}

// Mean absolute change and share of changed pixels between two pictures.
double ChangedShare(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat diff, changed;
    cv::absdiff(a, b, diff);
    cv::transform(diff, changed, cv::Matx13f(1, 1, 1));
    return double(cv::countNonZero(changed)) / a.total();
}

int RunLarge(const std::string& engine, const cv::Mat& photo, const cv::Mat& page);

}  // namespace

int main(int argc, char** argv)
{
    const bool large = argc > 1 && std::string(argv[1]) == "--large";
    const std::string dir = SampleDataDir();
    if (!std::filesystem::is_directory(dir)) {
        std::printf("The sample photographs are missing (%s): install the package opencv-doc.\n", dir.c_str());
        return 0;
    }
    std::vector<cv::Mat> photos;
    for (const std::string& name : SamplePhotoNames()) {
        cv::Mat p = cv::imread(dir + "/" + name, cv::IMREAD_COLOR);
        if (!p.empty())
            photos.push_back(p);
    }
    cv::RNG rng(20261206);
    std::vector<cv::Mat> pages;
    for (int i = 0; i < 5; ++i)
        pages.push_back(MakeDocumentPage(cv::Size(700, 900), rng));

    Row blotch, crack, fox, foxPhoto, crease;
    Row cleanFox, cleanCrease;
    for (const cv::Mat& clean : photos) {
        {
            const Damaged d = AddBlotches(clean, rng, 8, 5, 18);
            cv::Mat out = d.image.clone(), grown;
            const double s = Seconds([&] { RemoveBlotches(out, d.userMask, 3, 10, &grown); });
            // Telea gets the same grown mask as the engine.
            Damaged same = d;
            same.truth = grown;
            blotch.Add(Measure(clean, same, grown, out, cv::Mat(), s, "blotch"));
        }
        {
            const Damaged d = AddCrack(clean, rng, 150, 320);
            CrackParams p;
            p.start = d.p1;
            p.end = d.p2;
            cv::Mat out = d.image.clone(), found;
            const double s = Seconds([&] { RemoveCrack(out, p, &found); });
            crack.Add(Measure(clean, d, d.truth, out, found, s, "crack"));
        }
        {
            const Damaged d = AddFoxing(clean, rng, 12, 3, 12);
            cv::Mat out = d.image.clone(), found;
            const double s = Seconds([&] { RemoveFoxing(out, 3, 2, 0.05, &found); });
            foxPhoto.Add(Measure(clean, d, d.truth, out, found, s, "foxphoto"));
        }
        {
            const Damaged d = AddCrease(clean, rng);
            cv::Mat out = d.image.clone(), found;
            const double s = Seconds([&] { RemoveCrease(out, d.region, 10, 22, 25, &found); });
            Row r = Measure(clean, d, d.truth, out, found, s, "crease");
            // Outside the region nothing may change.
            cv::Mat outside = cv::Mat::ones(clean.size(), CV_8UC1) * 255;
            outside(d.region).setTo(0);
            cv::Mat diff;
            cv::absdiff(out, d.image, diff);
            cv::Mat changedOutside;
            cv::transform(diff, changedOutside, cv::Matx13f(1, 1, 1));
            r.extra1 = cv::countNonZero(changedOutside & outside);
            crease.Add(r);
        }
        {
            // A clean photograph through the detecting operations.
            cv::Mat out = clean.clone();
            RemoveFoxing(out, 3, 2, 0.05);
            Row r;
            r.extra1 = ChangedShare(out, clean);
            r.engWhole = Psnr(out, clean);
            cleanFox.Add(r);
            out = clean.clone();
            RemoveCrease(out, cv::Rect(0, 0, clean.cols, clean.rows), 10, 22, 25);
            r.extra1 = ChangedShare(out, clean);
            r.engWhole = Psnr(out, clean);
            cleanCrease.Add(r);
        }
    }
    for (const cv::Mat& clean : pages) {
        const Damaged d = AddFoxing(clean, rng, 25, 4, 16);
        cv::Mat out = d.image.clone(), found;
        const double s = Seconds([&] { RemoveFoxing(out, 3, 2, 0.05, &found); });
        Row r = Measure(clean, d, d.truth, out, found, s, "foxpage");
        // Text under the stains: the ink pixels of the clean page there.
        cv::Mat grey, ink;
        cv::cvtColor(clean, grey, cv::COLOR_BGR2GRAY);
        ink = (grey < 120) & d.truth;
        cv::Mat telea;
        cv::inpaint(d.image, d.truth, telea, 5, cv::INPAINT_TELEA);
        r.extra1 = Psnr(d.image, clean, ink);
        r.extra2 = Psnr(out, clean, ink);
        r.extra3 = Psnr(telea, clean, ink);
        fox.Add(r);
    }

    std::printf("Engine quality on synthetic damage (PSNR in dB; means over the pictures)\n");
    std::printf("operation  n | damaged pixels: input engine  Telea  eng-T | whole picture: input engine  Telea |"
                "  prec   rec | s/MP\n");
    PrintRow("blotch", blotch, false, "(Telea on the same grown mask)");
    PrintRow("crack", crack, true, "(Telea on the true crack mask)");
    PrintRow("fox-page", fox, true, "(Telea on the true stain mask)");
    PrintRow("fox-photo", foxPhoto, true, "");
    PrintRow("crease", crease, true, "(Telea on the true crease mask)");
    const double nf = std::max(1, fox.pictures);
    std::printf("\nText under the stains (ink pixels, PSNR): input %.2f, engine %.2f, Telea %.2f\n",
                fox.extra1 / nf, fox.extra2 / nf, fox.extra3 / nf);
    std::printf("Crease: changed pixels outside the region: %.0f (mean per picture)\n",
                crease.extra1 / std::max(1, crease.pictures));
    const double nc = std::max(1, cleanFox.pictures);
    std::printf("Clean photographs: foxing changes %.3f%% of pixels (PSNR %.1f), crease over the whole picture "
                "changes %.3f%% (PSNR %.1f)\n",
                100 * cleanFox.extra1 / nc, cleanFox.engWhole / nc, 100 * cleanCrease.extra1 / nc,
                cleanCrease.engWhole / nc);
    if (large && !photos.empty())
        return RunLarge(VELTRO_ENGINE_PATH, photos[1], pages[0]);
    return 0;
}

namespace {

struct Run {
    double seconds = 0;
    long maxRssKb = 0;
    int status = -1;
};

Run RunEngine(const std::string& engine, const std::vector<std::string>& args)
{
    Run r;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        // The engine's progress lines would mix with this report.
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(engine.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(engine.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.maxRssKb = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

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
    std::printf("operation  seconds  algorithm-s  peak-MB  picture-MB  exit\n");
    auto report = [&](const char* name, const std::vector<std::string>& args, const std::function<void()>& direct) {
        const Run r = RunEngine(engine, args);
        const double alg = Seconds(direct);
        std::printf("%-9s  %7.2f  %11.2f  %7.0f  %10.0f  %4d\n", name, r.seconds, alg, r.maxRssKb / 1024.0,
                    size.area() * 3 / 1048576.0, r.status);
    };
    {
        const Damaged d = AddBlotches(big, rng, 40, 10, 40);
        cv::imwrite(tmp + "/blotch.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        cv::imwrite(tmp + "/mask.png", d.userMask);
        WriteText(tmp + "/blotch.log", "DIST\t3\nCOST\t10\nMASKFILE\t" + tmp + "/mask.png\n");
        cv::Mat img = d.image.clone();
        report("blotch", {"-i", tmp + "/blotch.jpg", "-gorex", tmp + "/blotch.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveBlotches(img, d.userMask, 3, 10); });
    }
    {
        const Damaged d = AddCrack(big, rng, 1500, 2500);
        cv::imwrite(tmp + "/crack.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        const int h = size.height;
        WriteText(tmp + "/crack.log", "THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"
                  "Y1\t" + std::to_string(d.p1.x) + "\nX1\t" + std::to_string(h - 1 - d.p1.y) +
                  "\nY2\t" + std::to_string(d.p2.x) + "\nX2\t" + std::to_string(h - 1 - d.p2.y) + "\n");
        cv::Mat img = d.image.clone();
        CrackParams p;
        p.start = d.p1;
        p.end = d.p2;
        report("crack", {"-i", tmp + "/crack.jpg", "-crax", tmp + "/crack.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveCrack(img, p); });
    }
    {
        const Damaged d = AddFoxing(bigPage, rng, 150, 6, 40);
        cv::imwrite(tmp + "/fox.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        WriteText(tmp + "/fox.log", "DIST\t3\nCOST\t2\nAMP\t0.050000\n");
        cv::Mat img = d.image.clone();
        report("fox", {"-i", tmp + "/fox.jpg", "-fox", tmp + "/fox.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveFoxing(img, 3, 2, 0.05); });
    }
    {
        const Damaged d = AddCrease(big, rng);
        cv::imwrite(tmp + "/crease.jpg", d.image, {cv::IMWRITE_JPEG_QUALITY, 95});
        const cv::Rect r(0, 0, size.width, size.height);
        WriteText(tmp + "/crease.log", "THR1\t10.000000\nQ\t22\nN\t25\nY1\t0\nX1\t0\nY2\t" +
                  std::to_string(size.width - 1) + "\nX2\t" + std::to_string(size.height - 1) + "\n");
        cv::Mat img = d.image.clone();
        report("crease", {"-i", tmp + "/crease.jpg", "-crease", tmp + "/crease.log", "-o", tmp + "/out.jpg"},
               [&] { RemoveCrease(img, r, 10, 22, 25); });
    }
    std::filesystem::remove_all(tmp);
    return 0;
}

}  // namespace
