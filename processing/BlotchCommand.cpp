// Processing > Blotch: the blotch removal, in one go inside the command.
#include "view/CVeltroInterfaceView.h"

#include "app/CVeltroInterfaceApp.h"
#include "app/CMainFrame.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CBlotchDlg.h"
#include "processing/FileFind.h"
#include "processing/MaskFile.h"
#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"
#include "view/CMaskLayer.h"
#include "view/CMaskPaintTool.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>

namespace {

// The result window's template: blotch results.
const int kBlotchResultTemplate = 1;

// A mask painted on the picture is written where the dialog proposes the
// mask for this picture, and the dialog then proposes it. A file already
// there is replaced only when the user says so (or when it is the one this
// painting was last written to, untouched since). False when the user
// cancels or the file cannot be written: Blotch then goes no further.
bool WritePaintedMask(CVeltroInterfaceDoc* pDoc)
{
    CMaskLayer* pMask = CMaskPaintTool::PaintedMask(pDoc, false);
    if (pMask == nullptr || pMask->IsEmpty())
        return true;
    const QString strPath = processingpaths::ProposePath(pDoc->m_strImagePath, QString(), QStringLiteral("_mask"));
    if (QFileInfo::exists(strPath) && !pMask->IsWrittenAs(strPath)) {
        const int nAnswer = ui::Ask(QStringLiteral("%1 already exists.\nReplace it with the painted mask?\n\n"
                                                   "No keeps the file and proposes it as the mask.")
                                        .arg(strPath));
        if (nAnswer == QMessageBox::Cancel)
            return false;
        if (nAnswer != QMessageBox::Yes)
            return true;
    }
    QString strError;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool bWritten = maskfile::Write(strPath, pMask->ToImage(), &strError);
    QApplication::restoreOverrideCursor();
    if (!bWritten) {
        ui::ShowMessage(QStringLiteral("Cannot write the painted mask %1:\n%2").arg(strPath, strError));
        return false;
    }
    pMask->NoteWritten(strPath);
    pDoc->m_strBlotchMask = strPath;
    if (CMainFrame* pMain = AfxGetMainWnd())
        pMain->StatusBar()->showMessage(QStringLiteral("The painted mask was written to %1").arg(strPath));
    return true;
}

} // namespace

void CVeltroInterfaceView::OnProcessingBlotch()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;

    // 0. A painted mask becomes the proposed mask file.
    if (!WritePaintedMask(pDoc))
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
