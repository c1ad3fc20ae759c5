#include "app/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace appsettings {

namespace {
QSettings OpenSettings()
{
    return QSettings(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("VeltroInterface"));
}

QString SamePathKey(const QString& strPath)
{
    const QFileInfo info(strPath);
    const QString strCanonical = info.canonicalFilePath();
    return strCanonical.isEmpty() ? info.absoluteFilePath() : strCanonical;
}
} // namespace

QStringList LoadRecentFiles()
{
    QSettings settings = OpenSettings();
    settings.beginGroup(QStringLiteral("Recent File List"));
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString strPath = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!strPath.isEmpty())
            files.append(strPath);
    }
    return files;
}

void SaveRecentFiles(const QStringList& files)
{
    QSettings settings = OpenSettings();
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString strKey = QStringLiteral("File%1").arg(i);
        if (i <= files.size())
            settings.setValue(strKey, files.at(i - 1));
        else
            settings.remove(strKey);
    }
}

int LoadPreviewPages()
{
    QSettings settings = OpenSettings();
    const int nPages = settings.value(QStringLiteral("Settings/PreviewPages"), 1).toInt();
    return nPages == 2 ? 2 : 1;
}

void SavePreviewPages(int nPages)
{
    QSettings settings = OpenSettings();
    settings.setValue(QStringLiteral("Settings/PreviewPages"), nPages == 2 ? 2 : 1);
}

QString LoadOpenFolder()
{
    QSettings settings = OpenSettings();
    return settings.value(QStringLiteral("Settings/OpenFolder")).toString();
}

void SaveOpenFolder(const QString& strFolder)
{
    QSettings settings = OpenSettings();
    settings.setValue(QStringLiteral("Settings/OpenFolder"), strFolder);
}

QString OpenDialogFolder(const QString& strSaved)
{
    if (strSaved.isEmpty())
        return QString();
    QString strFolder = QDir::cleanPath(QFileInfo(strSaved).absoluteFilePath());
    while (!QFileInfo(strFolder).isDir()) {
        const QString strUp = QFileInfo(strFolder).path();
        if (strUp == strFolder)
            return QString();
        strFolder = strUp;
    }
    return strFolder;
}

QStringList AddRecentFile(QStringList files, const QString& strPath)
{
    const QString strKey = SamePathKey(strPath);
    for (int i = files.size() - 1; i >= 0; --i) {
        if (SamePathKey(files.at(i)) == strKey)
            files.removeAt(i);
    }
    files.prepend(strPath);
    while (files.size() > kRecentFileCount)
        files.removeLast();
    return files;
}

} // namespace appsettings
