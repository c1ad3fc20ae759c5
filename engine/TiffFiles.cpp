// TIFF in and out through libtiff: 8- and 16-bit grey or RGB, strips or
// tiles, with or without alpha, read sample for sample; other kinds (palette,
// bilevel, CMYK, separate planes) through libtiff's RGBA reader at 8 bits.
// Written deflate-compressed with the input's depth, channels, resolution,
// ICC profile, orientation and descriptions.

#include "engine/ImageCodecs.h"

#include "engine/EngineError.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <tiffio.h>

namespace veltro {

namespace {

// A TIFF file in memory, for reading or for writing.
struct MemoryStream {
    const std::vector<uint8_t>* in = nullptr;
    std::vector<uint8_t>* out = nullptr;
    uint64_t pos = 0;
    uint64_t Size() const { return in ? in->size() : out->size(); }
};

tmsize_t StreamRead(thandle_t h, void* buffer, tmsize_t size)
{
    auto* s = static_cast<MemoryStream*>(h);
    if (!s->in || size < 0 || s->pos >= s->in->size())
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(size), s->in->size() - s->pos);
    std::memcpy(buffer, s->in->data() + s->pos, n);
    s->pos += n;
    return tmsize_t(n);
}

tmsize_t StreamWrite(thandle_t h, void* buffer, tmsize_t size)
{
    auto* s = static_cast<MemoryStream*>(h);
    if (!s->out || size < 0)
        return -1;
    if (s->pos + uint64_t(size) > s->out->size())
        s->out->resize(s->pos + uint64_t(size));
    std::memcpy(s->out->data() + s->pos, buffer, size_t(size));
    s->pos += uint64_t(size);
    return size;
}

toff_t StreamSeek(thandle_t h, toff_t offset, int whence)
{
    auto* s = static_cast<MemoryStream*>(h);
    const uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->Size() : 0;
    s->pos = base + offset;
    return s->pos;
}

int StreamClose(thandle_t) { return 0; }
toff_t StreamSize(thandle_t h) { return static_cast<MemoryStream*>(h)->Size(); }

int StreamMap(thandle_t h, void** base, toff_t* size)
{
    auto* s = static_cast<MemoryStream*>(h);
    if (!s->in)
        return 0;
    *base = const_cast<uint8_t*>(s->in->data());
    *size = s->in->size();
    return 1;
}

void StreamUnmap(thandle_t, void*, toff_t) {}

// libtiff's messages for one file: the first error, and the warnings.
struct TiffMessages {
    std::string error;
    DecoderWarnings* warnings = nullptr;
};

std::string Format(const char* module, const char* fmt, va_list ap)
{
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    return module && *module ? std::string(module) + ": " + text : std::string(text);
}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
{
    auto* m = static_cast<TiffMessages*>(user);
    if (m->error.empty())
        m->error = Format(module, fmt, ap);
    return 1;
}

int OnWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
{
    auto* m = static_cast<TiffMessages*>(user);
    // Unknown private tags are common and harmless.
    const std::string text = Format(module, fmt, ap);
    if (m->warnings && text.find("unknown field") == std::string::npos &&
        text.find("Unknown field") == std::string::npos)
        m->warnings->Add(text);
    return 1;
}

// An open TIFF, closed with its owner.
class Tiff {
public:
    Tiff(const std::string& name, const char* mode, MemoryStream& stream, TiffMessages& messages)
    {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &messages);
        m_tif = TIFFClientOpenExt(name.c_str(), mode, &stream, StreamRead, StreamWrite, StreamSeek, StreamClose,
                                  StreamSize, StreamMap, StreamUnmap, options);
        TIFFOpenOptionsFree(options);
    }
    ~Tiff() { Close(); }
    Tiff(const Tiff&) = delete;
    Tiff& operator=(const Tiff&) = delete;
    void Close()
    {
        if (m_tif)
            TIFFClose(m_tif);
        m_tif = nullptr;
    }
    TIFF* get() const { return m_tif; }

private:
    TIFF* m_tif = nullptr;
};

const struct { ttag_t tag; const char* key; } kTextTags[] = {
    {TIFFTAG_IMAGEDESCRIPTION, "Comment"},
    {TIFFTAG_ARTIST, "Author"},
    {TIFFTAG_COPYRIGHT, "Copyright"},
    {TIFFTAG_DOCUMENTNAME, "Title"},
};

void ReadMetadata(TIFF* tif, Metadata& meta)
{
    uint32_t iccLength = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength)
        meta.icc.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + iccLength);
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) && x > 0 && y > 0 &&
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit) && unit != RESUNIT_NONE) {
        meta.densityUnit = unit == RESUNIT_CENTIMETER ? 2 : 1;
        meta.xDensity = x;
        meta.yDensity = y;
    }
    for (const auto& t : kTextTags) {
        const char* text = nullptr;
        if (TIFFGetField(tif, t.tag, &text) && text && *text)
            meta.texts.emplace_back(t.key, text);
    }
    uint16_t orientation = 0;
    if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation))
        meta.orientation = orientation;
}

// Reads the samples of a contiguous 8- or 16-bit picture into `raw`.
bool ReadSamples(TIFF* tif, cv::Mat& raw)
{
    const size_t rowBytes = raw.cols * raw.elemSize();
    if (TIFFIsTiled(tif)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileSize = TIFFTileSize(tif);
        if (tw == 0 || th == 0 || tileSize <= 0 || uint64_t(tileSize) < uint64_t(tw) * th * raw.elemSize())
            return false;
        std::vector<uint8_t> tile(size_t(tileSize), 0);
        const size_t tileRow = size_t(tw) * raw.elemSize();
        for (uint32_t ty = 0; ty < uint32_t(raw.rows); ty += th)
            for (uint32_t tx = 0; tx < uint32_t(raw.cols); tx += tw) {
                if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0)
                    return false;
                const size_t bytes = std::min<size_t>(tileRow, rowBytes - tx * raw.elemSize());
                for (uint32_t r = 0; r < th && ty + r < uint32_t(raw.rows); ++r)
                    std::memcpy(raw.ptr<uint8_t>(int(ty + r)) + tx * raw.elemSize(), tile.data() + r * tileRow, bytes);
            }
        return true;
    }
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, uint32_t(raw.rows));
    const tmsize_t stripSize = TIFFStripSize(tif);
    if (stripSize <= 0 || uint64_t(stripSize) < uint64_t(rowsPerStrip) * rowBytes)
        return false;
    std::vector<uint8_t> strip(static_cast<size_t>(stripSize));
    for (uint32_t row = 0, s = 0; row < uint32_t(raw.rows); row += rowsPerStrip, ++s) {
        const uint32_t rows = std::min(rowsPerStrip, uint32_t(raw.rows) - row);
        if (TIFFReadEncodedStrip(tif, s, strip.data(), tmsize_t(rows * rowBytes)) < 0)
            return false;
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(raw.ptr<uint8_t>(int(row + r)), strip.data() + r * rowBytes, rowBytes);
    }
    return true;
}

}  // namespace

Picture DecodeTiff(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                   const std::string& what, DecoderWarnings& warnings)
{
    MemoryStream stream;
    stream.in = bytes.get();
    TiffMessages messages;
    messages.warnings = &warnings;
    Tiff tiff(path, "r", stream, messages);
    TIFF* tif = tiff.get();
    const auto failure = [&](const std::string& fallback) {
        std::string reason = messages.error.empty() ? fallback : messages.error;
        if (!warnings.Empty())
            reason += " (after: " + warnings.Folded() + ")";
        return EngineError(kExitUnreadable, what, path, reason);
    };
    if (!tif)
        throw failure("not a TIFF file that can be read");

    uint32_t width = 0, height = 0;
    uint16_t bits = 1, spp = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE, extraCount = 0;
    uint16_t* extraKinds = nullptr;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    CheckDeclaredSize(width, height, std::max<uint64_t>(1, uint64_t(spp) * bits / 8), bytes->size(), 4096, path,
                      what);
    if (sampleFormat != SAMPLEFORMAT_UINT)
        throw failure("its samples are not whole numbers (floating-point or signed TIFFs are not read)");

    Picture picture;
    picture.format = FileFormat::Tiff;
    picture.bytes = bytes;
    ReadMetadata(tif, picture.meta);
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    const int colours = photometric == PHOTOMETRIC_RGB ? 3 : 1;
    const bool direct = (bits == 8 || bits == 16) && planar == PLANARCONFIG_CONTIG && spp >= colours &&
                        (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_MINISBLACK ||
                         photometric == PHOTOMETRIC_MINISWHITE);
    const bool alpha = spp > colours && extraCount > 0 && extraKinds &&
                       (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || extraKinds[0] == EXTRASAMPLE_UNASSALPHA);
    const int kept = colours + (alpha ? 1 : 0);
    if (direct) {
        const int depth = bits == 16 ? CV_16U : CV_8U;
        cv::Mat raw(int(height), int(width), CV_MAKETYPE(depth, spp));
        if (!ReadSamples(tif, raw))
            throw failure("its picture data cannot be decoded");
        cv::Mat samples = raw;
        if (spp != kept) {
            samples.create(raw.size(), CV_MAKETYPE(depth, kept));
            std::vector<int> from;
            for (int c = 0; c < kept; ++c)
                from.insert(from.end(), {c, c});
            cv::mixChannels(&raw, 1, &samples, 1, from.data(), size_t(kept));
        }
        if (photometric == PHOTOMETRIC_MINISWHITE) {
            // Stored inverted: kept as the grey levels they show.
            std::vector<cv::Mat> planes;
            cv::split(samples, planes);
            cv::bitwise_not(planes[0], planes[0]);
            cv::merge(planes, samples);
        }
        if (colours == 3)
            cv::cvtColor(samples, picture.stored, alpha ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGB2BGR);
        else
            picture.stored = samples;
    } else {
        // Everything else as 8-bit RGBA through libtiff's own conversions.
        cv::Mat rgba(int(height), int(width), CV_8UC4);
        if (!TIFFReadRGBAImageOriented(tif, width, height, rgba.ptr<uint32_t>(), ORIENTATION_TOPLEFT, 0))
            throw failure("its kind of picture cannot be decoded");
        const bool grey = colours == 1 && photometric != PHOTOMETRIC_PALETTE && photometric != PHOTOMETRIC_SEPARATED;
        if (grey && !alpha) {
            cv::extractChannel(rgba, picture.stored, 0);
        } else {
            cv::cvtColor(rgba, picture.stored, alpha ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGBA2BGR);
        }
    }
    const tdir_t pages = TIFFNumberOfDirectories(tif);
    if (pages > 1)
        warnings.Add("only the first of its " + std::to_string(pages) + " pages is read");
    if (!messages.error.empty())
        throw failure("");
    MakeWorkingCopy(picture);
    return picture;
}

std::vector<uint8_t> EncodeTiff(const cv::Mat& samples, const Metadata& meta, const std::string& path)
{
    std::vector<uint8_t> out;
    MemoryStream stream;
    stream.out = &out;
    TiffMessages messages;
    const uint64_t dataBytes = uint64_t(samples.total()) * samples.elemSize();
    Tiff tiff(path, dataBytes > 3500ull * 1024 * 1024 ? "w8" : "w", stream, messages);
    TIFF* tif = tiff.get();
    const auto failure = [&] {
        return EngineError(kExitUnwritable, "cannot write output", path,
                           "TIFF encoding failed" + (messages.error.empty() ? std::string() : ": " + messages.error));
    };
    if (!tif)
        throw failure();
    const int channels = samples.channels();
    const int bits = samples.depth() == CV_16U ? 16 : 8;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(samples.cols));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(samples.rows));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(channels));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, channels <= 2 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (channels % 2 == 0) {
        const uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &kind);
    }
    const size_t rowBytes = samples.cols * samples.elemSize();
    const uint32_t rowsPerStrip = uint32_t(std::clamp<size_t>((256 * 1024) / std::max<size_t>(rowBytes, 1), 1,
                                                              size_t(samples.rows)));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (meta.densityUnit != 0 && meta.xDensity > 0 && meta.yDensity > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(meta.xDensity));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(meta.yDensity));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, meta.densityUnit == 1 ? RESUNIT_INCH : RESUNIT_CENTIMETER);
    }
    if (!meta.icc.empty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(meta.icc.size()), meta.icc.data());
    for (const auto& text : meta.texts)
        for (const auto& t : kTextTags)
            if (text.first == t.key)
                TIFFSetField(tif, t.tag, text.second.c_str());
    if (meta.orientation >= 1 && meta.orientation <= 8)
        TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(meta.orientation));

    cv::Mat rows;
    for (uint32_t row = 0, s = 0; row < uint32_t(samples.rows); row += rowsPerStrip, ++s) {
        const int count = int(std::min<uint32_t>(rowsPerStrip, uint32_t(samples.rows) - row));
        const cv::Mat part = samples.rowRange(int(row), int(row) + count);
        if (channels >= 3)
            cv::cvtColor(part, rows, channels == 4 ? cv::COLOR_BGRA2RGBA : cv::COLOR_BGR2RGB);
        else
            rows = part.clone();
        if (TIFFWriteEncodedStrip(tif, s, rows.data, tmsize_t(count * rowBytes)) < 0)
            throw failure();
    }
    if (!TIFFWriteDirectory(tif))
        throw failure();
    tiff.Close();
    if (!messages.error.empty())
        throw failure();
    return out;
}

}  // namespace veltro
