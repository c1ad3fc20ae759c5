// A stand-in for the restoration engine, used by the tests: a real child
// process that tells the tests what it was given.
//   VELTRO_TEST_RECORD    a directory: args.txt receives the arguments, one a line, and
//                         params.txt a copy of the parameter file (the word after the switch).
//   VELTRO_TEST_MODE      "": write a small JPEG at the path after -o (and with -m a PNG of its
//                         changed pixels: the left half); nochanges: no PNG; nooutput: write
//                         nothing, exit 0; fail: one error line on stderr, exit 3; exitN: exit N
//                         silently; crash: abort(); hang: ignore SIGTERM and wait 20 s;
//                         sleep: wait a second, then write; chatty: much output on stderr,
//                         then write; flood: megabytes on stdout without a line end, a huge
//                         line ending in "progress 7", a line "progress 99", then write.
//   VELTRO_TEST_SIZE      "WxH": the size of what is written (8x6 when not set).
//   VELTRO_TEST_PROGRESS  comma-separated words, each written on stdout as a line
//                         "progress WORD" 100 ms after the one before.
#include <QColor>
#include <QCoreApplication>
#include <QImage>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

static std::string Env(const char* pszName)
{
    const char* psz = std::getenv(pszName);
    return psz ? psz : "";
}

int main(int argc, char** argv)
{
    const char* pszParamFile = nullptr;
    const char* pszOutput = "";
    const char* pszChanged = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        for (const char* pszSwitch : {"-gorex", "-crax", "-fox", "-crease"})
            if (!std::strcmp(argv[i], pszSwitch))
                pszParamFile = argv[i + 1];
        if (!std::strcmp(argv[i], "-o"))
            pszOutput = argv[i + 1];
        if (!std::strcmp(argv[i], "-m"))
            pszChanged = argv[i + 1];
    }
    if (const std::string strDir = Env("VELTRO_TEST_RECORD"); !strDir.empty()) {
        std::ofstream args(strDir + "/args.txt", std::ios::binary);
        for (int i = 1; i < argc; ++i)
            args << argv[i] << '\n';
        std::ifstream in(pszParamFile ? pszParamFile : "", std::ios::binary);
        std::ofstream out(strDir + "/params.txt", std::ios::binary);
        if (pszParamFile && !in)
            std::fprintf(stderr, "veltro.exe: test engine: %s: cannot read the parameter file\n", pszParamFile);
        else if (in && in.peek() != EOF)
            out << in.rdbuf();
    }
    const std::string strMode = Env("VELTRO_TEST_MODE");
    if (strMode == "nooutput")
        return 0;
    if (strMode == "fail") {
        std::fprintf(stderr, "veltro.exe: test failure: %s: asked to fail\n", pszOutput);
        return 3;
    }
    if (strMode.rfind("exit", 0) == 0)
        return std::atoi(strMode.c_str() + 4);
    if (strMode == "crash")
        std::abort();
    if (strMode == "hang") {
        std::signal(SIGTERM, SIG_IGN);
        std::this_thread::sleep_for(std::chrono::seconds(20));
        return 0;
    }
    if (strMode == "sleep")
        std::this_thread::sleep_for(std::chrono::seconds(1));
    if (strMode == "flood") {
        const std::string strBlock(1 << 16, '.');
        for (int i = 0; i < 80; ++i)
            std::fputs((strBlock + (i == 63 ? "\n" : "")).c_str(), stdout);
        std::fputs("progress 7\nprogress 99\n", stdout);
        std::fflush(stdout);
    }
    std::istringstream progress(Env("VELTRO_TEST_PROGRESS"));
    for (std::string strWord; std::getline(progress, strWord, ',');) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::printf("progress %s\n", strWord.c_str());
        std::fflush(stdout);
    }
    if (strMode == "chatty") {   // more than a pipe holds: a caller that does not read would stall
        for (int i = 0; i < 1000; ++i)
            std::fprintf(stderr, "veltro.exe: progress %d %s\n", i, std::string(80, '.').c_str());
        std::fprintf(stderr, "veltro.exe: last line\n");
    }
    QCoreApplication app(argc, argv);   // lets QImage find its JPEG writer plug-in
    int nWidth = 8, nHeight = 6;
    std::sscanf(Env("VELTRO_TEST_SIZE").c_str(), "%dx%d", &nWidth, &nHeight);
    QImage image(nWidth, nHeight, QImage::Format_RGB32);
    image.fill(QColor(200, 120, 40));
    if (!image.save(QString::fromLocal8Bit(pszOutput), "JPEG", 95)) {
        std::fprintf(stderr, "veltro.exe: test engine: %s: cannot write the output\n", pszOutput);
        return 5;
    }
    if (pszChanged != nullptr && strMode != "nochanges") {
        QImage changed(nWidth, nHeight, QImage::Format_Grayscale8);
        changed.fill(0);
        for (int y = 0; y < nHeight; ++y)
            std::fill(changed.scanLine(y), changed.scanLine(y) + nWidth / 2, uchar(255));
        changed.save(QString::fromLocal8Bit(pszChanged), "PNG");
    }
    return 0;
}
