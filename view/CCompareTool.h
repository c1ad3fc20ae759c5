#pragma once

#include "view/CViewTool.h"

#include <QPointer>

// Window > Compare with Source: a result window and the window of its source
// linked, so that zooming or scrolling either moves the other to the same
// zoom and place; each window has one of these tools, and removing either
// removes both. In the result window, holding the backslash key shows the
// source's pixels in place of the result's.
class CCompareTool : public CViewTool
{
    Q_OBJECT

public:
    // Links the two views (ending any link either had).
    static void Link(CVeltroInterfaceView* pResult, CVeltroInterfaceView* pSource);
    ~CCompareTool() override;

    CCompareTool* Partner() const { return m_pPartner; }
    bool ShowsSource() const { return m_bShowSource; }
    // Ends the link on both sides.
    void Unlink();

    void Paint(QPainter& painter, const QRect& rcExposed) override;
    bool ViewEvent(QEvent* pEvent) override;
    void ViewMoved() override;
    bool KeepsFrame() const override { return true; }
    int Layer() const override { return 1; }

private:
    CCompareTool(CVeltroInterfaceView* pView, bool bResult);
    void ShowSource(bool bShow);

    QPointer<CCompareTool> m_pPartner;
    bool m_bResult = false;
    bool m_bShowSource = false;
    // Set while the source is shown drawn provisionally: a repaint when the
    // source's next reduction arrives.
    QMetaObject::Connection m_sourceLevels;
};
