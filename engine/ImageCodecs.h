#pragma once
// The format-specific halves of ImageFiles: one reader and one writer per
// format, used only by ImageFiles.cpp (and the tests).

#include "engine/ImageFiles.h"

#include <string>
#include <vector>

namespace veltro {

// The warnings a decoder gives while reading one file, kept for the one
// line that reports them: the first few different ones and a count of the rest.
class DecoderWarnings {
public:
    void Add(std::string message);
    bool Empty() const { return m_count == 0; }
    // "first; second; third (and 12 more)"
    std::string Folded() const;

private:
    std::vector<std::string> m_kept;
    unsigned long long m_count = 0;
};

// What every decoder checks before it allocates anything for a picture of
// `width` x `height` with `bytesPerPixel` decoded bytes per pixel: the size
// limits, and that a file of `fileBytes` bytes with at most `maxRatio`
// decoded bytes per byte of file can hold it. Throws EngineError (exit 3).
void CheckDeclaredSize(uint64_t width, uint64_t height, uint64_t bytesPerPixel, uint64_t fileBytes,
                       uint64_t maxRatio, const std::string& path, const std::string& what);

// Fills picture.bgr from picture.stored.
void MakeWorkingCopy(Picture& picture);

// Readers: `bytes` holds the whole file. Throw EngineError (exit 3).
Picture DecodeJpeg(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                   const std::string& what, DecoderWarnings& warnings);
Picture DecodeTiff(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                   const std::string& what, DecoderWarnings& warnings);
Picture DecodePng(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path,
                  const std::string& what, DecoderWarnings& warnings);

// Writers; throw EngineError (exit 5) naming `path`. `samples` as
// Picture::stored (TIFF, PNG) or 8-bit grey or BGR (JPEG).
std::vector<uint8_t> EncodeTiff(const cv::Mat& samples, const Metadata& meta, const std::string& path);
std::vector<uint8_t> EncodePng(const cv::Mat& samples, const Metadata& meta, const std::string& path);
std::vector<uint8_t> EncodeJpeg(const cv::Mat& samples, int quality, const Metadata& meta, const std::string& path);
// A JPEG made from the JPEG `source`: the coded data of every MCU without a
// pixel marked in `changed`, the MCUs with one coded again from `restored`
// with the source's own tables, sampling and colour space, and every marker.
// Where that cannot be done, the whole picture is encoded again at the
// source's estimated quality and `notes` says so.
std::vector<uint8_t> EncodeJpegFromJpeg(const Picture& source, const cv::Mat& restored, const cv::Mat& changed,
                                        const cv::Mat& merged, const std::string& path, std::ostream& notes);

}  // namespace veltro
