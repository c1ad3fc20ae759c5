#include "document/CVeltroInterfaceDoc.h"

#include "document/ImageFile.h"

#include <QFileInfo>
#include <tiffio.h>

CVeltroInterfaceDoc::CVeltroInterfaceDoc() = default;

CVeltroInterfaceDoc::~CVeltroInterfaceDoc()
{
    // What hangs on the document goes before the pixel block: the display
    // cache's background work reads the block until its owner is gone.
    qDeleteAll(findChildren<QObject*>(QString(), Qt::FindDirectChildrenOnly));
    if (m_pImage != nullptr)
        _TIFFfree(m_pImage);
}

bool CVeltroInterfaceDoc::OnNewDocument()
{
    return true;
}

bool CVeltroInterfaceDoc::OnOpenDocument(const QString& strPath, QString* pstrError)
{
    Serialize(false, strPath);
    if (pstrError != nullptr)
        *pstrError = m_strLoadError;
    return m_nLoadResult == 0;
}

void CVeltroInterfaceDoc::Serialize(bool bStoring, const QString& strFilePath)
{
    if (bStoring)
        return;

    const QFileInfo info(strFilePath);
    m_strImagePath = info.isRelative() ? info.absoluteFilePath() : strFilePath;
    m_strLoadError.clear();
    m_nLoadResult = LoadImageFile(this, m_strImagePath, &m_strLoadError);
    m_nDisplayState = 1;
}

void CVeltroInterfaceDoc::SetTitle(const QString& strTitle)
{
    if (strTitle == m_strTitle)
        return;
    m_strTitle = strTitle;
    emit titleChanged(m_strTitle);
}

void CVeltroInterfaceDoc::AddView(QObject* pView)
{
    m_views.append(pView);
}

void CVeltroInterfaceDoc::RemoveView(QObject* pView)
{
    m_views.removeAll(pView);
    m_views.removeAll(nullptr);
    if (m_views.isEmpty())
        deleteLater();
}

QList<QObject*> CVeltroInterfaceDoc::GetViews() const
{
    QList<QObject*> views;
    for (const QPointer<QObject>& p : m_views) {
        if (p)
            views.append(p.data());
    }
    return views;
}
