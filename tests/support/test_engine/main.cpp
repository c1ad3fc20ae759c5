// A stand-in for the restoration engine, used by the tests: a real child
// process that tells the tests what it was given.
//
//   VELTRO_TEST_RECORD  a directory; args.txt receives the arguments, one a
//                       line, exactly as received, and params.txt a byte
//                       copy of the parameter file (the word after -gorex,
//                       -crax, -fox or -crease).
//   VELTRO_TEST_MODE    empty: write a small JPEG at the path after -o;
//                       nooutput: write nothing, exit 0;
//                       fail: one error line on stderr, exit 3, no output;
//                       crash: abort();
//                       sleep: wait one second, then write the output;
//                       chatty: much output on stderr, then the JPEG;
//                       flood: megabytes on stdout without a line end, a
//                       huge line ending in "progress 7", then a line
//                       "progress 99", then the JPEG.
//   VELTRO_TEST_PROGRESS  comma-separated words, each written on stdout as
//                       a line "progress WORD" 100 ms after the previous
//                       one (before the output is written).
#include <QColor>
#include <QCoreApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string Env(const char* pszName)
{
    const char* psz = std::getenv(pszName);
    return psz ? psz : "";
}

bool CopyFile(const char* pszFrom, const std::string& strTo)
{
    FILE* pIn = std::fopen(pszFrom, "rb");
    if (!pIn)
        return false;
    FILE* pOut = std::fopen(strTo.c_str(), "wb");
    if (!pOut) {
        std::fclose(pIn);
        return false;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pIn)) > 0)
        std::fwrite(buf, 1, n, pOut);
    std::fclose(pIn);
    return std::fclose(pOut) == 0;
}

void Record(const std::string& strDir, int argc, char** argv, const char* pszParamFile)
{
    if (strDir.empty())
        return;
    if (FILE* pArgs = std::fopen((strDir + "/args.txt").c_str(), "wb")) {
        for (int i = 1; i < argc; ++i)
            std::fprintf(pArgs, "%s\n", argv[i]);
        std::fclose(pArgs);
    }
    if (pszParamFile && !CopyFile(pszParamFile, strDir + "/params.txt"))
        std::fprintf(stderr, "veltro.exe: test engine: %s: cannot read the parameter file\n", pszParamFile);
}

} // namespace

int main(int argc, char** argv)
{
    const char* pszParamFile = nullptr;
    const char* pszOutput = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        const char* pszWord = argv[i];
        if (!std::strcmp(pszWord, "-gorex") || !std::strcmp(pszWord, "-crax") || !std::strcmp(pszWord, "-fox")
            || !std::strcmp(pszWord, "-crease"))
            pszParamFile = argv[i + 1];
        else if (!std::strcmp(pszWord, "-o"))
            pszOutput = argv[i + 1];
    }

    Record(Env("VELTRO_TEST_RECORD"), argc, argv, pszParamFile);

    const std::string strMode = Env("VELTRO_TEST_MODE");
    if (strMode == "nooutput")
        return 0;
    if (strMode == "fail") {
        std::fprintf(stderr, "veltro.exe: test failure: %s: asked to fail\n", pszOutput ? pszOutput : "");
        return 3;
    }
    if (strMode == "crash")
        std::abort();
    if (strMode == "sleep")
        std::this_thread::sleep_for(std::chrono::seconds(1));
    if (strMode == "flood") {
        const std::string strBlock(1 << 16, '.');
        for (int i = 0; i < 64; ++i)
            std::fwrite(strBlock.data(), 1, strBlock.size(), stdout);
        std::fputs("\n", stdout);
        for (int i = 0; i < 16; ++i)
            std::fwrite(strBlock.data(), 1, strBlock.size(), stdout);
        std::fputs("progress 7\nprogress 99\n", stdout);
        std::fflush(stdout);
    }
    std::istringstream progress(Env("VELTRO_TEST_PROGRESS"));
    for (std::string strWord; std::getline(progress, strWord, ',');) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::printf("progress %s\n", strWord.c_str());
        std::fflush(stdout);
    }
    if (strMode == "chatty") {
        // More than a pipe holds: a caller that does not read would stall.
        const std::string strPadding(80, '.');
        for (int i = 0; i < 1000; ++i)
            std::fprintf(stderr, "veltro.exe: progress %d %s\n", i, strPadding.c_str());
        std::printf("veltro.exe: written to standard output\n");
        std::fprintf(stderr, "veltro.exe: last line\n");
    }

    if (!pszOutput) {
        std::fprintf(stderr, "veltro.exe: usage: -i INPUT -gorex|-crax|-fox|-crease PARAMFILE -o OUTPUT\n");
        return 2;
    }
    // The application object lets QImage find its JPEG writer plug-in.
    QCoreApplication app(argc, argv);
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(QColor(200, 120, 40));
    if (!image.save(QString::fromLocal8Bit(pszOutput), "JPEG", 95)) {
        std::fprintf(stderr, "veltro.exe: test engine: %s: cannot write the output\n", pszOutput);
        return 5;
    }
    return 0;
}
