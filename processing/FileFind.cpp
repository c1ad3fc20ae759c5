#include "processing/FileFind.h"

#include <QDir>
#include <QFileInfo>

namespace filefind {

bool MatchesPattern(const QString& strName, const QString& strPattern)
{
    // Greedy matching with one back-tracking point: the last '*' seen.
    qsizetype n = 0, p = 0;
    qsizetype nStarPattern = -1, nStarName = 0;
    while (n < strName.size()) {
        if (p < strPattern.size() && (strPattern.at(p) == QLatin1Char('?') || strPattern.at(p) == strName.at(n))) {
            ++n;
            ++p;
        } else if (p < strPattern.size() && strPattern.at(p) == QLatin1Char('*')) {
            nStarPattern = p++;
            nStarName = n;
        } else if (nStarPattern >= 0) {
            p = nStarPattern + 1;
            n = ++nStarName;
        } else {
            return false;
        }
    }
    while (p < strPattern.size() && strPattern.at(p) == QLatin1Char('*'))
        ++p;
    return p == strPattern.size();
}

bool FindFile(const QString& strPath)
{
    if (strPath.isEmpty())
        return false;

    // The path as it stands, wildcard characters included (they are
    // ordinary characters in names here).
    const QFileInfo info(strPath);
    if (info.exists() || info.isSymLink())
        return true;

    const qsizetype nSlash = strPath.lastIndexOf(QLatin1Char('/'));
    const QString strPattern = strPath.mid(nSlash + 1);
    if (!strPattern.contains(QLatin1Char('*')) && !strPattern.contains(QLatin1Char('?')))
        return false;

    // "/name*" searches the root; "name*" the current directory.
    const QString strDir = nSlash < 0 ? QStringLiteral(".") : nSlash == 0 ? QStringLiteral("/") : strPath.left(nSlash);
    const QDir dir(strDir);
    if (!dir.exists())
        return false;
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString& strEntry : entries) {
        if (MatchesPattern(strEntry, strPattern))
            return true;
    }
    return false;
}

} // namespace filefind
