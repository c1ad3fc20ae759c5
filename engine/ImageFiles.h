#pragma once
// Pictures in and out of the engine: JPEG (libjpeg-turbo), TIFF (libtiff) and
// PNG (libpng). A picture is read as stored, without applying an EXIF
// orientation, and keeps what it needs to be written again without losing
// anything the restoration did not change: its samples as stored (16-bit,
// grey, alpha), its metadata, and for a JPEG its bytes, so that the blocks
// the repair does not touch keep their coded data.

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace veltro {

enum class FileFormat { Jpeg, Tiff, Png };

// The format an output's name asks for (".jpg", ".jpeg", ".tif", ".tiff",
// ".png", in any case); false for any other name.
bool FormatFromName(const std::string& path, FileFormat& format);
const char* FormatName(FileFormat format);

// What a picture carries besides its pixels, kept from input to output.
struct Metadata {
    std::vector<uint8_t> icc;       // ICC colour profile
    std::vector<uint8_t> exif;      // EXIF block, TIFF-structured (as after "Exif\0\0")
    int densityUnit = 0;            // 0 none, 1 per inch, 2 per centimetre
    double xDensity = 0, yDensity = 0;
    std::vector<std::pair<std::string, std::string>> texts;   // ("Comment", ...), ("Author", ...)
    int orientation = 0;            // a TIFF's Orientation tag (0: none); a JPEG's stays in its EXIF
};

// Limits that keep a hostile or broken file from taking the engine down: at
// most a gigapixel, at most 1,000,000 pixels a side, and no more decoded data
// than the file's size can account for (see each reader).
namespace picturelimits {
constexpr uint64_t kMaxPixels = 1000ull * 1000ull * 1000ull;
constexpr uint32_t kMaxSide = 1000000;
// Pictures up to this many bytes decoded are read whatever the file's size.
constexpr uint64_t kSmallDecodedBytes = 64ull * 1024 * 1024;
constexpr uint64_t kMaxFileBytes = 8ull * 1024 * 1024 * 1024;
}  // namespace picturelimits

struct JpegSource;   // the JPEG coefficient path's view of a JPEG input

struct Picture {
    FileFormat format = FileFormat::Jpeg;
    // The samples as stored: 1 (grey), 2 (grey, alpha), 3 (BGR) or 4 (BGRA)
    // channels of 8 or 16 bits. A JPEG gives 8-bit grey or BGR (CMYK is
    // converted, two-component files show their first component).
    cv::Mat stored;
    // What the restorations work on: 8-bit BGR.
    cv::Mat bgr;
    Metadata meta;
    // The file as read, and what the JPEG path needs.
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    std::shared_ptr<const JpegSource> jpeg;
};

// Reads a JPEG, TIFF or PNG (recognised by its content). Throws EngineError
// (exit 3, `what` naming the role, e.g. "cannot read input picture") with the
// decoder's warnings folded into the one line; a picture that decodes with
// warnings is returned and the warnings go to `warnings` as one line.
Picture ReadPicture(const std::string& path, const std::string& what, std::ostream& warnings);
// The same from bytes already in memory (`path` only names them).
Picture DecodePicture(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                      const std::string& what, std::ostream& warnings);
// A picture as one 8-bit grey channel (a mask).
cv::Mat GreyOf(const Picture& picture);

// 255 where `restored` differs from `original` (both 8-bit BGR), 0 elsewhere;
// `count` receives the number of such pixels.
cv::Mat ChangedPixels(const cv::Mat& original, const cv::Mat& restored, uint64_t& count);

// The output file's bytes in `format`: the source picture with the restored
// pixels (8-bit BGR) in place where `changed` is non-zero. Every other pixel
// keeps its stored value (TIFF and PNG: exactly, 16-bit samples and alpha
// included; JPEG from a JPEG: the coded data of every block the change does
// not touch). Notes about what could not be kept go to `notes`, one line
// each. Throws EngineError (exit 5) when encoding fails.
std::vector<uint8_t> EncodePicture(const Picture& source, const cv::Mat& restored, const cv::Mat& changed,
                                   FileFormat format, const std::string& path, std::ostream& notes);

// An 8-bit grey PNG of `mask`.
std::vector<uint8_t> EncodeMaskPng(const cv::Mat& mask, const std::string& path);

}  // namespace veltro
