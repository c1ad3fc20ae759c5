#include "processing/ProcessingPaths.h"

#include "document/ImageFile.h"

#include <QStringList>

namespace processingpaths {

QString ProposePath(const QString& strImagePath, const QString& strRemembered, const QString& strSuffix)
{
    if (!strRemembered.isEmpty())
        return strRemembered;
    // The name's real suffix: after its last dot, unless the dot starts the
    // name (a hidden file) or the name has none.
    static const QStringList kWritten = {"jpg", "jpeg", "tif", "tiff", "png"};
    const int nNameStart = strImagePath.lastIndexOf(QLatin1Char('/')) + 1;
    const int nDot = strImagePath.lastIndexOf(QLatin1Char('.'));
    if (nDot > nNameStart) {
        const QString strExtension = strImagePath.mid(nDot + 1).toLower();
        if (kWritten.contains(strExtension))
            return strImagePath.left(nDot) + strSuffix + QLatin1Char('.') + strExtension;
    }
    // Another suffix, or none: the engine writes only the suffixes above, so
    // the whole name stays and the format the file holds names the result.
    return strImagePath + strSuffix + QLatin1Char('.') + imagefile::Suffix(imagefile::FormatOf(strImagePath));
}

QString ParamFilePath(const QString& strOutputPath, const QString& strFileName)
{
    // Everything up to and including the last separator; an output path
    // without one gives a bare name, relative to the current directory.
    const int nSlash = strOutputPath.lastIndexOf(QLatin1Char('/'));
    return strOutputPath.left(nSlash + 1) + strFileName;
}

QString NonRegularFileMessage(const QString& strPath, const QString& strRole)
{
    const QString strKind = imagefile::NonRegularKind(strPath);
    if (strKind.isEmpty())
        return QString();
    return QStringLiteral("Cannot use %1 as %2: it is %3, not a file.").arg(strPath, strRole, strKind);
}

} // namespace processingpaths
