#pragma once
// Small JPEG and TIFF files of every kind the program and the engine read, written with the libraries themselves
// (libjpeg-turbo, libtiff), for the tests of both.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

namespace picturefiles {

using Bytes = std::vector<uint8_t>;

struct JpegKind {
    int components = 3;   // 1 grey, 2 two-component, 3 YCbCr, 4 CMYK or YCCK
    int h = 2, v = 2;     // the first component's sampling factors (colour files)
    bool progressive = false, arithmetic = false, ycck = false, adobe = true;
    int restartRows = 0, quality = 90;
    bool bgr = false;     // three samples in the order blue, green, red (else red, green, blue)
};

// `samples`: w x h pixels of k.components bytes, top row first. The library's own error handling ends the test
// program should it ever fail here.
inline Bytes EncodeJpeg(const uint8_t* samples, int w, int h, const JpegKind& k)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = k.components;
    c.in_color_space = k.components == 1 ? JCS_GRAYSCALE : k.components == 2 ? JCS_UNKNOWN
                       : k.components == 3 ? (k.bgr ? JCS_EXT_BGR : JCS_RGB) : JCS_CMYK;
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
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + size_t(w) * size_t(k.components) * c.next_scanline);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

struct TiffKind {
    int spp = 1, bps = 8;   // samples per pixel (2 and 4: the last is alpha), bits per sample (32: floating point)
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    bool tiled = false, planar = false;
    uint16_t compression = COMPRESSION_NONE;
};

// A w x h file at 600 dpi, in tiles of 16 x 16 or strips of 7 rows, so that the last ones are cut by the picture's
// edges. sample(x, y, c): the value stored for sample c of the pixel in column x, row y (0 = top row). A palette
// file takes `colormap`: 256 reds, then greens, then blues. Made in `scratch`, which is removed again.
inline Bytes EncodeTiff(int w, int h, const TiffKind& k, const std::function<unsigned(int, int, int)>& sample,
                        const std::string& scratch, const std::vector<uint16_t>& colormap = {})
{
    TIFF* t = TIFFOpen(scratch.c_str(), "w");
    if (t == nullptr)
        return {};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(k.spp));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(k.bps));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, k.photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, k.compression);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, k.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 600.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 600.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (k.bps == 32)
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    if (k.spp == 2 || k.spp == 4) {
        const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &alpha);
    }
    if (k.photometric == PHOTOMETRIC_PALETTE)
        TIFFSetField(t, TIFFTAG_COLORMAP, &colormap.at(0), &colormap.at(256), &colormap.at(512));
    const int bytes = k.bps / 8, perPixel = k.planar ? 1 : k.spp, rows = k.tiled ? 16 : 7, cols = k.tiled ? 16 : w;
    if (k.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
    }
    std::vector<unsigned char> piece(size_t(rows) * size_t(cols) * size_t(perPixel * bytes));
    for (int plane = 0; plane < (k.planar ? k.spp : 1); ++plane)
        for (int y0 = 0; y0 < h; y0 += rows)
            for (int x0 = 0; x0 < w; x0 += cols) {
                std::fill(piece.begin(), piece.end(), 0);
                for (int y = y0; y < std::min(h, y0 + rows); ++y)
                    for (int x = x0; x < std::min(w, x0 + cols); ++x)
                        for (int c = 0; c < perPixel; ++c) {
                            unsigned char* p = &piece[(size_t((y - y0) * cols + x - x0) * perPixel + c) * bytes];
                            const unsigned v = sample(x, y, plane + c);
                            const uint8_t v8 = uint8_t(v);
                            const uint16_t v16 = uint16_t(v);
                            const float f = float(v);
                            std::memcpy(p, bytes == 1 ? static_cast<const void*>(&v8)
                                           : bytes == 2 ? static_cast<const void*>(&v16) : &f, size_t(bytes));
                        }
                if (k.tiled)
                    TIFFWriteEncodedTile(t, TIFFComputeTile(t, uint32_t(x0), uint32_t(y0), 0, uint16_t(plane)),
                                         piece.data(), tmsize_t(piece.size()));
                else
                    TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, uint32_t(y0), uint16_t(plane)), piece.data(),
                                          tmsize_t(size_t(std::min(rows, h - y0)) * cols * perPixel * bytes));
            }
    TIFFClose(t);
    Bytes file;
    if (FILE* f = std::fopen(scratch.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            file.push_back(uint8_t(c));
        std::fclose(f);
    }
    std::remove(scratch.c_str());
    return file;
}

}  // namespace picturefiles
