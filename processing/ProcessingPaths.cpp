#include "processing/ProcessingPaths.h"

namespace processingpaths {

QString ProposePath(const QString& strImagePath, const QString& strRemembered, const QString& strSuffix)
{
    if (!strRemembered.isEmpty())
        return strRemembered;
    // The last four characters go whatever they are: ".jpg" as intended, but
    // also "jpeg" of ".jpeg" (leaving "portrait.") or a name's own letters.
    const QString strStem = strImagePath.size() >= 4 ? strImagePath.left(strImagePath.size() - 4) : QString();
    return strStem + strSuffix + QStringLiteral(".jpg");
}

QString ParamFilePath(const QString& strOutputPath, const QString& strFileName)
{
    // Everything up to and including the last separator; an output path
    // without one gives a bare name, relative to the current directory.
    const int nSlash = strOutputPath.lastIndexOf(QLatin1Char('/'));
    return strOutputPath.left(nSlash + 1) + strFileName;
}

} // namespace processingpaths
