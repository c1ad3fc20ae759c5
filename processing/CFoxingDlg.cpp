#include "processing/CFoxingDlg.h"

#include "document/CVeltroInterfaceDoc.h"
#include "processing/ProcessingPaths.h"
#include "res/ResourceIds.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CFoxingDlg::CFoxingDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent)
    : CParameterDlg(QStringLiteral("Foxing parameters"), pParent)
    , m_pDoc(pDoc)
{
    if (m_pDoc) {
        m_strOutput = processingpaths::ProposePath(m_pDoc->m_strImagePath, m_pDoc->m_strFoxOutput,
                                                   QStringLiteral("_FOX"));
        m_nBorderDist = m_pDoc->m_nFoxBorderDist;
        m_nFlawlessWidth = m_pDoc->m_nFoxFlawlessWidth;
        m_fAmplitude = m_pDoc->m_fFoxAmplitude;
    }

    QLabel* pOutputLabel = CreateLabel(QStringLiteral("Output path:"));
    m_pEditOutput = CreateEdit(ids::IDC_FOX_OUTPUT, 110, 12);
    QLabel* pDistLabel = CreateLabel(QStringLiteral("Distance from the border"));
    QLabel* pWidthLabel = CreateLabel(QStringLiteral("Width flawless region"));
    m_pEditBorderDist = CreateEdit(ids::IDC_FOX_DIST, 40, 14);
    m_pEditFlawlessWidth = CreateEdit(ids::IDC_FOX_WIDTH, 40, 14);
    QLabel* pAmplitudeLabel = CreateLabel(QStringLiteral("Foxing detection amplitude"));
    m_pEditAmplitude = CreateEdit(ids::IDC_FOX_AMPLITUDE, 40, 14);

    QGridLayout* pGrid = OutputAndRowsLayout(pOutputLabel, m_pEditOutput, {{pAmplitudeLabel, m_pEditAmplitude},
                                                               {pDistLabel, m_pEditBorderDist},
                                                               {pWidthLabel, m_pEditFlawlessWidth}},
                                             11);
    FinishLayout(pGrid, {m_pOkButton, m_pCancelButton, m_pEditOutput, m_pEditBorderDist, m_pEditFlawlessWidth,
                         m_pEditAmplitude});

    UpdateData(false);
}

CFoxingDlg::~CFoxingDlg() = default;

void CFoxingDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(m_pEditAmplitude, m_fAmplitude);
    dx.Text(m_pEditFlawlessWidth, m_nFlawlessWidth);
    dx.Text(m_pEditBorderDist, m_nBorderDist);
    dx.FilePath(m_pEditOutput, m_strOutput, "the output");
}

void CFoxingDlg::OnOK()
{
    if (!UpdateData(true))
        return;
    if (m_pDoc) {
        m_pDoc->m_nFoxFlawlessWidth = m_nFlawlessWidth;
        m_pDoc->m_nFoxBorderDist = m_nBorderDist;
        m_pDoc->m_fFoxAmplitude = m_fAmplitude;
        m_pDoc->m_strFoxOutput = m_strOutput;
    }
    EndDialogOk();
}
