#pragma once

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <vector>

class CDocTemplate;
class CMainFrame;
class CVeltroInterfaceDoc;
class QPrinter;

// The application object: runs the start-up, owns the five document
// templates (0: photographs; 1-4: blotch, crack, foxing and crease results),
// the open documents and the recent-file list, and serves File > New, Open,
// Print Setup, the recent files and Help > About.
class CVeltroInterfaceApp : public QApplication
{
    Q_OBJECT

public:
    CVeltroInterfaceApp(int& argc, char** argv);
    ~CVeltroInterfaceApp() override;

    static CVeltroInterfaceApp* Instance();

    // The start-up sequence; false ends the program.
    bool InitInstance();

    // Closes the program exactly as File > Exit does.
    void CloseApplication();

    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnOpenRecentFile(int nIndex);

    // Opens a photograph through template 0, or activates the window already
    // showing it. A file that cannot be read or decoded is reported with its
    // name and the reason, and opens no window. Returns the document or null.
    CVeltroInterfaceDoc* OpenDocumentFile(const QString& strPath);

    CDocTemplate* m_pDocTemplates[5] = {};
    CMainFrame* m_pMainWnd = nullptr;

    QStringList RecentFiles() const { return m_recentFiles; }
    void AddToRecentFileList(const QString& strPath);
    void SaveSettings();
    QPrinter& Printer();
    bool ShowSplash() const { return m_bShowSplash; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    std::vector<std::unique_ptr<CDocTemplate>> m_templates;
    QStringList m_recentFiles;
    std::unique_ptr<QPrinter> m_pPrinter;
    bool m_bShowSplash = true;
};

// The application object and its main window, as the rest of the program
// reaches them.
CVeltroInterfaceApp* AfxGetApp();
CMainFrame* AfxGetMainWnd();
