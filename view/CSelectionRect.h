#pragma once

#include <QRect>
#include <algorithm>

// A selection as the view keeps it: left, top, right, bottom in display
// pixels, not normalised while it is being dragged (the anchor stays in
// left/top, the moving corner or line end in right/bottom). All four -1
// means that nothing is marked.
struct CSelectionRect
{
    int left = -1;
    int top = -1;
    int right = -1;
    int bottom = -1;

    bool IsNone() const { return left == -1 && top == -1 && right == -1 && bottom == -1; }
    void SetNone() { left = top = right = bottom = -1; }
    void Set(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    // Swaps left and right, and top and bottom, where they are reversed.
    void NormalizeRect()
    {
        if (left > right)
            std::swap(left, right);
        if (top > bottom)
            std::swap(top, bottom);
    }
    // The area between the two corners, whichever way it was dragged.
    QRect Area() const
    {
        return QRect(QPoint(std::min(left, right), std::min(top, bottom)),
                     QPoint(std::max(left, right), std::max(top, bottom)));
    }
    bool operator==(const CSelectionRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};
