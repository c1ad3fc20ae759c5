#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class CVeltroInterfaceView;
class QEvent;
class QPainter;

// One interaction mode of an image view (painting the blotch mask, comparing
// with the source, showing the changes): the view hands it its input events
// first and lets it draw over the picture, so each mode lives in a class of
// its own. A tool is a child of its view and goes with it; deleting it leaves
// the mode.
class CViewTool : public QObject
{
    Q_OBJECT

public:
    explicit CViewTool(CVeltroInterfaceView* pView);
    ~CViewTool() override;

    CVeltroInterfaceView* View() const;

    // The tools of a view in the order they draw: picture replacements
    // (Layer() 1) after overlays (Layer() 0). The first of a type, or null.
    static QList<CViewTool*> ToolsOf(const CVeltroInterfaceView* pView);
    template <typename T>
    static T* Find(const CVeltroInterfaceView* pView)
    {
        for (CViewTool* pTool : ToolsOf(pView))
            if (auto* p = qobject_cast<T*>(pTool))
                return p;
        return nullptr;
    }

    // Draws over the picture. rcExposed is in display pixels and the painter
    // is translated so that (0, 0) is the picture's top-left corner.
    virtual void Paint(QPainter& painter, const QRect& rcExposed);
    // An input event of the view (mouse and wheel events come in viewport
    // coordinates); true when the tool has used it and the view must not.
    virtual bool ViewEvent(QEvent* pEvent);
    // The view has scrolled or changed its zoom.
    virtual void ViewMoved();
    // Whether the view must leave its frame where it is rather than fit it
    // to the picture after a zoom step.
    virtual bool KeepsFrame() const { return false; }
    virtual int Layer() const { return 0; }

protected:
    // Tells the main frame that the modes of a view have changed (check
    // marks of the menus).
    static void ModesChanged();

private:
    QPointer<CVeltroInterfaceView> m_pView;
};
