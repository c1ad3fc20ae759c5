// What the four restorations share once their parameter file is complete:
// running the engine, opening its output, and reporting a parameter file
// that cannot be written.
#include "view/CVeltroInterfaceView.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/EngineRunner.h"
#include "processing/ParamFile.h"

#include <QPointer>

int CVeltroInterfaceView::RunEngine(const QStringList& arguments)
{
    // The status bar tells what the engine is doing and how far it has come.
    const QPointer<CMainFrame> pMain = AfxGetMainWnd();
    const QString strSwitch = engine::OperationSwitch(arguments);
    const int nResult = engine::Run(arguments, [&](int nPercent) {
        if (pMain != nullptr)
            pMain->SetMessageText(engine::ProgressText(strSwitch, nPercent));
    });
    if (pMain != nullptr)
        pMain->SetIdleMessage();
    return nResult;
}

void CVeltroInterfaceView::RunEngineSequence(const QString& strSwitch, const QString& strParamFile,
                                             const QString& strOutput, int nResultTemplate)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    // Copies: opening the result may change what the document holds.
    const QString strImage = pDoc->m_strImagePath;
    const QString strOutputPath = strOutput;
    m_bEngineFailed = RunEngine(engine::Arguments(strSwitch, strImage, strParamFile, strOutputPath));
    if (m_bEngineFailed == 0) {
        CVeltroInterfaceApp* pApp = AfxGetApp();
        CMainFrame* pMain = AfxGetMainWnd();
        if (pApp != nullptr && pMain != nullptr && nResultTemplate >= 1 && nResultTemplate <= 4)
            pMain->OpenResultDocument(pApp->m_pDocTemplates[nResultTemplate], strOutputPath);
    }
    InvalidateAll();
}

bool CVeltroInterfaceView::WriteParamFileOrReport(const QString& strPath, const QByteArray& lines, bool bAppend)
{
    QString strError;
    if (paramfile::Write(strPath, lines, bAppend, &strError))
        return true;
    ui::ShowMessage(QStringLiteral("Cannot write the parameter file %1:\n%2").arg(strPath, strError));
    return false;
}
