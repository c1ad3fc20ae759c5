#include "app/CVeltroInterfaceApp.h"

#include "app/AppSettings.h"
#include "app/CAboutDlg.h"
#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/CommandLineInfo.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "res/ArtPaths.h"
#include "res/ResourceIds.h"
#include "view/CVeltroInterfaceView.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QPageSetupDialog>
#include <QPrinter>

static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

CVeltroInterfaceApp::CVeltroInterfaceApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    InitResources();
    setApplicationName(QStringLiteral("VeltroInterface"));
    // Ties the windows to the installed desktop entry (its icon and name).
    setDesktopFileName(QStringLiteral("org.veltro.VeltroInterface"));
    setWindowIcon(QIcon(QString::fromLatin1(art::kAppIcon)));
}

CVeltroInterfaceApp::~CVeltroInterfaceApp()
{
    removeEventFilter(this);
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    if (CSplashWnd* pSplash = CSplashWnd::Instance())
        delete pSplash;
}

CVeltroInterfaceApp* CVeltroInterfaceApp::Instance()
{
    return qobject_cast<CVeltroInterfaceApp*>(QCoreApplication::instance());
}

CVeltroInterfaceApp* AfxGetApp()
{
    return CVeltroInterfaceApp::Instance();
}

CMainFrame* AfxGetMainWnd()
{
    CVeltroInterfaceApp* pApp = CVeltroInterfaceApp::Instance();
    return pApp != nullptr ? pApp->m_pMainWnd : nullptr;
}

bool CVeltroInterfaceApp::InitInstance()
{
    // 1. Only the splash switch is taken from the command line.
    m_bShowSplash = ShowSplashFromArguments(arguments().mid(1));
    CSplashWnd::EnableSplashScreen(m_bShowSplash);
    installEventFilter(this);

    // 2-5. Settings: the recent-file list (4 entries) and the preview pages.
    m_recentFiles = appsettings::LoadRecentFiles();

    // 6. The five templates, in the order the document manager searches them.
    const struct
    {
        int nId;
        const char* pszDocString;
        const char* pszIcon;
    } templates[5] = {
        {ids::IDR_VELTROTYPE,
         "\nVeltro\nVeltro\nJPG Image (*.jpg *.jpeg);;TIFF Image (*.tif *.tiff);;PNG Image (*.png)\n.jpg\n"
         "VeltroInterface.Document\nVeltro Document",
         art::kAppIcon},
        {ids::IDR_BLOTCHTYPE, "", art::kBlotchIcon},
        {ids::IDR_CRACKTYPE, "", art::kCrackIcon},
        {ids::IDR_FOXTYPE, "", art::kFoxIcon},
        {ids::IDR_CREASETYPE, "", art::kCreaseIcon},
    };
    for (int i = 0; i < 5; ++i) {
        m_templates.push_back(std::make_unique<CDocTemplate>(templates[i].nId,
                                                             QString::fromLatin1(templates[i].pszDocString),
                                                             QString::fromLatin1(templates[i].pszIcon)));
        m_pDocTemplates[i] = m_templates.back().get();
    }

    // 7-8. The main frame with its bars (and the splash over it).
    m_pMainWnd = new CMainFrame;
    if (!m_pMainWnd->OnCreate()) {
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
        return false;
    }

    // 9. Files named on the command line are not opened: the program always
    // starts with an empty workspace.

    // 10. Show the frame.
    m_pMainWnd->show();
    m_pMainWnd->repaint();
    if (CSplashWnd* pSplash = CSplashWnd::Instance())
        pSplash->raise();
    return true;
}

bool CVeltroInterfaceApp::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (CSplashWnd::PreTranslateAppMessage(pWatched, pEvent))
        return true;
    return QApplication::eventFilter(pWatched, pEvent);
}

void CVeltroInterfaceApp::CloseApplication()
{
    if (m_pMainWnd != nullptr)
        m_pMainWnd->close();
}

void CVeltroInterfaceApp::OnAppAbout()
{
    CAboutDlg dlg(m_pMainWnd);
    ui::DoModal(dlg);
}

void CVeltroInterfaceApp::OnFileNew()
{
    CDocTemplate* pTemplate = m_pDocTemplates[0];
    if (pTemplate == nullptr || m_pMainWnd == nullptr)
        return;
    CVeltroInterfaceDoc* pDoc = pTemplate->CreateNewDocument();
    CChildFrame* pFrame = pTemplate->CreateNewFrame(pDoc, m_pMainWnd);
    if (pFrame == nullptr || !pDoc->OnNewDocument()) {
        delete pFrame;
        delete pDoc;
        return;
    }
    pDoc->SetTitle(pTemplate->NextUntitledName());
    pTemplate->InitialUpdateFrame(pFrame, pDoc, true);
}

void CVeltroInterfaceApp::OnFileOpen()
{
    // The template's filters name the kinds the document reads (it tells
    // them apart by their content, so "All Files" opens any of them too).
    CDocTemplate* pTemplate = m_pDocTemplates[0];
    const QString strFilter = QStringLiteral("%1;;All Files (*.*)").arg(pTemplate->GetDocString(3));
    const QString strPath = ui::GetOpenFileName(m_pMainWnd, QStringLiteral("Open"), strFilter,
                                                appsettings::OpenDialogFolder(appsettings::LoadOpenFolder()));
    if (!strPath.isEmpty())
        OpenDocumentFile(strPath);
}

void CVeltroInterfaceApp::OnOpenRecentFile(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_recentFiles.size())
        return;
    const QString strPath = m_recentFiles.at(nIndex);
    if (OpenDocumentFile(strPath) == nullptr && !QFileInfo::exists(strPath)) {
        // A file that has gone leaves the list.
        m_recentFiles.removeAt(nIndex);
        SaveSettings();
        if (m_pMainWnd != nullptr)
            m_pMainWnd->UpdateRecentFileMenu(m_recentFiles);
    }
}

CVeltroInterfaceDoc* CVeltroInterfaceApp::OpenDocumentFile(const QString& strPath)
{
    if (m_pMainWnd == nullptr)
        return nullptr;
    const QFileInfo info(strPath);
    const QString strFullPath = info.absoluteFilePath();
    const QString strCanonical = info.canonicalFilePath();

    // A document already open on this file: activate its window instead.
    for (QMdiSubWindow* pWindow : m_pMainWnd->MdiArea()->subWindowList()) {
        auto* pFrame = qobject_cast<CChildFrame*>(pWindow);
        CVeltroInterfaceDoc* pDoc = pFrame != nullptr ? pFrame->GetView()->GetDocument() : nullptr;
        if (pDoc == nullptr || pDoc->GetPathName().isEmpty())
            continue;
        const QFileInfo openInfo(pDoc->GetPathName());
        const bool bSame = !strCanonical.isEmpty() ? openInfo.canonicalFilePath() == strCanonical
                                                   : openInfo.absoluteFilePath() == strFullPath;
        if (bSame) {
            m_pMainWnd->MdiArea()->setActiveSubWindow(pFrame);
            return pDoc;
        }
    }

    if (!info.exists()) {
        ui::ShowMessage(QStringLiteral("%1 was not found.").arg(strPath));
        return nullptr;
    }
    if (!info.isFile() || !info.isReadable()) {
        ui::ShowMessage(QStringLiteral("Cannot open %1: it is not a readable file.").arg(strPath));
        return nullptr;
    }

    // Every extension goes to the photographs' template: it is the only one
    // that claims files.
    CDocTemplate* pTemplate = m_pDocTemplates[0];
    CVeltroInterfaceDoc* pDoc = pTemplate->CreateNewDocument();
    QString strError;
    // Decoding a large scan takes a moment: say so.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool bLoaded = pDoc->OnOpenDocument(strFullPath, &strError);
    QApplication::restoreOverrideCursor();
    if (!bLoaded) {
        delete pDoc;
        ui::ShowMessage(QStringLiteral("Cannot open %1:\n%2").arg(strPath, strError));
        return nullptr;
    }
    pDoc->SetPathName(strFullPath);
    pDoc->SetTitle(info.fileName());
    CChildFrame* pFrame = pTemplate->CreateNewFrame(pDoc, m_pMainWnd);
    if (pFrame == nullptr) {
        delete pDoc;
        return nullptr;
    }
    AddToRecentFileList(strFullPath);
    appsettings::SaveOpenFolder(info.absolutePath());
    pTemplate->InitialUpdateFrame(pFrame, pDoc, true);
    return pDoc;
}

void CVeltroInterfaceApp::AddToRecentFileList(const QString& strPath)
{
    m_recentFiles = appsettings::AddRecentFile(m_recentFiles, strPath);
    // Written at once as well as at exit, so the list survives a crash.
    SaveSettings();
    if (m_pMainWnd != nullptr)
        m_pMainWnd->UpdateRecentFileMenu(m_recentFiles);
}

void CVeltroInterfaceApp::SaveSettings()
{
    appsettings::SaveRecentFiles(m_recentFiles);
}

QPrinter& CVeltroInterfaceApp::Printer()
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_pPrinter;
}

void CVeltroInterfaceApp::OnFilePrintSetup()
{
    QPageSetupDialog dlg(&Printer(), m_pMainWnd);
    ui::DoModal(dlg);
}
