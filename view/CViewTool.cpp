#include "view/CViewTool.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "view/CVeltroInterfaceView.h"

#include <algorithm>

CViewTool::CViewTool(CVeltroInterfaceView* pView)
    : QObject(pView), m_pView(pView)
{
    ModesChanged();
}

CVeltroInterfaceView* CViewTool::View() const
{
    return m_pView;
}

CViewTool::~CViewTool()
{
    ModesChanged();
}

QList<CViewTool*> CViewTool::ToolsOf(const CVeltroInterfaceView* pView)
{
    if (pView == nullptr)
        return {};
    QList<CViewTool*> tools = pView->findChildren<CViewTool*>(QString(), Qt::FindDirectChildrenOnly);
    std::stable_sort(tools.begin(), tools.end(),
                     [](const CViewTool* a, const CViewTool* b) { return a->Layer() < b->Layer(); });
    return tools;
}

void CViewTool::Paint(QPainter&, const QRect&) {}

bool CViewTool::ViewEvent(QEvent*)
{
    return false;
}

void CViewTool::ViewMoved() {}

void CViewTool::ModesChanged()
{
    // Queued: a tool may come or go in the middle of an event of its view.
    if (CMainFrame* pMain = AfxGetMainWnd())
        QMetaObject::invokeMethod(pMain, [pMain] { pMain->UpdateMenus(); }, Qt::QueuedConnection);
}
