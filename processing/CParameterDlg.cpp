#include "processing/CParameterDlg.h"

#include <QGridLayout>

#include "app/UiSeams.h"
#include "processing/InputRules.h"
#include "processing/ProcessingPaths.h"
#include "res/ResourceIds.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <cmath>

CParameterDlg::CParameterDlg(const QString& strCaption, QWidget* pParent)
    : QDialog(pParent)
{
    // A fixed frame with caption and close box: no help button, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(strCaption);
    setSizeGripEnabled(false);

    m_pOkButton = CreateButton(ids::IDOK, QStringLiteral("OK"), 50, 14);
    m_pOkButton->setDefault(true);
    m_pCancelButton = CreateButton(ids::IDCANCEL, QStringLiteral("Cancel"), 50, 14);
    connect(m_pOkButton, &QPushButton::clicked, this, &CParameterDlg::accept);
    connect(m_pCancelButton, &QPushButton::clicked, this, &CParameterDlg::reject);
}

CParameterDlg::~CParameterDlg() = default;

bool CParameterDlg::UpdateData(bool bSaveAndValidate)
{
    CDataExchange dx(bSaveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CParameterDlg::accept()
{
    OnOK();
}

void CParameterDlg::OnOK()
{
    if (UpdateData(true))
        EndDialogOk();
}

void CParameterDlg::EndDialogOk()
{
    QDialog::accept();
}

void CParameterDlg::CDataExchange::Text(QLineEdit* pEdit, uint32_t& nValue)
{
    if (m_bFailed)
        return;
    if (!m_bSaveAndValidate) {
        pEdit->setText(inputrules::FormatUnsigned(nValue));
        return;
    }
    uint32_t nRead = 0;
    if (!inputrules::ParseUnsigned(pEdit->text(), nRead))
        Fail(pEdit, QString::fromLatin1(inputrules::kMsgPositiveInteger));
    else
        nValue = nRead;
}

void CParameterDlg::CDataExchange::Text(QLineEdit* pEdit, int32_t& nValue)
{
    if (m_bFailed)
        return;
    if (!m_bSaveAndValidate) {
        pEdit->setText(inputrules::FormatInt(nValue));
        return;
    }
    int32_t nRead = 0;
    if (!inputrules::ParseInt(pEdit->text(), nRead))
        Fail(pEdit, QString::fromLatin1(inputrules::kMsgInteger));
    else
        nValue = nRead;
}

void CParameterDlg::CDataExchange::Text(QLineEdit* pEdit, float& fValue)
{
    if (m_bFailed)
        return;
    if (!m_bSaveAndValidate) {
        pEdit->setText(inputrules::FormatFloat(fValue));
        return;
    }
    float fRead = 0.0f;
    if (!inputrules::ParseFloat(pEdit->text(), fRead))
        Fail(pEdit, QString::fromLatin1(inputrules::kMsgNumber));
    else
        fValue = fRead;
}

void CParameterDlg::CDataExchange::Text(QLineEdit* pEdit, QString& strValue)
{
    if (m_bFailed)
        return;
    if (!m_bSaveAndValidate) {
        pEdit->setText(strValue);
        // Long paths show their beginning, as they do when typed.
        pEdit->setCursorPosition(0);
        return;
    }
    strValue = pEdit->text();
}

void CParameterDlg::CDataExchange::FilePath(QLineEdit* pEdit, QString& strValue, const char* pszRole)
{
    if (m_bFailed || !m_bSaveAndValidate) {
        Text(pEdit, strValue);
        return;
    }
    // The engine reads and writes plain files only: a folder, a named pipe
    // or a device under the name would fail the run, or hang it.
    const QString strMessage = processingpaths::NonRegularFileMessage(pEdit->text(), QString::fromLatin1(pszRole));
    if (!strMessage.isEmpty())
        Fail(pEdit, strMessage);
    else
        strValue = pEdit->text();
}

void CParameterDlg::CDataExchange::Fail(QLineEdit* pEdit, const QString& strMessage)
{
    m_bFailed = true;
    // The message comes first; afterwards the field is ready to be retyped.
    ui::ShowMessage(strMessage);
    pEdit->setFocus(Qt::OtherFocusReason);
    pEdit->selectAll();
}

QLineEdit* CParameterDlg::CreateEdit(int nId, int nWidthDlu, int nHeightDlu, Qt::Alignment alignment)
{
    auto* pEdit = new QLineEdit(this);
    pEdit->setObjectName(QString::number(nId));
    pEdit->setAlignment(alignment | Qt::AlignVCenter);
    pEdit->setFixedWidth(DluX(nWidthDlu));
    pEdit->setMinimumHeight(DluY(nHeightDlu));
    return pEdit;
}

QLabel* CParameterDlg::CreateLabel(const QString& strText, int nId)
{
    auto* pLabel = new QLabel(strText, this);
    if (nId >= 0)
        pLabel->setObjectName(QString::number(nId));
    return pLabel;
}

QPushButton* CParameterDlg::CreateButton(int nId, const QString& strText, int nWidthDlu, int nHeightDlu)
{
    auto* pButton = new QPushButton(strText, this);
    pButton->setObjectName(QString::number(nId));
    pButton->setMinimumSize(DluX(nWidthDlu), DluY(nHeightDlu));
    return pButton;
}

int CParameterDlg::DluX(int nDlu) const
{
    static const QString s_strAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double dAverage = QFontMetricsF(font()).horizontalAdvance(s_strAlphabet) / 52.0;
    return static_cast<int>(std::lround(nDlu * dAverage / 4.0));
}

int CParameterDlg::DluY(int nDlu) const
{
    return static_cast<int>(std::lround(nDlu * QFontMetricsF(font()).height() / 8.0));
}

QGridLayout* CParameterDlg::OutputAndRowsLayout(QLabel* pOutputLabel, QLineEdit* pOutputEdit,
                                                std::initializer_list<std::pair<QLabel*, QLineEdit*>> rows,
                                                int nSpacingDlu)
{
    auto* pGrid = new QGridLayout;
    pGrid->setContentsMargins(DluX(13), DluY(7), DluX(7), DluY(8));
    pGrid->setHorizontalSpacing(DluX(nSpacingDlu));
    pGrid->setVerticalSpacing(DluY(3));
    pGrid->addWidget(pOutputLabel, 0, 0, Qt::AlignBottom);
    pGrid->addWidget(m_pOkButton, 0, 1);
    pGrid->addWidget(pOutputEdit, 1, 0);
    pGrid->addWidget(m_pCancelButton, 1, 1);
    pGrid->setRowMinimumHeight(2, DluY(4));
    int nRow = 3;
    for (const auto& row : rows) {
        pGrid->addWidget(row.first, nRow, 0);
        pGrid->addWidget(row.second, nRow, 1, Qt::AlignCenter);
        ++nRow;
    }
    return pGrid;
}

void CParameterDlg::FinishLayout(QLayout* pLayout, std::initializer_list<QWidget*> tabOrder)
{
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
    setLayout(pLayout);
    QWidget* pPrevious = nullptr;
    for (QWidget* pWidget : tabOrder) {
        if (pPrevious)
            QWidget::setTabOrder(pPrevious, pWidget);
        pPrevious = pWidget;
    }
}

void CParameterDlg::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    // A dialog opens with the focus on OK, the first control in tab order,
    // so Enter takes the proposed values at once.
    if (!pEvent->spontaneous())
        m_pOkButton->setFocus(Qt::OtherFocusReason);
}
