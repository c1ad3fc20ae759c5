#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <cstdint>
#include <vector>

class CVeltroInterfaceDoc;
class QPainter;

// What the screen shows of a document's pixel block, built once per document
// (the block never changes): a top-down copy in the format Qt paints fastest,
// and smoothed reductions by 2, 4, 8 ... for the reduced zooms, so that a
// reduced scan does not alias. It lives as a child of its document and goes
// with it.
//
// Memory: one copy of the picture plus about a third of one for the
// reductions. Drawing costs in proportion to the area drawn, never to the
// picture.
class CDisplayCache : public QObject
{
    Q_OBJECT
public:
    // The cache of pDoc, built on first use; null when pDoc holds no picture.
    static CDisplayCache* ForDocument(CVeltroInterfaceDoc* pDoc);

    // Converts doc's pixel block at once. doc must hold a picture and must
    // outlive the cache (it does when it is the parent).
    explicit CDisplayCache(const CVeltroInterfaceDoc& doc, QObject* pParent = nullptr);

    // Draws the part of the picture, shown at nZoom, that falls into
    // rcTarget (in display pixels: (0,0) is the picture's top-left corner as
    // shown at that zoom). Enlarged zooms show sharp pixels; reduced zooms
    // are drawn from the nearest finer reduction, smoothed. The painter's
    // transform (scrolling, printing) applies as usual; its render hints are
    // left as they were. Zooms 0 and -1 draw nothing.
    //
    // Display pixel (x, y) at a reduction by n shows image column n x and
    // top-down row n y (with their n x n neighbourhood), as the pointer
    // readout reads it.
    void Draw(QPainter& painter, const QRect& rcTarget, int nZoom) const;

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

    // The converted picture, Format_RGB32, top row first. Null only when its
    // memory could not be had; Draw then converts what it draws on the fly.
    const QImage& FullImage() const { return m_image; }

    // Level 0 is the full image, level k >= 1 a reduction by 2^k: its first
    // ceil(W / 2^k) x ceil(H / 2^k) pixels are 2 x 2 averages of level k - 1,
    // followed by one more column and row repeating the last ones, so that a
    // reduced display, whose size is rounded to the nearest pixel, never
    // reads past the picture's edge. Levels go down to 1 x 1 (fewer if
    // memory ran out).
    int LevelCount() const { return int(m_levels.size()) + 1; }
    const QImage& Level(int nLevel) const;

    // The level Draw uses for a reduction by n (n >= 2): the finest one not
    // coarser than needed, 2^k <= n, within the levels available.
    int LevelForReduction(int n) const;

    // How long the build took, for the benchmark and for diagnostics.
    double CopyMilliseconds() const { return m_fCopyMs; }
    double LevelsMilliseconds() const { return m_fLevelsMs; }

private:
    void BuildFullImage();
    void BuildLevels();
    void DrawUncached(QPainter& painter, const QRect& rc, int nZoom) const;

    const uint32_t* m_pSource = nullptr;  // the document's block, bottom-up 0x00BBGGRR
    int m_nWidth = 0;
    int m_nHeight = 0;
    QImage m_image;                 // Format_RGB32, top row first
    std::vector<QImage> m_levels;   // reductions by 2, 4, 8 ...
    double m_fCopyMs = 0.0;
    double m_fLevelsMs = 0.0;
};
