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

    // The output path at the top left with OK and Cancel stacked to its
    // right; below, one row per number with its edit in the right column.
    auto* pGrid = new QGridLayout;
    pGrid->setContentsMargins(DluX(13), DluY(7), DluX(7), DluY(8));
    pGrid->setHorizontalSpacing(DluX(10));
    pGrid->setVerticalSpacing(DluY(3));
    pGrid->addWidget(pOutputLabel, 0, 0, Qt::AlignBottom);
    pGrid->addWidget(m_pOkButton, 0, 1);
    pGrid->addWidget(m_pEditOutput, 1, 0);
    pGrid->addWidget(m_pCancelButton, 1, 1);
    pGrid->setRowMinimumHeight(2, DluY(4));
    pGrid->addWidget(pThresholdLabel, 3, 0);
    pGrid->addWidget(m_pEditThreshold, 3, 1, Qt::AlignCenter);
    pGrid->addWidget(pFilterLabel, 4, 0);
    pGrid->addWidget(m_pEditFilterSize, 4, 1, Qt::AlignCenter);
    pGrid->addWidget(pAvgLabel, 5, 0);
    pGrid->addWidget(m_pEditAvgSize, 5, 1, Qt::AlignCenter);
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
    dx.Text(m_pEditOutput, m_strOutput);
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
