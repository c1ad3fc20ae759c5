// Pictures in and out of the engine: every kind of input it reads, each written back in every output format with
// the untouched pixels kept exactly and the metadata carried; and the files it refuses.

#include "EngineTestFiles.h"

#include "engine/EngineError.h"
#include "engine/ImageCodecs.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include <zlib.h>

using namespace veltro;
using namespace enginetest;

namespace {

const cv::Size kSize(52, 44);   // not a whole number of MCUs either way

Picture Decode(const Bytes& bytes, std::ostream& warnings)
{
    return DecodePicture(std::make_shared<const Bytes>(bytes), "picture", "cannot read input picture", warnings);
}

// Largest difference of `a` and `b` (same type) over the pixels where `where` (8-bit, one channel) is set.
double MaxDiffWhere(const cv::Mat& a, const cv::Mat& b, const cv::Mat& where)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    std::vector<cv::Mat> planes;
    cv::split(d, planes);
    double worst = 0;
    for (const cv::Mat& p : planes) {
        double m = 0;
        cv::minMaxLoc(p, nullptr, &m, nullptr, nullptr, where);
        worst = std::max(worst, m);
    }
    return worst;
}

// Inks that give `bgr` with a constant black (plain: ink amounts; Adobe: stored inverted).
cv::Mat Inks(const cv::Mat& bgr, bool adobe)
{
    cv::Mat inks(bgr.size(), CV_8UC4);
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
            const int k = 240;   // light value of the black
            const cv::Vec4b light(uchar(std::min(255, p[2] * 255 / k)), uchar(std::min(255, p[1] * 255 / k)),
                                  uchar(std::min(255, p[0] * 255 / k)), uchar(k));
            inks.at<cv::Vec4b>(y, x) = adobe ? light : cv::Vec4b(255, 255, 255, 255) - light;
        }
    return inks;
}

cv::Mat Grey(const cv::Mat& bgr)
{
    cv::Mat g;
    cv::cvtColor(bgr, g, cv::COLOR_BGR2GRAY);
    return g;
}

cv::Mat To16(const cv::Mat& m)
{
    cv::Mat w;
    m.convertTo(w, CV_16U, 257.0);
    cv::Mat noise(m.size(), w.type());
    cv::randu(noise, 0, 200);   // low bits an 8-bit path would lose
    return w + noise;
}

cv::Mat WithAlpha(const cv::Mat& colour)
{
    cv::Mat alpha(colour.size(), colour.depth() == CV_16U ? CV_16U : CV_8U);
    cv::randu(alpha, 0, colour.depth() == CV_16U ? 65535 : 255);
    std::vector<cv::Mat> planes;
    cv::split(colour, planes);
    planes.push_back(alpha);
    cv::Mat m;
    cv::merge(planes, m);
    return m;
}

struct Kind {
    const char* name;
    Bytes bytes;
    cv::Mat expected;      // 8-bit BGR the engine should see
    int tolerance;
    int storedType;        // what it keeps as stored
    int reach;             // pixels around a touched MCU that the decoder's chroma upsampling also changes
};

std::vector<Kind> Kinds()
{
    const cv::Mat scene = Scene(kSize), grey = Grey(scene);
    cv::Mat greyBgr, inkBgr;
    cv::cvtColor(grey, greyBgr, cv::COLOR_GRAY2BGR);
    const cv::Mat scene16 = To16(scene), grey16 = To16(grey);
    const auto jpeg = [&](const JpegKind& k) {
        return EncodeJpeg(k.components == 4 ? Inks(scene, k.adobe) : k.components == 3 ? scene : grey, k);
    };
    const std::string scratch = ::testing::TempDir() + "/kind.tif";
    const auto tiff = [&](const cv::Mat& samples, const TiffKind& k) { return enginetest::EncodeTiff(samples, k, scratch); };
    return {
        {"JPEG 4:2:0", jpeg({}), scene, 24, CV_8UC3, 1},
        {"JPEG 4:2:2", jpeg({3, 2, 1}), scene, 24, CV_8UC3, 1},
        {"JPEG 4:4:4", jpeg({3, 1, 1}), scene, 10, CV_8UC3, 0},
        {"JPEG progressive", jpeg({3, 2, 2, true}), scene, 24, CV_8UC3, 1},
        {"JPEG arithmetic", jpeg({3, 2, 2, false, true}), scene, 24, CV_8UC3, 1},
        {"JPEG progressive arithmetic restarts", jpeg({3, 1, 1, true, true, false, true, 1}), scene, 10, CV_8UC3, 0},
        {"JPEG restart markers", jpeg({3, 2, 2, false, false, false, true, 1}), scene, 24, CV_8UC3, 1},
        {"JPEG grey", jpeg({1}), greyBgr, 6, CV_8UC1, 0},
        {"JPEG two components", jpeg({2}), greyBgr, 6, CV_8UC1, 0},
        {"JPEG Adobe CMYK", jpeg({4, 1, 1}), scene, 10, CV_8UC3, 0},
        {"JPEG plain CMYK", jpeg({4, 1, 1, false, false, false, false}), scene, 10, CV_8UC3, 0},
        {"JPEG YCCK", jpeg({4, 1, 1, false, false, true}), scene, 12, CV_8UC3, 0},
        {"TIFF 8-bit RGB strips", tiff(scene, {}), scene, 0, CV_8UC3, 0},
        {"TIFF 16-bit RGB tiles", tiff(scene16, {16, true}), scene, 1, CV_16UC3, 0},
        {"TIFF 8-bit grey tiles", tiff(grey, {8, true}), greyBgr, 0, CV_8UC1, 0},
        {"TIFF 16-bit grey strips, white is zero", tiff(grey16, {16, false, true}), greyBgr, 1,
         CV_16UC1, 0},
        {"TIFF 8-bit RGBA", tiff(WithAlpha(scene), {}), scene, 0, CV_8UC4, 0},
        {"TIFF palette", tiff(grey, {8, false, false, true}), greyBgr, 0, CV_8UC3, 0},
        {"PNG 8-bit RGB", EncodePng(scene), scene, 0, CV_8UC3, 0},
        {"PNG 16-bit grey", EncodePng(grey16), greyBgr, 1, CV_16UC1, 0},
        {"PNG 16-bit RGBA", EncodePng(WithAlpha(scene16)), scene, 1, CV_16UC4, 0},
    };
}

}  // namespace

// Each kind decodes to its picture; written as JPEG, TIFF and PNG with a square repaired, every pixel outside the
// square keeps its stored value (a JPEG from a JPEG: outside the touched MCUs and what chroma upsampling reaches).
TEST(EngineIo, EveryInputKindIsReadAndKeepsItsUntouchedPixelsInEveryOutputFormat)
{
    const cv::Rect square(20, 20, 10, 10), touched(16, 16, 16, 16);
    for (const Kind& k : Kinds()) {
        SCOPED_TRACE(k.name);
        std::ostringstream warnings;
        const Picture in = Decode(k.bytes, warnings);
        EXPECT_EQ(warnings.str(), "");
        ASSERT_EQ(in.bgr.size(), kSize);
        EXPECT_EQ(in.stored.type(), k.storedType);
        EXPECT_LE(MaxDiffWhere(in.bgr, k.expected, cv::Mat(kSize, CV_8U, cv::Scalar(255))), k.tolerance);

        cv::Mat restored = in.bgr.clone();
        restored(square) = cv::Scalar(30, 200, 90);
        uint64_t count = 0;
        const cv::Mat changed = ChangedPixels(in.bgr, restored, count);
        ASSERT_EQ(count, 100u);
        for (const FileFormat format : {FileFormat::Jpeg, FileFormat::Tiff, FileFormat::Png}) {
            SCOPED_TRACE(FormatName(format));
            std::ostringstream notes;
            const Picture out = Decode(EncodePicture(in, restored, changed, format, "out", notes), warnings);
            ASSERT_EQ(out.bgr.size(), kSize);
            EXPECT_EQ(out.format, format);
            if (format == FileFormat::Jpeg && in.format != FileFormat::Jpeg)
                continue;   // a whole new JPEG: lossy everywhere, without 16 bits or alpha
            EXPECT_EQ(notes.str(), "");
            cv::Mat kept(kSize, CV_8U, cv::Scalar(255));
            // A grey picture takes the repair's luminance.
            const bool grey = in.stored.channels() <= 2;
            const double error = cv::norm(grey ? Grey(out.bgr)(square) : out.bgr(square),
                                          grey ? Grey(restored)(square) : restored(square), cv::NORM_L1) / 100;
            if (format == FileFormat::Jpeg) {
                kept(cv::Rect(touched.x - k.reach, touched.y - k.reach, touched.width + 2 * k.reach,
                              touched.height + 2 * k.reach)) = 0;
                EXPECT_EQ(MaxDiffWhere(out.bgr, in.bgr, kept), 0);
                EXPECT_LE(error, 40);
            } else {
                kept(square) = 0;
                ASSERT_EQ(out.stored.type(), in.stored.type());
                EXPECT_EQ(MaxDiffWhere(out.stored, in.stored, kept), 0);
                EXPECT_LE(error, grey ? 1 : 3);
            }
        }
    }
}

// ICC profile, density, EXIF and comments go from a JPEG into every format and back; a TIFF's 600 dpi too.
TEST(EngineIo, MetadataIsCarriedIntoEveryFormat)
{
    Metadata meta;
    // An ICC profile's header and one tag of 200 bytes that do not compress (libpng skips tiny profiles).
    meta.icc.assign(344, 0);
    const auto put = [&](size_t at, const char* text) { std::memcpy(&meta.icc[at], text, 4); };
    put(0, "\0\0\x01\x58"), put(12, "mntr"), put(16, "RGB "), put(20, "XYZ "), put(36, "acsp");
    put(68, "\0\0\xF6\xD6"), put(72, "\0\1\0\0"), put(76, "\0\0\xD3\x2D");   // the D50 white point
    put(128, "\0\0\0\1"), put(132, "desc"), put(136, "\0\0\0\x90"), put(140, "\0\0\0\xC8");
    cv::randu(cv::Mat(1, 200, CV_8U, &meta.icc[144]), 0, 256);
    meta.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
    meta.densityUnit = 1;
    meta.xDensity = meta.yDensity = 300;
    meta.texts = {{"Comment", "scanned in 1921"}};
    Picture source;
    source.stored = source.bgr = Scene(kSize);
    const cv::Mat none = cv::Mat::zeros(kSize, CV_8U);
    std::ostringstream sink;
    const Picture jpeg = Decode(EncodeJpeg(source.bgr, 90, meta, "m.jpg"), sink);
    for (const FileFormat format : {FileFormat::Jpeg, FileFormat::Tiff, FileFormat::Png}) {
        SCOPED_TRACE(FormatName(format));
        const Picture out = Decode(EncodePicture(jpeg, jpeg.bgr, none, format, "out", sink), sink);
        EXPECT_EQ(out.meta.icc, meta.icc);
        EXPECT_EQ(out.meta.densityUnit, 1);
        EXPECT_NEAR(out.meta.xDensity, 300, 0.01);
        EXPECT_EQ(out.meta.texts, meta.texts);
        if (format != FileFormat::Tiff) {   // a TIFF would need its EXIF rebuilt as a directory: not carried
            EXPECT_EQ(out.meta.exif, meta.exif);
        }
    }
    const Picture tiff = Decode(enginetest::EncodeTiff(source.bgr, {}, ::testing::TempDir() + "/m.tif"), sink);
    for (const FileFormat format : {FileFormat::Jpeg, FileFormat::Tiff, FileFormat::Png}) {
        const Picture out = Decode(EncodePicture(tiff, tiff.bgr, none, format, "out", sink), sink);
        EXPECT_NEAR(out.meta.xDensity, 600, 0.01) << FormatName(format);
        EXPECT_EQ(out.meta.densityUnit, 1);
    }
}

// Refused with exit status 3 on the header alone, in one line; damage that only warns is one warning line.
TEST(EngineIo, HostileAndDamagedFilesAreRefusedInOneLine)
{
    const cv::Mat grey = Grey(Scene(cv::Size(64, 64)));
    const Bytes progressive = EncodeJpeg(grey, {1, 1, 1, true});
    const auto find = [&](const Bytes& b, Bytes::const_iterator from, uint8_t marker) {
        const uint8_t m[] = {0xFF, marker};
        return std::search(from, b.end(), m, m + 2);
    };
    const auto sof = find(progressive, progressive.begin(), 0xC2);
    Bytes bomb = progressive;   // the 30000 x 30000 progressive bomb: its height and width
    const size_t at = size_t(sof - progressive.begin()) + 5;
    for (const size_t i : {at, at + 2})
        bomb.at(i) = 30000 >> 8, bomb.at(i + 1) = 30000 & 0xFF;
    Bytes manyScans = progressive;   // its first scan repeated thousands of times
    const auto sos = find(progressive, progressive.begin(), 0xDA), next = find(progressive, sos + 2, 0xDA);
    for (int i = 0; i < 3000; ++i)
        manyScans.insert(manyScans.end() - 2, sos, next);
    const Bytes png = EncodePng(grey);
    Bytes hugePng = png;   // its width and height, and the header's checksum
    const auto put32 = [&](size_t at, unsigned long v) {
        for (size_t i = 0; i < 4; ++i)
            hugePng.at(at + i) = uint8_t(v >> (24 - 8 * i));
    };
    put32(16, 30000), put32(20, 30000), put32(29, crc32(0, hugePng.data() + 12, 17));
    const Bytes tiff = enginetest::EncodeTiff(grey, {}, ::testing::TempDir() + "/h.tif");
    const Bytes baseline = EncodeJpeg(Scene(cv::Size(64, 64)), {});
    const struct { const char* name; Bytes bytes; const char* reasonPart; } cases[] = {
        {"progressive bomb", bomb, "decompression bomb"},
        {"thousands of scans", manyScans, "progressive scans"},
        {"PNG of 30000 x 30000", hugePng, "decompression bomb"},
        {"cut PNG", Bytes(png.begin(), png.begin() + long(png.size()) / 2), ""},
        {"cut TIFF", Bytes(tiff.begin(), tiff.begin() + 40), ""},
        {"header of a JPEG", Bytes(baseline.begin(), baseline.begin() + 200), "(after: "},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', '\r', '\n'}, "not a JPEG, TIFF or PNG picture"},
        {"empty", Bytes(), "the file is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ostringstream warnings;
        try {
            Decode(c.bytes, warnings);
            ADD_FAILURE() << "read";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.ExitStatus(), kExitUnreadable);
            EXPECT_NE(e.Reason().find(c.reasonPart), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find_first_of("\r\n"), std::string::npos) << e.what();
        }
        EXPECT_EQ(warnings.str(), "");
    }
    std::ostringstream warnings;
    const Picture cut = Decode(Bytes(baseline.begin(), baseline.begin() + long(baseline.size()) * 2 / 3), warnings);
    EXPECT_EQ(cut.bgr.size(), cv::Size(64, 64));
    EXPECT_EQ(warnings.str().rfind("veltro.exe: warning: picture: Premature end of JPEG file", 0), 0u);
    EXPECT_EQ(warnings.str().find('\n'), warnings.str().size() - 1);
}
