// Short fuzzing with a fixed seed: every key of every operation with extreme values, mutated parameter files and
// mutated pictures of each format. The engine may refuse, never crash, overflow or fail inside a restoration.

#include "EngineTestFiles.h"

#include "engine/CommandLine.h"
#include "engine/EngineError.h"
#include "engine/ImageFiles.h"
#include "engine/ParamFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using namespace veltro;
using namespace enginetest;

namespace {

class EngineFuzz : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("veltro-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const Bytes& bytes)
    {
        std::ofstream((dir / name).string(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                      std::streamsize(bytes.size()));
        return (dir / name).string();
    }
    int Run(const std::vector<std::string>& args, std::string& err)
    {
        std::vector<const char*> argv{"veltro.exe"};
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        std::ostringstream out, errors;
        const int status = RunCommandLine(int(argv.size()), argv.data(), out, errors);
        err = errors.str();
        return status;
    }
    fs::path dir;
};

}  // namespace

// Each value of each key at the edges of what parses: accepted (sizes beyond the picture count as its diagonal) or
// refused with exit status 4; a restoration never fails on what the parameter file let through.
TEST_F(EngineFuzz, ExtremeValuesOfEveryKeyAreRefusedOrHandled)
{
    const cv::Mat scene = Scene(cv::Size(32, 24));
    const std::string in = Write("in.jpg", EncodeJpeg(scene, {}));
    cv::Mat m = cv::Mat::zeros(scene.size(), CV_8U);
    m(cv::Rect(10, 10, 6, 6)) = 255;
    const std::string mask = Write("mask.png", EncodePng(m)), out = (dir / "out.jpg").string();
    // Every key of each operation with an ordinary value.
    const struct { const char* flag; std::vector<std::pair<std::string, std::string>> keys; } ops[] = {
        {"-gorex", {{"DIST", "3"}, {"COST", "5"}, {"MASKFILE", mask}}},
        {"-crax", {{"THRWHITE", "245"}, {"DEGSTART", "-90"}, {"STEP_ANGLE", "3"}, {"DEGSTOP", "90"},
                   {"Y1", "2"}, {"X1", "2"}, {"Y2", "29"}, {"X2", "21"}}},
        {"-fox", {{"DIST", "3"}, {"COST", "2"}, {"AMP", "0.05"}}},
        {"-crease", {{"THR1", "10"}, {"Q", "22"}, {"N", "25"}, {"Y1", "0"}, {"X1", "0"}, {"Y2", "31"}, {"X2", "23"}}},
    };
    const char* const extremes[] = {"-2147483648", "2147483647", "1073741824", "0", "1e308"};
    for (const auto& op : ops)
        for (size_t k = 0; k < op.keys.size(); ++k)
            for (const char* value : extremes) {
                // Positions of any value are clamped to the picture (the coordinates test has their extremes).
                if (op.keys[k].first == "MASKFILE" || op.keys[k].first[0] == 'X' || op.keys[k].first[0] == 'Y')
                    continue;
                std::ofstream params(dir / "p.log");
                for (size_t i = 0; i < op.keys.size(); ++i)
                    params << op.keys[i].first << "\t" << (i == k ? value : op.keys[i].second) << "\n";
                params.close();
                std::string err;
                const int s = Run({"-i", in, op.flag, (dir / "p.log").string(), "-o", out}, err);
                EXPECT_TRUE(s == 0 || s == 4) << op.flag << " " << op.keys[k].first << "=" << value << ": " << err;
            }
}

// Mutated parameter files: values come back or the failure is an EngineError.
TEST_F(EngineFuzz, MutatedParameterFilesOnlyEverFailCleanly)
{
    std::mt19937 rng(20240612);
    const std::string base = "THR1\t10.000000\r\nQ\t22\r\nN\t25\r\nY1\t20\r\nX1\t219\r\nY2\t150\r\nX2\t119\r\n";
    const std::vector<std::string> keys = {"THR1", "Q", "N", "Y1", "X1", "Y2", "X2"};
    const char alphabet[] = "\t\r\n\0\xEF\xBB\xBF-+.e9X1 ";
    for (int i = 0; i < 2000; ++i) {
        std::string text = base;
        for (int n = 1 + int(rng() % 6); n > 0 && !text.empty(); --n) {
            const size_t at = rng() % text.size();
            switch (rng() % 3) {
            case 0: text[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
            case 1: text.insert(at, 1, char(rng() % 256)); break;
            default: text.erase(at, 1 + rng() % 8); break;
            }
        }
        std::ostringstream warnings;
        try {
            const ParamFile f = ParamFile::Parse(text, "crease.log", keys, warnings);
            f.Real("THR1", 0, 255);
            for (size_t k = 1; k < keys.size(); ++k)
                f.Int(keys[k]);
        } catch (const EngineError& e) {
            EXPECT_EQ(e.ExitStatus(), kExitInvalid);
            EXPECT_EQ(std::string(e.what()).find_first_of("\r\n"), std::string::npos);
        }
        const std::string w = warnings.str();
        EXPECT_EQ(w.find('\r'), std::string::npos);
    }
}

// Mutated JPEG, TIFF and PNG files: read, or refused with exit status 3; what is read is written again in every
// format (a JPEG from a JPEG through its coded blocks).
TEST_F(EngineFuzz, MutatedPicturesAreReadOrRefusedAndWrittenAgain)
{
    std::mt19937 rng(19210);
    const cv::Mat scene = Scene(cv::Size(40, 24));
    cv::Mat grey, wide, inks;
    cv::cvtColor(scene, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(scene, inks, cv::COLOR_BGR2BGRA);
    grey.convertTo(wide, CV_16U, 257);
    const std::string scratch = (dir / "seed.tif").string();
    const std::vector<Bytes> seeds = {
        EncodeJpeg(scene, {}), EncodeJpeg(scene, {3, 1, 1, true}), EncodeJpeg(grey, {1, 1, 1, false, true}),
        EncodeJpeg(inks, {4, 1, 1, false, false, true}), EncodeTiff(scene, {}, scratch),
        EncodeTiff(wide, {16, true}, scratch), EncodePng(scene), EncodePng(wide),
    };
    int read = 0;
    for (const Bytes& seed : seeds)
        for (int i = 0; i < 150; ++i) {
            Bytes bytes = seed;
            if (rng() % 4 == 0)
                bytes.resize(rng() % bytes.size());
            for (int n = 1 + int(rng() % 4); n > 0 && !bytes.empty(); --n)
                bytes[rng() % bytes.size()] = uint8_t(rng());
            std::ostringstream warnings;
            try {
                const Picture p = DecodePicture(std::make_shared<const Bytes>(bytes), "fuzz", "cannot read input picture",
                                                warnings);
                ASSERT_EQ(p.bgr.type(), CV_8UC3);
                ++read;
                cv::Mat restored = p.bgr.clone();
                restored(cv::Rect(0, 0, std::min(9, p.bgr.cols), std::min(9, p.bgr.rows))) = cv::Scalar(1, 2, 3);
                uint64_t count = 0;
                const cv::Mat changed = ChangedPixels(p.bgr, restored, count);
                for (const FileFormat f : {FileFormat::Jpeg, FileFormat::Tiff, FileFormat::Png})
                    EXPECT_FALSE(EncodePicture(p, restored, changed, f, "out", warnings).empty());
            } catch (const EngineError& e) {
                EXPECT_TRUE(e.ExitStatus() == kExitUnreadable || e.ExitStatus() == kExitUnwritable) << e.what();
                EXPECT_EQ(std::string(e.what()).find_first_of("\r\n"), std::string::npos) << e.what();
            }
        }
    EXPECT_GT(read, 100);   // the mutations leave many files readable: the writing is fuzzed too
}
