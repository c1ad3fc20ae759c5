// What comparing, showing the changes and painting the mask cost on a
// 100-megapixel result, in the program's own windows (offscreen).
//
// Two documents of 12500 x 8000, a source and its result, whose views sit
// side by side (800 x 1000 each) and are linked as Window > Compare with
// Source links them; the result shows its changes (View > Show Changes). For
// several zooms it times, per window, the repaint after a linked scroll step
// (a tenth of the page) and after a linked zoom step, the whole repaint of
// the result with and without the changes overlay (the overlay's share of a
// paint), for a sparse and a dense record of changes; then a brush stroke in
// Paint Blotch Mask: each step's handling and repaint, and the area
// repainted against the view's. Medians of many repeats; the floor is the
// same paint without any mode, timed in the same run.
//
// Aims: each window repaints in under 20 ms after a linked step, the overlay
// adds at most 30 % to a paint, a brush step repaints only around the brush
// in under 5 ms.
//
// Usage: bench_seeing [width height]

#include "document/CVeltroInterfaceDoc.h"
#include "view/CChangesTool.h"
#include "view/CCompareTool.h"
#include "view/CDisplayCache.h"
#include "view/CMaskLayer.h"
#include "view/CMaskPaintTool.h"
#include "view/CVeltroInterfaceView.h"
#include "view/ViewGeometry.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Times every paint of a widget from the inside: the paint is handled again
// within the filter, so the time is that of the widget's own paint.
class PaintTimer : public QObject
{
public:
    explicit PaintTimer(QWidget* pWidget) { pWidget->installEventFilter(this); }
    double m_fMs = 0.0;
    QRegion m_region;
    void Reset()
    {
        m_fMs = 0.0;
        m_region = QRegion();
    }

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override
    {
        if (pEvent->type() != QEvent::Paint || m_bInside)
            return false;
        m_bInside = true;
        const auto t0 = Clock::now();
        QCoreApplication::sendEvent(pObject, pEvent);
        m_fMs += MsSince(t0);
        m_region += static_cast<QPaintEvent*>(pEvent)->region();
        m_bInside = false;
        return true;
    }

private:
    bool m_bInside = false;
};

// Photograph-like content, quickly: light across the frame, grain, edges.
void Fill(CVeltroInterfaceDoc& doc)
{
    for (int y = 0; y < doc.m_nHeight; ++y) {
        uint32_t* pRow = doc.m_pImage + size_t(y) * size_t(doc.m_nWidth);
        for (int x = 0; x < doc.m_nWidth; ++x) {
            uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
            h ^= h >> 15;
            const int v = 40 + (x >> 6) % 150 + (y >> 7) % 40 + int((h >> 27) & 15u) + ((x / 900 + y / 700) % 3 == 0 ? 30 : 0);
            const uint32_t c = uint32_t(std::min(v, 255));
            pRow[x] = c | (std::min<uint32_t>(c + 10, 255) << 8) | (uint32_t(c * 3 / 4) << 16);
        }
    }
}

bool MakeDoc(CVeltroInterfaceDoc& doc, int nWidth, int nHeight)
{
    doc.m_pImage = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(nWidth) * nHeight * 4));
    if (doc.m_pImage == nullptr)
        return false;
    doc.m_nWidth = nWidth;
    doc.m_nHeight = nHeight;
    doc.m_nChannels = 3;
    doc.m_nDisplayState = 1;
    doc.SetTitle(QStringLiteral("bench"));
    return true;
}

// A record of changes: discs of radius 8 to 40 covering about fShare of the picture.
void MarkChanges(CMaskLayer& layer, double fShare, quint32 nSeed)
{
    QRandomGenerator rng(nSeed);
    const double fTarget = fShare * double(layer.Width()) * double(layer.Height());
    while (double(layer.Count()) < fTarget) {
        const double r = 8 + rng.bounded(32.0);
        const QPointF c(rng.bounded(double(layer.Width())), rng.bounded(double(layer.Height())));
        layer.PaintStroke(c, c + QPointF(rng.bounded(3.0 * r), 0), r, true);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // On a display when there is one (its flushes belong to a repaint),
    // offscreen otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    const int nWidth = argc >= 3 ? std::atoi(argv[1]) : 12500;
    const int nHeight = argc >= 3 ? std::atoi(argv[2]) : 8000;

    CVeltroInterfaceDoc source, result;
    if (!MakeDoc(source, nWidth, nHeight) || !MakeDoc(result, nWidth, nHeight)) {
        std::fprintf(stderr, "cannot allocate two pictures of %d x %d\n", nWidth, nHeight);
        return 1;
    }
    auto t0 = Clock::now();
    Fill(source);
    std::memcpy(result.m_pImage, source.m_pImage, size_t(nWidth) * size_t(nHeight) * 4);
    // Their reductions are built on a worker: waited for, so that they take no time from what is measured.
    CDisplayCache::ForDocument(&source)->WaitUntilComplete();
    CDisplayCache::ForDocument(&result)->WaitUntilComplete();
    std::printf("two pictures of %d x %d (%.1f megapixels) made and cached in %.0f ms\n", nWidth, nHeight,
                nWidth * double(nHeight) / 1e6, MsSince(t0));

    CMaskLayer sparse(nWidth, nHeight), dense(nWidth, nHeight);
    t0 = Clock::now();
    MarkChanges(sparse, 0.01, 1);
    MarkChanges(dense, 0.30, 2);
    std::printf("records of changes: %.2f %% and %.2f %% of the pixels, made in %.0f ms\n",
                100.0 * double(sparse.Count()) / (double(nWidth) * nHeight),
                100.0 * double(dense.Count()) / (double(nWidth) * nHeight), MsSince(t0));

    // The two windows side by side, as Compare with Source places them.
    QWidget screen;
    auto* pLayout = new QHBoxLayout(&screen);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    auto* pSource = new CVeltroInterfaceView(&source);
    auto* pResult = new CVeltroInterfaceView(&result);
    pLayout->addWidget(pSource);
    pLayout->addWidget(pResult);
    screen.resize(1600, 1000);
    screen.show();
    QCoreApplication::processEvents();
    PaintTimer sourceTimer(pSource->viewport()), resultTimer(pResult->viewport());
    CCompareTool::Link(pResult, pSource);
    auto* pChanges = new CChangesTool(pResult, &sparse);
    auto settle = [&] {
        sourceTimer.Reset();
        resultTimer.Reset();
        QCoreApplication::processEvents();
    };

    const int nRepeats = 41;
    std::printf("\nms per window, medians of %d: the source window | the result window with its changes\n",
                nRepeats);
    std::printf("%5s  %19s  %19s  %26s  %26s\n", "zoom", "linked scroll step", "linked zoom step",
                "result: paint, 0/1/30 %", "repaint to screen, 0/1/30 %");
    const int zooms[] = {-8, -4, -2, 1, 2};
    double fWorst = 0.0, fWorstPaint = 0.0, fWorstWall = 0.0;
    for (int nZoom : zooms) {
        pSource->SetZoom(nZoom, pSource->viewport()->rect().center());
        const auto size = viewgeometry::GetDisplaySize(nWidth, nHeight, nZoom);
        const QPoint middle(int(std::max<int64_t>(0, size.nWidth / 2 - 400)),
                            int(std::max<int64_t>(0, size.nHeight / 2 - 500)));
        pSource->ScrollTo(middle);
        settle();

        std::vector<double> scrollSource, scrollResult, zoomSource, zoomResult;
        const int nStep = pSource->verticalScrollBar()->singleStep();
        for (int i = 0; i < nRepeats; ++i) {
            sourceTimer.Reset();
            resultTimer.Reset();
            t0 = Clock::now();
            pSource->ScrollTo(pSource->ScrollOffset() + QPoint(0, i % 2 == 0 ? nStep : -nStep));
            const double fLink = MsSince(t0);   // the result follows within this
            QCoreApplication::processEvents();
            scrollSource.push_back(sourceTimer.m_fMs);
            scrollResult.push_back(resultTimer.m_fMs + fLink);
        }
        for (int i = 0; i < nRepeats; ++i) {
            sourceTimer.Reset();
            resultTimer.Reset();
            const int32_t nTo = i % 2 == 0 ? viewgeometry::ZoomUp(nZoom) : nZoom;
            t0 = Clock::now();
            pSource->SetZoom(nTo, pSource->viewport()->rect().center());
            const double fStep = MsSince(t0);
            QCoreApplication::processEvents();
            zoomSource.push_back(sourceTimer.m_fMs + fStep);
            zoomResult.push_back(resultTimer.m_fMs);
        }
        pSource->SetZoom(nZoom, pSource->viewport()->rect().center());
        pSource->ScrollTo(middle);
        settle();

        // The result's whole repaint with each record of changes, and without:
        // the paint alone, and the paint with its way to the screen.
        double fRepaint[3] = {}, fWall[3] = {};
        CMaskLayer* layers[3] = {nullptr, &sparse, &dense};
        for (int k = 0; k < 3; ++k) {
            delete pChanges;
            pChanges = layers[k] != nullptr ? new CChangesTool(pResult, layers[k]) : nullptr;
            settle();
            std::vector<double> times, walls;
            for (int i = 0; i < nRepeats; ++i) {
                resultTimer.Reset();
                t0 = Clock::now();
                pResult->viewport()->repaint();
                walls.push_back(MsSince(t0));
                times.push_back(resultTimer.m_fMs);
            }
            fRepaint[k] = Median(times);
            fWall[k] = Median(walls);
        }
        delete pChanges;
        pChanges = new CChangesTool(pResult, &sparse);
        settle();

        const double s[4] = {Median(scrollSource), Median(scrollResult), Median(zoomSource), Median(zoomResult)};
        fWorst = std::max({fWorst, s[0], s[1], s[2], s[3]});
        fWorstPaint = std::max({fWorstPaint, fRepaint[1] / fRepaint[0] - 1.0, fRepaint[2] / fRepaint[0] - 1.0});
        fWorstWall = std::max({fWorstWall, fWall[1] / fWall[0] - 1.0, fWall[2] / fWall[0] - 1.0});
        std::printf("%5d  %8.2f | %8.2f  %8.2f | %8.2f  %6.2f / %5.2f / %5.2f  %8.2f / %5.2f / %5.2f\n", nZoom, s[0], s[1],
                    s[2], s[3], fRepaint[0], fRepaint[1], fRepaint[2], fWall[0], fWall[1], fWall[2]);
    }
    std::printf("slowest window after a linked step: %.2f ms (aim: under 20)\n"
                "the overlay's largest share: +%.0f %% of the paint alone, +%.0f %% of the repaint to the screen "
                "(aim: at most 30)\n",
                fWorst, 100.0 * fWorstPaint, 100.0 * fWorstWall);

    // A brush stroke on the source, 8 display pixels a step, at two zooms.
    delete pChanges;
    CCompareTool::Find<CCompareTool>(pSource)->Unlink();
    auto* pPaint = new CMaskPaintTool(pSource);
    CMaskPaintTool::SetBrushDiameter(32);
    std::printf("\nbrush of 32 picture pixels, a step of 8 display pixels; medians of %d steps\n", nRepeats);
    std::printf("%5s  %12s  %12s  %12s  %26s\n", "zoom", "handling ms", "repaint ms", "step ms",
                "area repainted / view's");
    QWidget* pViewport = pSource->viewport();
    double fWorstStep = 0.0;
    for (int nZoom : {1, -4}) {
        pSource->SetZoom(nZoom, pViewport->rect().center());
        settle();
        QPoint pos(100, 500);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), QPointF(pViewport->mapToGlobal(pos)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(pViewport, &press);
        settle();
        std::vector<double> handling, repaint, total, share;
        for (int i = 0; i < nRepeats; ++i) {
            pos += QPoint(8, (i % 2) * 2 - 1);
            QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(pViewport->mapToGlobal(pos)), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            sourceTimer.Reset();
            t0 = Clock::now();
            QCoreApplication::sendEvent(pViewport, &move);
            const double fHandle = MsSince(t0);
            QCoreApplication::processEvents();
            handling.push_back(fHandle);
            repaint.push_back(sourceTimer.m_fMs);
            total.push_back(fHandle + sourceTimer.m_fMs);
            const QRect rc = sourceTimer.m_region.boundingRect();
            share.push_back(double(rc.width()) * rc.height() / (double(pViewport->width()) * pViewport->height()));
        }
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), QPointF(pViewport->mapToGlobal(pos)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(pViewport, &release);
        fWorstStep = std::max(fWorstStep, Median(total));
        std::printf("%5d  %12.3f  %12.3f  %12.3f  %25.2f%%\n", nZoom, Median(handling), Median(repaint), Median(total),
                    100.0 * Median(share));
    }
    std::printf("slowest brush step: %.2f ms (aim: under 5)\n", fWorstStep);
    delete pPaint;
    return 0;
}
