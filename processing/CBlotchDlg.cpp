#include "processing/CBlotchDlg.h"

#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/ProcessingPaths.h"
#include "res/ResourceIds.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CBlotchDlg::CBlotchDlg(CVeltroInterfaceDoc* pDoc, QWidget* pParent)
    : CParameterDlg(QStringLiteral("Blotch parameters"), pParent)
    , m_pDoc(pDoc)
{
    if (m_pDoc) {
        m_strMaskFile = processingpaths::ProposePath(m_pDoc->m_strImagePath, m_pDoc->m_strBlotchMask,
                                                     QStringLiteral("_mask"));
        m_strOutput = processingpaths::ProposePath(m_pDoc->m_strImagePath, m_pDoc->m_strBlotchOutput,
                                                   QStringLiteral("_BLOTCH"));
        m_nBorderDist = m_pDoc->m_nBlotchBorderDist;
        m_nFlawlessWidth = m_pDoc->m_nBlotchFlawlessWidth;
    }

    QLabel* pDistLabel = CreateLabel(QStringLiteral("Distance from the border"), ids::IDC_BLOTCH_DIST_LABEL);
    QLabel* pWidthLabel = CreateLabel(QStringLiteral("Width flawless region"), ids::IDC_BLOTCH_WIDTH_LABEL);
    m_pEditBorderDist = CreateEdit(ids::IDC_BLOTCH_DIST, 40, 14);
    m_pEditFlawlessWidth = CreateEdit(ids::IDC_BLOTCH_WIDTH, 40, 14);
    QPushButton* pBrowse = CreateButton(ids::IDC_BLOTCH_BROWSE, QStringLiteral("Browse"), 37, 12);
    m_pEditMaskFile = CreateEdit(ids::IDC_BLOTCH_MASK, 110, 12);
    QLabel* pMaskLabel = CreateLabel(QStringLiteral("Select blotch mask file:"));
    m_pEditOutput = CreateEdit(ids::IDC_BLOTCH_OUTPUT, 110, 12);
    QLabel* pOutputLabel = CreateLabel(QStringLiteral("Output path:"));
    connect(pBrowse, &QPushButton::clicked, this, &CBlotchDlg::OnBrowse);

    // Paths on top (the mask with Browse beside it, then the output), the two
    // numbers below with their edits in the right-hand column, OK and Cancel
    // side by side at the bottom.
    auto* pGrid = new QGridLayout;
    pGrid->setHorizontalSpacing(DluX(10));
    pGrid->setVerticalSpacing(DluY(2));
    pGrid->addWidget(pMaskLabel, 0, 0);
    pGrid->addWidget(m_pEditMaskFile, 1, 0);
    pGrid->addWidget(pBrowse, 1, 1, Qt::AlignLeft);
    pGrid->addWidget(pOutputLabel, 2, 0);
    pGrid->addWidget(m_pEditOutput, 3, 0);
    pGrid->setRowMinimumHeight(4, DluY(6));
    pGrid->addWidget(pDistLabel, 5, 0);
    pGrid->addWidget(m_pEditBorderDist, 5, 1);
    pGrid->addWidget(pWidthLabel, 6, 0);
    pGrid->addWidget(m_pEditFlawlessWidth, 6, 1);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(m_pOkButton);
    pButtons->addSpacing(DluX(29));
    pButtons->addWidget(m_pCancelButton);
    pButtons->addStretch(1);

    auto* pMain = new QVBoxLayout;
    pMain->setContentsMargins(DluX(14), DluY(10), DluX(14), DluY(10));
    pMain->addLayout(pGrid);
    pMain->addSpacing(DluY(10));
    pMain->addLayout(pButtons);
    FinishLayout(pMain, {m_pOkButton, m_pCancelButton, m_pEditBorderDist, m_pEditFlawlessWidth, pBrowse,
                         m_pEditMaskFile, m_pEditOutput});

    UpdateData(false);
}

CBlotchDlg::~CBlotchDlg() = default;

void CBlotchDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(m_pEditBorderDist, m_nBorderDist);
    dx.Text(m_pEditFlawlessWidth, m_nFlawlessWidth);
    dx.FilePath(m_pEditMaskFile, m_strMaskFile, "the blotch mask");
    dx.FilePath(m_pEditOutput, m_strOutput, "the output");
}

void CBlotchDlg::OnBrowse()
{
    // The engine reads masks in the formats the program opens.
    const QString strPath = ui::GetOpenFileName(
        this, QString(),
        QStringLiteral("JPG Image (*.jpg *.jpeg);;TIFF Image (*.tif *.tiff);;PNG Image (*.png);;All Files (*.*)"));
    if (!strPath.isEmpty()) {
        m_strMaskFile = strPath;
        m_pEditMaskFile->setText(strPath);
    }
    UpdateData(true);
}

void CBlotchDlg::OnOK()
{
    if (!UpdateData(true))
        return;
    if (m_pDoc) {
        m_pDoc->m_nBlotchFlawlessWidth = m_nFlawlessWidth;
        m_pDoc->m_nBlotchBorderDist = m_nBorderDist;
        m_pDoc->m_strBlotchMask = m_strMaskFile;
        m_pDoc->m_strBlotchOutput = m_strOutput;
    }
    EndDialogOk();
}
