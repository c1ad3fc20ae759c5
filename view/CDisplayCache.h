#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <vector>

class CVeltroInterfaceDoc;
class QPainter;

// What the screen shows of a document's pixel block, built once per document
// (the block never changes): a top-down copy in the format Qt paints fastest,
// and smoothed reductions by 2, 4, 8 ... for the reduced zooms, so that a
// reduced scan does not alias. It lives as a child of its document and goes
// with it.
class CDisplayCache : public QObject
{
    Q_OBJECT
public:
    // The cache of pDoc, built on first use; null when pDoc holds no picture.
    static CDisplayCache* ForDocument(CVeltroInterfaceDoc* pDoc);

    explicit CDisplayCache(const CVeltroInterfaceDoc& doc, QObject* pParent = nullptr);

    // Draws the part of the picture, shown at nZoom, that falls into
    // rcTarget (in display pixels: (0,0) is the picture's top-left corner as
    // shown at that zoom). Enlarged zooms show sharp pixels; reduced zooms
    // are drawn from the nearest finer reduction, smoothed. The painter's
    // transform (scrolling, printing) applies as usual.
    void Draw(QPainter& painter, const QRect& rcTarget, int nZoom) const;

    const QImage& FullImage() const { return m_image; }
    // Level 0 is the full image, level k a reduction by 2^k.
    int LevelCount() const { return int(m_levels.size()) + 1; }
    const QImage& Level(int nLevel) const;

private:
    QImage m_image;                 // Format_RGB32, top row first
    std::vector<QImage> m_levels;   // reductions by 2, 4, 8 ...
};
