// Paint cost of an image view on a 100-megapixel scan.
//
// Builds a 12500 x 8000 document with photograph-like content, times the
// building of its reduced levels (on a worker, once per document), then
// paints a 1600 x 1000 view of it at several zooms, at the top left and
// scrolled to the middle, the whole view and a strip as exposed by
// scrolling, and prints milliseconds per paint; also the paints made before
// any level is there. The aim is every paint well under 10 ms whatever the
// zoom, and nothing in memory beside the block but the levels (a third of
// one).
//
// Usage: bench_paint [width height]
// With BENCH_PAINT_SAVE=<folder> set, the middle view at each zoom is saved
// there as paint_zoom<z>.png for a look.

#include "document/CVeltroInterfaceDoc.h"
#include "view/CDisplayCache.h"
#include "view/CVeltroInterfaceView.h"
#include "view/ViewGeometry.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <tiffio.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// A field of /proc/self/status in megabytes (VmHWM: peak resident memory).
double StatusMb(const char* pszField)
{
    std::ifstream in("/proc/self/status");
    std::string strLine;
    const std::string strKey = std::string(pszField) + ":";
    while (std::getline(in, strLine)) {
        if (strLine.compare(0, strKey.size(), strKey) == 0)
            return std::atof(strLine.c_str() + strKey.size()) / 1024.0;
    }
    return 0.0;
}

// Photograph-like content made quickly: smooth light falling across the
// frame, large soft shapes, fine grain, fine rings and a few hard edges; rows bottom-up
// as in the document's block.
void FillPicture(CVeltroInterfaceDoc& doc)
{
    const int nWidth = doc.m_nWidth;
    const int nHeight = doc.m_nHeight;
    // A small table of smooth variation, looked up instead of computed.
    std::vector<int> wave(1024);
    for (int i = 0; i < 1024; ++i)
        wave[size_t(i)] = int(40.0 * std::sin(i * 2.0 * M_PI / 1024.0));
    auto fillRows = [&](int nFirst, int nLast) {
        for (int y = nFirst; y < nLast; ++y) {
            uint32_t* pRow = doc.m_pImage + size_t(y) * size_t(nWidth);
            const int nWaveY = wave[size_t((y >> 3) & 1023)];
            for (int x = 0; x < nWidth; ++x) {
                uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
                h ^= h >> 15;
                h *= 0x2C1B3C6Du;
                const int nGrain = int((h >> 27) & 15u) - 8;
                const int nLight = 60 + (x >> 7) + (y >> 8);
                const int nShape = wave[size_t((x >> 2) & 1023)] + nWaveY;
                const int nEdge = ((x / 1500 + y / 1100) % 3 == 0) ? 50 : 0;
                // Rings getting finer outwards (a few pixels apart at the
                // corners): they turn into moire when a reduction drops pixels.
                const int64_t dx = x - nWidth / 2;
                const int64_t dy = y - nHeight / 2;
                const int nRing = wave[size_t(((dx * dx + dy * dy) >> 6) & 1023)] / 2;
                const int v = nLight + nShape + nEdge + nGrain + nRing;
                const int r = std::clamp(v + 20, 0, 255);
                const int g = std::clamp(v, 0, 255);
                const int b = std::clamp(v - 25 + (nShape >> 1), 0, 255);
                pRow[x] = uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
            }
        }
    };
    std::thread other(fillRows, nHeight / 2, nHeight);
    fillRows(0, nHeight / 2);
    other.join();
}

// The view whose drawing routine is timed.
CVeltroInterfaceView* g_pView = nullptr;

// The one painting call the benchmark times: what a view's paint does for
// an exposed region of its viewport, scrolled to ptScroll (display pixels),
// through the view's own drawing routine.
void PaintView(CVeltroInterfaceDoc& /*doc*/, QPainter& painter, const QRect& rcExposed, const QPoint& ptScroll)
{
    painter.save();
    painter.translate(-ptScroll);
    g_pView->OnDraw(painter, rcExposed.translated(ptScroll), true);
    painter.restore();
}

// The process's processor time in milliseconds: what a paint costs apart
// from waiting for a core on a busy machine. (Qt spreads large smoothed
// fills over its thread pool, so this thread's own time would miss them.)
double ProcessCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct PaintTime
{
    double fWallMs;
    double fCpuMs;
};

// Milliseconds per paint, the painter's set-up included: the medians of
// nRepeats paints, which a busy machine disturbs less than the mean.
PaintTime TimePaints(CVeltroInterfaceDoc& doc, QImage& target, const QRect& rcExposed, const QPoint& ptScroll,
                     int nRepeats)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < nRepeats; ++i) {
        const auto t0 = Clock::now();
        const double fCpu0 = ProcessCpuMs();
        {
            QPainter painter(&target);
            painter.setClipRect(rcExposed);
            PaintView(doc, painter, rcExposed, ptScroll);
        }
        cpu.push_back(ProcessCpuMs() - fCpu0);
        wall.push_back(MsSince(t0));
    }
    const auto median = [](std::vector<double>& values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    return {median(wall), median(cpu)};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int nWidth = 12500;
    int nHeight = 8000;
    if (argc >= 3) {
        nWidth = std::atoi(argv[1]);
        nHeight = std::atoi(argv[2]);
    }
    const double fBlockMb = double(nWidth) * nHeight * 4 / (1024.0 * 1024.0);

    CVeltroInterfaceDoc doc;
    doc.m_pImage = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(nWidth) * nHeight * 4));
    if (doc.m_pImage == nullptr) {
        std::fprintf(stderr, "cannot allocate %.0f MB\n", fBlockMb);
        return 1;
    }
    doc.m_nWidth = nWidth;
    doc.m_nHeight = nHeight;
    doc.m_nChannels = 3;
    doc.m_nDisplayState = 1;
    auto t0 = Clock::now();
    FillPicture(doc);
    std::printf("picture %d x %d (%.1f megapixels), block %.0f MB, made in %.0f ms\n", nWidth, nHeight,
                nWidth * double(nHeight) / 1e6, fBlockMb, MsSince(t0));
    const double fRssBefore = StatusMb("VmRSS");
    {
        // Other work on the machine slows everything below alike.
        std::ifstream load("/proc/loadavg");
        std::string strLoad;
        std::getline(load, strLoad);
        std::printf("load average: %s\n", strLoad.c_str());
    }

    // One full-buffer conversion, single-threaded, as the old design did on
    // every paint: the figure the paints below are to be compared with.
    // Timed into fresh memory (as each old paint had it) and again into the
    // same, already faulted-in memory.
    double fConvertMs[2] = {0.0, 0.0};
    {
        QImage converted(nWidth, nHeight, QImage::Format_RGB32);
        for (double& fMs : fConvertMs) {
            t0 = Clock::now();
            for (int y = 0; y < nHeight; ++y) {
                const uint32_t* pSrc = doc.m_pImage + size_t(nHeight - 1 - y) * size_t(nWidth);
                auto* pDst = reinterpret_cast<uint32_t*>(converted.scanLine(y));
                for (int x = 0; x < nWidth; ++x) {
                    const uint32_t p = pSrc[x];
                    pDst[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
                }
            }
            fMs = MsSince(t0);
        }
    }

    // A view of the document, as a window holds it (never shown).
    CVeltroInterfaceView view(&doc);
    view.resize(1600, 1000);
    g_pView = &view;

    // The cache, made by the first paint; its levels are built on a worker.
    t0 = Clock::now();
    CDisplayCache* pCache = CDisplayCache::ForDocument(&doc);
    const double fStartMs = MsSince(t0);
    if (pCache == nullptr) {
        std::fprintf(stderr, "no display cache\n");
        return 1;
    }
    pCache->WaitUntilComplete();
    const double fBuildMs = MsSince(t0);
    double fLevelsMb = 0.0;
    for (int k = 1; k < pCache->LevelCount(); ++k)
        fLevelsMb += double(pCache->Level(k).sizeInBytes()) / (1024.0 * 1024.0);

    std::printf("one full-buffer conversion (single thread): %.0f ms into fresh memory, %.0f ms into used memory\n",
                fConvertMs[0], fConvertMs[1]);
    std::printf("cache: made in %.2f ms; its %d levels built on a worker in %.0f ms (all there after %.0f ms)\n",
                fStartMs, pCache->LevelCount() - 1, pCache->LevelsMilliseconds(), fBuildMs);
    std::printf("memory: block %.0f MB, levels %.0f MB (%.2f of a block); resident grew by %.0f MB (%.2f blocks)\n",
                fBlockMb, fLevelsMb, fLevelsMb / fBlockMb, StatusMb("VmRSS") - fRssBefore,
                (StatusMb("VmRSS") - fRssBefore) / fBlockMb);

    QImage target(1600, 1000, QImage::Format_RGB32);
    target.fill(Qt::darkGray);
    const QRect rcView(0, 0, 1600, 1000);
    const QRect rcStrip(0, 940, 1600, 60);  // the band a scroll by 60 pixels exposes

    // The first paint at each zoom, before anything of it is warm in the
    // caches (a view's first paint after a zoom change).
    const int zooms[] = {-8, -6, -3, -2, 1, 2, 4};
    std::vector<double> firstPaint;
    for (int nZoom : zooms) {
        doc.m_nZoom = nZoom;
        firstPaint.push_back(TimePaints(doc, target, rcView, QPoint(), 1).fWallMs);
    }

    // Paints before any level is there: a second cache of the same block
    // whose build waits behind a task that holds its pool's one thread.
    std::vector<double> beforeLevels;
    {
        QThreadPool heldPool;
        heldPool.setMaxThreadCount(1);
        std::promise<void> release;
        std::shared_future<void> gate = release.get_future().share();
        heldPool.start([gate] { gate.wait(); });
        {
            const CDisplayCache pending(doc, nullptr, &heldPool);
            for (int nZoom : zooms) {
                std::vector<double> times;
                for (int i = 0; i < 11; ++i) {
                    const auto tPaint = Clock::now();
                    QPainter painter(&target);
                    pending.Draw(painter, rcView, nZoom);
                    painter.end();
                    times.push_back(MsSince(tPaint));
                }
                std::nth_element(times.begin(), times.begin() + 5, times.end());
                beforeLevels.push_back(times[5]);
            }
        }
        release.set_value();
    }

    std::printf("\npaint of a 1600 x 1000 view, ms per paint: the first one, then medians of 61 as\n"
                "elapsed (processor time of the process); last, the median of 11 before any level is built\n");
    std::printf("%6s  %14s  %11s  %16s  %16s  %16s  %13s\n", "zoom", "display", "first paint", "view top-left",
                "view middle", "strip middle", "before levels");
    for (size_t nIndex = 0; nIndex < std::size(zooms); ++nIndex) {
        const int nZoom = zooms[nIndex];
        doc.m_nZoom = nZoom;
        const auto size = viewgeometry::GetDisplaySize(nWidth, nHeight, nZoom);
        const QPoint ptMiddle(int(std::max<int64_t>(0, size.nWidth / 2 - 800)),
                              int(std::max<int64_t>(0, size.nHeight / 2 - 500)));
        const int nRepeats = 61;
        const PaintTime topLeft = TimePaints(doc, target, rcView, QPoint(), nRepeats);
        const PaintTime middle = TimePaints(doc, target, rcView, ptMiddle, nRepeats);
        const PaintTime strip = TimePaints(doc, target, rcStrip, ptMiddle, nRepeats);
        if (!qEnvironmentVariableIsEmpty("BENCH_PAINT_SAVE")) {
            TimePaints(doc, target, rcView, ptMiddle, 1);
            target.save(QStringLiteral("%1/paint_zoom%2.png").arg(qEnvironmentVariable("BENCH_PAINT_SAVE")).arg(nZoom));
        }
        std::printf("%6d  %6lld x %-6lld  %11.2f  %7.2f (%6.2f)  %7.2f (%6.2f)  %7.2f (%6.2f)  %13.2f\n", nZoom,
                    static_cast<long long>(size.nWidth), static_cast<long long>(size.nHeight), firstPaint[nIndex],
                    topLeft.fWallMs, topLeft.fCpuMs, middle.fWallMs, middle.fCpuMs, strip.fWallMs, strip.fCpuMs,
                    beforeLevels[nIndex]);
    }
    std::printf("\nresident memory now %.0f MB = %.2f blocks (the block, its levels, the program); peak (VmHWM) "
                "%.0f MB, with the one-off full-buffer conversion above\n",
                StatusMb("VmRSS"), StatusMb("VmRSS") / fBlockMb, StatusMb("VmHWM"));
    return 0;
}
