#include "app/CDocTemplate.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

#include <QMdiArea>
#include <QStringList>

CDocTemplate::CDocTemplate(int nIDResource, const QString& strDocString, const QString& strIconPath)
    : m_nIDResource(nIDResource), m_strDocString(strDocString), m_strIconPath(strIconPath)
{
}

QIcon CDocTemplate::GetIcon() const
{
    QIcon icon(m_strIconPath);
    // The 16-pixel variant sits beside the 32-pixel one as "<name>16.png".
    QString strSmall = m_strIconPath;
    strSmall.replace(QStringLiteral(".png"), QStringLiteral("16.png"));
    icon.addFile(strSmall, QSize(16, 16));
    return icon;
}

QString CDocTemplate::GetDocString(int nIndex) const
{
    const QStringList fields = m_strDocString.split(QLatin1Char('\n'));
    return nIndex >= 0 && nIndex < fields.size() ? fields.at(nIndex) : QString();
}

CVeltroInterfaceDoc* CDocTemplate::CreateNewDocument()
{
    auto* pDoc = new CVeltroInterfaceDoc;
    pDoc->SetDocTemplate(this);
    return pDoc;
}

CChildFrame* CDocTemplate::CreateNewFrame(CVeltroInterfaceDoc* pDoc, CMainFrame* pMainFrame)
{
    if (pDoc == nullptr || pMainFrame == nullptr)
        return nullptr;
    auto* pView = new CVeltroInterfaceView(pDoc);
    auto* pFrame = new CChildFrame(pView, GetIcon());
    pMainFrame->MdiArea()->addSubWindow(pFrame);
    pFrame->hide();
    return pFrame;
}

void CDocTemplate::InitialUpdateFrame(CChildFrame* pFrame, CVeltroInterfaceDoc* pDoc, bool bMakeVisible)
{
    if (pFrame == nullptr || pDoc == nullptr)
        return;
    pFrame->UpdateTitle();
    pFrame->GetView()->OnInitialUpdate();
    if (bMakeVisible) {
        pFrame->show();
        if (QMdiArea* pArea = pFrame->mdiArea())
            pArea->setActiveSubWindow(pFrame);
        pFrame->GetView()->setFocus();
    }
}

QString CDocTemplate::NextUntitledName()
{
    return GetDocString(1) + QString::number(++m_nUntitledCount);
}
