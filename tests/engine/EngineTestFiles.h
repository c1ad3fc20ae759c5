#pragma once
// Small pictures of every kind the engine reads, from OpenCV's matrices: JPEG and TIFF files made with the libraries
// themselves, PNG files with OpenCV's imgcodecs.

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "../support/PictureFiles.h"

namespace enginetest {

using picturefiles::Bytes;
using picturefiles::JpegKind;

// A textured colour scene (smooth enough to survive JPEG coding).
inline cv::Mat Scene(cv::Size size, int seed = 1)
{
    cv::Mat img(size, CV_8UC3);
    cv::RNG rng(static_cast<uint64_t>(seed));
    rng.fill(img, cv::RNG::UNIFORM, 0, 255);
    cv::GaussianBlur(img, img, cv::Size(), 3);
    cv::normalize(img, img, 20, 235, cv::NORM_MINMAX);
    return img;
}

// `samples`: 8-bit, 1 (grey), 3 (BGR) or 4 (CMYK inks) channels; two-component files get the grey twice.
inline Bytes EncodeJpeg(const cv::Mat& samples, JpegKind k)
{
    cv::Mat s = samples.clone();
    if (k.components == 2)
        cv::merge(std::vector<cv::Mat>{samples, samples}, s);
    k.bgr = true;
    return picturefiles::EncodeJpeg(s.data, s.cols, s.rows, k);
}

struct TiffKind {
    int bits = 8;
    bool tiled = false, minIsWhite = false, palette = false;
};

// `samples`: 1 to 4 channels (grey, grey+alpha, BGR, BGRA) of 8 or 16 bits; LZW-compressed.
inline Bytes EncodeTiff(const cv::Mat& samples, const TiffKind& k, const std::string& scratch)
{
    const int ch = samples.channels(), top = k.bits == 16 ? 65535 : 255;
    const uint16_t photometric = k.palette ? PHOTOMETRIC_PALETTE : ch >= 3 ? PHOTOMETRIC_RGB
                                 : k.minIsWhite ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    std::vector<uint16_t> greys(3 * 256);   // grey levels as a palette
    for (size_t i = 0; i < greys.size(); ++i)
        greys[i] = uint16_t(i % 256 * 257);
    const auto sample = [&](int x, int y, int c) -> unsigned {
        const int at = x * ch + (ch >= 3 && c < 3 ? 2 - c : c);   // RGB from BGR
        const unsigned v = k.bits == 16 ? samples.ptr<uint16_t>(y)[at] : samples.ptr<uint8_t>(y)[at];
        return k.minIsWhite ? unsigned(top) - v : v;
    };
    const picturefiles::TiffKind kind{ch, k.bits, photometric, k.tiled, false, COMPRESSION_LZW};
    return picturefiles::EncodeTiff(samples.cols, samples.rows, kind, sample, scratch, greys);
}

inline Bytes EncodePng(const cv::Mat& samples)
{
    Bytes bytes;
    cv::imencode(".png", samples, bytes);
    return bytes;
}

}  // namespace enginetest
