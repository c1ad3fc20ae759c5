#include "processing/CResultInfo.h"

#include "document/CVeltroInterfaceDoc.h"
#include "view/CMaskLayer.h"
#include "view/CVeltroInterfaceView.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

// Files a run left behind when the program did not end normally go after a week.
constexpr qint64 kStaleSeconds = 7 * 24 * 3600;

QString ChangesFolder()
{
    const QString strCache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return strCache.isEmpty() ? QString() : strCache + QStringLiteral("/changes");
}

} // namespace

CResultInfo::CResultInfo(CVeltroInterfaceView* pSource, const QString& strChangedMask, CVeltroInterfaceDoc* pResult)
    : QObject(pResult)
    , m_pSourceView(pSource)
    , m_pSourceDoc(pSource != nullptr ? pSource->GetDocument() : nullptr)
    , m_strChangedMask(strChangedMask)
{
}

CResultInfo::~CResultInfo()
{
    if (!m_strChangedMask.isEmpty())
        QFile::remove(m_strChangedMask);
}

CResultInfo* CResultInfo::Of(const CVeltroInterfaceDoc* pDoc)
{
    return pDoc != nullptr ? pDoc->findChild<CResultInfo*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

CVeltroInterfaceView* CResultInfo::SourceView() const
{
    if (m_pSourceView != nullptr)
        return m_pSourceView;
    if (m_pSourceDoc != nullptr)
        for (QObject* pObject : m_pSourceDoc->GetViews())
            if (auto* pView = qobject_cast<CVeltroInterfaceView*>(pObject))
                return pView;
    return nullptr;
}

bool CResultInfo::HasChangedMask() const
{
    return !m_strChangedMask.isEmpty() && QFileInfo(m_strChangedMask).size() > 0;
}

CMaskLayer* CResultInfo::ChangedPixels(QString* pstrError)
{
    if (m_pChanged != nullptr)
        return m_pChanged;
    auto* pResult = qobject_cast<CVeltroInterfaceDoc*>(parent());
    QString strError;
    if (!HasChangedMask()) {
        strError = QStringLiteral("The engine wrote no record of the pixels it changed.");
    } else if (pResult == nullptr || pResult->m_pImage == nullptr) {
        strError = QStringLiteral("The result has no picture to show the changes on.");
    } else {
        QImageReader reader(m_strChangedMask);
        reader.setAllocationLimit(0);   // as large as the picture, whatever that is
        const QImage image = reader.read();
        if (image.isNull()) {
            strError = QStringLiteral("Cannot read the changed pixels from %1: %2")
                           .arg(m_strChangedMask, reader.errorString());
        } else if (image.width() != pResult->m_nWidth || image.height() != pResult->m_nHeight) {
            strError = QStringLiteral("The changed pixels in %1 are %2x%3, but the result is %4x%5.")
                           .arg(m_strChangedMask)
                           .arg(image.width())
                           .arg(image.height())
                           .arg(pResult->m_nWidth)
                           .arg(pResult->m_nHeight);
        } else {
            auto* pLayer = new CMaskLayer(image.width(), image.height(), this);
            if (pLayer->Assign(image))
                m_pChanged = pLayer;
            else
                delete pLayer;
            if (m_pChanged == nullptr)
                strError = QStringLiteral("Not enough memory to show the changed pixels.");
        }
    }
    if (pstrError != nullptr)
        *pstrError = strError;
    return m_pChanged;
}

QString CResultInfo::NewChangedMaskPath()
{
    const QString strFolder = ChangesFolder();
    if (strFolder.isEmpty() || !QDir().mkpath(strFolder))
        return QString();
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-kStaleSeconds);
    const QDir folder(strFolder);
    for (const QFileInfo& info : folder.entryInfoList({QStringLiteral("changed-*.png")}, QDir::Files))
        if (info.lastModified() < stale)
            QFile::remove(info.absoluteFilePath());
    QTemporaryFile file(folder.filePath(QStringLiteral("changed-XXXXXX.png")));
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    return file.fileName();
}
