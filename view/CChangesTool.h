#pragma once

#include "view/CViewTool.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <cstdint>

class CMaskLayer;

// View > Show Changes in a result window: the pixels the restoration
// changed, tinted magenta over the picture at every zoom.
class CChangesTool : public CViewTool
{
    Q_OBJECT

public:
    CChangesTool(CVeltroInterfaceView* pView, CMaskLayer* pChanged);
    ~CChangesTool() override;

    // Half-transparent magenta: it shows on light and on dark pictures, and
    // photographs and documents rarely hold it themselves.
    static const QColor kTint;

    // "1,234 pixels changed (0.05 %)", whatever the locale; "< 0.01 %" and
    // "> 99.99 %" where the rounded share would say none or all.
    static QString ChangedPixelsText(int64_t nChanged, int64_t nTotal);

    void Paint(QPainter& painter, const QRect& rcExposed) override;

private:
    QPointer<CMaskLayer> m_pChanged;
};
