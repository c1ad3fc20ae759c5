// PNG in and out through libpng: grey, grey with alpha, RGB and RGBA of 8
// or 16 bits (palettes and fewer bits are expanded to 8), with resolution,
// ICC profile, EXIF and texts.

#include "engine/ImageCodecs.h"

#include "engine/EngineError.h"

#include <cmath>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace veltro {

namespace {

// Decoded bytes per byte of a PNG file: deflate gives at most about 1032.
constexpr uint64_t kMaxPngRatio = 1100;

struct PngState {
    const std::vector<uint8_t>* in = nullptr;
    size_t pos = 0;
    std::vector<uint8_t>* out = nullptr;
    DecoderWarnings* warnings = nullptr;
    std::string error;
};

PngState* StateOf(png_structp png) { return static_cast<PngState*>(png_get_error_ptr(png)); }

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    StateOf(png)->error = message ? message : "PNG error";
    png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message)
{
    if (PngState* s = StateOf(png); s->warnings && message)
        s->warnings->Add(message);
}

void ReadData(png_structp png, png_bytep data, size_t length)
{
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (length > s->in->size() - s->pos)
        png_error(png, "the file ends before its picture data");
    std::memcpy(data, s->in->data() + s->pos, length);
    s->pos += length;
}

void WriteData(png_structp png, png_bytep data, size_t length)
{
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    s->out->insert(s->out->end(), data, data + length);
}

void Flush(png_structp) {}

void ReadMetadata(png_structp png, png_infop info, Metadata& meta)
{
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile && length)
        meta.icc.assign(profile, profile + length);
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x > 0 && y > 0) {
        // Pixels per metre become dots per inch, as scans are described.
        meta.densityUnit = 1;
        meta.xDensity = std::round(x * 2.54) / 100.0;
        meta.yDensity = std::round(y * 2.54) / 100.0;
    }
    png_uint_32 exifLength = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &exifLength, &exif) && exif && exifLength)
        meta.exif.assign(exif, exif + exifLength);
    png_textp texts = nullptr;
    int count = 0;
    if (png_get_text(png, info, &texts, &count))
        for (int i = 0; i < count; ++i)
            meta.texts.emplace_back(texts[i].key ? texts[i].key : "",
                                    texts[i].text ? std::string(texts[i].text, texts[i].text_length ? texts[i].text_length
                                                                                                     : texts[i].itxt_length)
                                                  : std::string());
}

struct ReadGuard {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadGuard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct WriteGuard {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteGuard() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool IsAscii(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

}  // namespace

Picture DecodePng(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                  const std::string& what, DecoderWarnings& warnings)
{
    PngState state;
    state.in = bytes.get();
    state.warnings = &warnings;
    Picture picture;
    picture.format = FileFormat::Png;
    picture.bytes = bytes;
    std::vector<png_bytep> rows;
    cv::Mat raw;
    ReadGuard guard;
    guard.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (!guard.png)
        throw EngineError(kExitUnreadable, what, path, "out of memory");
    guard.info = png_create_info_struct(guard.png);
    if (setjmp(png_jmpbuf(guard.png))) {
        std::string reason = state.error;
        if (!warnings.Empty())
            reason += " (after: " + warnings.Folded() + ")";
        throw EngineError(kExitUnreadable, what, path, reason);
    }
    if (!guard.info)
        png_error(guard.png, "out of memory");
    png_set_read_fn(guard.png, &state, ReadData);
    png_set_user_limits(guard.png, picturelimits::kMaxSide, picturelimits::kMaxSide);
    png_read_info(guard.png, guard.info);
    const png_uint_32 width = png_get_image_width(guard.png, guard.info);
    const png_uint_32 height = png_get_image_height(guard.png, guard.info);
    const int colourType = png_get_color_type(guard.png, guard.info);
    const int bitDepth = png_get_bit_depth(guard.png, guard.info);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(guard.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(guard.png);
    if (png_get_valid(guard.png, guard.info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(guard.png);
    if (bitDepth == 16)
        png_set_swap(guard.png);
    png_set_bgr(guard.png);
    png_set_interlace_handling(guard.png);
    png_read_update_info(guard.png, guard.info);
    const int channels = png_get_channels(guard.png, guard.info);
    const int depth = png_get_bit_depth(guard.png, guard.info);
    CheckDeclaredSize(width, height, uint64_t(channels) * (depth == 16 ? 2 : 1), bytes->size(), kMaxPngRatio, path,
                      what);
    raw.create(int(height), int(width), CV_MAKETYPE(depth == 16 ? CV_16U : CV_8U, channels));
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = raw.ptr<png_byte>(int(y));
    png_read_image(guard.png, rows.data());
    png_read_end(guard.png, guard.info);
    ReadMetadata(guard.png, guard.info, picture.meta);
    picture.stored = raw;
    MakeWorkingCopy(picture);
    return picture;
}

std::vector<uint8_t> EncodePng(const cv::Mat& samples, const Metadata& meta, const std::string& path)
{
    std::vector<uint8_t> out;
    PngState state;
    state.out = &out;
    std::vector<png_text> texts;
    std::vector<std::string> keys;
    WriteGuard guard;
    guard.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (!guard.png)
        throw EngineError(kExitUnwritable, "cannot write output", path, "out of memory");
    guard.info = png_create_info_struct(guard.png);
    if (setjmp(png_jmpbuf(guard.png)))
        throw EngineError(kExitUnwritable, "cannot write output", path, "PNG encoding failed: " + state.error);
    if (!guard.info)
        png_error(guard.png, "out of memory");
    png_set_write_fn(guard.png, &state, WriteData, Flush);
    // A profile libpng finds wrong is left out rather than failing the output.
    png_set_benign_errors(guard.png, 1);
    const int channels = samples.channels();
    const int bits = samples.depth() == CV_16U ? 16 : 8;
    static const int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                 PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(guard.png, guard.info, png_uint_32(samples.cols), png_uint_32(samples.rows), bits,
                 kTypes[channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (meta.densityUnit != 0 && meta.xDensity > 0 && meta.yDensity > 0) {
        const double perMetre = meta.densityUnit == 1 ? 100.0 / 2.54 : 100.0;
        png_set_pHYs(guard.png, guard.info, png_uint_32(std::lround(meta.xDensity * perMetre)),
                     png_uint_32(std::lround(meta.yDensity * perMetre)), PNG_RESOLUTION_METER);
    }
    if (!meta.icc.empty())
        png_set_iCCP(guard.png, guard.info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, meta.icc.data(),
                     png_uint_32(meta.icc.size()));
    if (!meta.exif.empty())
        png_set_eXIf_1(guard.png, guard.info, png_uint_32(meta.exif.size()), const_cast<png_bytep>(meta.exif.data()));
    for (const auto& text : meta.texts)
        if (!text.first.empty() && text.first.size() < 80 && IsAscii(text.first))
            keys.push_back(text.first);
    texts.resize(keys.size());
    for (size_t i = 0, k = 0; i < meta.texts.size() && k < keys.size(); ++i) {
        const auto& text = meta.texts[i];
        if (text.first != keys[k])
            continue;
        png_text& t = texts[k++];
        std::memset(&t, 0, sizeof t);
        t.compression = IsAscii(text.second) ? PNG_TEXT_COMPRESSION_NONE : PNG_ITXT_COMPRESSION_NONE;
        t.key = const_cast<png_charp>(text.first.c_str());
        t.text = const_cast<png_charp>(text.second.c_str());
        t.text_length = text.second.size();
    }
    if (!texts.empty())
        png_set_text(guard.png, guard.info, texts.data(), int(texts.size()));
    png_write_info(guard.png, guard.info);
    png_set_bgr(guard.png);
    if (bits == 16)
        png_set_swap(guard.png);
    for (int y = 0; y < samples.rows; ++y)
        png_write_row(guard.png, const_cast<png_bytep>(samples.ptr<png_byte>(y)));
    // Everything went before the picture data (given here again, libpng
    // would write the EXIF twice).
    png_write_end(guard.png, nullptr);
    return out;
}

}  // namespace veltro
