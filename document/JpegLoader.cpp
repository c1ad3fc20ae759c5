#include "document/JpegLoader.h"

#include "document/CVeltroInterfaceDoc.h"
#include "document/ImageFile.h"

#include <QFile>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

#include <tiffio.h>
// jpeglib.h expects size_t and FILE to be declared before it.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// The library's error manager extended with a recovery point, and with room
// for the reason a load failed so the caller can show it.
struct RecoveringErrorMgr
{
    jpeg_error_mgr pub;
    jmp_buf setjmp_buffer;
    char reason[JMSG_LENGTH_MAX + 64];
    void (*default_emit_message)(j_common_ptr, int);
    // While rows are being read: the output row at which the compressed data
    // ran out for good (-1 while it has not), and whether to watch for it.
    bool bWatchDataEnd;
    long nDataEndRow;
};

// Replaces the library's error_exit: print the library's message to standard
// error (its own output_message), keep it for the caller, and jump back to
// the recovery point. Never returns to the library.
[[noreturn]] void RecoveringErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<RecoveringErrorMgr*>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    const int code = cinfo->err->msg_code;
    if (code == JERR_NO_BACKING_STORE) {
        // The decoder's working memory is capped and it keeps no temporary
        // files: say which limit was hit rather than "backing store".
        std::snprintf(err->reason, sizeof err->reason,
                      "decoding the picture needs more than the %ld MiB of working memory "
                      "the decoder may use",
                      jpeglimits::kMaxDecoderMemory / (1024L * 1024L));
    } else if (code == JERR_OUT_OF_MEMORY) {
        std::snprintf(err->reason, sizeof err->reason,
                      "not enough memory to decode the picture");
    } else {
        (*cinfo->err->format_message)(cinfo, err->reason);
    }
    longjmp(err->setjmp_buffer, 1);
}

// Wraps the library's emit_message to notice when a single-scan file's data
// is exhausted: the decoder warns that it hit a marker, and the marker is the
// end of the file, so every row still to come would be made from nothing.
// A tiny file that declares a huge picture would otherwise have the decoder
// produce all of those rows.
void WatchingEmitMessage(j_common_ptr cinfo, int msg_level)
{
    auto* err = reinterpret_cast<RecoveringErrorMgr*>(cinfo->err);
    err->default_emit_message(cinfo, msg_level);
    if (msg_level >= 0 || !err->bWatchDataEnd || err->nDataEndRow >= 0 || !cinfo->is_decompressor)
        return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (err->pub.msg_code == JWRN_HIT_MARKER && dinfo->unread_marker == 0xD9 /* EOI */)
        err->nDataEndRow = long(dinfo->output_scanline);
}

// The progress monitor with the scan limit of the picture being read.
struct ScanLimitProgress
{
    jpeg_progress_mgr pub;
    int nMaxScans;
};

// Progressive files are read scan by scan, each scan a pass over the whole
// picture; a small file made of thousands of scans would keep the decoder
// busy for minutes. Give up past the picture's limit. The library calls this
// for every row of coefficients it absorbs, so it stops within one scan.
void ScanLimitMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    const int nMaxScans = reinterpret_cast<ScanLimitProgress*>(cinfo->progress)->nMaxScans;
    if (dinfo->input_scan_number > nMaxScans) {
        auto* err = reinterpret_cast<RecoveringErrorMgr*>(cinfo->err);
        std::snprintf(err->reason, sizeof err->reason,
                      "the file has more than %d progressive scans, more than a picture of "
                      "this size needs",
                      nMaxScans);
        std::fprintf(stderr, "%s\n", err->reason);
        longjmp(err->setjmp_buffer, 1);
    }
}

// Faults in a large fresh block 2 MB at a time instead of 4 KB at a time:
// with the block written once, page faults are most of the cost of a load.
// Only advice; nothing depends on it being taken.
void AdviseLargeBlock(void* pBlock, size_t nBytes)
{
#ifdef MADV_HUGEPAGE
    constexpr size_t kHuge = size_t(2) * 1024 * 1024;
    if (nBytes < 4 * kHuge)
        return;
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0)
        return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(pBlock) + uintptr_t(page) - 1)
                            & ~(uintptr_t(page) - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(pBlock) + nBytes) & ~(uintptr_t(page) - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)pBlock;
    (void)nBytes;
#endif
}

// Packs one decoded scanline into buffer words 0x00BBGGRR.
// Packing is the loader's only work beyond the decoder's, so it matters on
// large pictures: load R, G, B and the next pixel's red as one little-endian
// word and drop the top byte, or, where the processor has SSSE3, shuffle
// four pixels at a time. The last pixels are done byte by byte so no read
// goes past the end of the row.
void PackRgbTail(const JSAMPLE* s, uint32_t* w, JDIMENSION x, JDIMENSION width)
{
    for (s += 3 * size_t(x); x < width; ++x, s += 3)
        w[x] = uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16);
}

void PackRgbWords(const JSAMPLE* s, uint32_t* w, JDIMENSION width)
{
    JDIMENSION x = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x + 1 < width; ++x) {
        uint32_t v;
        std::memcpy(&v, s + 3 * size_t(x), sizeof v);
        w[x] = v & 0xFFFFFFu;
    }
#endif
    PackRgbTail(s, w, x, width);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("ssse3"))) void PackRgbSsse3(const JSAMPLE* s, uint32_t* w, JDIMENSION width)
{
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    JDIMENSION x = 0;
    // Each step reads 16 bytes (5 1/3 pixels) and writes 4 pixels.
    for (; x + 6 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * size_t(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + x), _mm_shuffle_epi8(v, shuffle));
    }
    PackRgbTail(s, w, x, width);
}
#endif

using PackRgbFn = void (*)(const JSAMPLE*, uint32_t*, JDIMENSION);

PackRgbFn ChoosePackRgb()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("ssse3"))
        return PackRgbSsse3;
#endif
    return PackRgbWords;
}

void PackGrey(const JSAMPLE* s, uint32_t* w, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x)
        w[x] = uint32_t(s[x]) * 0x010101u;
}

// Any other sample count (files with two, or more than four, components of
// no known colour space): the first sample as a grey level.
void PackFirstSample(const JSAMPLE* s, uint32_t* w, JDIMENSION width, int components)
{
    for (JDIMENSION x = 0; x < width; ++x, s += components)
        w[x] = uint32_t(s[0]) * 0x010101u;
}

// Four-sample files (CMYK, or YCCK which the library turns into CMYK). Files
// written by Adobe's applications store the inks inverted (255 = no ink),
// others store them plainly; either way red = (1 - C)(1 - K).
void PackCmyk(const JSAMPLE* s, uint32_t* w, JDIMENSION width, bool bInverted)
{
    for (JDIMENSION x = 0; x < width; ++x, s += 4) {
        unsigned c = s[0], m = s[1], y = s[2], k = s[3];
        if (!bInverted) {
            c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k;
        }
        const uint32_t r = (c * k + 127) / 255;
        const uint32_t g = (m * k + 127) / 255;
        const uint32_t b = (y * k + 127) / 255;
        w[x] = r | (g << 8) | (b << 16);
    }
}

// The 8 x 8 blocks of all components, each coded at least once.
uint64_t CodedBlocks(const jpeg_decompress_struct* cinfo)
{
    uint64_t nBlocks = 0;
    for (int c = 0; c < cinfo->num_components; ++c)
        nBlocks += uint64_t(cinfo->comp_info[c].width_in_blocks) * uint64_t(cinfo->comp_info[c].height_in_blocks);
    return nBlocks;
}

} // namespace

int MaxProgressiveScans(uint32_t nWidth, uint32_t nHeight)
{
    const uint64_t pixels = std::max<uint64_t>(1, uint64_t(nWidth) * uint64_t(nHeight));
    const uint64_t byBudget = jpeglimits::kMaxScanPixels / pixels;
    return int(std::clamp<uint64_t>(byBudget, uint64_t(jpeglimits::kMinScans),
                                    uint64_t(jpeglimits::kMaxScans)));
}

int LoadJpegImage(CVeltroInterfaceDoc* pDoc, QString strPath, QString* pstrReason)
{
    // A NUL-terminated copy of the path, in the file system's encoding; it is
    // released on every way out with the std::string.
    const std::string path = QFile::encodeName(strPath).toStdString();

    // Only a regular file: a named pipe would keep the program waiting.
    uint64_t nFileSize = 0;
    QString strOpenError;
    FILE* infile = imagefile::OpenRegularFile(path, &strOpenError, &nFileSize);
    if (infile == nullptr) {
        std::fprintf(stderr, "can't open %s\n", path.c_str());
        if (pstrReason != nullptr)
            *pstrReason = strOpenError;
        return 1;
    }

    jpeg_decompress_struct cinfo;
    RecoveringErrorMgr jerr;
    jerr.reason[0] = '\0';
    ScanLimitProgress progress;
    progress.pub.progress_monitor = ScanLimitMonitor;
    progress.nMaxScans = jpeglimits::kMaxScans;

    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = RecoveringErrorExit;
    jerr.default_emit_message = jerr.pub.emit_message;
    jerr.pub.emit_message = WatchingEmitMessage;
    jerr.bWatchDataEnd = false;
    jerr.nDataEndRow = -1;

    // Buffer rows 0..nextRow (the bottom of the picture) are not decoded yet;
    // whatever is not decoded in the end is cleared to black. volatile: it
    // changes between setjmp and longjmp.
    volatile long nextRow = -1;

    if (setjmp(jerr.setjmp_buffer)) {
        if (pDoc->m_pImage != nullptr && nextRow >= 0)
            imagefile::ClearWords(pDoc->m_pImage, size_t(nextRow + 1) * size_t(pDoc->m_nWidth));
        jpeg_destroy_decompress(&cinfo);
        std::fclose(infile);
        if (pstrReason != nullptr)
            *pstrReason = QString::fromLocal8Bit(jerr.reason);
        return 1;
    }

    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = jpeglimits::kMaxDecoderMemory;
    cinfo.progress = &progress.pub;
    jpeg_stdio_src(&cinfo, infile);
    jpeg_read_header(&cinfo, TRUE);

    // Refuse a size we will not allocate before the decoder allocates its
    // own buffers for it.
    const uint64_t pixels = uint64_t(cinfo.image_width) * uint64_t(cinfo.image_height);
    if (pixels > jpeglimits::kMaxPixels
        || cinfo.image_width > uint32_t(std::numeric_limits<int32_t>::max())
        || cinfo.image_height > uint32_t(std::numeric_limits<int32_t>::max())) {
        std::snprintf(jerr.reason, sizeof jerr.reason,
                      "the picture is too large (%u x %u pixels; at most %llu pixels are accepted)",
                      unsigned(cinfo.image_width), unsigned(cinfo.image_height),
                      static_cast<unsigned long long>(jpeglimits::kMaxPixels));
        std::fprintf(stderr, "%s: %s\n", path.c_str(), jerr.reason);
        longjmp(jerr.setjmp_buffer, 1);
    }
    // A file read in several scans is first gathered into coefficients for
    // the whole picture, whatever the file holds. Each block takes at least
    // one bit of the file in its first scan, so a file too small to code
    // every block once declares a picture it cannot describe: refuse it
    // before the decoder allocates and walks gigabytes for it.
    if (cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components) {
        const uint64_t nBlocks = CodedBlocks(&cinfo);
        if (nBlocks > nFileSize * 8) {
            std::snprintf(jerr.reason, sizeof jerr.reason,
                          "the file is too small for the picture it declares (%u x %u pixels need at "
                          "least %llu bytes of data; the file has %llu)",
                          unsigned(cinfo.image_width), unsigned(cinfo.image_height),
                          static_cast<unsigned long long>((nBlocks + 7) / 8),
                          static_cast<unsigned long long>(nFileSize));
            std::fprintf(stderr, "%s: %s\n", path.c_str(), jerr.reason);
            longjmp(jerr.setjmp_buffer, 1);
        }
    }
    progress.nMaxScans = MaxProgressiveScans(cinfo.image_width, cinfo.image_height);

    jpeg_start_decompress(&cinfo);

    const JDIMENSION width = cinfo.output_width;
    const JDIMENSION height = cinfo.output_height;
    const int components = cinfo.output_components;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, width * JDIMENSION(components), 1);

    const uint64_t bytes = uint64_t(width) * uint64_t(height) * sizeof(uint32_t);
    if (bytes > std::numeric_limits<tmsize_t>::max() || bytes > std::numeric_limits<size_t>::max()) {
        std::snprintf(jerr.reason, sizeof jerr.reason, "the picture's size does not fit in memory");
        std::fprintf(stderr, "%s: %s\n", path.c_str(), jerr.reason);
        longjmp(jerr.setjmp_buffer, 1);
    }
    auto* block = static_cast<uint32_t*>(_TIFFmalloc(static_cast<tmsize_t>(bytes)));
    if (block == nullptr) {
        std::snprintf(jerr.reason, sizeof jerr.reason,
                      "not enough memory for a picture of %u x %u pixels",
                      unsigned(width), unsigned(height));
        std::fprintf(stderr, "%s: %s\n", path.c_str(), jerr.reason);
        longjmp(jerr.setjmp_buffer, 1);
    }
    AdviseLargeBlock(block, size_t(bytes));

    // A document is loaded once; should it ever be loaded again, the old
    // block goes rather than leaks.
    if (pDoc->m_pImage != nullptr)
        _TIFFfree(pDoc->m_pImage);
    pDoc->m_nHeight = int32_t(height);
    pDoc->m_nWidth = int32_t(width);
    pDoc->m_pImage = block;
    pDoc->m_nChannels = 3;

    // The top of the picture goes to the last buffer row.
    const bool bAdobeInverted = cinfo.saw_Adobe_marker;
    static const PackRgbFn PackRgb = ChoosePackRgb();
    // Rows made after the data ran out are left black, once the rows that
    // may still hold decoded data are out: the unit of rows (one row of
    // 8 x 8 blocks at the largest vertical sampling) being decoded when it
    // ran out, and the two the output may lag behind by when the upsampler
    // needs the rows around it.
    const long nRowsPerUnit = long(cinfo.max_v_samp_factor) * DCTSIZE;
    jerr.bWatchDataEnd = true;
    nextRow = long(height) - 1;
    while (cinfo.output_scanline < height) {
        if (jerr.nDataEndRow >= 0 && long(cinfo.output_scanline) >= jerr.nDataEndRow + 3 * nRowsPerUnit)
            break;
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1 || nextRow < 0) {
            // Only a suspending data source returns no row, and ours never
            // suspends; should it happen, stop rather than pack a stale row
            // or step below the block.
            std::snprintf(jerr.reason, sizeof jerr.reason, "the decoder stopped delivering rows");
            std::fprintf(stderr, "%s: %s\n", path.c_str(), jerr.reason);
            longjmp(jerr.setjmp_buffer, 1);
        }
        uint32_t* dest = block + size_t(nextRow) * width;
        if (components == 3)
            PackRgb(row[0], dest, width);
        else if (components == 4)
            PackCmyk(row[0], dest, width, bAdobeInverted);
        else if (components == 1)
            PackGrey(row[0], dest, width);
        else
            PackFirstSample(row[0], dest, width, components);
        nextRow = nextRow - 1;
    }

    if (cinfo.output_scanline < height) {
        // Stopped at the end of the data: the library already warned, and
        // the picture is complete as far as the file goes.
        imagefile::ClearWords(block, size_t(nextRow + 1) * width);
        jpeg_destroy_decompress(&cinfo);
        std::fclose(infile);
        return 0;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(infile);
    return 0;
}
