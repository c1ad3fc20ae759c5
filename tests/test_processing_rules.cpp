#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <string>

using processingpaths::ParamFilePath;
using processingpaths::ProposePath;

namespace {

QByteArray ReadAll(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

// ---- Proposed paths ------------------------------------------------------

struct ProposalCase
{
    const char* pszImage;
    const char* pszRemembered;
    const char* pszSuffix;
    const char* pszExpected;
};

TEST(ProposePath, FollowsTheImagePathUnlessAPathIsRemembered)
{
    const ProposalCase cases[] = {
        {"/tmp/x/photos/portrait.jpg", "", "_mask", "/tmp/x/photos/portrait_mask.jpg"},
        {"/tmp/x/photos/portrait.jpg", "", "_BLOTCH", "/tmp/x/photos/portrait_BLOTCH.jpg"},
        // The last four characters go whatever they are.
        {"/p/portrait.jpeg", "", "_BLOTCH", "/p/portrait._BLOTCH.jpg"},
        {"/p/scan.JPG", "", "_FOX", "/p/scan_FOX.jpg"},
        {"/p/noextension", "", "_CRACK", "/p/noexten_CRACK.jpg"},
        // A result document proposes from its own image path.
        {"/tmp/x/photos/portrait_BLOTCH.jpg", "", "_BLOTCH", "/tmp/x/photos/portrait_BLOTCH_BLOTCH.jpg"},
        // No image file behind the document, or a path too short to cut.
        {"", "", "_BLOTCH", "_BLOTCH.jpg"},
        {"a.j", "", "_FOX", "_FOX.jpg"},
        {"x.jpg", "", "_FOX", "x_FOX.jpg"},
        {"/my photos/old print.jpg", "", "_CREASE", "/my photos/old print_CREASE.jpg"},
        // What the user confirmed last time wins, whatever the image.
        {"/tmp/x/photos/portrait.jpg", "/out/mine.jpg", "_BLOTCH", "/out/mine.jpg"},
        {"", "relative.jpg", "_FOX", "relative.jpg"},
    };
    for (const ProposalCase& c : cases) {
        SCOPED_TRACE(std::string(c.pszImage) + " | " + c.pszRemembered + " | " + c.pszSuffix);
        EXPECT_EQ(ProposePath(QString::fromUtf8(c.pszImage), QString::fromUtf8(c.pszRemembered),
                              QString::fromUtf8(c.pszSuffix)),
                  QString::fromUtf8(c.pszExpected));
    }
}

TEST(ParamFilePath, LiesBesideTheOutputImage)
{
    const struct
    {
        const char* pszOutput;
        const char* pszName;
        const char* pszExpected;
    } cases[] = {
        {"/photos/portrait_BLOTCH.jpg", "blotch.log", "/photos/blotch.log"},
        {"/my photos/old print_FOX.jpg", "fox.log", "/my photos/fox.log"},
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszOutput);
        EXPECT_EQ(ParamFilePath(QString::fromUtf8(c.pszOutput), QString::fromUtf8(c.pszName)),
                  QString::fromUtf8(c.pszExpected));
    }
}

// ---- Parameter lines ---------------------------------------------------

TEST(ParamFileLines, WholeNumbersAreWrittenWithPercentD)
{
    EXPECT_EQ(paramfile::IntLine("DIST", 7), QByteArray("DIST\t7\n"));
    EXPECT_EQ(paramfile::IntLine("X1", -12), QByteArray("X1\t-12\n"));
    EXPECT_EQ(paramfile::IntLine("THRWHITE", 245), QByteArray("THRWHITE\t245\n"));
    EXPECT_EQ(paramfile::UnsignedLine("COST", 10u), QByteArray("COST\t10\n"));
    EXPECT_EQ(paramfile::UnsignedLine("COST", 0u), QByteArray("COST\t0\n"));
    EXPECT_EQ(paramfile::UnsignedLine("DIST", 2147483647u), QByteArray("DIST\t2147483647\n"));
    // Above the signed range, the same 32 bits read as a signed number.
    EXPECT_EQ(paramfile::UnsignedLine("DIST", 2147483648u), QByteArray("DIST\t-2147483648\n"));
    EXPECT_EQ(paramfile::UnsignedLine("DIST", 4294967295u), QByteArray("DIST\t-1\n"));
}

// Every value is written exactly as "%f" of the widened float writes it,
// from the tiny to the largest.
TEST(ParamFileLines, RealNumbersMatchPrintf)
{
    const float values[] = {0.0f, -0.0f, 1e-7f, 5e-7f, -4.9e-7f, 0.05f, -1.5f, 1.0f / 3.0f, 123456.789f,
                            16777217.0f, 1e10f, -2.5e20f, FLT_MAX, -FLT_MAX, FLT_MIN, 2.0000005f};
    for (float f : values) {
        char buf[512];
        std::snprintf(buf, sizeof buf, "V\t%f\n", static_cast<double>(f));
        EXPECT_EQ(paramfile::FloatLine("V", f), QByteArray(buf)) << "value " << f;
    }
}

// The application takes on the user's locale; a decimal comma would make
// the file unreadable for the engine.
TEST(ParamFileLines, DecimalPointWhateverTheLocale)
{
    const std::string strOld = std::setlocale(LC_NUMERIC, nullptr);
    const char* const locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
    bool bSet = false;
    for (const char* psz : locales) {
        if (std::setlocale(LC_NUMERIC, psz)) {
            bSet = true;
            break;
        }
    }
    if (!bSet)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const QByteArray line = paramfile::FloatLine("AMP", 0.05f);
    std::setlocale(LC_NUMERIC, strOld.c_str());
    EXPECT_EQ(line, QByteArray("AMP\t0.050000\n"));
}

TEST(ParamFileLines, PathsAreWrittenAsTheyStand)
{
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QStringLiteral("/tmp/my photos/portrait mask.jpg")),
              QByteArray("MASKFILE\t/tmp/my photos/portrait mask.jpg\n"));
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QString()), QByteArray("MASKFILE\t\n"));
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QStringLiteral("100%d %s.jpg")),
              QByteArray("MASKFILE\t100%d %s.jpg\n"));
    // Names beyond ASCII go in the file system's encoding.
    EXPECT_EQ(paramfile::StringLine("MASKFILE", QString::fromUtf8("/fotos/gr\xc3\xb6\xc3\x9f" "e.jpg")),
              QByteArray("MASKFILE\t/fotos/gr\xc3\xb6\xc3\x9f" "e.jpg\n"));
}

// ---- Writing the file ----------------------------------------------------

TEST(ParamFileWrite, CreatesTruncatesAndAppends)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath(QStringLiteral("crack.log"));
    QString strError = QStringLiteral("stale");

    const QByteArray params = paramfile::IntLine("THRWHITE", 245) + paramfile::FloatLine("DEGSTART", -90.0f)
                              + paramfile::FloatLine("STEP_ANGLE", 3.0f) + paramfile::FloatLine("DEGSTOP", 90.0f);
    ASSERT_TRUE(paramfile::Write(strPath, params, false, &strError));
    EXPECT_TRUE(strError.isEmpty());
    EXPECT_EQ(ReadAll(strPath), QByteArray("THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\n"
                                           "DEGSTOP\t90.000000\n"));

    ASSERT_TRUE(paramfile::Write(strPath, paramfile::IntLine("Y1", 10) + paramfile::IntLine("X1", 20), true, &strError));
    ASSERT_TRUE(paramfile::Write(strPath, paramfile::IntLine("Y2", 30) + paramfile::IntLine("X2", 40), true, nullptr));
    EXPECT_EQ(ReadAll(strPath), params + "Y1\t10\nX1\t20\nY2\t30\nX2\t40\n");

    // Writing anew drops the appended points.
    ASSERT_TRUE(paramfile::Write(strPath, params, false, &strError));
    EXPECT_EQ(ReadAll(strPath), params);

    // Appending to a file not there yet creates it.
    const QString strNew = dir.filePath(QStringLiteral("crease.log"));
    ASSERT_TRUE(paramfile::Write(strNew, paramfile::IntLine("Q", 22), true, &strError));
    EXPECT_EQ(ReadAll(strNew), QByteArray("Q\t22\n"));
}

// Failures report the system's reason, in both modes, and leave nothing.
TEST(ParamFileWrite, FailuresGiveTheSystemsReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    const struct
    {
        QString strPath;
        const char* pszReason;
    } cases[] = {
        {dir.filePath(QStringLiteral("missing/blotch.log")), "No such file or directory"},
        {dir.filePath(QStringLiteral("plain.txt/blotch.log")), "Not a directory"},
        {dir.path(), "Is a directory"},
    };
    for (const auto& c : cases) {
        for (bool bAppend : {false, true}) {
            SCOPED_TRACE(c.strPath.toStdString() + (bAppend ? " (append)" : ""));
            QString strError;
            EXPECT_FALSE(paramfile::Write(c.strPath, paramfile::IntLine("DIST", 7), bAppend, &strError));
            EXPECT_EQ(strError.toStdString(), c.pszReason);
            EXPECT_FALSE(paramfile::Write(c.strPath, paramfile::IntLine("DIST", 7), bAppend, nullptr));
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}

// A file that opens but cannot take the lines: the failure is not hidden by
// the buffering of the stream.
TEST(ParamFileWrite, WriteErrorIsReported)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    QString strError;
    EXPECT_FALSE(paramfile::Write(QStringLiteral("/dev/full"), paramfile::IntLine("DIST", 7), false, &strError));
    EXPECT_EQ(strError.toStdString(), "No space left on device");
}
