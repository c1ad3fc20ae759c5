#pragma once

#include "view/CViewTool.h"

#include <QColor>
#include <QPoint>
#include <QPointF>

class CMaskLayer;
class CVeltroInterfaceDoc;

// Processing > Paint Blotch Mask: the left button paints blotches into the
// document's mask, the right button erases, [ and ] change the brush, whose
// circle follows the pointer; the mask shows as a blue tint. Escape (or the
// command again) leaves the mode; the mask stays with the document, and
// Blotch writes it as the mask file it proposes.
//
// While a crack or crease is being marked, the pointer goes to that.
class CMaskPaintTool : public CViewTool
{
    Q_OBJECT

public:
    explicit CMaskPaintTool(CVeltroInterfaceView* pView);
    ~CMaskPaintTool() override;

    // The mask painted on a document, made (empty, of the picture's size)
    // when bCreate is set; null without a picture.
    static CMaskLayer* PaintedMask(CVeltroInterfaceDoc* pDoc, bool bCreate);

    // Brush diameters in picture pixels, the same for every window.
    static int BrushDiameter();
    static void SetBrushDiameter(int nDiameter);
    // The next brush up (nStep 1) or down (-1) from a diameter.
    static int NextBrushDiameter(int nDiameter, int nStep);

    static const QColor kTint;

    void Paint(QPainter& painter, const QRect& rcExposed) override;
    bool ViewEvent(QEvent* pEvent) override;

private:
    bool Yields() const;
    QPointF PicturePoint(const QPoint& viewportPos) const;
    QRect CircleRect() const;
    void MoveCircle(const QPoint& viewportPos, bool bShown);
    void StrokeTo(const QPoint& viewportPos);
    void ShowPrompt() const;

    CMaskLayer* m_pMask = nullptr;
    QPoint m_ptPointer;          // viewport position of the pointer
    bool m_bCircleShown = false;
    Qt::MouseButton m_button = Qt::NoButton;   // the button of the stroke under way
    QPointF m_ptLast;            // picture point the stroke has reached
};
