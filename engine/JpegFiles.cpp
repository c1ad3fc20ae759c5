// JPEG in and out through libjpeg-turbo. Reading gives the same pixels as the
// program's own loader (CMYK through the same ink formula, two-component
// files as their first component); writing a JPEG made from a JPEG keeps the
// coded data of every MCU the repair does not touch.

#include "engine/ImageCodecs.h"

#include "engine/EngineError.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace veltro {

struct JpegSource {
    bool cmyk = false;        // four components: the decoded inks are kept
    bool adobeInverted = false;
    cv::Mat inks;             // CMYK samples as the decoder gives them
};

namespace {

constexpr long kMaxDecoderMemory = 4096L * 1024L * 1024L;
constexpr int kMaxScans = 1000;
constexpr int kMinScans = 64;
constexpr double kMaxScanPixels = 1e10;

// One error manager for a decompressor and the compressor it feeds: errors
// jump back to the recovery point with the library's message kept, warnings
// are collected instead of printed, and progressive files are read only up to
// a number of scans that their size justifies.
struct JpegErrors {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 80];
    DecoderWarnings* warnings;
    jpeg_progress_mgr progress;
    int maxScans;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    if (cinfo->err->msg_code == JERR_NO_BACKING_STORE || cinfo->err->msg_code == JERR_OUT_OF_MEMORY)
        std::snprintf(errors->message, sizeof errors->message,
                      "decoding it needs more memory than the %ld MiB the decoder may use",
                      kMaxDecoderMemory / (1024L * 1024L));
    else
        (*cinfo->err->format_message)(cinfo, errors->message);
    longjmp(errors->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    ++cinfo->err->num_warnings;
    if (errors->warnings) {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        errors->warnings->Add(text);
    }
}

// Each progressive scan is a pass over the whole picture: a small file of
// thousands of scans would keep the decoder busy for minutes.
void ScanLimit(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > errors->maxScans) {
        std::snprintf(errors->message, sizeof errors->message,
                      "the file has more than %d progressive scans, more than a picture of this size needs",
                      errors->maxScans);
        longjmp(errors->jump, 1);
    }
}

void InitErrors(JpegErrors& errors, DecoderWarnings* warnings)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.message[0] = '\0';
    errors.warnings = warnings;
    errors.progress = {};
    errors.progress.progress_monitor = ScanLimit;
    errors.maxScans = kMaxScans;
}

// A decompressor over bytes in memory, destroyed with its owner.
struct Decompressor {
    jpeg_decompress_struct info;
    JpegErrors errors;
    explicit Decompressor(DecoderWarnings* warnings)
    {
        InitErrors(errors, warnings);
        info.err = &errors.pub;
        jpeg_create_decompress(&info);
        info.mem->max_memory_to_use = kMaxDecoderMemory;
        info.progress = &errors.progress;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// The compressed output of jpeg_mem_dest, freed with its owner.
struct MemoryDestination {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~MemoryDestination() { std::free(data); }
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(data, data + size); }
};

struct Compressor {
    jpeg_compress_struct info;
    explicit Compressor(JpegErrors& errors)
    {
        info.err = &errors.pub;
        jpeg_create_compress(&info);
    }
    ~Compressor() { jpeg_destroy_compress(&info); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

void SaveMarkers(j_decompress_ptr info)
{
    jpeg_save_markers(info, JPEG_COM, 0xFFFF);
    for (int i = 0; i < 16; ++i)
        jpeg_save_markers(info, JPEG_APP0 + i, 0xFFFF);
}

bool StartsWith(const jpeg_saved_marker_ptr m, const char* tag, size_t length)
{
    return m->data_length >= length && std::memcmp(m->data, tag, length) == 0;
}

void ReadMetadata(j_decompress_ptr info, Metadata& meta)
{
    for (jpeg_saved_marker_ptr m = info->marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && meta.exif.empty() && StartsWith(m, "Exif\0\0", 6))
            meta.exif.assign(m->data + 6, m->data + m->data_length);
        else if (m->marker == JPEG_COM) {
            std::string text(reinterpret_cast<const char*>(m->data), m->data_length);
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            meta.texts.emplace_back("Comment", text);
        }
    }
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(info, &icc, &iccLength)) {
        meta.icc.assign(icc, icc + iccLength);
        std::free(icc);
    }
    // A density without a unit (JFIF's usual 1:1 aspect ratio) says nothing worth keeping.
    if (info->saw_JFIF_marker && (info->density_unit == 1 || info->density_unit == 2) && info->X_density > 0 &&
        info->Y_density > 0) {
        meta.densityUnit = info->density_unit;
        meta.xDensity = info->X_density;
        meta.yDensity = info->Y_density;
    }
}

// Red = (1 - C)(1 - K), as the program shows four-component files: files
// from Adobe's applications store the inks inverted (255 = no ink).
cv::Mat InksToBgr(const cv::Mat& inks, bool inverted)
{
    cv::Mat bgr(inks.size(), CV_8UC3);
    for (int y = 0; y < inks.rows; ++y) {
        const uint8_t* s = inks.ptr<uint8_t>(y);
        uint8_t* d = bgr.ptr<uint8_t>(y);
        for (int x = 0; x < inks.cols; ++x, s += 4, d += 3) {
            unsigned c = s[0], m = s[1], ye = s[2], k = s[3];
            if (!inverted) {
                c = 255 - c; m = 255 - m; ye = 255 - ye; k = 255 - k;
            }
            d[2] = uint8_t((c * k + 127) / 255);
            d[1] = uint8_t((m * k + 127) / 255);
            d[0] = uint8_t((ye * k + 127) / 255);
        }
    }
    return bgr;
}

int EstimatedQuality(const JQUANT_TBL* table)
{
    // The luminance table of libjpeg's quality scaling that fits best.
    static const unsigned kBase[DCTSIZE2] = {
        16, 11, 10, 16, 24, 40, 51, 61,    12, 12, 14, 19, 26, 58, 60, 55,
        14, 13, 16, 24, 40, 57, 69, 56,    14, 17, 22, 29, 51, 87, 80, 62,
        18, 22, 37, 56, 68, 109, 103, 77,  24, 35, 55, 64, 81, 104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    if (!table)
        return 95;
    int best = 95;
    long bestError = -1;
    for (int q = 1; q <= 100; ++q) {
        const long scale = q < 50 ? 5000 / q : 200 - 2 * q;
        long error = 0;
        for (int i = 0; i < DCTSIZE2; ++i) {
            const long v = std::clamp<long>((kBase[i] * scale + 50) / 100, 1, 255);
            error += std::labs(v - long(table->quantval[i]));
        }
        if (bestError < 0 || error <= bestError) {
            bestError = error;
            best = q;
        }
    }
    return best;
}

// --- The coefficient path ---------------------------------------------------

// cos((2x + 1) u pi / 16) C(u) / 2, so that F(u, v) = sum over x, y.
struct DctTable {
    float c[8][8];
    DctTable()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                c[u][x] = float((u == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * M_PI / 16.0));
    }
};

// Forward DCT of one 8x8 block of samples (0..255) and quantisation with the
// file's own table (both in natural order).
void EncodeBlock(const float samples[8][8], const JQUANT_TBL* table, JCOEF* block)
{
    static const DctTable dct;
    float rows[8][8] = {};
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                rows[y][u] += dct.c[u][x] * (samples[y][x] - 128.0f);
    float out[8][8] = {};
    for (int v = 0; v < 8; ++v)
        for (int y = 0; y < 8; ++y)
            for (int u = 0; u < 8; ++u)
                out[v][u] += dct.c[v][y] * rows[y][u];
    for (int i = 0; i < DCTSIZE2; ++i)
        block[i] = JCOEF(std::clamp(std::lround(out[i / 8][i % 8] / float(table->quantval[i])), -2047L, 2047L));
}

enum class Space { Grey, YCbCr, Rgb, Cmyk, Ycck, FirstOnly };

void ToYCbCr(double r, double g, double b, float* out)
{
    out[0] = float(0.299 * r + 0.587 * g + 0.114 * b);
    out[1] = float(-0.168735892 * r - 0.331264108 * g + 0.5 * b + 128.0);
    out[2] = float(0.5 * r - 0.418687589 * g - 0.081312411 * b + 128.0);
}

// The component values (as the file codes them) of one pixel. A pixel of a
// four-component file that the repair changed gets inks that give its new
// colour with at least its old black; unchanged ones keep their inks.
void ComponentValues(Space space, const uint8_t* bgr, const uint8_t* inks, bool changed, bool inverted,
                     float* out)
{
    switch (space) {
    case Space::Grey:
    case Space::FirstOnly:
        out[0] = float(0.299 * bgr[2] + 0.587 * bgr[1] + 0.114 * bgr[0]);
        return;
    case Space::YCbCr: ToYCbCr(bgr[2], bgr[1], bgr[0], out); return;
    case Space::Rgb:
        out[0] = bgr[2]; out[1] = bgr[1]; out[2] = bgr[0];
        return;
    case Space::Cmyk:
    case Space::Ycck: {
        unsigned s[4] = {inks[0], inks[1], inks[2], inks[3]};
        if (changed) {
            // Light values: 255 = no ink.
            const unsigned k0 = inverted ? s[3] : 255 - s[3];
            const unsigned k = std::max({k0, unsigned(bgr[0]), unsigned(bgr[1]), unsigned(bgr[2])});
            const unsigned rgb[3] = {bgr[2], bgr[1], bgr[0]};
            for (int i = 0; i < 3; ++i) {
                const unsigned light = k ? std::min(255u, (rgb[i] * 255 + k / 2) / k) : 255u;
                s[i] = inverted ? light : 255 - light;
            }
            s[3] = inverted ? k : 255 - k;
        }
        if (space == Space::Cmyk) {
            for (int i = 0; i < 4; ++i)
                out[i] = float(s[i]);
        } else {
            // YCCK codes the complements of the first three as YCbCr.
            ToYCbCr(255.0 - s[0], 255.0 - s[1], 255.0 - s[2], out);
            out[3] = float(s[3]);
        }
        return;
    }
    }
}

struct UnitGeometry {
    int width, height;     // of one unit (an MCU) in pixels
    int columns, rows;     // units across and down
};

// Codes the MCU at (ux, uy) again from the restored pixels. Only plain data
// here: the library may jump out of access_virt_barray.
void EncodeUnit(j_decompress_ptr info, jvirt_barray_ptr* arrays, Space space, const UnitGeometry& unit,
                int ux, int uy, const cv::Mat& restored, const cv::Mat& changed, const JpegSource& source)
{
    const int components = space == Space::FirstOnly ? 1 : info->num_components;
    const int x0 = ux * unit.width, y0 = uy * unit.height;
    // Component values of the unit's pixels, the picture's edge repeated past it.
    static thread_local float planes[4][32 * 32];
    for (int j = 0; j < unit.height; ++j) {
        const int y = std::min(y0 + j, restored.rows - 1);
        for (int i = 0; i < unit.width; ++i) {
            const int x = std::min(x0 + i, restored.cols - 1);
            float values[4] = {};
            ComponentValues(space, restored.ptr<uint8_t>(y) + 3 * x,
                            source.cmyk ? source.inks.ptr<uint8_t>(y) + 4 * x : nullptr,
                            changed.at<uint8_t>(y, x) != 0, source.adobeInverted, values);
            for (int c = 0; c < components; ++c)
                planes[c][j * unit.width + i] = values[c];
        }
    }
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info* comp = &info->comp_info[c];
        const int h = info->num_components == 1 ? 1 : comp->h_samp_factor;
        const int v = info->num_components == 1 ? 1 : comp->v_samp_factor;
        const int fx = unit.width / (8 * h), fy = unit.height / (8 * v);
        const JQUANT_TBL* table = comp->quant_table ? comp->quant_table : info->quant_tbl_ptrs[comp->quant_tbl_no];
        JBLOCKARRAY rows = (*info->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(info), arrays[c],
                                                             JDIMENSION(uy * v), JDIMENSION(v), TRUE);
        for (int by = 0; by < v; ++by)
            for (int bx = 0; bx < h; ++bx) {
                float samples[8][8];
                for (int sy = 0; sy < 8; ++sy)
                    for (int sx = 0; sx < 8; ++sx) {
                        // Chroma sampled at a lower rate: the mean of the pixels it covers.
                        float sum = 0;
                        const int px = (bx * 8 + sx) * fx, py = (by * 8 + sy) * fy;
                        for (int dy = 0; dy < fy; ++dy)
                            for (int dx = 0; dx < fx; ++dx)
                                sum += planes[c][(py + dy) * unit.width + px + dx];
                        samples[sy][sx] = sum / float(fx * fy);
                    }
                EncodeBlock(samples, table, rows[by][ux * h + bx]);
            }
    }
}

// The MCUs with a changed pixel, per row of MCUs.
std::vector<std::vector<int>> TouchedUnits(const cv::Mat& changed, const UnitGeometry& unit)
{
    std::vector<std::vector<int>> touched(size_t(unit.rows));
    std::vector<uint8_t> marked(size_t(unit.columns));
    for (int uy = 0; uy < unit.rows; ++uy) {
        std::fill(marked.begin(), marked.end(), 0);
        const int yEnd = std::min(changed.rows, (uy + 1) * unit.height);
        for (int y = uy * unit.height; y < yEnd; ++y) {
            const uint8_t* row = changed.ptr<uint8_t>(y);
            for (int x = 0; x < changed.cols; ++x)
                if (row[x])
                    marked[size_t(x / unit.width)] = 1;
        }
        for (int ux = 0; ux < unit.columns; ++ux)
            if (marked[size_t(ux)])
                touched[size_t(uy)].push_back(ux);
    }
    return touched;
}

}  // namespace

Picture DecodeJpeg(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                   const std::string& what, DecoderWarnings& warnings)
{
    Picture picture;
    picture.format = FileFormat::Jpeg;
    picture.bytes = bytes;
    auto source = std::make_shared<JpegSource>();
    Decompressor d(&warnings);
    const auto failure = [&] {
        std::string reason = d.errors.message;
        if (!warnings.Empty())
            reason += " (after: " + warnings.Folded() + ")";
        return EngineError(kExitUnreadable, what, path, reason);
    };
    if (setjmp(d.errors.jump))
        throw failure();
    jpeg_mem_src(&d.info, bytes->data(), static_cast<unsigned long>(bytes->size()));
    SaveMarkers(&d.info);
    jpeg_read_header(&d.info, TRUE);

    // Every block takes at least one bit of a Huffman-coded file: a file
    // too small for the blocks it declares is damaged or a decompression
    // bomb, and decoding it would cost memory and time for nothing.
    uint64_t blocks = 0;
    for (int c = 0; c < d.info.num_components; ++c)
        blocks += uint64_t(d.info.comp_info[c].width_in_blocks) * d.info.comp_info[c].height_in_blocks;
    const uint64_t width = d.info.image_width, height = d.info.image_height;
    CheckDeclaredSize(width, height, 3, bytes->size(), ~uint64_t(0), path, what);
    if (width * height * 3 > picturelimits::kSmallDecodedBytes && blocks > uint64_t(bytes->size()) * 8)
        throw EngineError(kExitUnreadable, what, path,
                          "the file is " + std::to_string(bytes->size()) + " bytes, too small for the " +
                              std::to_string(width) + "x" + std::to_string(height) +
                              " picture it declares (a damaged file or a decompression bomb)");
    d.errors.maxScans = int(std::clamp(kMaxScanPixels / double(std::max<uint64_t>(1, width * height)),
                                       double(kMinScans), double(kMaxScans)));

    volatile int channels = 3;   // volatile: set between setjmp and a possible longjmp
    switch (d.info.jpeg_color_space) {
    case JCS_GRAYSCALE: d.info.out_color_space = JCS_GRAYSCALE; channels = 1; break;
    case JCS_YCbCr:
    case JCS_RGB: d.info.out_color_space = JCS_EXT_BGR; break;
    case JCS_CMYK:
    case JCS_YCCK: d.info.out_color_space = JCS_CMYK; channels = 4; break;
    default: channels = d.info.num_components; break;   // samples as coded
    }
    ReadMetadata(&d.info, picture.meta);
    cv::Mat raw(int(height), int(width), CV_8UC(channels));
    if (setjmp(d.errors.jump))
        throw failure();
    jpeg_start_decompress(&d.info);
    if (d.info.output_components != channels) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "unexpected number of components (%d)",
                      d.info.output_components);
        throw failure();
    }
    JSAMPROW rows[16];
    while (d.info.output_scanline < d.info.output_height) {
        const JDIMENSION first = d.info.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(16, d.info.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = raw.ptr<uint8_t>(int(first + i));
        if (jpeg_read_scanlines(&d.info, rows, count) == 0) {
            std::snprintf(d.errors.message, sizeof d.errors.message, "the decoder stopped delivering rows");
            throw failure();
        }
    }
    jpeg_finish_decompress(&d.info);

    if (channels == 4) {
        source->cmyk = true;
        source->adobeInverted = d.info.saw_Adobe_marker;
        source->inks = raw;
        picture.stored = InksToBgr(raw, source->adobeInverted);
    } else if (channels == 1 || channels == 3) {
        picture.stored = raw;
    } else {
        // Components of no known colour space: the first one, as grey.
        cv::extractChannel(raw, picture.stored, 0);
    }
    picture.jpeg = source;
    MakeWorkingCopy(picture);
    return picture;
}

std::vector<uint8_t> EncodeJpeg(const cv::Mat& samples, int quality, const Metadata& meta, const std::string& path)
{
    JpegErrors errors;
    InitErrors(errors, nullptr);
    MemoryDestination out;
    Compressor c(errors);
    if (setjmp(errors.jump))
        throw EngineError(kExitUnwritable, "cannot write output", path, errors.message);
    jpeg_mem_dest(&c.info, &out.data, &out.size);
    c.info.image_width = JDIMENSION(samples.cols);
    c.info.image_height = JDIMENSION(samples.rows);
    c.info.input_components = samples.channels();
    c.info.in_color_space = samples.channels() == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, quality, TRUE);
    c.info.optimize_coding = TRUE;
    if (meta.densityUnit != 0 && meta.xDensity > 0 && meta.yDensity > 0 && meta.xDensity <= 65535 &&
        meta.yDensity <= 65535) {
        c.info.density_unit = UINT8(meta.densityUnit);
        c.info.X_density = UINT16(std::lround(meta.xDensity));
        c.info.Y_density = UINT16(std::lround(meta.yDensity));
    }
    jpeg_start_compress(&c.info, TRUE);
    if (!meta.exif.empty() && meta.exif.size() + 6 <= 65533) {
        std::vector<JOCTET> app1 = {'E', 'x', 'i', 'f', 0, 0};
        app1.insert(app1.end(), meta.exif.begin(), meta.exif.end());
        jpeg_write_marker(&c.info, JPEG_APP0 + 1, app1.data(), unsigned(app1.size()));
    }
    if (!meta.icc.empty())
        jpeg_write_icc_profile(&c.info, meta.icc.data(), unsigned(meta.icc.size()));
    for (const auto& text : meta.texts) {
        const std::string comment = text.first == "Comment" ? text.second : text.first + ": " + text.second;
        jpeg_write_marker(&c.info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                          unsigned(std::min<size_t>(comment.size(), 65533)));
    }
    while (c.info.next_scanline < c.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.ptr<uint8_t>(int(c.info.next_scanline)));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return out.Bytes();
}

std::vector<uint8_t> EncodeJpegFromJpeg(const Picture& source, const cv::Mat& restored, const cv::Mat& changed,
                                        const cv::Mat& merged, const std::string& path, std::ostream& notes)
{
    const JpegSource& src = *source.jpeg;
    Decompressor d(nullptr);
    JpegErrors& errors = d.errors;
    MemoryDestination out;
    Compressor c(errors);
    if (setjmp(errors.jump))
        throw EngineError(kExitUnwritable, "cannot write output", path, errors.message);
    jpeg_mem_src(&d.info, source.bytes->data(), static_cast<unsigned long>(source.bytes->size()));
    SaveMarkers(&d.info);
    jpeg_read_header(&d.info, TRUE);

    volatile Space space = Space::FirstOnly;
    switch (d.info.jpeg_color_space) {
    case JCS_GRAYSCALE: space = Space::Grey; break;
    case JCS_YCbCr: space = Space::YCbCr; break;
    case JCS_RGB: space = Space::Rgb; break;
    case JCS_CMYK: space = Space::Cmyk; break;
    case JCS_YCCK: space = Space::Ycck; break;
    default: break;
    }
    bool possible = d.info.data_precision == 8 && (space != Space::Cmyk && space != Space::Ycck ? true : src.cmyk);
    UnitGeometry unit{8, 8, 0, 0};
    if (d.info.num_components > 1) {
        unit.width = 8 * d.info.max_h_samp_factor;
        unit.height = 8 * d.info.max_v_samp_factor;
        for (int ci = 0; ci < d.info.num_components; ++ci) {
            const jpeg_component_info& comp = d.info.comp_info[ci];
            possible = possible && d.info.max_h_samp_factor % comp.h_samp_factor == 0 &&
                       d.info.max_v_samp_factor % comp.v_samp_factor == 0;
        }
    }
    unit.columns = (restored.cols + unit.width - 1) / unit.width;
    unit.rows = (restored.rows + unit.height - 1) / unit.height;
    if (!possible) {
        const int quality = EstimatedQuality(d.info.quant_tbl_ptrs[0]);
        notes << "veltro.exe: warning: " << Escaped(path) << ": the JPEG's coding cannot keep its untouched blocks; "
              << "the whole picture is encoded again at quality " << quality << "\n";
        return EncodeJpeg(merged, quality, source.meta, path);
    }
    const std::vector<std::vector<int>> touched = TouchedUnits(changed, unit);
    // From here on a failure comes back here, with everything above alive.
    if (setjmp(errors.jump))
        throw EngineError(kExitUnwritable, "cannot write output", path, errors.message);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d.info);
    for (int uy = 0; uy < unit.rows; ++uy)
        for (const int ux : touched[size_t(uy)])
            EncodeUnit(&d.info, arrays, space, unit, ux, uy, restored, changed, src);

    jpeg_mem_dest(&c.info, &out.data, &out.size);
    jpeg_copy_critical_parameters(&d.info, &c.info);
    // The same kind of file: JFIF or Adobe headers only where the input had
    // them, progressive, arithmetic-coded and restart intervals as it was.
    c.info.write_JFIF_header = d.info.saw_JFIF_marker;
    c.info.write_Adobe_marker = d.info.saw_Adobe_marker;
    c.info.arith_code = d.info.arith_code;
    c.info.optimize_coding = !d.info.arith_code;
    c.info.restart_interval = d.info.restart_interval;
    if (d.info.progressive_mode)
        jpeg_simple_progression(&c.info);
    jpeg_write_coefficients(&c.info, arrays);
    for (jpeg_saved_marker_ptr m = d.info.marker_list; m; m = m->next) {
        if ((c.info.write_JFIF_header && m->marker == JPEG_APP0 && StartsWith(m, "JFIF\0", 5)) ||
            (c.info.write_Adobe_marker && m->marker == JPEG_APP0 + 14 && StartsWith(m, "Adobe", 5)))
            continue;
        jpeg_write_marker(&c.info, m->marker, m->data, m->data_length);
    }
    jpeg_finish_compress(&c.info);
    jpeg_finish_decompress(&d.info);
    return out.Bytes();
}

}  // namespace veltro
