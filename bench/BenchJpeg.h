// Test pictures and the decoding floor shared by the benchmarks that read
// JPEG files: a photograph scaled up with film-like grain, written as a
// 4:2:0, quality 90 JPEG, and libjpeg-turbo decoding a file straight into a
// fresh block of 4 bytes per pixel, the least any loader pays.
#pragma once

#include <QFile>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include <jpeglib.h>

namespace benchjpeg {

struct ErrorMgr
{
    jpeg_error_mgr pub;
    jmp_buf recover;
};

[[noreturn]] inline void ErrorExit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<ErrorMgr*>(cinfo->err)->recover, 1);
}

inline volatile unsigned g_sink = 0;

// The same advice the loader gives for its block (2 MB pages), so the
// decoding itself can be compared without the cost of page faults.
inline void AdviseHugePages(void* p, size_t n)
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

inline double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The source photograph as RGB888, decoded with the library itself (Qt's
// JPEG plug-in is not needed).
inline QImage DecodeSource(const char* path)
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
inline QImage SyntheticSource()
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

// Scales to nWidth x nHeight, adds film-like grain and writes a 4:2:0,
// quality 90 JPEG.
inline bool MakeTestFile(const QImage& source, const QString& outPath, int nWidth, int nHeight)
{
    QImage big = source.scaled(nWidth, nHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
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
// included; negative on failure. With nScaleDenom 2, 4 or 8 the library
// decodes the picture reduced that many times (its DCT scaling).
inline double DecodeFloor(const char* path, bool bAdvise = false, int nScaleDenom = 1)
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
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(nScaleDenom);
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

// The source photograph for the test pictures: the file given, else one of
// OpenCV's sample photographs, else a synthetic scene; its name in *pName.
inline QImage LoadSource(const char* pszGiven, std::string* pName)
{
    const char* const candidates[] = {"/usr/share/doc/opencv-doc/examples/data/baboon.jpg",
                                      "/usr/share/doc/opencv-doc/examples/data/fruits.jpg",
                                      "/usr/share/doc/opencv-doc/examples/data/lena.jpg"};
    if (pszGiven != nullptr) {
        *pName = pszGiven;
        return DecodeSource(pszGiven);
    }
    for (const char* pszCandidate : candidates) {
        QImage image = DecodeSource(pszCandidate);
        if (!image.isNull()) {
            *pName = pszCandidate;
            return image;
        }
    }
    *pName = "synthetic scene";
    return SyntheticSource();
}

} // namespace benchjpeg
