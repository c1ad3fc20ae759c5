#include "processing/CCreaseDlg.h"

#include "document/CVeltroInterfaceDoc.h"
#include "processing/ProcessingPaths.h"
#include "res/ResourceIds.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CCreaseDlg::CCreaseDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent)
    : CParameterDlg(QStringLiteral("Crease parameters"), pParent)
    , m_pDoc(pDoc)
{
    if (m_pDoc) {
        m_strOutput = processingpaths::ProposePath(m_pDoc->m_strImagePath, m_pDoc->m_strCreaseOutput,
                                                   QStringLiteral("_CREASE"));
        m_nFilterSize = m_pDoc->m_nCreaseFilterSize;
        m_nAvgSize = m_pDoc->m_nCreaseAvgSize;
        m_fThreshold = m_pDoc->m_fCreaseThreshold;
    }

    QLabel* pOutputLabel = CreateLabel(QStringLiteral("Output path:"));
    m_pEditOutput = CreateEdit(ids::IDC_CREASE_OUTPUT, 110, 12);
    QLabel* pFilterLabel = CreateLabel(QStringLiteral("Filter dimension"));
    QLabel* pAvgLabel = CreateLabel(QStringLiteral("Moving average dimension"));
    m_pEditFilterSize = CreateEdit(ids::IDC_CREASE_FILTER, 40, 14);
    m_pEditAvgSize = CreateEdit(ids::IDC_CREASE_AVG, 40, 14);
    QLabel* pThresholdLabel = CreateLabel(QStringLiteral("Threshold for mean and variance"));
    m_pEditThreshold = CreateEdit(ids::IDC_CREASE_THRESHOLD, 40, 14);

    QGridLayout* pGrid = OutputAndRowsLayout(pOutputLabel, m_pEditOutput, {{pThresholdLabel, m_pEditThreshold},
                                                               {pFilterLabel, m_pEditFilterSize},
                                                               {pAvgLabel, m_pEditAvgSize}},
                                             10);
    FinishLayout(pGrid, {m_pOkButton, m_pCancelButton, m_pEditOutput, m_pEditFilterSize, m_pEditAvgSize,
                         m_pEditThreshold});

    UpdateData(false);
}

CCreaseDlg::~CCreaseDlg() = default;

void CCreaseDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(m_pEditFilterSize, m_nFilterSize);
    dx.Text(m_pEditAvgSize, m_nAvgSize);
    dx.Text(m_pEditThreshold, m_fThreshold);
    dx.FilePath(m_pEditOutput, m_strOutput, "the output");
}

void CCreaseDlg::OnOK()
{
    if (!UpdateData(true))
        return;
    if (m_pDoc) {
        m_pDoc->m_strCreaseOutput = m_strOutput;
        m_pDoc->m_nCreaseFilterSize = m_nFilterSize;
        m_pDoc->m_nCreaseAvgSize = m_nAvgSize;
        m_pDoc->m_fCreaseThreshold = m_fThreshold;
    }
    EndDialogOk();
}
