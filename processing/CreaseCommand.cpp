// Crease removal: the command asks for the parameters and writes
// "crease.log"; releasing the left button after a region has been dragged
// appends its corners and runs the engine.
#include "view/CVeltroInterfaceView.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CCreaseDlg.h"
#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"

namespace {

const char* const kCreaseParamFile = "crease.log";
const int kCreaseResultTemplate = 4;

QString CreaseParamFilePath(const CVeltroInterfaceDoc* pDoc)
{
    return processingpaths::ParamFilePath(pDoc->m_strCreaseOutput, QString::fromLatin1(kCreaseParamFile));
}

} // namespace

void CVeltroInterfaceView::OnProcessingCrease()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    CCreaseDlg dlg(pDoc, AfxGetMainWnd());
    if (ui::DoModal(dlg) != QDialog::Accepted)
        return;

    QByteArray lines;
    lines += paramfile::FloatLine("THR1", dlg.m_fThreshold);
    lines += paramfile::UnsignedLine("Q", dlg.m_nAvgSize);
    lines += paramfile::UnsignedLine("N", dlg.m_nFilterSize);
    // A file that cannot be written leaves the view as it was.
    if (!WriteParamFileOrReport(CreaseParamFilePath(pDoc), lines, false))
        return;

    // A region is dragged afresh; the line of an unfinished crack selection
    // goes (a crack point still awaited keeps its prompt).
    InvalidateAll();
    m_rcSelection.SetNone();
    m_nMode = modeCreaseRegion;
    UpdatePixelInfo();
}

void CVeltroInterfaceView::OnCreaseComplete()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    if (m_rcSelection.IsNone()) {
        // No press started a region in this view: nothing to hand over.
        return;
    }
    // Corner 1 is the lower-left one on screen, corner 2 the upper-right
    // one; rows count from the bottom, so corner 1 has the smaller row.
    CSelectionRect rc = m_rcSelection;
    rc.NormalizeRect();
    int32_t nColumn1 = 0, nRow1 = 0, nColumn2 = 0, nRow2 = 0;
    ClientToImage(pDoc, rc.left, rc.bottom, nColumn1, nRow1);
    ClientToImage(pDoc, rc.right, rc.top, nColumn2, nRow2);

    const QString strParamFile = CreaseParamFilePath(pDoc);
    QByteArray lines;
    lines += paramfile::IntLine("Y1", nColumn1);
    lines += paramfile::IntLine("X1", nRow1);
    lines += paramfile::IntLine("Y2", nColumn2);
    lines += paramfile::IntLine("X2", nRow2);
    // Not appended: the region stays awaited and the engine is not run.
    if (!WriteParamFileOrReport(strParamFile, lines, true))
        return;

    m_rcSelection = rc;
    RunEngineSequence(QStringLiteral("-crease"), strParamFile, pDoc->m_strCreaseOutput, kCreaseResultTemplate);
    m_nMode = modeIdle;
    InvalidateAll();
    UpdatePixelInfo();
}
