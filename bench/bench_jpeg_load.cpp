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

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

struct ErrorMgr
{
    jpeg_error_mgr pub;
    jmp_buf recover;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<ErrorMgr*>(cinfo->err)->recover, 1);
}

volatile unsigned g_sink = 0;

// The same advice the loader gives for its block (2 MB pages), so the
// decoding itself can be compared without the cost of page faults.
void AdviseHugePages(void* p, size_t n)
{
#ifdef MADV_HUGEPAGE
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

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

// The source photograph as RGB888, decoded with the library itself (Qt's
// JPEG plug-in is not needed).
QImage DecodeSource(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return {};
    jpeg_decompress_struct cinfo;
    ErrorMgr jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = ErrorExit;
    QImage* pImage = new QImage;
    if (setjmp(jerr.recover)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        delete pImage;
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    *pImage = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pImage->scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    QImage image = *pImage;
    delete pImage;
    return image;
}

// A smooth synthetic scene for machines without the sample photographs.
QImage SyntheticSource()
{
    QImage image(600, 400, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* p = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, p += 3) {
            p[0] = uchar(128 + 100 * std::sin(x * 0.031) * std::cos(y * 0.017));
            p[1] = uchar(128 + 90 * std::sin((x + y) * 0.023));
            p[2] = uchar(128 + 80 * std::cos(x * 0.011 - y * 0.029));
        }
    }
    return image;
}

// Scales to the benchmark size, adds film-like grain and writes a 4:2:0,
// quality 90 JPEG.
bool MakeTestFile(const QImage& source, const QString& outPath)
{
    QImage big = source.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_RGB888);
    uint32_t seed = 12345;
    for (int y = 0; y < big.height(); ++y) {
        uchar* p = big.scanLine(y);
        for (int i = 0; i < big.width() * 3; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int v = int(p[i]) + int((seed >> 24) % 17) - 8;
            p[i] = uchar(std::clamp(v, 0, 255));
        }
    }

    FILE* f = std::fopen(QFile::encodeName(outPath).constData(), "wb");
    if (f == nullptr)
        return false;
    jpeg_compress_struct cinfo;
    ErrorMgr jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = ErrorExit;
    if (setjmp(jerr.recover)) {
        jpeg_destroy_compress(&cinfo);
        std::fclose(f);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = JDIMENSION(big.width());
    cinfo.image_height = JDIMENSION(big.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = big.scanLine(int(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

// The floor: the library decodes into a fresh malloc'ed block of W*H*4
// bytes, straight into its rows (bottom-up, as the program stores them), as
// 8-bit R, G, B, X. Returns the seconds taken, allocation and release
// included; negative on failure.
double DecodeFloor(const char* path, bool bAdvise = false)
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return -1;
    const double t0 = Now();
    jpeg_decompress_struct cinfo;
    ErrorMgr jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = ErrorExit;
    unsigned char* volatile block = nullptr;
    JSAMPROW* volatile rows = nullptr;
    if (setjmp(jerr.recover)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        std::free(block);
        std::free(rows);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_RGBX;
    jpeg_start_decompress(&cinfo);
    const size_t w = cinfo.output_width, h = cinfo.output_height;
    block = static_cast<unsigned char*>(std::malloc(w * h * 4));
    rows = static_cast<JSAMPROW*>(std::malloc(h * sizeof(JSAMPROW)));
    if (block == nullptr || rows == nullptr)
        longjmp(jerr.recover, 1);
    if (bAdvise)
        AdviseHugePages(block, w * h * 4);
    for (size_t y = 0; y < h; ++y)
        rows[y] = block + (h - 1 - y) * w * 4;
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows + cinfo.output_scanline,
                            cinfo.output_height - cinfo.output_scanline);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    // Keep the decoded block observable so the work cannot be dropped.
    g_sink = g_sink + block[(w * h * 4) / 2];
    std::free(block);
    std::free(rows);
    return Now() - t0;
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
    const char* defaultSources[] = {"/usr/share/doc/opencv-doc/examples/data/baboon.jpg",
                                    "/usr/share/doc/opencv-doc/examples/data/fruits.jpg",
                                    "/usr/share/doc/opencv-doc/examples/data/lena.jpg"};
    QImage source;
    std::string sourceName;
    if (argc > 1) {
        source = DecodeSource(argv[1]);
        sourceName = argv[1];
    } else {
        for (const char* candidate : defaultSources) {
            source = DecodeSource(candidate);
            if (!source.isNull()) {
                sourceName = candidate;
                break;
            }
        }
    }
    if (source.isNull()) {
        source = SyntheticSource();
        sourceName = "synthetic scene";
    }
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.jpg"));
    if (!dir.isValid() || !MakeTestFile(source, path)) {
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
