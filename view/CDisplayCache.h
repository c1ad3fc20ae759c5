#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

class CVeltroInterfaceDoc;
class QPainter;
class QThreadPool;

// What the screen shows of a document's pixel block. Zoom 1 and the
// enlarged zooms draw from the block itself, converting only the pixels
// exposed; the reduced zooms draw smoothed reductions by 2, 4, 8 ..., so
// that a reduced scan does not alias. The block never changes, so the reductions are built once per
// document, on a worker thread, finest first, each handed over once it is
// complete. Until the reduction a zoom calls for is there, that zoom is drawn
// from the nearest one that is (at first a quick reduction of just the
// exposed part, made from the block), and levelAdded() asks for a repaint
// when another arrives.
//
// The cache lives as a child of its document and goes with it; going, it
// stops the work and waits for it, so the block is never read afterwards.
// Memory: the reductions take a third of the block (4/3 bytes per pixel of
// picture); nothing else grows with the picture.
class CDisplayCache : public QObject
{
    Q_OBJECT
public:
    // The cache of pDoc, made on first use; null when pDoc holds no picture.
    static CDisplayCache* ForDocument(CVeltroInterfaceDoc* pDoc);

    // Starts building the reductions of doc's block on pPool (BuildPool()
    // when null). doc must hold a picture and must outlive the cache (it does
    // when it is the parent); so must the pool.
    explicit CDisplayCache(const CVeltroInterfaceDoc& doc, QObject* pParent = nullptr,
                           QThreadPool* pPool = nullptr);
    ~CDisplayCache() override;

    // Draws the part of the picture, shown at nZoom, that falls into
    // rcTarget (in display pixels: (0,0) is the picture's top-left corner as
    // shown at that zoom). Enlarged zooms show sharp pixels; reduced zooms
    // are drawn from the nearest finer reduction, smoothed. The painter's
    // transform (scrolling, printing) applies as usual; its transform and
    // render hints are left as they were. Zooms 0 and -1 draw nothing.
    //
    // Display pixel (x, y) at a reduction by n shows image column n x and
    // top-down row n y (with their n x n neighbourhood), as the pointer
    // readout reads it.
    //
    // Returns false when the drawing is provisional: a reduced zoom drawn
    // from a finer source than it calls for, because its own reduction is
    // still being built.
    bool Draw(QPainter& painter, const QRect& rcTarget, int nZoom) const;

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

    // Level k >= 1 is a reduction by 2^k, Format_RGB32, top row first: its
    // first ceil(W / 2^k) x ceil(H / 2^k) pixels are 2 x 2 averages of level
    // k - 1 (level 0 being the picture), followed by one more column and row
    // repeating the last ones, so that a reduced display, whose size is
    // rounded to the nearest pixel, never reads past the picture's edge.
    // Levels go down to 1 x 1 (fewer if memory ran out). LevelCount() is one
    // more than the levels handed over so far; Level(k) exists for
    // 1 <= k < LevelCount().
    int LevelCount() const { return int(m_levels.size()) + 1; }
    const QImage& Level(int nLevel) const;

    // The level a reduction by n (n >= 2) is drawn from once every level is
    // there: the finest one not coarser than needed, 2^k <= n.
    int LevelForReduction(int n) const;

    // True once the build has ended and its levels are all handed over.
    bool IsComplete() const { return m_bComplete; }
    // Waits for the build to end and takes its levels (for printing, tests
    // and benchmarks; the screen never waits).
    void WaitUntilComplete();
    // How long the build took on its thread, for the benchmark.
    double LevelsMilliseconds() const { return m_fLevelsMs; }

    // The pool the documents' reductions are built on. Not Qt's global pool:
    // Qt's painting spreads large fills over that one and waits for them.
    static QThreadPool* BuildPool();

signals:
    // Another level has been handed over.
    void levelAdded();

private:
    struct BuildState;
    static void Build(BuildState& state);
    // From the worker: the cache takes what is finished on its own thread.
    static void PostTakeLevels(CDisplayCache* pCache);
    Q_INVOKABLE void TakeFinishedLevels();
    void DrawPicture(QPainter& painter, const QRect& rc, int nZoom) const;
    void DrawQuickReduction(QPainter& painter, const QRect& rc, int n) const;

    const uint32_t* m_pBlock = nullptr;  // the document's block, bottom-up 0x00BBGGRR
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<QImage> m_levels;     // reductions by 2, 4, 8 ... handed over so far
    int m_nFinalLevels = 0;           // how many levels a whole build makes
    bool m_bComplete = false;
    double m_fLevelsMs = 0.0;
    std::shared_ptr<BuildState> m_pState;  // shared with the worker
};
