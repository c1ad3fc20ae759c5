// How fast the loader turns a large photograph into a pixel block, against
// the floor that any loader pays: libjpeg-turbo decoding the same file
// straight into a freshly allocated block of the same size (4 bytes per
// pixel), which includes the first touch of that memory. Also reports how far
// the process's peak memory grows during one load, against the block size.
//
// Usage: bench_jpeg_load [source.jpg] [repetitions]
// The test picture is made from source.jpg (default: one of OpenCV's sample
// photographs, else a synthetic one), scaled to 6000 x 4000 with added grain
// and written as a 4:2:0, quality 90 JPEG in a temporary directory.

#include "document/CVeltroInterfaceDoc.h"
#include "document/JpegLoader.h"

#include "BenchJpeg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace benchjpeg;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Reads a "VmXXX:   1234 kB" line of /proc/self/status, in bytes; -1 if absent.
long long StatusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::atoll(line.c_str() + n + 1) * 1024;
    }
    return -1;
}

// Starts a new peak-memory measurement (Linux resets VmHWM to the current RSS).
bool ResetPeak()
{
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (f == nullptr)
        return false;
    const bool bOk = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && bOk;
}

double LoadThroughLoader(const QString& path)
{
    const double t0 = Now();
    CVeltroInterfaceDoc* pDoc = new CVeltroInterfaceDoc;
    const int result = LoadJpegImage(pDoc, path);
    delete pDoc;
    const double t = Now() - t0;
    return result == 0 ? t : -1;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

} // namespace

int main(int argc, char** argv)
{
    std::string sourceName;
    const QImage source = LoadSource(argc > 1 ? argv[1] : nullptr, &sourceName);
    if (source.isNull()) {
        std::fprintf(stderr, "could not read %s\n", sourceName.c_str());
        return 1;
    }
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.jpg"));
    if (!dir.isValid() || !MakeTestFile(source, path, kWidth, kHeight)) {
        std::fprintf(stderr, "could not write the test picture\n");
        return 1;
    }
    const QByteArray nativePath = QFile::encodeName(path);
    const double mp = double(kWidth) * kHeight / 1e6;
    const long long fileBytes = static_cast<long long>(QFile(path).size());
    std::printf("picture: %d x %d (%.1f MP), 4:2:0, quality 90, %lld bytes (%.2f bits per pixel), "
                "from %s\n",
                kWidth, kHeight, mp, fileBytes, fileBytes * 8.0 / (mp * 1e6), sourceName.c_str());

    // Warm the file cache and the code once.
    if (DecodeFloor(nativePath.constData()) < 0 || LoadThroughLoader(path) < 0) {
        std::fprintf(stderr, "decoding failed\n");
        return 1;
    }

    std::vector<double> tLoader, tFloor, tAdvised;
    for (int i = 0; i < reps; ++i) {
        // Rotate the order so no side always runs on a warmer heap.
        for (int k = 0; k < 3; ++k) {
            switch ((i + k) % 3) {
            case 0: tLoader.push_back(LoadThroughLoader(path)); break;
            case 1: tFloor.push_back(DecodeFloor(nativePath.constData())); break;
            default: tAdvised.push_back(DecodeFloor(nativePath.constData(), true)); break;
            }
        }
    }
    const auto report = [&](const char* label, const std::vector<double>& t) {
        const double best = *std::min_element(t.begin(), t.end());
        const double med = Median(t);
        std::printf("%-44s best %6.1f MP/s (%6.1f ms)  median %6.1f MP/s (%6.1f ms)\n", label,
                    mp / best, best * 1e3, mp / med, med * 1e3);
    };
    std::printf("repetitions: %d\n", reps);
    report("LoadJpegImage:", tLoader);
    report("floor (libjpeg RGBX, fresh block):", tFloor);
    report("floor, block advised to use 2 MB pages:", tAdvised);
    const auto ratio = [&](const std::vector<double>& a, const std::vector<double>& b) {
        return std::make_pair(*std::min_element(a.begin(), a.end()) / *std::min_element(b.begin(), b.end()),
                              Median(a) / Median(b));
    };
    const auto r1 = ratio(tLoader, tFloor), r2 = ratio(tLoader, tAdvised);
    std::printf("loader time / floor time:          best %.3f, median %.3f (goal: at most 1.15)\n",
                r1.first, r1.second);
    std::printf("loader time / advised floor time:  best %.3f, median %.3f\n", r2.first, r2.second);

    // Peak memory of one load: how far the peak resident size rises above
    // the resident size before the call (the peak stays recorded after the
    // block is released). The floor's figure shows what the library itself
    // needs beside the block.
    const long long block = static_cast<long long>(kWidth) * kHeight * 4;
    long long growth[2] = {-1, -1};
    for (int which = 0; which < 2; ++which) {
        if (!ResetPeak())
            break;
        const long long before = StatusBytes("VmRSS");
        if (which == 0)
            LoadThroughLoader(path);
        else
            DecodeFloor(nativePath.constData());
        growth[which] = StatusBytes("VmHWM") - before;
    }
    if (growth[0] < 0 || growth[1] < 0) {
        std::printf("peak RSS growth: not measurable here (/proc/self/clear_refs unavailable)\n");
    } else {
        std::printf("pixel block: %.2f MiB; one scanline of samples: %.1f KiB\n", block / 1048576.0,
                    kWidth * 3 / 1024.0);
        std::printf("peak RSS growth, loader: %.2f MiB (block + %.2f MiB)\n", growth[0] / 1048576.0,
                    (growth[0] - block) / 1048576.0);
        std::printf("peak RSS growth, floor:  %.2f MiB (block + %.2f MiB)\n", growth[1] / 1048576.0,
                    (growth[1] - block) / 1048576.0);
    }
    return 0;
}
