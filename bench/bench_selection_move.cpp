// Cost of dragging a crease region (and a crack line) over a 100-megapixel
// scan.
//
// Starts the program (without the splash, offscreen unless a platform is
// set), opens a 12500 x 8000 picture in a view, puts the view into crease
// region selection, presses the left button and then times pointer moves,
// each followed by the repaint it causes, until the paint has happened. It
// prints milliseconds per move and how much of the view each move repainted,
// for drags of different sizes and zooms, then the same for a crack line
// that follows the pointer from its first point, and, for comparison, the
// cost of repainting the whole view. A move should stay well under 16 ms
// (one frame at 60 Hz).
//
// Usage: bench_selection_move [moves [width height]]

#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRegion>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tiffio.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Counts the viewport's paints and the area they covered.
class PaintCounter : public QObject
{
public:
    int m_nPaints = 0;
    double m_fPixels = 0.0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint) {
            ++m_nPaints;
            for (const QRect& rc : static_cast<QPaintEvent*>(pEvent)->region())
                m_fPixels += double(rc.width()) * rc.height();
        }
        return false;
    }
};

void SendMouse(QWidget* pWidget, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(pWidget->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(pWidget, &event);
}

// Lets the program work until the viewport has painted once more (or a
// second has gone by: then the move caused no paint).
bool WaitForPaint(PaintCounter& counter, int nPaintsBefore)
{
    const auto t0 = Clock::now();
    while (counter.m_nPaints == nPaintsBefore) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (MsSince(t0) > 1000.0)
            return false;
    }
    return true;
}

// A picture with some texture, rows bottom-up.
void FillPicture(CVeltroInterfaceDoc& doc)
{
    for (int y = 0; y < doc.m_nHeight; ++y) {
        uint32_t* pRow = doc.m_pImage + size_t(y) * size_t(doc.m_nWidth);
        for (int x = 0; x < doc.m_nWidth; ++x) {
            const uint32_t v = uint32_t((x * 7 + y * 3) ^ (x >> 3) ^ (y >> 2)) & 0xFFu;
            pRow[x] = v | ((255u - v) << 8) | (((v + 64u) & 0xFFu) << 16);
        }
    }
}

struct MoveResult
{
    double fMsPerMove = 0.0;
    double fWorstMs = 0.0;
    double fRepaintedShare = 0.0;   // of the viewport's area, per move
    int nMissed = 0;                // moves after which no paint came
};

// nMoves moves of the moving corner around a circle of radius nRadius
// about the anchor; each move is timed up to the end of its repaint.
// In crease region selection the left button is pressed at the anchor and
// held; in crack point selection the line runs from a first point at the
// anchor and follows the pointer with no button held.
MoveResult TimeMoves(CVeltroInterfaceView* pView, PaintCounter& counter, const QPoint& anchor, int nRadius,
                     int nMoves)
{
    QWidget* pViewport = pView->viewport();
    const bool bCrack = pView->m_nMode == CVeltroInterfaceView::modeCrackPoints;
    if (bCrack) {
        pView->m_nPointStage = 1;
        const QPoint display = pView->ViewportToDisplay(anchor);
        pView->m_rcSelection.Set(display.x(), display.y(), display.x(), display.y());
    } else {
        SendMouse(pViewport, QEvent::MouseButtonPress, anchor, Qt::LeftButton, Qt::LeftButton);
    }
    QCoreApplication::processEvents();
    MoveResult result;
    const double fViewArea = double(pViewport->width()) * pViewport->height();
    double fTotal = 0.0;
    const double fPixelsBefore = counter.m_fPixels;
    for (int i = 0; i < nMoves; ++i) {
        const double a = i * 2.0 * M_PI / 60.0;
        const QPoint pos = anchor + QPoint(int(nRadius * std::cos(a)), int(nRadius * std::sin(a)));
        const int nPaints = counter.m_nPaints;
        const auto t0 = Clock::now();
        SendMouse(pViewport, QEvent::MouseMove, pos, Qt::NoButton, bCrack ? Qt::NoButton : Qt::LeftButton);
        if (!WaitForPaint(counter, nPaints))
            ++result.nMissed;
        const double fMs = MsSince(t0);
        fTotal += fMs;
        result.fWorstMs = std::max(result.fWorstMs, fMs);
    }
    result.fMsPerMove = fTotal / nMoves;
    result.fRepaintedShare = (counter.m_fPixels - fPixelsBefore) / nMoves / fViewArea;
    // Leave the selection unfinished, so that no engine runs.
    pView->m_rcSelection.SetNone();
    pView->m_nPointStage = -1;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int nMoves = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 200;
    int nWidth = 12500, nHeight = 8000;
    if (argc >= 4) {
        nWidth = std::atoi(argv[2]);
        nHeight = std::atoi(argv[3]);
    }

    std::vector<QByteArray> args = {QByteArray("bench_selection_move"), QByteArray("/Embedding")};
    std::vector<char*> argvApp;
    for (QByteArray& arg : args)
        argvApp.push_back(arg.data());
    argvApp.push_back(nullptr);
    int argcApp = int(args.size());
    CVeltroInterfaceApp app(argcApp, argvApp.data());
    ui::SetMessageHandler([](const QString& strText) { std::fprintf(stderr, "message: %s\n", qPrintable(strText)); });
    if (!app.InitInstance()) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    CMainFrame* pMain = app.m_pMainWnd;
    pMain->resize(1600, 1000);

    // The document as a load leaves it.
    CDocTemplate* pTemplate = app.m_pDocTemplates[0];
    CVeltroInterfaceDoc* pDoc = pTemplate->CreateNewDocument();
    pDoc->m_pImage = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(nWidth) * nHeight * 4));
    if (pDoc->m_pImage == nullptr) {
        std::fprintf(stderr, "cannot allocate the picture\n");
        return 1;
    }
    pDoc->m_nWidth = nWidth;
    pDoc->m_nHeight = nHeight;
    pDoc->m_nChannels = 3;
    pDoc->m_nDisplayState = 1;
    pDoc->SetTitle(QStringLiteral("scan.jpg"));
    auto t0 = Clock::now();
    FillPicture(*pDoc);
    std::printf("picture %d x %d (%.1f megapixels), made in %.0f ms\n", nWidth, nHeight,
                double(nWidth) * nHeight / 1e6, MsSince(t0));
    {
        std::ifstream load("/proc/loadavg");
        std::string strLoad;
        std::getline(load, strLoad);
        std::printf("load average: %s\n", strLoad.c_str());
    }

    CChildFrame* pFrame = pTemplate->CreateNewFrame(pDoc, pMain);
    if (pFrame == nullptr) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    pTemplate->InitialUpdateFrame(pFrame, pDoc, true);
    pFrame->showMaximized();
    CVeltroInterfaceView* pView = pFrame->GetView();
    PaintCounter counter;
    pView->viewport()->installEventFilter(&counter);

    // The first paint lays the view out and builds the display copy.
    t0 = Clock::now();
    pView->InvalidateAll();
    WaitForPaint(counter, counter.m_nPaints);
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    std::printf("first paint (layout and display copy): %.0f ms; viewport %d x %d\n", MsSince(t0),
                pView->viewport()->width(), pView->viewport()->height());

    // Reference: the whole view repainted.
    {
        const int nRepeats = 30;
        t0 = Clock::now();
        for (int i = 0; i < nRepeats; ++i)
            pView->viewport()->repaint();
        std::printf("whole view repaint: %.2f ms\n", MsSince(t0) / nRepeats);
    }

    const struct
    {
        const char* pszName;
        int nMode;
        int nZoom;
        int nRadius;
    } drags[] = {
        {"crease, zoom 1, radius 40", CVeltroInterfaceView::modeCreaseRegion, 1, 40},
        {"crease, zoom 1, radius 400", CVeltroInterfaceView::modeCreaseRegion, 1, 400},
        {"crease, zoom -8, radius 400", CVeltroInterfaceView::modeCreaseRegion, -8, 400},
        {"crease, zoom 4, radius 400", CVeltroInterfaceView::modeCreaseRegion, 4, 400},
        {"crack line, zoom 1, radius 400", CVeltroInterfaceView::modeCrackPoints, 1, 400},
        {"crack line, zoom 4, radius 400", CVeltroInterfaceView::modeCrackPoints, 4, 400},
    };
    std::printf("%d pointer moves each, timed up to the end of the repaint they cause:\n", nMoves);
    for (const auto& drag : drags) {
        pView->m_nMode = drag.nMode;
        if (pDoc->m_nZoom != drag.nZoom) {
            pDoc->m_nZoom = drag.nZoom;
            pDoc->m_nDisplayState = 1;
            pView->InvalidateAll();
            WaitForPaint(counter, counter.m_nPaints);
        }
        const QPoint anchor(pView->viewport()->width() / 2, pView->viewport()->height() / 2);
        const MoveResult r = TimeMoves(pView, counter, anchor, drag.nRadius, nMoves);
        std::printf("  %-32s %6.2f ms per move (worst %6.2f), %5.1f%% of the view repainted per move%s\n",
                    drag.pszName, r.fMsPerMove, r.fWorstMs, r.fRepaintedShare * 100.0,
                    r.nMissed ? " (some moves painted nothing)" : "");
    }

    pView->m_nMode = CVeltroInterfaceView::modeIdle;
    pView->viewport()->removeEventFilter(&counter);
    pMain->close();
    QCoreApplication::processEvents();
    return 0;
}
