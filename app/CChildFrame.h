#pragma once

#include <QMdiSubWindow>

class CVeltroInterfaceView;

// One window in the main frame's workspace, holding one view. Its title-bar
// icon is its template's; its caption is the document's title (with ":n"
// when the document has several windows).
class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT
public:
    CChildFrame(CVeltroInterfaceView* pView, const QIcon& icon);

    CVeltroInterfaceView* GetView() const { return m_pView; }
    void UpdateTitle();

private:
    CVeltroInterfaceView* m_pView;
};
