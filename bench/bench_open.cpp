// Opening big scans as a restorer does, against the decoder's own pace.
//
// Makes a 24 and a 100 megapixel photograph (4:2:0, quality 90, with grain)
// in a temporary folder, starts the whole program (offscreen, its settings
// in the temporary folder too) and measures, in one run:
// - picture drawn: from File > Open's call with the path until the view's
//   first paint has drawn the picture, against libjpeg decoding the same
//   file into fresh memory (the floor), medians of several runs;
// - resident memory with the 100 MP picture open and its reductions built,
//   against its pixel count;
// - every zoom step from -8 to 4 on the 100 MP picture, Down and Up as the
//   keys do, from the key until its paint is done, first right after
//   opening (while the reductions are still being built), then each with
//   the reductions thrown away just before;
// - repaints of the whole view at each zoom once everything is built;
// - libjpeg's scaled decoding (1/2, 1/4, 1/8) of the same files, to tell
//   whether a reduced first decode could bring the picture on screen sooner.
// Then prints the table of the goals.
//
// Usage: bench_open [source.jpg] [repetitions]

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CDisplayCache.h"
#include "view/CVeltroInterfaceView.h"

#include "BenchJpeg.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace benchjpeg;

namespace {

double ResidentMb()
{
    std::ifstream in("/proc/self/status");
    for (std::string strLine; std::getline(in, strLine);)
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::stod(strLine.substr(6)) / 1024.0;
    return 0.0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Counts the paints of a widget.
class PaintWatch : public QObject
{
public:
    int m_nPaints = 0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            ++m_nPaints;
        return false;
    }
};

// Lets the program run until the view has painted once more; the seconds
// since t0 then.
double UntilPainted(CVeltroInterfaceView* pView, double t0)
{
    PaintWatch watch;
    pView->viewport()->installEventFilter(&watch);
    while (watch.m_nPaints == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    pView->viewport()->removeEventFilter(&watch);
    return Now() - t0;
}

// Lets the program run for a while (queued work, deferred deletions).
void Settle(double fSeconds)
{
    const double tEnd = Now() + fSeconds;
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (Now() < tEnd);
}

// The levels a complete build of a W x H picture has, as CDisplayCache counts them.
int FullLevelCount(int nWidth, int nHeight)
{
    int nLevels = 1;
    for (; nWidth > 1 || nHeight > 1; ++nLevels) {
        nWidth = (nWidth + 1) / 2;
        nHeight = (nHeight + 1) / 2;
    }
    return nLevels;
}

struct Opened
{
    CVeltroInterfaceView* pView = nullptr;
    double fDrawnSeconds = -1.0;
};

// File > Open with the path, up to the picture drawn.
Opened OpenAndDraw(CVeltroInterfaceApp& app, const QString& strPath)
{
    Opened opened;
    const double t0 = Now();
    if (app.OpenDocumentFile(strPath) == nullptr)
        return opened;
    opened.pView = app.m_pMainWnd->GetActiveView();
    opened.fDrawnSeconds = UntilPainted(opened.pView, t0);
    return opened;
}

void Close(CVeltroInterfaceView* pView)
{
    QPointer<CVeltroInterfaceDoc> pDoc(pView->GetDocument());
    pView->GetParentFrame()->close();
    while (!pDoc.isNull())
        Settle(0.01);
}

// Waits until the view's document has all its reductions.
void UntilLevelsBuilt(CVeltroInterfaceView* pView)
{
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    const int nLevels = FullLevelCount(pDoc->m_nWidth, pDoc->m_nHeight);
    for (;;) {
        CDisplayCache* pCache = CDisplayCache::ForDocument(pDoc);
        if (pCache != nullptr && pCache->LevelCount() >= nLevels)
            return;
        Settle(0.01);
    }
}

// One zoom key pressed on the view, up to its paint: milliseconds.
double ZoomStep(CVeltroInterfaceView* pView, int nKey)
{
    const double t0 = Now();
    QKeyEvent press(QEvent::KeyPress, nKey, Qt::NoModifier);
    QCoreApplication::sendEvent(pView, &press);
    return UntilPainted(pView, t0) * 1e3;
}

struct ZoomSteps
{
    std::vector<int> zooms;
    std::vector<double> ms;
    std::vector<int> levels;  // levels there were when the step began
};

// From zoom 1 down to -8, then up to 4, one key at a time; with bDiscard the
// reductions are thrown away before each step.
ZoomSteps StepThroughZooms(CVeltroInterfaceView* pView, bool bDiscard)
{
    ZoomSteps steps;
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    if (pDoc->m_nZoom != 1) {
        pDoc->m_nZoom = 1;
        pDoc->m_nDisplayState = 1;
        pView->viewport()->repaint();
        Settle(0.2);
    }
    const auto step = [&](int nKey) {
        if (bDiscard)
            delete pDoc->findChild<CDisplayCache*>();
        CDisplayCache* pCache = pDoc->findChild<CDisplayCache*>();
        steps.levels.push_back(pCache != nullptr ? pCache->LevelCount() - 1 : 0);
        steps.ms.push_back(ZoomStep(pView, nKey));
        steps.zooms.push_back(pDoc->m_nZoom);
    };
    while (pDoc->m_nZoom > -8)
        step(Qt::Key_Down);
    while (pDoc->m_nZoom < 4)
        step(Qt::Key_Up);
    return steps;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The program's settings (its recent files) stay in the temporary folder.
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));

    std::string strSourceName;
    QImage source = LoadSource(argc > 1 ? argv[1] : nullptr, &strSourceName);
    if (source.isNull()) {
        std::fprintf(stderr, "could not read %s\n", strSourceName.c_str());
        return 1;
    }
    const int nRepeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    struct Picture
    {
        const char* pszName;
        int nWidth, nHeight;
        QString strPath;
    } pictures[] = {{"24 MP", 6000, 4000, QString()}, {"100 MP", 12500, 8000, QString()}};
    for (Picture& picture : pictures) {
        picture.strPath = dir.filePath(QStringLiteral("scan_%1.jpg").arg(picture.nWidth));
        if (!MakeTestFile(source, picture.strPath, picture.nWidth, picture.nHeight)) {
            std::fprintf(stderr, "could not write the test pictures\n");
            return 1;
        }
        std::printf("%s: %d x %d, %lld bytes, from %s\n", picture.pszName, picture.nWidth, picture.nHeight,
                    static_cast<long long>(QFile(picture.strPath).size()), strSourceName.c_str());
    }
    source = QImage();
    {
        std::ifstream load("/proc/loadavg");
        std::string strLoad;
        std::getline(load, strLoad);
        std::printf("load average: %s\n", strLoad.c_str());
    }

    QByteArray arg0("bench_open"), arg1("/Embedding");
    char* args[] = {arg0.data(), arg1.data(), nullptr};
    int nArgs = 2;
    CVeltroInterfaceApp app(nArgs, args);
    ui::SetMessageHandler([](const QString& strText) { std::fprintf(stderr, "message: %s\n", qPrintable(strText)); });
    if (!app.InitInstance())
        return 1;
    app.m_pMainWnd->resize(1600, 1000);
    app.m_pMainWnd->show();
    Settle(0.3);

    // Memory first, in a fresh process: idle, then the 100 MP picture open
    // with all its reductions.
    const Picture& big = pictures[1];
    const double fIdleMb = ResidentMb();
    Opened opened = OpenAndDraw(app, big.strPath);
    if (opened.pView == nullptr) {
        std::fprintf(stderr, "could not open %s\n", qPrintable(big.strPath));
        return 1;
    }
    UntilLevelsBuilt(opened.pView);
    Settle(0.2);
    const double fOpenMb = ResidentMb();
    const double fPixels = double(big.nWidth) * big.nHeight;
    const double fBytesPerPixel = (fOpenMb - fIdleMb) * 1048576.0 / fPixels;
    const double fGoalMb = 5.5 * fPixels / 1048576.0 + 60.0;
    std::printf("\nresident memory: %.0f MB idle, %.0f MB with the 100 MP picture open: %.2f bytes per pixel "
                "beside the idle program (goal: %.0f MB in all, 5.5 bytes per pixel + 60 MB)\n",
                fIdleMb, fOpenMb, fBytesPerPixel, fGoalMb);

    // Repaints of the whole view with everything built.
    std::vector<std::pair<int, double>> repaints;
    for (int nZoom : {-8, -6, -3, -2, 1, 2, 4}) {
        opened.pView->GetDocument()->m_nZoom = nZoom;
        opened.pView->GetDocument()->m_nDisplayState = 1;
        opened.pView->viewport()->repaint();
        std::vector<double> times;
        for (int i = 0; i < 11; ++i) {
            const double t0 = Now();
            opened.pView->viewport()->repaint();
            times.push_back((Now() - t0) * 1e3);
        }
        repaints.emplace_back(nZoom, Median(times));
    }
    std::printf("repaint of the view (%d x %d) with the reductions built, ms:",
                opened.pView->viewport()->width(), opened.pView->viewport()->height());
    double fWorstRepaint = 0.0;
    for (const auto& [nZoom, fMs] : repaints) {
        std::printf("  %d: %.2f", nZoom, fMs);
        fWorstRepaint = std::max(fWorstRepaint, fMs);
    }
    std::printf("\n");
    Close(opened.pView);

    // Zoom steps at 100 MP right after opening, then with the reductions
    // thrown away before each step.
    opened = OpenAndDraw(app, big.strPath);
    const ZoomSteps afterOpen = StepThroughZooms(opened.pView, false);
    const ZoomSteps discarded = StepThroughZooms(opened.pView, true);
    Close(opened.pView);
    std::printf("\nzoom steps at 100 MP, ms from the key to its paint (levels there when the step began):\n");
    std::printf("%-26s", "  zoom");
    for (int nZoom : afterOpen.zooms)
        std::printf("%8d", nZoom);
    std::printf("\n%-26s", "  right after opening");
    for (size_t i = 0; i < afterOpen.ms.size(); ++i)
        std::printf("%5.0f(%d)", afterOpen.ms[i], afterOpen.levels[i]);
    std::printf("\n%-26s", "  reductions thrown away");
    for (double fMs : discarded.ms)
        std::printf("%8.0f", fMs);
    std::printf("\n");
    const double fWorstStep = *std::max_element(afterOpen.ms.begin(), afterOpen.ms.end());
    const double fWorstDiscarded = *std::max_element(discarded.ms.begin(), discarded.ms.end());

    // Open to drawn against the bare decode, alternating.
    std::printf("\npicture drawn against the bare decode of the same file, medians of %d:\n", nRepeats);
    struct Row
    {
        double fDrawn, fFloor;
    } rows[2];
    for (size_t nPicture = 0; nPicture < 2; ++nPicture) {
        const Picture& picture = pictures[nPicture];
        const QByteArray path = QFile::encodeName(picture.strPath);
        DecodeFloor(path.constData());
        std::vector<double> drawn, floor;
        for (int i = 0; i < nRepeats; ++i) {
            floor.push_back(DecodeFloor(path.constData()));
            opened = OpenAndDraw(app, picture.strPath);
            drawn.push_back(opened.fDrawnSeconds);
            Close(opened.pView);
            Settle(0.1);
        }
        rows[nPicture] = {Median(drawn), Median(floor)};
        std::printf("  %-7s drawn %6.0f ms (%.0f to %.0f), bare decode %6.0f ms (%.0f to %.0f): %.2f x\n",
                    picture.pszName, rows[nPicture].fDrawn * 1e3, *std::min_element(drawn.begin(), drawn.end()) * 1e3,
                    *std::max_element(drawn.begin(), drawn.end()) * 1e3, rows[nPicture].fFloor * 1e3,
                    *std::min_element(floor.begin(), floor.end()) * 1e3,
                    *std::max_element(floor.begin(), floor.end()) * 1e3, rows[nPicture].fDrawn / rows[nPicture].fFloor);
    }

    // Scaled decoding: the picture reduced by the decoder itself.
    std::printf("\nlibjpeg's scaled decode into fresh memory, ms (medians of 3):\n");
    for (const Picture& picture : pictures) {
        const QByteArray path = QFile::encodeName(picture.strPath);
        std::printf("  %-7s", picture.pszName);
        for (int nDenom : {1, 2, 4, 8}) {
            std::vector<double> times;
            for (int i = 0; i < 3; ++i)
                times.push_back(DecodeFloor(path.constData(), false, nDenom) * 1e3);
            std::printf("  1/%d: %5.0f", nDenom, Median(times));
        }
        std::printf("\n");
    }
    std::printf("  (the program opens a picture at 100 %%, its top-left corner: the first paint needs full-size\n"
                "  pixels, which no reduced decode has, so a reduced decode first could only add its time)\n");

    std::printf("\n| goal | measured |\n|---|---|\n");
    std::printf("| picture drawn <= 1.5 x bare decode, 24 MP | %.0f ms / %.0f ms = %.2f x |\n", rows[0].fDrawn * 1e3,
                rows[0].fFloor * 1e3, rows[0].fDrawn / rows[0].fFloor);
    std::printf("| picture drawn <= 1.5 x bare decode, 100 MP | %.0f ms / %.0f ms = %.2f x |\n", rows[1].fDrawn * 1e3,
                rows[1].fFloor * 1e3, rows[1].fDrawn / rows[1].fFloor);
    std::printf("| <= 5.5 bytes per pixel + 60 MB (100 MP: %.0f MB) | %.0f MB resident, %.2f bytes per pixel + %.0f MB "
                "idle |\n",
                fGoalMb, fOpenMb, fBytesPerPixel, fIdleMb);
    std::printf("| zoom step < 100 ms, 100 MP, -8..4 | worst %.0f ms right after opening; %.0f ms with no reduction "
                "built |\n",
                fWorstStep, fWorstDiscarded);
    std::printf("| paints < 10 ms (repaint of the view, levels built) | worst %.2f ms |\n", fWorstRepaint);
    return 0;
}
