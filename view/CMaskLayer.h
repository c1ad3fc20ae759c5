#pragma once

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <vector>

class QPainter;

// A mask over a picture, one flag per pixel (rows top-down, as the picture
// is shown and as mask files are stored): the blotches painted by hand, or
// the pixels a restoration changed. It keeps reductions by 2, 4, 8 ... in
// which a pixel is set when any pixel of its block is, so that the mask
// draws at every zoom without losing a lone pixel, and a paint looks only at
// the blocks of the exposed area that hold something.
//
// Memory (a byte per pixel, and a third of that for the reductions) is taken
// on the first pixel set.
class CMaskLayer : public QObject
{
    Q_OBJECT

public:
    CMaskLayer(int nWidth, int nHeight, QObject* pParent = nullptr);

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int64_t Count() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    bool At(int x, int y) const;

    // Takes the pixels of grey level 128 or more of an image of the mask's
    // size. False (the mask unchanged) for another size or without memory.
    bool Assign(const QImage& image);
    // Sets (or clears) every pixel whose middle lies within fRadius of the
    // segment from -> to (picture units: pixel (x, y) spans x..x+1). Returns
    // the pixels changed, empty when none did (or without memory).
    QRect PaintStroke(const QPointF& from, const QPointF& to, double fRadius, bool bSet);
    // The mask as a greyscale picture: 255 where set, 0 elsewhere.
    QImage ToImage() const;

    // Tints the set pixels that fall into rcExposed (display pixels of the
    // picture shown at nZoom), with the colour's alpha.
    void Draw(QPainter& painter, const QRect& rcExposed, int32_t nZoom, const QColor& tint) const;
    // The display pixels that show a rectangle of picture pixels at nZoom.
    static QRect DisplayRect(const QRect& rcImage, int32_t nZoom);

    // The file the mask was last written to, and whether it still is as it
    // was then written (same size and time), so that it may be written again
    // without asking.
    void NoteWritten(const QString& strPath);
    bool IsWrittenAs(const QString& strPath) const;

signals:
    void changed(const QRect& rcImage);

private:
    bool Allocate();
    void UpdateLevels(QRect rc);
    // Whether any pixel of rc (picture pixels) may be set: never false when
    // one is.
    bool MayHaveIn(const QRect& rc) const;

    int m_nWidth = 0;
    int m_nHeight = 0;
    int64_t m_nCount = 0;
    // Level 0: a byte per pixel, 0 or 1; level k: ceil(W / 2^k) x ceil(H / 2^k).
    std::vector<std::vector<uint8_t>> m_levels;
    std::vector<QSize> m_sizes;
    QString m_strWrittenPath;
    QDateTime m_writtenTime;
    qint64 m_nWrittenSize = -1;
};
