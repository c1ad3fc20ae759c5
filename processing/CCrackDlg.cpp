#include "processing/CCrackDlg.h"

#include "document/CVeltroInterfaceDoc.h"
#include "processing/ProcessingPaths.h"
#include "res/ResourceIds.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CCrackDlg::CCrackDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent)
    : CParameterDlg(QStringLiteral("Crack parameters"), pParent)
    , m_pDoc(pDoc)
{
    if (m_pDoc) {
        m_strOutput = processingpaths::ProposePath(m_pDoc->m_strImagePath, m_pDoc->m_strCrackOutput,
                                                   QStringLiteral("_CRACK"));
        m_fDegStep = m_pDoc->m_fCrackDegStep;
        m_fDegStart = m_pDoc->m_fCrackDegStart;
        m_fDegStop = m_pDoc->m_fCrackDegStop;
        m_nWhiteThreshold = m_pDoc->m_nCrackWhiteThreshold;
    }

    const Qt::Alignment right = Qt::AlignRight;
    QLabel* pStepLabel = CreateLabel(QStringLiteral("Deg step"));
    QLabel* pWhiteLabel = CreateLabel(QStringLiteral("White threshold"));
    m_pEditDegStep = CreateEdit(ids::IDC_CRACK_DEGSTEP, 24, 14, right);
    m_pEditWhiteThreshold = CreateEdit(ids::IDC_CRACK_WHITE, 40, 14);
    QLabel* pOutputLabel = CreateLabel(QStringLiteral("Output path:"));
    m_pEditOutput = CreateEdit(ids::IDC_CRACK_OUTPUT, 110, 12);
    m_pEditDegStart = CreateEdit(ids::IDC_CRACK_DEGSTART, 24, 14, right);
    m_pEditDegStop = CreateEdit(ids::IDC_CRACK_DEGSTOP, 24, 14, right);
    QLabel* pStartLabel = CreateLabel(QStringLiteral("Deg start"));
    QLabel* pStopLabel = CreateLabel(QStringLiteral("Deg stop"));

    // Top left: the output path, and the white threshold below it with its
    // edit to the right; OK and Cancel stacked at the top right.
    auto* pTopLeft = new QGridLayout;
    pTopLeft->setHorizontalSpacing(DluX(6));
    pTopLeft->setVerticalSpacing(DluY(2));
    pTopLeft->addWidget(pOutputLabel, 0, 0, 1, 2);
    pTopLeft->addWidget(m_pEditOutput, 1, 0, 1, 2);
    pTopLeft->setRowMinimumHeight(2, DluY(6));
    pTopLeft->addWidget(pWhiteLabel, 3, 0);
    pTopLeft->addWidget(m_pEditWhiteThreshold, 3, 1, Qt::AlignRight);

    auto* pButtons = new QVBoxLayout;
    pButtons->setSpacing(DluY(3));
    pButtons->addWidget(m_pOkButton);
    pButtons->addWidget(m_pCancelButton);
    pButtons->addStretch(1);

    auto* pTop = new QHBoxLayout;
    pTop->addLayout(pTopLeft);
    pTop->addSpacing(DluX(19));
    pTop->addLayout(pButtons);

    // The angle range: each label with its edit underneath.
    auto* pDegrees = new QGridLayout;
    pDegrees->setVerticalSpacing(DluY(2));
    pDegrees->addWidget(pStartLabel, 0, 0, Qt::AlignHCenter);
    pDegrees->addWidget(m_pEditDegStart, 1, 0, Qt::AlignHCenter);
    pDegrees->addWidget(pStepLabel, 0, 1, Qt::AlignHCenter);
    pDegrees->addWidget(m_pEditDegStep, 1, 1, Qt::AlignHCenter);
    pDegrees->addWidget(pStopLabel, 0, 2, Qt::AlignHCenter);
    pDegrees->addWidget(m_pEditDegStop, 1, 2, Qt::AlignHCenter);

    auto* pMain = new QVBoxLayout;
    pMain->setContentsMargins(DluX(13), DluY(7), DluX(7), DluY(8));
    pMain->addLayout(pTop);
    pMain->addSpacing(DluY(4));
    pMain->addLayout(pDegrees);
    FinishLayout(pMain, {m_pOkButton, m_pCancelButton, m_pEditDegStep, m_pEditWhiteThreshold, m_pEditOutput,
                         m_pEditDegStart, m_pEditDegStop});

    UpdateData(false);
}

CCrackDlg::~CCrackDlg() = default;

void CCrackDlg::DoDataExchange(CDataExchange& dx)
{
    dx.FilePath(m_pEditOutput, m_strOutput, "the output");
    dx.Text(m_pEditDegStep, m_fDegStep);
    dx.Text(m_pEditWhiteThreshold, m_nWhiteThreshold);
    dx.Text(m_pEditDegStart, m_fDegStart);
    dx.Text(m_pEditDegStop, m_fDegStop);
}

void CCrackDlg::OnOK()
{
    if (!UpdateData(true))
        return;
    if (m_pDoc) {
        m_pDoc->m_fCrackDegStart = m_fDegStart;
        m_pDoc->m_fCrackDegStop = m_fDegStop;
        m_pDoc->m_fCrackDegStep = m_fDegStep;
        m_pDoc->m_nCrackWhiteThreshold = m_nWhiteThreshold;
        m_pDoc->m_strCrackOutput = m_strOutput;
    }
    EndDialogOk();
}
