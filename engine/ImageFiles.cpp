#include "engine/ImageFiles.h"

#include "engine/EngineError.h"
#include "engine/Files.h"
#include "engine/ImageCodecs.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace veltro {

namespace {

constexpr size_t kKeptWarnings = 3;

bool EndsWith(const std::string& text, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i])
            return false;
    return true;
}

// The stored samples as 8 bits, colour channels only.
cv::Mat EightBitColour(const cv::Mat& stored)
{
    cv::Mat eight = stored;
    if (stored.depth() == CV_16U)
        stored.convertTo(eight, CV_8U, 1.0 / 257.0);
    if (eight.channels() == 2) {
        cv::Mat grey;
        cv::extractChannel(eight, grey, 0);
        return grey;
    }
    if (eight.channels() == 4) {
        cv::Mat bgr;
        cv::cvtColor(eight, bgr, cv::COLOR_BGRA2BGR);
        return bgr;
    }
    return eight;
}

// The stored samples with the restored pixels in place where `changed` is
// set: grey from their luminance, 16 bits as 257 times 8 bits, alpha kept.
cv::Mat Merged(const cv::Mat& stored, const cv::Mat& restored, const cv::Mat& changed)
{
    cv::Mat merged = stored.clone();
    const int channels = stored.channels();
    const bool wide = stored.depth() == CV_16U;
    for (int y = 0; y < stored.rows; ++y) {
        const uint8_t* c = changed.ptr<uint8_t>(y);
        const uint8_t* r = restored.ptr<uint8_t>(y);
        uint8_t* m8 = merged.ptr<uint8_t>(y);
        uint16_t* m16 = merged.ptr<uint16_t>(y);
        for (int x = 0; x < stored.cols; ++x) {
            if (!c[x])
                continue;
            const uint8_t* p = r + 3 * x;
            unsigned values[3] = {p[0], p[1], p[2]};
            int count = 3;
            if (channels <= 2) {
                values[0] = unsigned(std::lround(0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2]));
                count = 1;
            }
            for (int i = 0; i < count; ++i) {
                if (wide)
                    m16[size_t(x) * channels + i] = uint16_t(values[i] * 257);
                else
                    m8[size_t(x) * channels + i] = uint8_t(values[i]);
            }
        }
    }
    return merged;
}

FileFormat Sniff(const std::vector<uint8_t>& b, bool& known)
{
    known = true;
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return FileFormat::Jpeg;
    if (b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0)
        return FileFormat::Png;
    if (b.size() >= 4 && ((b[0] == 'I' && b[1] == 'I' && (b[2] == 42 || b[2] == 43) && b[3] == 0) ||
                          (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && (b[3] == 42 || b[3] == 43))))
        return FileFormat::Tiff;
    known = false;
    return FileFormat::Jpeg;
}

}  // namespace

bool FormatFromName(const std::string& path, FileFormat& format)
{
    if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg"))
        format = FileFormat::Jpeg;
    else if (EndsWith(path, ".tif") || EndsWith(path, ".tiff"))
        format = FileFormat::Tiff;
    else if (EndsWith(path, ".png"))
        format = FileFormat::Png;
    else
        return false;
    return true;
}

const char* FormatName(FileFormat format)
{
    switch (format) {
    case FileFormat::Jpeg: return "JPEG";
    case FileFormat::Tiff: return "TIFF";
    case FileFormat::Png: return "PNG";
    }
    return "";
}

void DecoderWarnings::Add(std::string message)
{
    ++m_count;
    if (m_kept.size() < kKeptWarnings && std::find(m_kept.begin(), m_kept.end(), message) == m_kept.end())
        m_kept.push_back(std::move(message));
}

std::string DecoderWarnings::Folded() const
{
    std::string text;
    for (const std::string& w : m_kept)
        text += (text.empty() ? "" : "; ") + w;
    if (m_count > m_kept.size())
        text += " (and " + std::to_string(m_count - m_kept.size()) + " more)";
    return text;
}

void CheckDeclaredSize(uint64_t width, uint64_t height, uint64_t bytesPerPixel, uint64_t fileBytes,
                       uint64_t maxRatio, const std::string& path, const std::string& what)
{
    using namespace picturelimits;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width == 0 || height == 0)
        throw EngineError(kExitUnreadable, what, path, "the picture is empty (" + size + ")");
    if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        throw EngineError(kExitUnreadable, what, path,
                          "the picture is too large (" + size + " pixels; at most " +
                              std::to_string(kMaxPixels) + " pixels, " + std::to_string(kMaxSide) + " a side)");
    const uint64_t decoded = width * height * bytesPerPixel;
    if (decoded > kSmallDecodedBytes && fileBytes < decoded / maxRatio)
        throw EngineError(kExitUnreadable, what, path,
                          "the file is " + std::to_string(fileBytes) + " bytes, too small for the " + size +
                              " picture it declares (a damaged file or a decompression bomb)");
}

void MakeWorkingCopy(Picture& picture)
{
    const cv::Mat colour = EightBitColour(picture.stored);
    if (colour.channels() == 1)
        cv::cvtColor(colour, picture.bgr, cv::COLOR_GRAY2BGR);
    else
        picture.bgr = colour;
}

Picture DecodePicture(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                      const std::string& what, std::ostream& warnings)
{
    bool known = false;
    const FileFormat format = Sniff(*bytes, known);
    if (!known)
        throw EngineError(kExitUnreadable, what, path,
                          bytes->empty() ? "the file is empty" : "not a JPEG, TIFF or PNG picture");
    DecoderWarnings decoderWarnings;
    Picture picture;
    switch (format) {
    case FileFormat::Jpeg: picture = DecodeJpeg(bytes, path, what, decoderWarnings); break;
    case FileFormat::Tiff: picture = DecodeTiff(bytes, path, what, decoderWarnings); break;
    case FileFormat::Png: picture = DecodePng(bytes, path, what, decoderWarnings); break;
    }
    if (!decoderWarnings.Empty())
        warnings << "veltro.exe: warning: " << Escaped(path) << ": " << Escaped(decoderWarnings.Folded()) << "\n";
    return picture;
}

Picture ReadPicture(const std::string& path, const std::string& what, std::ostream& warnings)
{
    auto bytes = std::make_shared<const std::vector<uint8_t>>(
        ReadRegularFile(path, what, picturelimits::kMaxFileBytes, kExitUnreadable));
    return DecodePicture(bytes, path, what, warnings);
}

cv::Mat GreyOf(const Picture& picture)
{
    const cv::Mat colour = EightBitColour(picture.stored);
    if (colour.channels() == 1)
        return colour;
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat ChangedPixels(const cv::Mat& original, const cv::Mat& restored, uint64_t& count)
{
    CV_Assert(original.type() == CV_8UC3 && restored.type() == CV_8UC3 && original.size() == restored.size());
    cv::Mat changed(original.size(), CV_8UC1);
    count = 0;
    for (int y = 0; y < original.rows; ++y) {
        const uint8_t* a = original.ptr<uint8_t>(y);
        const uint8_t* b = restored.ptr<uint8_t>(y);
        uint8_t* c = changed.ptr<uint8_t>(y);
        for (int x = 0; x < original.cols; ++x, a += 3, b += 3) {
            const bool differs = a[0] != b[0] || a[1] != b[1] || a[2] != b[2];
            c[x] = differs ? 255 : 0;
            count += differs;
        }
    }
    return changed;
}

std::vector<uint8_t> EncodePicture(const Picture& source, const cv::Mat& restored, const cv::Mat& changed,
                                   FileFormat format, const std::string& path, std::ostream& notes)
{
    const cv::Mat merged = Merged(source.stored, restored, changed);
    switch (format) {
    case FileFormat::Tiff: return EncodeTiff(merged, source.meta, path);
    case FileFormat::Png: return EncodePng(merged, source.meta, path);
    case FileFormat::Jpeg: break;
    }
    const cv::Mat eight = EightBitColour(merged);
    if (source.jpeg)
        return EncodeJpegFromJpeg(source, restored, changed, eight, path, notes);
    if (merged.depth() == CV_16U || merged.channels() % 2 == 0)
        notes << "veltro.exe: warning: " << Escaped(path) << ": a JPEG holds "
              << (merged.depth() == CV_16U ? "8 bits per sample" : "no transparency")
              << ": the picture's " << (merged.depth() == CV_16U ? "16-bit samples are rounded" : "alpha channel is left out")
              << "\n";
    return EncodeJpeg(eight, 95, source.meta, path);
}

std::vector<uint8_t> EncodeMaskPng(const cv::Mat& mask, const std::string& path)
{
    return EncodePng(mask, Metadata(), path);
}

}  // namespace veltro
