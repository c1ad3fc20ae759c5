// The picture loaders (JPEG, TIFF, PNG) and the document's loading step, on files made here with the libraries the
// loaders read them with.

#include "document/CVeltroInterfaceDoc.h"
#include "document/ImageFile.h"
#include "document/JpegLoader.h"
#include "support/PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <png.h>
#include <tiffio.h>
#include <zlib.h>

namespace {

// Samples top row first, 1 (grey), 3 (RGB) or 4 (CMYK) per pixel.
struct Enc
{
    int w, h, comps, quality = 100;
    bool b420 = false, bProgressive = false, bYcck = false, bAdobe = true;
};

QByteArray Encode(const Enc& o, const std::vector<uint8_t>& samples)
{
    const int f = o.b420 ? 2 : 1;
    const picturefiles::Bytes b = picturefiles::EncodeJpeg(
        samples.data(), o.w, o.h, {o.comps, f, f, o.bProgressive, false, o.bYcck, o.bAdobe, 0, o.quality});
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

struct Segment { int nMarker, nOffset, nLength; };

// The first segment with this marker in a file the library wrote; a scan's length takes in its coded data.
Segment Find(const QByteArray& j, int nMarker)
{
    const auto at = [&](int i) { return int(uint8_t(j[i])); };
    for (int i = 2; i + 3 < j.size() && at(i + 1) != 0xD9;) {
        int end = i + 2 + (at(i + 2) << 8 | at(i + 3));
        if (at(i + 1) == 0xDA)
            while (end + 1 < j.size() && !(at(end) == 0xFF && at(end + 1) != 0 && (at(end + 1) & 0xF8) != 0xD0))
                ++end;
        if (at(i + 1) == nMarker)
            return {nMarker, i, end - i};
        i = end;
    }
    ADD_FAILURE() << "no marker " << nMarker;
    return {0, 0, 0};
}

QByteArray WithFrameSize(QByteArray jpeg, int nFrameMarker, int w, int h)
{
    const Segment s = Find(jpeg, nFrameMarker);   // FF Cn, length, precision, height, width
    const char size[] = {char(h >> 8), char(h & 0xFF), char(w >> 8), char(w & 0xFF)};
    return jpeg.replace(s.nOffset + 5, 4, size, 4);
}

// Repeating a progressive file's first (DC) scan keeps the picture but multiplies the scans to read.
QByteArray RepeatFirstScan(const QByteArray& jpeg, int nCopies)
{
    const Segment s = Find(jpeg, 0xDA);
    return jpeg.left(s.nOffset + s.nLength) + jpeg.mid(s.nOffset, s.nLength).repeated(nCopies)
           + jpeg.mid(s.nOffset + s.nLength);
}

// Runs f with file descriptor 2 sent to a temporary file; returns what was written there.
template <typename F>
QString CaptureStderr(F f)
{
    std::fflush(stderr);
    FILE* pFile = std::tmpfile();
    const int nSaved = dup(2);
    dup2(fileno(pFile), 2);
    f();
    std::fflush(stderr);
    dup2(nSaved, 2);
    close(nSaved);
    std::rewind(pFile);
    QFile in;
    in.open(pFile, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return QString::fromLocal8Bit(in.readAll());
}

struct Rgb { int r, g, b; };
using RgbAt = std::function<Rgb(int, int)>;   // the colour of column x, row y (0 = top row)

// The word of the pixel in column x of picture row y (0 = top row).
uint32_t WordAt(const CVeltroInterfaceDoc& doc, int x, int y)
{
    return doc.m_pImage[(doc.m_nHeight - 1 - y) * doc.m_nWidth + x];
}

::testing::AssertionResult WordNear(uint32_t w, Rgb want, int tolerance)
{
    const int r = int(w & 0xFF), g = int((w >> 8) & 0xFF), b = int((w >> 16) & 0xFF);
    if ((w >> 24) == 0 && std::abs(r - want.r) <= tolerance && std::abs(g - want.g) <= tolerance
        && std::abs(b - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got 0x" << std::hex << w << std::dec << ", want rgb(" << want.r
                                         << "," << want.g << "," << want.b << ") within " << tolerance;
}

// Samples top row first: the colour's first 1 (grey) or 3 (RGB) channels.
std::vector<uint8_t> Pixels(int w, int h, const RgbAt& fn, int comps = 3)
{
    std::vector<uint8_t> s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = fn(x, y);
            const int v[] = {c.r, c.g, c.b};
            s.insert(s.end(), v, v + comps);
        }
    return s;
}

Rgb Banded(int, int y) { return y < 8 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }   // 16 rows: red over blue
Rgb Ramp(int x, int y) { const int v = ((x / 8) * 60 + (y / 8) * 35 + 20) & 0xFF; return {v, v, v}; }
Rgb Blocks(int x, int y)
{
    const int cell = (x / 16) + 3 * (y / 16);
    return {40 + 50 * (cell % 4), 200 - 30 * cell, 90 + 20 * cell};
}

QByteArray SmallJpeg(bool bProgressive = false, int comps = 3)
{
    return Encode(Enc{16, 16, comps, 90, comps == 3, bProgressive}, Pixels(16, 16, comps == 3 ? Blocks : Ramp, comps));
}

// ---- TIFF and PNG files: every kind holds the same 40 x 20 picture, so each is checked against the same samples.
constexpr int kW = 40, kH = 20;
int Level(int x, int y, int c) { return (x * 6 + y * 11 + c * 70) & 0xFF; }   // sample c (0 grey or red) at 8 bits

struct PngKind { int colorType, depth; bool interlaced = false; };

QByteArray Png(const PngKind& k)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const auto append = [](png_structp p, png_bytep d, size_t n) {
        static_cast<QByteArray*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(d), qsizetype(n));
    };
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, kW, kH, k.depth, k.colorType, k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = {png_byte(Level(i, 0, 1)), png_byte(Level(i, 0, 2)), png_byte(Level(i, 0, 3))};
    if (k.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), 256);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info), bytes = k.depth / 8;
    std::vector<png_byte> rows(size_t(kW) * channels * bytes * kH);
    std::vector<png_bytep> pointers;
    for (int y = 0; y < kH; ++y) {
        pointers.push_back(&rows[size_t(y) * kW * channels * bytes]);
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v = k.colorType == PNG_COLOR_TYPE_PALETTE ? (x + y) & 0xFF : Level(x, y, c);
                png_bytep p = pointers.back() + (size_t(x) * channels + c) * bytes;
                p[0] = png_byte(v);   // 16 bits: big-endian v * 257
                if (bytes == 2)
                    p[1] = png_byte(v);
            }
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A copy of a PNG file declaring another size (its header's checksum kept right).
QByteArray WithSize(QByteArray png, uint32_t w, uint32_t h)
{
    const auto be32 = [](uint32_t v) {
        const char b[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(b, 4);
    };
    png.replace(16, 8, be32(w) + be32(h));
    return png.replace(29, 4, be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17))));
}

const QByteArray kBitmap = QByteArrayLiteral("BM6\0\0\0 the start of a bitmap, not of a JPEG file");

class JpegLoaderTest : public ::testing::Test
{
protected:
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QString Write(const char* name, const QByteArray& bytes) const
    {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << name;
        return file.fileName();
    }
    // A palette file's colours are the levels of the next three samples.
    QByteArray Tiff(const picturefiles::TiffKind& k) const
    {
        std::vector<uint16_t> map(256 * 3);
        for (int i = 0; i < 256 * 3; ++i)
            map[i] = uint16_t(Level(i % 256, 0, i / 256 + 1) * 257);
        const auto sample = [&](int x, int y, int c) {
            const int v = k.photometric == PHOTOMETRIC_PALETTE ? x + y
                          : k.photometric == PHOTOMETRIC_MINISWHITE ? 255 - Level(x, y, 0) : Level(x, y, c);
            return unsigned(k.bps == 16 ? v * 257 : v);
        };
        const picturefiles::Bytes b = picturefiles::EncodeTiff(kW, kH, k, sample, Path("t.tif").toStdString(), map);
        return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    }
    // Loads as the document does (or with the JPEG loader alone), standard error captured.
    int Load(CVeltroInterfaceDoc& doc, const QString& path, bool bJpegLoader = false)
    {
        m_strReason.clear();
        int result = -1;
        m_strStderr = CaptureStderr([&] {
            result = bJpegLoader ? LoadJpegImage(&doc, path, &m_strReason) : LoadImageFile(&doc, path, &m_strReason);
        });
        return result;
    }
    // A load refused before the pixels keeps no block and leaves the document's fields as they were.
    void ExpectRefused(const QString& path, bool bJpegLoader = false, bool bBeforePixels = true)
    {
        CVeltroInterfaceDoc doc;
        doc.m_nWidth = -11, doc.m_nHeight = -12, doc.m_nChannels = -13;
        EXPECT_EQ(Load(doc, path, bJpegLoader), 1);
        if (bBeforePixels) {
            EXPECT_EQ(doc.m_pImage, nullptr);
            EXPECT_EQ(doc.m_nWidth + doc.m_nHeight + doc.m_nChannels, -36);
        }
        EXPECT_FALSE(m_strReason.isEmpty());
        EXPECT_TRUE(m_strStderr.endsWith(QLatin1Char('\n'))) << m_strStderr.toStdString();
    }

    QTemporaryDir m_dir;
    QString m_strReason, m_strStderr;
};

} // namespace

// Whatever the name says, a file is read by what it holds. JPEG: grey, 4:2:0, progressive; four samples give what
// the complementary ink and the black let through (Adobe: ink stored inverted). TIFF and PNG: grey, RGB, a palette's
// colours; 16-bit samples rounded to 8, alpha ignored.
TEST_F(JpegLoaderTest, EveryKindDecodesToItsSamplesWordByWord)
{
    const RgbAt threeByTwo = [](int x, int y) {   // red green blue over yellow cyan grey
        const Rgb c[] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}, {240, 240, 20}, {20, 240, 240}, {128, 128, 128}};
        return c[3 * y + x];
    };
    const auto inks = [](bool bAdobe) {   // C 64, M 128, Y 10, K 40 everywhere
        std::vector<uint8_t> samples;
        for (int i = 0; i < 256; ++i)
            for (int v : {64, 128, 10, 40})
                samples.push_back(uint8_t(bAdobe ? 255 - v : v));
        return samples;
    };
    const RgbAt through = [](int, int) { return Rgb{191 * 215 / 255, 127 * 215 / 255, 245 * 215 / 255}; };
    const RgbAt grey = [](int x, int y) { return Rgb{Level(x, y, 0), Level(x, y, 0), Level(x, y, 0)}; };
    const RgbAt rgb = [](int x, int y) { return Rgb{Level(x, y, 0), Level(x, y, 1), Level(x, y, 2)}; };
    const RgbAt palette = [](int x, int y) { return Rgb{Level(x + y, 0, 1), Level(x + y, 0, 2), Level(x + y, 0, 3)}; };
    // edgeSkip: halved chroma is smoothed across 16-pixel cell edges, not compared there.
    const struct { const char* name; QByteArray bytes; int w, h; RgbAt want; int tolerance, edgeSkip = 0; } cases[] = {
        {"3x2", Encode(Enc{3, 2, 3}, Pixels(3, 2, threeByTwo)), 3, 2, threeByTwo, 8},
        {"grey, odd size", Encode(Enc{13, 7, 1}, Pixels(13, 7, Ramp, 1)), 13, 7, Ramp, 2},
        {"4:2:0", Encode(Enc{48, 32, 3, 95, true}, Pixels(48, 32, Blocks)), 48, 32, Blocks, 6, 2},
        {"progressive", Encode(Enc{48, 32, 3, 100, false, true}, Pixels(48, 32, Blocks)), 48, 32, Blocks, 4},
        {"Adobe CMYK", Encode(Enc{16, 16, 4}, inks(true)), 16, 16, through, 4},
        {"plain CMYK", Encode(Enc{16, 16, 4, 100, false, false, false, false}, inks(false)), 16, 16, through, 4},
        {"YCCK", Encode(Enc{16, 16, 4, 100, false, false, true}, inks(true)), 16, 16, through, 6},
        {"TIFF grey 8, strips", Tiff({1, 8, PHOTOMETRIC_MINISBLACK}), kW, kH, grey, 0},
        {"TIFF grey 16, tiles", Tiff({1, 16, PHOTOMETRIC_MINISBLACK, true}), kW, kH, grey, 0},
        {"TIFF grey 8, white is 0, deflate",
         Tiff({1, 8, PHOTOMETRIC_MINISWHITE, false, false, COMPRESSION_ADOBE_DEFLATE}), kW, kH, grey, 0},
        {"TIFF RGB 8, tiles, LZW", Tiff({3, 8, PHOTOMETRIC_RGB, true, false, COMPRESSION_LZW}), kW, kH, rgb, 0},
        {"TIFF RGB 16, strips", Tiff({3, 16, PHOTOMETRIC_RGB}), kW, kH, rgb, 0},
        {"TIFF RGBA 8", Tiff({4, 8, PHOTOMETRIC_RGB}), kW, kH, rgb, 0},
        {"TIFF RGB 8, planes apart", Tiff({3, 8, PHOTOMETRIC_RGB, false, true}), kW, kH, rgb, 0},
        {"TIFF palette", Tiff({1, 8, PHOTOMETRIC_PALETTE}), kW, kH, palette, 0},
        {"PNG grey 8", Png({PNG_COLOR_TYPE_GRAY, 8}), kW, kH, grey, 0},
        {"PNG grey 16, interlaced", Png({PNG_COLOR_TYPE_GRAY, 16, true}), kW, kH, grey, 0},
        {"PNG RGB 8", Png({PNG_COLOR_TYPE_RGB, 8}), kW, kH, rgb, 0},
        {"PNG RGBA 16", Png({PNG_COLOR_TYPE_RGB_ALPHA, 16}), kW, kH, rgb, 0},
        {"PNG palette", Png({PNG_COLOR_TYPE_PALETTE, 8}), kW, kH, palette, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVeltroInterfaceDoc doc;
        ASSERT_EQ(Load(doc, Write("picture.jpg", c.bytes)), 0) << m_strReason.toStdString();
        EXPECT_TRUE(m_strReason.isEmpty() && m_strStderr.isEmpty()) << m_strStderr.toStdString();
        ASSERT_EQ(QSize(doc.m_nWidth, doc.m_nHeight), QSize(c.w, c.h));
        EXPECT_EQ(doc.m_nChannels, 3);
        const auto nearEdge = [&](int v) { return std::min(v % 16, 15 - v % 16) < c.edgeSkip; };
        int nBad = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w && nBad < 5; ++x)
                if (!nearEdge(x) && !nearEdge(y)) {
                    const auto near = WordNear(WordAt(doc, x, y), c.want(x, y), c.tolerance);
                    nBad += !near;
                    EXPECT_TRUE(near) << "pixel (" << x << "," << y << " from top)";
                }
    }
}

// Refused before any pixel is stored; the reason reaches the caller and stderr.
TEST_F(JpegLoaderTest, BadAndHostileFilesAreRefusedUntouched)
{
    const QByteArray png = Png({PNG_COLOR_TYPE_RGB, 8});
    const struct { const char* name; QByteArray bytes; const char* reasonPart; bool bBeforePixels = true; } cases[] = {
        {"JPEG header only", SmallJpeg().left(120), ""},
        // Tiny files declaring pictures too large to hold: refused on the header alone.
        {"JPEG just over a gigapixel", WithFrameSize(SmallJpeg(), 0xC0, 40000, 25001), "too large"},
        // Under the pixel limit, but a few hundred bytes cannot code 14 million blocks: refused at once.
        {"progressive grey 30000x30000", WithFrameSize(SmallJpeg(true, 1), 0xC2, 30000, 30000), "too small"},
        // Enough bytes (padding after the end), but the progressive decode needs gigabytes of coefficients.
        {"progressive 30000x30000, padded",
         WithFrameSize(SmallJpeg(true), 0xC2, 30000, 30000) + QByteArray(3 << 20, '\0'), "working memory"},
        {"thousands of scans", RepeatFirstScan(SmallJpeg(true, 1), 3000), "scans"},
        {"PNG over a gigapixel", WithSize(png, 40000, 25001), "too large"},
        {"PNG of no pixels", WithSize(png, 0, 20), "IHDR"},
        // Within the limit, but with data for a few rows only: refused when the data end, not after 3.6 GB.
        {"PNG declaring 30000 x 30000", WithSize(png, 30000, 30000), "Not enough image data", false},
        {"PNG cut short", png.left(png.size() / 2), "ends before", false},
        {"TIFF of floating-point samples", Tiff({1, 32, PHOTOMETRIC_MINISBLACK}), "32-bit samples"},
        {"TIFF header and junk", QByteArray("II*\0junk", 8), "TIFF directory"},
        {"empty file", QByteArray(), "the file is empty"},
        {"bitmap", kBitmap, "not a JPEG, TIFF or PNG picture"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRefused(Write("refused.jpg", c.bytes), false, c.bBeforePixels);
        EXPECT_TRUE(m_strReason.contains(QLatin1String(c.reasonPart))) << qPrintable(m_strReason);
    }
    // A path that cannot be read as a file, without waiting on a pipe for a writer, by the JPEG loader alone too.
    const QString pipe = Path("pipe.jpg"), missing = Path("no such file.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ExpectRefused(missing, true);
    EXPECT_EQ(m_strStderr, QStringLiteral("can't open %1\n").arg(missing));
    EXPECT_EQ(m_strReason, QStringLiteral("No such file or directory"));
    for (bool bJpegLoader : {true, false}) {
        ExpectRefused(pipe, bJpegLoader);
        EXPECT_EQ(m_strReason, QStringLiteral("it is a named pipe, not a regular file"));
    }
}

// Each progressive scan is a pass over the whole picture: fewer scans for larger pictures, within fixed bounds.
TEST_F(JpegLoaderTest, ScanLimitShrinksWithSizeAndScansUnderItStillDecode)
{
    using namespace jpeglimits;
    const struct { uint32_t w, h; int expected; } cases[] = {
        {0, 0, kMaxScans}, {4000, 2500, kMaxScans}, {6000, 4000, 416}, {16000, 12500, kMinScans},
        {65535, 65535, kMinScans},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MaxProgressiveScans(c.w, c.h), c.expected) << c.w << " x " << c.h;
    const QByteArray original = SmallJpeg(true, 1);
    CVeltroInterfaceDoc plain, many;
    ASSERT_EQ(Load(plain, Write("plain.jpg", original)), 0);
    ASSERT_EQ(Load(many, Write("many.jpg", RepeatFirstScan(original, kMaxScans - 20))), 0)
        << m_strReason.toStdString();
    ASSERT_EQ(many.m_nWidth * many.m_nHeight, 256);
    EXPECT_TRUE(std::equal(plain.m_pImage, plain.m_pImage + 256, many.m_pImage));
}

// Damage found while the rows are read. Data that ends early is only a warning: the rows decoded so far stay and the
// rest is black (the larger case clears whole pages). A fatal error after the last row (a second frame header) fails
// the load but keeps the picture.
TEST_F(JpegLoaderTest, DamageWhileReadingKeepsWhatWasDecoded)
{
    for (const Enc& o : {Enc{64, 64, 3}, Enc{1024, 768, 3, 90, true}}) {
        SCOPED_TRACE(o.w);
        const std::vector<uint8_t> samples = Pixels(o.w, o.h, Blocks);
        const QByteArray whole = Encode(o, samples);
        const Segment scan = Find(whole, 0xDA);
        CVeltroInterfaceDoc doc;
        ASSERT_EQ(Load(doc, Write("cut.jpg", whole.left(scan.nOffset + scan.nLength / 2))), 0);
        ASSERT_EQ(QSize(doc.m_nWidth, doc.m_nHeight), QSize(o.w, o.h));
        EXPECT_TRUE(m_strStderr.contains(QLatin1String("Premature end of JPEG file"))) << m_strStderr.toStdString();
        for (int x = 8; x < o.w; x += 16)   // the middle of each cell of the top rows
            EXPECT_TRUE(WordNear(WordAt(doc, x, 4), {samples[3 * (4 * o.w + x)], samples[3 * (4 * o.w + x) + 1],
                                                     samples[3 * (4 * o.w + x) + 2]}, 8)) << x;
        const size_t nWords = size_t(o.w) * o.h;
        for (size_t i = 0; i < nWords; ++i)
            ASSERT_EQ(doc.m_pImage[i] >> 24, 0u) << i;
        for (size_t i = 0; i < nWords / 4; ++i)   // the bottom quarter lies surely beyond the data
            ASSERT_EQ(doc.m_pImage[i], 0u) << i;
    }
    const QByteArray whole = Encode(Enc{16, 16, 3}, Pixels(16, 16, Banded));
    const Segment sof = Find(whole, 0xC0);
    const QByteArray twoFrames = whole.left(whole.size() - 2) + whole.mid(sof.nOffset, sof.nLength) + whole.right(2);
    CVeltroInterfaceDoc doc;
    EXPECT_EQ(Load(doc, Write("twoframes.jpg", twoFrames)), 1);
    ASSERT_NE(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nWidth * doc.m_nHeight, 256);
    EXPECT_TRUE(m_strReason.contains(QLatin1String("SOF")) && m_strStderr.contains(m_strReason))
        << m_strStderr.toStdString();
    EXPECT_TRUE(WordNear(doc.m_pImage[0], {0, 0, 255}, 4));
    EXPECT_TRUE(WordNear(doc.m_pImage[255], {255, 0, 0}, 4));
}

// The full path is kept; a file that cannot be decoded still opens a window, and storing it writes nothing.
TEST_F(JpegLoaderTest, DocumentRecordsTheFullPathAndOpensEvenWhenDecodingFails)
{
    Write("good.jpg", SmallJpeg());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    CVeltroInterfaceDoc good;
    QString error = QStringLiteral("stale");
    EXPECT_TRUE(good.OnOpenDocument(QStringLiteral("good.jpg"), &error));
    QDir::setCurrent(previous);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(good.m_strImagePath, Path("good.jpg"));
    EXPECT_EQ(good.m_nDisplayState, 1);
    EXPECT_EQ(good.m_nWidth, 16);
    const QString path = Write("picture.bmp", kBitmap);
    CVeltroInterfaceDoc doc;
    CaptureStderr([&] { EXPECT_FALSE(doc.OnOpenDocument(path, &error)); });
    EXPECT_EQ(doc.m_nDisplayState, 1);
    EXPECT_EQ(doc.m_strImagePath, path);
    EXPECT_EQ(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nLoadResult, 1);
    EXPECT_FALSE(doc.m_strLoadError.isEmpty());
    EXPECT_EQ(error, doc.m_strLoadError);
    doc.Serialize(true, path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kBitmap);
}
