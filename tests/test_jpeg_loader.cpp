// The JPEG loader against small files made here with the same library: pixel
// layout, colour conversions, damaged and hostile files, and the document's
// loading step around it.

#include "document/CVeltroInterfaceDoc.h"
#include "document/JpegLoader.h"
#include "support/JpegTestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

using namespace jpegtest;

namespace {

struct Rgb
{
    int r, g, b;
};

// The word of the pixel in column x of picture row yTop (0 = top row).
uint32_t WordAt(const CVeltroInterfaceDoc& doc, int x, int yTop)
{
    return doc.m_pImage[size_t(doc.m_nHeight - 1 - yTop) * size_t(doc.m_nWidth) + size_t(x)];
}

::testing::AssertionResult WordNear(uint32_t w, Rgb want, int tolerance)
{
    const int r = int(w & 0xFF), g = int((w >> 8) & 0xFF), b = int((w >> 16) & 0xFF);
    if ((w >> 24) != 0)
        return ::testing::AssertionFailure() << "top byte set in 0x" << std::hex << w;
    if (std::abs(r - want.r) > tolerance || std::abs(g - want.g) > tolerance
        || std::abs(b - want.b) > tolerance)
        return ::testing::AssertionFailure()
               << "got rgb(" << r << "," << g << "," << b << "), want rgb(" << want.r << ","
               << want.g << "," << want.b << ") within " << tolerance;
    return ::testing::AssertionSuccess();
}

// Values a failed load must not disturb.
void MarkUntouched(CVeltroInterfaceDoc& doc)
{
    doc.m_nWidth = -11;
    doc.m_nHeight = -12;
    doc.m_nChannels = -13;
}

void ExpectUntouched(const CVeltroInterfaceDoc& doc)
{
    EXPECT_EQ(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nWidth, -11);
    EXPECT_EQ(doc.m_nHeight, -12);
    EXPECT_EQ(doc.m_nChannels, -13);
}

class JpegLoaderTest : public ::testing::Test
{
protected:
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QString Write(const char* name, const QByteArray& bytes) const
    {
        const QString path = Path(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes)) << name;
        return path;
    }

    // Loads with standard error captured.
    int Load(CVeltroInterfaceDoc& doc, const QString& path)
    {
        m_strReason.clear();
        StderrCapture capture;
        const int result = LoadJpegImage(&doc, path, &m_strReason);
        m_strStderr = capture.Finish();
        return result;
    }

    QTemporaryDir m_dir;
    QString m_strReason;
    QString m_strStderr;
};

// ---------------------------------------------------------------------------
// Layout and colour of decoded pictures

struct PictureCase
{
    const char* name;
    EncodeOptions options;
    std::vector<uint8_t> samples;   // top row first
    int tolerance;
    // Pixels this close to a 16-pixel cell edge are not compared: halved
    // chroma is smoothed across the edge when it is brought back to size.
    int edgeSkip = 0;
};

void PrintTo(const PictureCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<uint8_t> BandedRgb(int w, int h, Rgb top, Rgb bottom)
{
    std::vector<uint8_t> s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = y < h / 2 ? top : bottom;
            s.insert(s.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
        }
    return s;
}

std::vector<uint8_t> GreyRamp(int w, int h)
{
    std::vector<uint8_t> s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s.push_back(uint8_t(((x / 8) * 60 + (y / 8) * 35 + 20) & 0xFF));
    return s;
}

std::vector<uint8_t> ColourBlocks(int w, int h)
{
    std::vector<uint8_t> s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cell = (x / 16) + 3 * (y / 16);
            s.insert(s.end(), {uint8_t(40 + 50 * (cell % 4)), uint8_t(200 - 30 * cell),
                               uint8_t(90 + 20 * cell)});
        }
    return s;
}

EncodeOptions Opt(int w, int h, int comps, int quality = 100, bool b420 = false,
                  bool bProgressive = false)
{
    EncodeOptions o;
    o.nWidth = w;
    o.nHeight = h;
    o.nComponents = comps;
    o.nQuality = quality;
    o.bSubsample420 = b420;
    o.bProgressive = bProgressive;
    return o;
}

class DecodedPicture : public JpegLoaderTest, public ::testing::WithParamInterface<PictureCase>
{
};

TEST_P(DecodedPicture, MatchesSamplesWordByWord)
{
    const PictureCase& c = GetParam();
    const QString path = Write("picture.jpg", EncodeJpeg(c.options, c.samples));
    CVeltroInterfaceDoc doc;
    ASSERT_EQ(Load(doc, path), 0) << m_strStderr.toStdString();
    ASSERT_NE(doc.m_pImage, nullptr);
    EXPECT_TRUE(m_strReason.isEmpty());
    EXPECT_TRUE(m_strStderr.isEmpty()) << m_strStderr.toStdString();
    ASSERT_EQ(doc.m_nWidth, c.options.nWidth);
    ASSERT_EQ(doc.m_nHeight, c.options.nHeight);
    EXPECT_EQ(doc.m_nChannels, 3);

    const int comps = c.options.nComponents;
    int nBad = 0;
    for (int y = 0; y < doc.m_nHeight && nBad < 5; ++y) {
        for (int x = 0; x < doc.m_nWidth && nBad < 5; ++x) {
            const auto nearEdge = [&](int v) {
                return c.edgeSkip > 0 && std::min(v % 16, 15 - v % 16) < c.edgeSkip;
            };
            if (nearEdge(x) || nearEdge(y))
                continue;
            const uint8_t* s = &c.samples[(size_t(y) * size_t(doc.m_nWidth) + size_t(x)) * size_t(comps)];
            const Rgb want = comps == 1 ? Rgb{s[0], s[0], s[0]} : Rgb{s[0], s[1], s[2]};
            const uint32_t w = WordAt(doc, x, y);
            const auto near = WordNear(w, want, c.tolerance);
            if (!near)
                ++nBad;
            EXPECT_TRUE(near) << "pixel (" << x << "," << y << " from top)";
            if (comps == 1) {
                EXPECT_EQ(w & 0xFF, (w >> 8) & 0xFF);
                EXPECT_EQ(w & 0xFF, (w >> 16) & 0xFF);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DecodedPicture,
    ::testing::Values(
        PictureCase{"ThreeByTwo", Opt(3, 2, 3),
                    {250, 10, 10, 10, 250, 10, 10, 10, 250,     // top: red green blue
                     240, 240, 20, 20, 240, 240, 128, 128, 128}, // bottom: yellow cyan grey
                    8},
        PictureCase{"RedTopBlueBottom", Opt(16, 16, 3), BandedRgb(16, 16, {255, 0, 0}, {0, 0, 255}), 4},
        PictureCase{"GreyOddSize", Opt(13, 7, 1), GreyRamp(13, 7), 2},
        PictureCase{"ColourSubsampled420", Opt(48, 32, 3, 95, true), ColourBlocks(48, 32), 6, 2},
        PictureCase{"ProgressiveColour", Opt(48, 32, 3, 100, false, true), ColourBlocks(48, 32), 4}),
    [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Four-sample files

struct InkCase
{
    const char* name;
    bool bYcck;
    bool bAdobe;    // stored inverted, flagged by the Adobe marker
    int c, m, y, k; // ink, 0 = none
    int tolerance;
};

void PrintTo(const InkCase& c, std::ostream* os)
{
    *os << c.name;
}

class FourSamplePicture : public JpegLoaderTest, public ::testing::WithParamInterface<InkCase>
{
};

TEST_P(FourSamplePicture, BecomesRgb)
{
    const InkCase& c = GetParam();
    EncodeOptions o = Opt(16, 16, 4);
    o.bYcck = c.bYcck;
    o.bAdobeMarker = c.bAdobe;
    const auto store = [&](int ink) { return uint8_t(c.bAdobe ? 255 - ink : ink); };
    const std::vector<uint8_t> pixel = {store(c.c), store(c.m), store(c.y), store(c.k)};
    CVeltroInterfaceDoc doc;
    ASSERT_EQ(Load(doc, Write("ink.jpg", EncodeJpeg(o, SolidSamples(16, 16, pixel)))), 0)
        << m_strStderr.toStdString();
    ASSERT_NE(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nChannels, 3);
    // Ink absorbs: each channel keeps what its complementary ink and the
    // black ink let through.
    const auto through = [&](int ink) { return (255 - ink) * (255 - c.k) / 255; };
    const Rgb want{through(c.c), through(c.m), through(c.y)};
    for (int i : {0, 7 * 16 + 9, 255})
        EXPECT_TRUE(WordNear(doc.m_pImage[i], want, c.tolerance)) << "word " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Inks, FourSamplePicture,
    ::testing::Values(InkCase{"AdobeCmyk", false, true, 64, 128, 10, 40, 4},
                      InkCase{"PlainCmyk", false, false, 64, 128, 10, 40, 4},
                      InkCase{"Ycck", true, true, 64, 128, 10, 40, 6}),
    [](const ::testing::TestParamInfo<InkCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Files refused before any pixel is stored: the document keeps no block and
// its fields stay as they were; the reason reaches the caller and stderr.

QByteArray SmallJpeg(bool bProgressive = false, int comps = 3)
{
    return EncodeJpeg(Opt(16, 16, comps, 90, comps == 3, bProgressive),
                      comps == 3 ? ColourBlocks(16, 16) : GreyRamp(16, 16));
}

QByteArray BmpFile()
{
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "BMP");
    return bytes;
}

QByteArray WithFrameSize(QByteArray jpeg, int w, int h)
{
    EXPECT_TRUE(PatchFrameSize(jpeg, w, h));
    return jpeg;
}

struct RefusedCase
{
    const char* name;
    QByteArray (*make)();
    const char* reasonPart;   // expected in the reason, case-insensitive
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusedFile : public JpegLoaderTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(RefusedFile, LeavesDocumentUntouched)
{
    const RefusedCase& c = GetParam();
    CVeltroInterfaceDoc doc;
    MarkUntouched(doc);
    EXPECT_EQ(Load(doc, Write("refused.jpg", c.make())), 1);
    ExpectUntouched(doc);
    EXPECT_TRUE(m_strReason.contains(QLatin1String(c.reasonPart), Qt::CaseInsensitive))
        << "reason: " << m_strReason.toStdString();
    EXPECT_FALSE(m_strStderr.trimmed().isEmpty());
    EXPECT_TRUE(m_strStderr.endsWith(QLatin1Char('\n')));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    ::testing::Values(
        RefusedCase{"Bitmap", &BmpFile, "Not a JPEG file"},
        RefusedCase{"EmptyFile", [] { return QByteArray(); }, ""},
        RefusedCase{"HeaderOnly", [] { return SmallJpeg().left(120); }, ""},
        // Tiny files that declare pictures too large to hold: refused on the
        // header alone, before a block or decoder buffers are allocated.
        RefusedCase{"DeclaresJustOverAGigapixel",
                    [] { return WithFrameSize(SmallJpeg(), 40000, 25001); }, "too large"},
        // Under the pixel limit, but a progressive decode of this size would
        // need gigabytes of coefficient memory: the decoder's memory cap stops it.
        RefusedCase{"ProgressiveDeclares30000x30000",
                    [] { return WithFrameSize(SmallJpeg(true), 30000, 30000); }, "working memory"},
        // Thousands of scans: the decoder stops counting at the limit.
        RefusedCase{"ThousandsOfScans",
                    [] { return RepeatScan(SmallJpeg(true, 1), 0, 3000); }, "scans"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(JpegLoaderTest, MissingFileWritesOneLineNamingIt)
{
    const QString path = Path("no such file.jpg");
    CVeltroInterfaceDoc doc;
    MarkUntouched(doc);
    EXPECT_EQ(Load(doc, path), 1);
    ExpectUntouched(doc);
    EXPECT_EQ(m_strStderr, QStringLiteral("can't open %1\n").arg(path));
    EXPECT_FALSE(m_strReason.isEmpty());
}

// Each progressive scan is a pass over the whole picture, so the number of
// scans allowed shrinks as the picture grows, within fixed bounds.
TEST(JpegLimits, ScanLimitShrinksWithPictureSize)
{
    using namespace jpeglimits;
    struct Case
    {
        uint32_t w, h;
        int expected;
    };
    const Case cases[] = {
        {0, 0, kMaxScans},
        {4000, 2500, kMaxScans},      // 10 MP: the budget would allow more
        {6000, 4000, 416},            // 24 MP
        {16000, 12500, kMinScans},    // a 200-megapixel scan
        {65535, 65535, kMinScans},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MaxProgressiveScans(c.w, c.h), c.expected) << c.w << " x " << c.h;
    // Genuine progressive files have a few dozen scans at most.
    EXPECT_GE(kMinScans, 32);
}

// A progressive file just under the scan limit still decodes: repeating its
// first DC scan rewrites the same coefficients, so the picture is unchanged.
TEST_F(JpegLoaderTest, ManyScansUnderTheLimitStillDecode)
{
    const QByteArray original = SmallJpeg(true, 1);
    const QByteArray repeated = RepeatScan(original, 0, jpeglimits::kMaxScans - 20);
    ASSERT_FALSE(repeated.isEmpty());
    CVeltroInterfaceDoc plain, many;
    ASSERT_EQ(Load(plain, Write("plain.jpg", original)), 0);
    ASSERT_EQ(Load(many, Write("many.jpg", repeated)), 0) << m_strReason.toStdString();
    ASSERT_NE(many.m_pImage, nullptr);
    ASSERT_EQ(many.m_nWidth * many.m_nHeight, 256);
    EXPECT_TRUE(std::equal(plain.m_pImage, plain.m_pImage + 256, many.m_pImage));
}

// ---------------------------------------------------------------------------
// Damage found while the rows are being read

// Data that ends early is only a warning: the rows decoded so far stay
// intact and the rest is black. The larger case clears whole pages.
class TruncatedFile : public JpegLoaderTest, public ::testing::WithParamInterface<EncodeOptions>
{
};

TEST_P(TruncatedFile, LeavesTheRestBlack)
{
    const EncodeOptions o = GetParam();
    const std::vector<uint8_t> samples = ColourBlocks(o.nWidth, o.nHeight);
    const QByteArray whole = EncodeJpeg(o, samples);
    int cut = 0;
    for (const Segment& seg : ListSegments(whole))
        if (seg.nMarker == 0xDA)
            cut = seg.nOffset + seg.nLength / 2;   // half-way through the scan
    ASSERT_GT(cut, 0);
    CVeltroInterfaceDoc doc;
    ASSERT_EQ(Load(doc, Write("truncated.jpg", whole.left(cut))), 0) << m_strStderr.toStdString();
    ASSERT_NE(doc.m_pImage, nullptr);
    ASSERT_EQ(doc.m_nWidth, o.nWidth);
    ASSERT_EQ(doc.m_nHeight, o.nHeight);
    EXPECT_TRUE(m_strStderr.contains(QLatin1String("Premature end of JPEG file"))) << m_strStderr.toStdString();
    for (int x = 8; x < o.nWidth; x += 16)   // the middle of each 16-pixel cell
        EXPECT_TRUE(WordNear(WordAt(doc, x, 4), {samples[3 * (4 * o.nWidth + x)],
                                                 samples[3 * (4 * o.nWidth + x) + 1],
                                                 samples[3 * (4 * o.nWidth + x) + 2]}, 8)) << x;
    const size_t nWords = size_t(o.nWidth) * size_t(o.nHeight);
    for (size_t i = 0; i < nWords; ++i)
        ASSERT_EQ(doc.m_pImage[i] >> 24, 0u) << i;
    // Half the data is there; the bottom quarter of the picture is surely
    // beyond it.
    for (size_t i = 0; i < nWords / 4; ++i)
        ASSERT_EQ(doc.m_pImage[i], 0u) << "word " << i;
}

INSTANTIATE_TEST_SUITE_P(Sizes, TruncatedFile,
                         ::testing::Values(Opt(64, 64, 3), Opt(1024, 768, 3, 90, true)),
                         [](const ::testing::TestParamInfo<EncodeOptions>& info) {
                             return std::to_string(info.param.nWidth) + "x"
                                    + std::to_string(info.param.nHeight);
                         });

// A fatal error after the last row (here a second frame header before the
// end of the file) fails the load but keeps the decoded picture.
TEST_F(JpegLoaderTest, FatalErrorAfterTheRowsKeepsThePicture)
{
    const QByteArray whole = EncodeJpeg(Opt(16, 16, 3), BandedRgb(16, 16, {255, 0, 0}, {0, 0, 255}));
    QByteArray sof;
    for (const Segment& seg : ListSegments(whole))
        if (seg.nMarker == 0xC0)
            sof = whole.mid(seg.nOffset, seg.nLength);
    ASSERT_FALSE(sof.isEmpty());
    CVeltroInterfaceDoc doc;
    EXPECT_EQ(Load(doc, Write("twoframes.jpg", InsertBeforeEoi(whole, sof))), 1);
    ASSERT_NE(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nWidth, 16);
    EXPECT_EQ(doc.m_nHeight, 16);
    EXPECT_EQ(doc.m_nChannels, 3);
    EXPECT_TRUE(m_strReason.contains(QLatin1String("SOF"))) << m_strReason.toStdString();
    EXPECT_TRUE(m_strStderr.contains(m_strReason)) << m_strStderr.toStdString();
    EXPECT_TRUE(WordNear(doc.m_pImage[0], {0, 0, 255}, 4));
    EXPECT_TRUE(WordNear(doc.m_pImage[255], {255, 0, 0}, 4));
}

// ---------------------------------------------------------------------------
// The document's loading step

TEST_F(JpegLoaderTest, DocumentRecordsFullPathAndMarksLayout)
{
    Write("good.jpg", SmallJpeg());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    CVeltroInterfaceDoc doc;
    QString error = QStringLiteral("stale");
    const bool bOpened = doc.OnOpenDocument(QStringLiteral("good.jpg"), &error);
    QDir::setCurrent(previous);

    EXPECT_TRUE(bOpened);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(doc.m_strImagePath, Path("good.jpg"));
    EXPECT_EQ(doc.m_nDisplayState, 1);
    EXPECT_EQ(doc.m_nLoadResult, 0);
    EXPECT_NE(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nWidth, 16);
}

TEST_F(JpegLoaderTest, DocumentOpensEvenWhenDecodingFails)
{
    const QString path = Write("picture.bmp", BmpFile());
    CVeltroInterfaceDoc doc;
    QString error;
    {
        StderrCapture quiet;
        EXPECT_FALSE(doc.OnOpenDocument(path, &error));
    }
    EXPECT_EQ(doc.m_nDisplayState, 1);
    EXPECT_EQ(doc.m_strImagePath, path);
    EXPECT_EQ(doc.m_pImage, nullptr);
    EXPECT_EQ(doc.m_nLoadResult, 1);
    EXPECT_FALSE(doc.m_strLoadError.isEmpty());
    EXPECT_EQ(error, doc.m_strLoadError);

    // Storing writes nothing, and does not touch the file.
    doc.Serialize(true, path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), BmpFile());
}

} // namespace
