// The rules of the processing commands without windows: reading the dialogs' fields, proposing output paths, and
// writing parameter files.
#include "processing/InputRules.h"
#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

using processingpaths::ParamFilePath;
using processingpaths::ProposePath;

namespace {

// Texts typed into a field and what reading them gives; a refused text leaves the variable as it was.
template <typename T>
struct ParseCase { const char* pszText; bool bAccepted; T value; };

template <typename T, typename Parse>
void ExpectParses(std::initializer_list<ParseCase<T>> cases, Parse parse)
{
    for (const ParseCase<T>& c : cases) {
        const T untouched = T(-12345);
        T value = untouched;
        EXPECT_TRUE(parse(QString::fromUtf8(c.pszText), value) == c.bAccepted
                    && value == (c.bAccepted ? c.value : untouched)) << '"' << c.pszText << "\" gives " << value;
    }
}

} // namespace

TEST(InputRules, UnsignedIntAndFloatFields)
{
    ExpectParses<uint32_t>({{"7", true, 7}, {"0", true, 0}, {"007", true, 7}, {" \t 12 \t ", true, 12},
                            {"+12", true, 12}, {"4294967295", true, 4294967295u},
                            {"99999999999", true, 4294967295u},   // clamped
                            {"", false, 0}, {"-3", false, 0}, {"-0", false, 0},
                            {"+0", false, 0},   // a zero counts only when written with a leading 0
                            {"2.5", false, 0}, {"3abc", false, 0}, {"1 2", false, 0}, {"0x10", false, 0},
                            {"++1", false, 0}, {"\n12", false, 0},
                            {"\xd9\xa3", false, 0}},   // ARABIC-INDIC DIGIT THREE
                           inputrules::ParseUnsigned);
    ExpectParses<int32_t>({{"245", true, 245}, {"0", true, 0}, {"-90", true, -90}, {"+90", true, 90},
                           {" \t-7\t ", true, -7}, {"99999999999", true, 2147483647},
                           {"-99999999999", true, std::numeric_limits<int32_t>::min()},
                           {"-0", false, 0}, {"+0", false, 0}, {"2.5", false, 0}, {"", false, 0}, {"-", false, 0},
                           {"1e3", false, 0}, {"12 3", false, 0}},
                          inputrules::ParseInt);
    ExpectParses<float>({{"0", true, 0.0f}, {"0e5", true, 0.0f}, {"00.000", true, 0.0f}, {"-1.5", true, -1.5f},
                         {".5", true, 0.5f}, {"5.", true, 5.0f}, {"1e-2", true, 0.01f}, {"\t0.05 ", true, 0.05f},
                         {"3e38", true, 3e38f},
                         {"1e-50", true, 0.0f},   // not zero as written, zero as a float
                         // Zero counts only when the text starts with the digit 0.
                         {".0", false, 0}, {"-0", false, 0}, {"+0", false, 0},
                         {"1e-400", false, 0},   // comes out as zero
                         {"", false, 0}, {"3abc", false, 0}, {"1,5", false, 0}, {".", false, 0}, {"-", false, 0},
                         {"e5", false, 0}, {"1e", false, 0}, {"1 2", false, 0}, {"inf", false, 0}, {"nan", false, 0},
                         {"0x1p3", false, 0},
                         // Beyond the range of a float: it would reach the engine as "inf".
                         {"1e39", false, 0}, {"1e400", false, 0}},
                        inputrules::ParseFloat);
}

// What a dialog shows when it opens must pass when OK is pressed at once.
TEST(InputRules, ShownValuesReadBackTheSame)
{
    const struct { float fValue; const char* pszShown; } floats[] = {
        {-90.0f, "-90"}, {0.05f, "0.05"}, {0.0f, "0"}, {0.1234567f, "0.123457"}, {1234567.0f, "1.23457e+06"},
        {1e-5f, "1e-05"},
    };
    for (const auto& f : floats)
        EXPECT_EQ(inputrules::FormatFloat(f.fValue).toStdString(), f.pszShown);
    for (uint32_t n : {0u, 1u, 2147483648u, 4294967295u}) {
        uint32_t nRead = 7;
        EXPECT_TRUE(inputrules::ParseUnsigned(inputrules::FormatUnsigned(n), nRead) && nRead == n) << n;
    }
    for (int32_t n : {0, 245, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        int32_t nRead = 7;
        EXPECT_TRUE(inputrules::ParseInt(inputrules::FormatInt(n), nRead) && nRead == n) << n;
    }
    // A tiny negative value is kept as a plain zero, which shows as "0".
    float fTiny = 1.0f;
    ASSERT_TRUE(inputrules::ParseFloat(QStringLiteral("-1e-50"), fTiny));
    EXPECT_EQ(inputrules::FormatFloat(fTiny), QStringLiteral("0"));
    for (float f : {0.0f, 3.0f, -90.0f, 0.05f, 1e-30f, 3e38f, -1.5f, 0.1234567f}) {
        float fRead = 1.0f;
        EXPECT_TRUE(inputrules::ParseFloat(inputrules::FormatFloat(f), fRead)) << f;
        EXPECT_NEAR(fRead, f, std::fabs(f) * 1e-5f);
    }
}

TEST(ProcessingPaths, ProposalFollowsTheImageUnlessAPathIsRememberedAndParamsLieBesideTheOutput)
{
    // Files whose names do not tell their format: the format they hold names the proposal.
    QTemporaryDir dir;
    const QString strTiff = dir.filePath(QStringLiteral("scan")), strPng = dir.filePath(QStringLiteral("p.bin"));
    for (const auto& [strPath, bytes] : {std::pair{strTiff, QByteArray("II*\0\0\0\0\0", 8)},
                                         std::pair{strPng, QByteArray("\x89PNG\r\n\x1a\n")}}) {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    const struct { QString strImage; const char *pszRemembered, *pszSuffix; QString strExpected; } proposals[] = {
        {"/tmp/x/photos/portrait.jpg", "", "_BLOTCH", "/tmp/x/photos/portrait_BLOTCH.jpg"},
        // The name's own suffix, when the engine writes it, in small letters.
        {"/p/portrait.jpeg", "", "_BLOTCH", "/p/portrait_BLOTCH.jpeg"},
        {"/p/scan.TIF", "", "_FOX", "/p/scan_FOX.tif"},
        {"/p/scan.tiff", "", "_mask", "/p/scan_mask.tiff"},
        {"/p/a.png", "", "_CREASE", "/p/a_CREASE.png"},
        // Any other suffix, or none: the whole name, then the format the file holds (a JPEG when unreadable).
        {"/p/noextension", "", "_CRACK", "/p/noextension_CRACK.jpg"},
        {"/my.photos/page", "", "_FOX", "/my.photos/page_FOX.jpg"},
        {"/p/notes.txt", "", "_FOX", "/p/notes.txt_FOX.jpg"},
        {"/p/.jpg", "", "_FOX", "/p/.jpg_FOX.jpg"},
        {strTiff, "", "_FOX", strTiff + "_FOX.tif"},
        {strPng, "", "_mask", strPng + "_mask.png"},
        // No image file behind the document.
        {"", "", "_BLOTCH", "_BLOTCH.jpg"},
        {"x.jpg", "", "_FOX", "x_FOX.jpg"},
        // What the user confirmed last time wins, whatever the image.
        {"/tmp/x/photos/portrait.jpg", "/out/mine.jpg", "_BLOTCH", "/out/mine.jpg"},
        {"", "relative.jpg", "_FOX", "relative.jpg"},
    };
    for (const auto& c : proposals)
        EXPECT_EQ(ProposePath(c.strImage, QString::fromUtf8(c.pszRemembered), QString::fromUtf8(c.pszSuffix)),
                  c.strExpected)
            << qPrintable(c.strImage) << " | " << c.pszRemembered;
    const struct { const char *pszOutput, *pszName, *pszExpected; } params[] = {
        {"/photos/portrait_BLOTCH.jpg", "blotch.log", "/photos/blotch.log"},
        {"/portrait.jpg", "crease.log", "/crease.log"},
        // No separator: a bare name in the current directory.
        {"portrait_BLOTCH.jpg", "blotch.log", "blotch.log"},
        {"", "fox.log", "fox.log"},
        // Only the last separator counts; a trailing one keeps everything.
        {"out/sub/p.jpg", "crack.log", "out/sub/crack.log"},
        {"/photos/", "crease.log", "/photos/crease.log"},
        // A backslash is an ordinary character of a file name here.
        {"D:\\photos\\p.jpg", "blotch.log", "blotch.log"},
    };
    for (const auto& c : params)
        EXPECT_EQ(ParamFilePath(QString::fromUtf8(c.pszOutput), QString::fromUtf8(c.pszName)).toStdString(),
                  c.pszExpected) << c.pszOutput;
}

// Whole numbers as "%d"; an unsigned value above the signed range reads as the same 32 bits signed.
TEST(ParamFileLines, NumbersAsPrintfWritesThemAndPathsAsTheyStand)
{
    EXPECT_EQ(paramfile::IntLine("X1", -12), QByteArray("X1\t-12\n"));
    EXPECT_EQ(paramfile::UnsignedLine("DIST", 2147483647u), QByteArray("DIST\t2147483647\n"));
    EXPECT_EQ(paramfile::UnsignedLine("DIST", 2147483648u), QByteArray("DIST\t-2147483648\n"));
    EXPECT_EQ(paramfile::UnsignedLine("DIST", 4294967295u), QByteArray("DIST\t-1\n"));
    // Reals exactly as "%f" of the widened float, from the tiny to the largest.
    for (float f : {0.0f, -0.0f, 1e-7f, 5e-7f, -4.9e-7f, 0.05f, -1.5f, 1.0f / 3.0f, 123456.789f, 16777217.0f, 1e10f,
                    -2.5e20f, FLT_MAX, -FLT_MAX, FLT_MIN, 2.0000005f}) {
        char buf[512];
        std::snprintf(buf, sizeof buf, "V\t%f\n", static_cast<double>(f));
        EXPECT_EQ(paramfile::FloatLine("V", f), QByteArray(buf)) << "value " << f;
    }
    // Paths as they stand (no placeholders), beyond ASCII in the file system's encoding.
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QStringLiteral("/tmp/my photos/100%d %s.jpg")),
              QByteArray("MASKFILE\t/tmp/my photos/100%d %s.jpg\n"));
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QString()), QByteArray("MASKFILE\t\n"));
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QString::fromUtf8("/fotos/gr\xc3\xb6\xc3\x9f" "e.jpg")),
              QByteArray("MASKFILE\t/fotos/gr\xc3\xb6\xc3\x9f" "e.jpg\n"));
}

// The application takes on the user's locale; a decimal comma must neither be read from a field nor reach the
// engine's parameter file.
TEST(ParamFileLines, DecimalPointWhateverTheLocale)
{
    const std::string strOld = std::setlocale(LC_NUMERIC, nullptr);
    bool bSet = false;
    for (const char* psz : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        bSet = bSet || std::setlocale(LC_NUMERIC, psz) != nullptr;
    // None installed: build one of our own from the locale sources (Debian's "locales").
    QTemporaryDir localeDir;
    if (!bSet && QProcess::execute(QStringLiteral("localedef"),
                                   {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                    QStringLiteral("UTF-8"), localeDir.filePath(QStringLiteral("de_DE.UTF-8"))}) == 0) {
        qputenv("LOCPATH", QFile::encodeName(localeDir.path()));
        bSet = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    ASSERT_TRUE(bSet) << "no locale with a decimal comma, and none could be built";
    const QByteArray line = paramfile::FloatLine("AMP", 0.05f);
    float fValue = 0.0f;
    const bool bPoint = inputrules::ParseFloat(QStringLiteral("2.5"), fValue);
    const bool bComma = inputrules::ParseFloat(QStringLiteral("2,5"), fValue);
    std::setlocale(LC_NUMERIC, strOld.c_str());
    qunsetenv("LOCPATH");
    EXPECT_EQ(line, QByteArray("AMP\t0.050000\n"));
    EXPECT_TRUE(bPoint && !bComma && fValue == 2.5f);
}

TEST(ParamFileWrite, CreatesTruncatesAppendsAndReportsFailures)
{
    const auto ReadAll = [](const QString& strPath) {
        QFile file(strPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    };
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("crack.log"));
    QString strError = QStringLiteral("stale");
    const QByteArray params = paramfile::IntLine("THRWHITE", 245) + paramfile::FloatLine("DEGSTART", -90.0f);
    ASSERT_TRUE(paramfile::Write(strPath, params, false, &strError));
    EXPECT_TRUE(strError.isEmpty());
    EXPECT_EQ(ReadAll(strPath), QByteArray("THRWHITE\t245\nDEGSTART\t-90.000000\n"));
    ASSERT_TRUE(paramfile::Write(strPath, paramfile::IntLine("Y1", 10), true, &strError));
    ASSERT_TRUE(paramfile::Write(strPath, paramfile::IntLine("X2", 40), true, nullptr));
    EXPECT_EQ(ReadAll(strPath), params + "Y1\t10\nX2\t40\n");
    // Writing anew drops the appended points; appending to a file not there yet creates it.
    ASSERT_TRUE(paramfile::Write(strPath, params, false, &strError));
    EXPECT_EQ(ReadAll(strPath), params);
    const QString strNew = dir.filePath(QStringLiteral("crease.log"));
    ASSERT_TRUE(paramfile::Write(strNew, paramfile::IntLine("Q", 22), true, &strError));
    EXPECT_EQ(ReadAll(strNew), QByteArray("Q\t22\n"));
    // Failures report the system's reason, in both modes, and leave nothing; a full device is not hidden by the
    // stream's buffering.
    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const struct { QString strPath; const char* pszReason; } cases[] = {
        {dir.filePath(QStringLiteral("missing/blotch.log")), "No such file or directory"},
        {dir.filePath(QStringLiteral("plain.txt/blotch.log")), "Not a directory"},
        {dir.path(), "Is a directory"},
        {QStringLiteral("/dev/full"), "No space left on device"},
    };
    for (const auto& c : cases)
        for (bool bAppend : {false, true}) {
            SCOPED_TRACE(c.strPath.toStdString() + (bAppend ? " (append)" : ""));
            strError.clear();
            EXPECT_FALSE(paramfile::Write(c.strPath, paramfile::IntLine("DIST", 7), bAppend, &strError));
            EXPECT_EQ(strError.toStdString(), c.pszReason);
            EXPECT_FALSE(paramfile::Write(c.strPath, paramfile::IntLine("DIST", 7), bAppend, nullptr));
        }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}
