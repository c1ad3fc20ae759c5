// Crack removal: the command asks for the parameters and writes "crack.log";
// the first click on the picture appends the first point, the second click
// appends the second one and runs the engine.
#include "view/CVeltroInterfaceView.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CCrackDlg.h"
#include "processing/ParamFile.h"
#include "processing/ProcessingPaths.h"

namespace {

const char* const kCrackParamFile = "crack.log";
const int kCrackResultTemplate = 2;

QString CrackParamFilePath(const CVeltroInterfaceDoc* pDoc)
{
    return processingpaths::ParamFilePath(pDoc->m_strCrackOutput, QString::fromLatin1(kCrackParamFile));
}

} // namespace

void CVeltroInterfaceView::OnProcessingCrack()
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    CCrackDlg dlg(pDoc, AfxGetMainWnd());
    if (ui::DoModal(dlg) != QDialog::Accepted)
        return;

    QByteArray lines;
    lines += paramfile::IntLine("THRWHITE", dlg.m_nWhiteThreshold);
    lines += paramfile::FloatLine("DEGSTART", dlg.m_fDegStart);
    lines += paramfile::FloatLine("STEP_ANGLE", dlg.m_fDegStep);
    lines += paramfile::FloatLine("DEGSTOP", dlg.m_fDegStop);
    // A file that cannot be written leaves the view as it was.
    if (!WriteParamFileOrReport(CrackParamFilePath(pDoc), lines, false))
        return;

    // Points start afresh: a first point given earlier, and any rectangle of
    // an unfinished crease region, are dropped with their feedback.
    m_nPointStage = 0;
    m_rcSelection.SetNone();
    InvalidateAll();
    m_nMode = modeCrackPoints;
    UpdatePixelInfo();
}

void CVeltroInterfaceView::OnCrackFirstPoint(const QPoint& point, int32_t nColumn, int32_t nRow)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    QByteArray lines;
    lines += paramfile::IntLine("Y1", nColumn);
    lines += paramfile::IntLine("X1", nRow);
    // Not appended: the first point is still awaited.
    if (!WriteParamFileOrReport(CrackParamFilePath(pDoc), lines, true))
        return;

    // The fixed end of the line that follows the pointer to the second point.
    m_rcSelection.Set(point.x(), point.y(), point.x(), point.y());
    m_nPointStage = 1;
    m_nMode = modeCrackPoints;
    InvalidateAll();
}

void CVeltroInterfaceView::OnCrackSecondPoint(int32_t nColumn, int32_t nRow)
{
    CVeltroInterfaceDoc* pDoc = GetDocument();
    if (pDoc == nullptr)
        return;
    const QString strParamFile = CrackParamFilePath(pDoc);
    QByteArray lines;
    lines += paramfile::IntLine("Y2", nColumn);
    lines += paramfile::IntLine("X2", nRow);
    // Not appended: the second point is still awaited, the engine not run.
    if (!WriteParamFileOrReport(strParamFile, lines, true))
        return;

    m_rcSelection.SetNone();
    RunEngineSequence(QStringLiteral("-crax"), strParamFile, pDoc->m_strCrackOutput, kCrackResultTemplate);
    m_nPointStage = -1;
    InvalidateAll();
}
