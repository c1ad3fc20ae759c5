#pragma once

#include <QIcon>
#include <QString>

class CChildFrame;
class CMainFrame;
class CVeltroInterfaceDoc;

// Pairs the document, its child frame and its view for one kind of window.
// The five templates differ only in their resource id, which selects the
// child window's icon and, for the photographs' template alone, the menu and
// the document strings (untitled names, the Open dialog's filter).
class CDocTemplate
{
public:
    // strDocString: "\nVeltro\nVeltro\nJPG Image (*.jpg *.jpeg);;...\n.jpg\n..." or empty.
    CDocTemplate(int nIDResource, const QString& strDocString, const QString& strIconPath);

    int GetResourceId() const { return m_nIDResource; }
    QIcon GetIcon() const;
    bool HasMenu() const { return !m_strDocString.isEmpty(); }
    // Field n of the document string (0 window title, 1 base name, 2 File >
    // New name, 3 filter name, 4 filter extension, 5 and 6 file-type ids).
    QString GetDocString(int nIndex) const;

    CVeltroInterfaceDoc* CreateNewDocument();
    // A new, hidden child frame holding a new view of pDoc.
    CChildFrame* CreateNewFrame(CVeltroInterfaceDoc* pDoc, CMainFrame* pMainFrame);
    // Shows and activates the frame and gives its view the initial update.
    void InitialUpdateFrame(CChildFrame* pFrame, CVeltroInterfaceDoc* pDoc, bool bMakeVisible = true);

    // The next untitled name: "Veltro1", "Veltro2", ...
    QString NextUntitledName();

private:
    int m_nIDResource;
    QString m_strDocString;
    QString m_strIconPath;
    int m_nUntitledCount = 0;
};
