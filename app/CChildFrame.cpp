#include "app/CChildFrame.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

CChildFrame::CChildFrame(CVeltroInterfaceView* pView, const QIcon& icon)
    : m_pView(pView)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(pView);
    setWindowIcon(icon);
    if (CVeltroInterfaceDoc* pDoc = pView->GetDocument())
        connect(pDoc, &CVeltroInterfaceDoc::titleChanged, this, [this] { UpdateTitle(); });
}

void CChildFrame::UpdateTitle()
{
    CVeltroInterfaceDoc* pDoc = m_pView->GetDocument();
    if (pDoc == nullptr)
        return;
    QString strTitle = pDoc->GetTitle();
    const QList<QObject*> views = pDoc->GetViews();
    if (views.size() > 1)
        strTitle += QStringLiteral(":%1").arg(views.indexOf(m_pView) + 1);
    setWindowTitle(strTitle);
}
