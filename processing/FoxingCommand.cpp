// Processing > Foxing: the foxing removal, in one go inside the command.
#include "view/CVeltroInterfaceView.h"

#include "app/CVeltroInterfaceApp.h"
#include "app/CMainFrame.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CFoxingDlg.h"
#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"

namespace {

// The result window's template: foxing results.
const int kFoxResultTemplate = 3;

} // namespace

void CVeltroInterfaceView::OnProcessingFoxing()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;

    // 1-3. The warning every time, then the dialog; OK hands the values to
    // the document.
    CFoxingDlg dlg(pDoc, AfxGetMainWnd());
    ui::ShowMessage(QStringLiteral("The following algorithm can take several minutes of processing"));
    if (ui::DoModal(dlg) != QDialog::Accepted)
        return;

    // 4. "fox.log" beside the output image, its lines in the engine's order
    // (not the dialog's). The engine never runs without a complete file.
    const QString strOutput = pDoc->m_strFoxOutput;
    const QString strParamFile = processingpaths::ParamFilePath(strOutput, QStringLiteral("fox.log"));
    const QByteArray lines = paramfile::UnsignedLine("DIST", dlg.m_nBorderDist)
                             + paramfile::UnsignedLine("COST", dlg.m_nFlawlessWidth)
                             + paramfile::FloatLine("AMP", dlg.m_fAmplitude);
    if (!WriteParamFileOrReport(strParamFile, lines, false))
        return;

    // 5. The engine, then the result window.
    RunEngineSequence(QStringLiteral("-fox"), strParamFile, strOutput, kFoxResultTemplate);
}
