// Processing > Blotch: the blotch removal, in one go inside the command.
#include "view/CVeltroInterfaceView.h"

#include "app/CVeltroInterfaceApp.h"
#include "app/CMainFrame.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CBlotchDlg.h"
#include "processing/FileFind.h"
#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"

namespace {

// The result window's template: blotch results.
const int kBlotchResultTemplate = 1;

} // namespace

void CVeltroInterfaceView::OnProcessingBlotch()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;

    // 1-2. The dialog; OK hands the values to the document.
    CBlotchDlg dlg(pDoc, AfxGetMainWnd());
    if (ui::DoModal(dlg) != QDialog::Accepted)
        return;

    // 3. The mask must name something that exists (wildcards allowed in
    // its last component). The document keeps what was just confirmed.
    if (!filefind::FindFile(dlg.m_strMaskFile)) {
        ui::ShowMessage(QStringLiteral("The Mask file does not exist."));
        return;
    }

    // 4. "blotch.log" beside the output image. The engine never runs
    // without a complete parameter file.
    const QString strOutput = pDoc->m_strBlotchOutput;
    const QString strParamFile = processingpaths::ParamFilePath(strOutput, QStringLiteral("blotch.log"));
    const QByteArray lines = paramfile::UnsignedLine("DIST", dlg.m_nBorderDist)
                             + paramfile::UnsignedLine("COST", dlg.m_nFlawlessWidth)
                             + paramfile::StringLine("MASKFILE", dlg.m_strMaskFile);
    if (!WriteParamFileOrReport(strParamFile, lines, false))
        return;

    // 5. The engine, then the result window.
    RunEngineSequence(QStringLiteral("-gorex"), strParamFile, strOutput, kBlotchResultTemplate);
}
