#pragma once
// Small pictures of every kind the engine reads, made here with the libraries
// themselves (libjpeg-turbo, libtiff) or OpenCV's imgcodecs (PNG).

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

namespace enginetest {

using Bytes = std::vector<uint8_t>;

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

struct JpegKind {
    int components = 3;       // 1 grey, 2 two-component, 3 YCbCr, 4 CMYK or YCCK
    int h = 2, v = 2;         // the first component's sampling factors
    bool progressive = false, arithmetic = false, ycck = false, adobe = true;
    int restartRows = 0, quality = 90;
};

// `samples`: 8-bit, 1 (grey), 3 (BGR) or 4 (CMYK inks) channels; two-component
// files get the grey twice.
inline Bytes EncodeJpeg(const cv::Mat& samples, const JpegKind& k)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(samples.cols);
    c.image_height = JDIMENSION(samples.rows);
    c.input_components = k.components;
    c.in_color_space = k.components == 1 ? JCS_GRAYSCALE : k.components == 2 ? JCS_UNKNOWN
                       : k.components == 3 ? JCS_EXT_BGR : JCS_CMYK;
    jpeg_set_defaults(&c);
    if (k.components == 4) {
        jpeg_set_colorspace(&c, k.ycck ? JCS_YCCK : JCS_CMYK);
        c.write_Adobe_marker = k.adobe;
    }
    jpeg_set_quality(&c, k.quality, TRUE);
    for (int i = 0; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    c.comp_info[0].h_samp_factor = k.components >= 3 ? k.h : 1;
    c.comp_info[0].v_samp_factor = k.components >= 3 ? k.v : 1;
    c.arith_code = k.arithmetic;
    c.restart_in_rows = k.restartRows;
    if (k.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(samples.cols) * k.components);
    while (c.next_scanline < c.image_height) {
        const uint8_t* s = samples.ptr<uint8_t>(int(c.next_scanline));
        if (k.components == 2)
            for (int x = 0; x < samples.cols; ++x)
                row[2 * x] = row[2 * x + 1] = s[x];
        else
            std::memcpy(row.data(), s, row.size());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

struct TiffKind {
    int bits = 8;
    bool tiled = false, minIsWhite = false, palette = false;
};

// `samples`: 1 to 4 channels (grey, grey+alpha, BGR, BGRA) of 8 or 16 bits.
inline Bytes EncodeTiff(const cv::Mat& samples, const TiffKind& k, const std::string& scratch)
{
    TIFF* t = TIFFOpen(scratch.c_str(), "w");
    const int ch = samples.channels();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(samples.cols));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(samples.rows));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(ch));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(k.bits));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, k.palette ? PHOTOMETRIC_PALETTE : ch >= 3 ? PHOTOMETRIC_RGB
                                          : k.minIsWhite ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 600.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 600.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (ch % 2 == 0) {
        const uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    std::vector<uint16_t> map(256);
    if (k.palette) {   // grey levels as a palette
        for (int i = 0; i < 256; ++i)
            map[size_t(i)] = uint16_t(i * 257);
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    cv::Mat file = samples.clone();
    if (ch >= 3)
        cv::cvtColor(samples, file, ch == 4 ? cv::COLOR_BGRA2RGBA : cv::COLOR_BGR2RGB);
    if (k.minIsWhite)
        file = cv::Scalar::all(k.bits == 16 ? 65535 : 255) - file;
    if (k.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        cv::Mat tile(16, 16, file.type());
        for (int y = 0; y < file.rows; y += 16)
            for (int x = 0; x < file.cols; x += 16) {
                tile = 0;
                const cv::Rect r = cv::Rect(x, y, 16, 16) & cv::Rect(0, 0, file.cols, file.rows);
                file(r).copyTo(tile(cv::Rect(0, 0, r.width, r.height)));
                TIFFWriteTile(t, tile.data, uint32_t(x), uint32_t(y), 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 5);
        for (int y = 0; y < file.rows; ++y)
            TIFFWriteScanline(t, file.ptr(y), uint32_t(y), 0);
    }
    TIFFClose(t);
    FILE* f = std::fopen(scratch.c_str(), "rb");
    Bytes bytes;
    for (int c; (c = std::fgetc(f)) != EOF;)
        bytes.push_back(uint8_t(c));
    std::fclose(f);
    std::remove(scratch.c_str());
    return bytes;
}

inline Bytes EncodePng(const cv::Mat& samples)
{
    Bytes bytes;
    cv::imencode(".png", samples, bytes);
    return bytes;
}

}  // namespace enginetest
