#pragma once

#include <QString>
#include <QStringList>

// The program's settings, in one place: the recent-file list, the print
// preview's page count and the folder last opened from, kept per user under the organisation "Local
// AppWizard-Generated Applications", application "VeltroInterface".
namespace appsettings {

constexpr int kRecentFileCount = 4;

QStringList LoadRecentFiles();                  // "Recent File List" / File1..File4
void SaveRecentFiles(const QStringList& files);
int LoadPreviewPages();                         // "Settings" / PreviewPages, 1 or 2 (default 1)
void SavePreviewPages(int nPages);
QString LoadOpenFolder();                       // "Settings" / OpenFolder, empty at first
void SaveOpenFolder(const QString& strFolder);

// Where the Open dialog starts: the folder last opened from, or the nearest
// folder above it that still exists; empty (the current directory) when
// there is none.
QString OpenDialogFolder(const QString& strSaved);

// The recent-file list rule: the file goes to the front, an entry for the
// same file leaves its old place, and the list keeps at most four entries.
QStringList AddRecentFile(QStringList files, const QString& strPath);

} // namespace appsettings
