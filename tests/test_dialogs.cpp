#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CBlotchDlg.h"
#include "processing/CCrackDlg.h"
#include "processing/CCreaseDlg.h"
#include "processing/CFoxingDlg.h"
#include "res/ResourceIds.h"
#include "support/TestEngine.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <tuple>
#include <vector>

namespace {

const QString kImage = QStringLiteral("/tmp/x/photos/portrait.jpg");
const QString kPositive = QStringLiteral("Please enter a positive integer.");
const QString kInteger = QStringLiteral("Please enter an integer.");
const QString kNumber = QStringLiteral("Please enter a number.");

// Every parameter the dialogs may change, to see that a document stayed as
// it was.
auto Parameters(const CVeltroInterfaceDoc& d)
{
    return std::make_tuple(d.m_nBlotchBorderDist, d.m_nBlotchFlawlessWidth, d.m_strBlotchMask, d.m_strBlotchOutput,
                           d.m_fCrackDegStart, d.m_fCrackDegStep, d.m_fCrackDegStop, d.m_nCrackWhiteThreshold,
                           d.m_strCrackOutput, d.m_fFoxAmplitude, d.m_nFoxBorderDist, d.m_nFoxFlawlessWidth,
                           d.m_strFoxOutput, d.m_fCreaseThreshold, d.m_nCreaseFilterSize, d.m_nCreaseAvgSize,
                           d.m_strCreaseOutput);
}

struct NumberField
{
    int nId;
    QString strMessage;   // shown when the field does not parse
};

// What the tests know about one dialog.
struct DialogKind
{
    const char* pszName;
    std::function<std::unique_ptr<CParameterDlg>(CVeltroInterfaceDoc*)> make;
    QString strCaption;
    std::vector<std::pair<int, QString>> proposals;   // id, text shown on a fresh document
    std::vector<int> tabOrder;
    std::vector<NumberField> exchangeOrder;           // the number fields, in checking order
    std::vector<int> rightAligned;
    int nOutputId;
    QString strSuffix;
};

std::ostream& operator<<(std::ostream& os, const DialogKind& k)
{
    return os << k.pszName;
}

std::vector<DialogKind> AllDialogs()
{
    return {
        {"Blotch",
         [](CVeltroInterfaceDoc* p) { return std::make_unique<CBlotchDlg>(p); },
         QStringLiteral("Blotch parameters"),
         {{1002, "7"}, {1003, "10"}, {1006, "/tmp/x/photos/portrait_mask.jpg"}, {1013, "/tmp/x/photos/portrait_BLOTCH.jpg"}},
         {1, 2, 1002, 1003, 1004, 1006, 1013},
         {{1002, kPositive}, {1003, kPositive}},
         {},
         1013,
         QStringLiteral("_BLOTCH")},
        {"Crack",
         [](CVeltroInterfaceDoc* p) { return std::make_unique<CCrackDlg>(p); },
         QStringLiteral("Crack parameters"),
         {{1021, "/tmp/x/photos/portrait_CRACK.jpg"}, {1019, "3"}, {1020, "245"}, {1022, "-90"}, {1023, "90"}},
         {1, 2, 1019, 1020, 1021, 1022, 1023},
         {{1019, kNumber}, {1020, kInteger}, {1022, kNumber}, {1023, kNumber}},
         {1019, 1022, 1023},
         1021,
         QStringLiteral("_CRACK")},
        {"Foxing",
         [](CVeltroInterfaceDoc* p) { return std::make_unique<CFoxingDlg>(p); },
         QStringLiteral("Foxing parameters"),
         {{1028, "/tmp/x/photos/portrait_FOX.jpg"}, {1025, "0.05"}, {1026, "3"}, {1027, "2"}},
         {1, 2, 1028, 1026, 1027, 1025},
         {{1025, kNumber}, {1027, kPositive}, {1026, kPositive}},
         {},
         1028,
         QStringLiteral("_FOX")},
        {"Crease",
         [](CVeltroInterfaceDoc* p) { return std::make_unique<CCreaseDlg>(p); },
         QStringLiteral("Crease parameters"),
         {{1029, "/tmp/x/photos/portrait_CREASE.jpg"}, {1030, "10"}, {1031, "25"}, {1032, "22"}},
         {1, 2, 1029, 1031, 1032, 1030},
         {{1031, kPositive}, {1032, kPositive}, {1030, kNumber}},
         {},
         1029,
         QStringLiteral("_CREASE")},
    };
}

QLineEdit* Edit(QWidget& dlg, int nId)
{
    return dlg.findChild<QLineEdit*>(QString::number(nId));
}

QPushButton* Button(QWidget& dlg, int nId)
{
    return dlg.findChild<QPushButton*>(QString::number(nId));
}

// Shows the dialog as DoModal would, without a modal loop, and waits until it
// is the active window so that focus can be checked for real.
void Open(QDialog& dlg)
{
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
}

class DialogFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testengine::Application();
        m_doc.m_strImagePath = kImage;
        ui::SetMessageHandler([this](const QString& strText) { m_messages << strText; });
        ui::SetOpenFileHandler([](const QString&, const QString&) {
            ADD_FAILURE() << "no file chooser expected";
            return QString();
        });
    }
    void TearDown() override
    {
        ui::SetMessageHandler(nullptr);
        ui::SetOpenFileHandler(nullptr);
    }

    CVeltroInterfaceDoc m_doc;
    QStringList m_messages;
};

class DialogTest : public DialogFixture, public ::testing::WithParamInterface<DialogKind>
{
};

TEST_P(DialogTest, ShowsCaptionAndProposalsOnAFreshDocument)
{
    const DialogKind& kind = GetParam();
    auto pDlg = kind.make(&m_doc);
    EXPECT_EQ(pDlg->windowTitle(), kind.strCaption);
    for (const auto& [nId, strText] : kind.proposals) {
        QLineEdit* pEdit = Edit(*pDlg, nId);
        ASSERT_NE(pEdit, nullptr) << nId;
        EXPECT_EQ(pEdit->text(), strText) << nId;
        const bool bRight = std::find(kind.rightAligned.begin(), kind.rightAligned.end(), nId) != kind.rightAligned.end();
        EXPECT_EQ(pEdit->alignment() & Qt::AlignHorizontal_Mask, bRight ? Qt::AlignRight : Qt::AlignLeft) << nId;
    }
    EXPECT_EQ(Button(*pDlg, ids::IDOK)->text(), QStringLiteral("OK"));
    EXPECT_EQ(Button(*pDlg, ids::IDCANCEL)->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(Button(*pDlg, ids::IDOK)->isDefault());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_P(DialogTest, OpensFixedSizedWithFocusOnOkAndTemplateTabOrder)
{
    const DialogKind& kind = GetParam();
    auto pDlg = kind.make(&m_doc);
    Open(*pDlg);
    QPushButton* pOk = Button(*pDlg, ids::IDOK);
    EXPECT_EQ(QApplication::focusWidget(), pOk);

    EXPECT_EQ(pDlg->minimumSize(), pDlg->maximumSize());
    EXPECT_FALSE(pDlg->isSizeGripEnabled());
    EXPECT_TRUE(pDlg->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(pDlg->windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_FALSE(pDlg->windowFlags() & Qt::WindowMaximizeButtonHint);

    // Walk the focus chain from OK once round, as Tab does.
    std::vector<int> order;
    QWidget* pWidget = pOk;
    do {
        if (pWidget->isVisible() && (pWidget->focusPolicy() & Qt::TabFocus))
            order.push_back(pWidget->objectName().toInt());
        pWidget = pWidget->nextInFocusChain();
    } while (pWidget != pOk);
    EXPECT_EQ(order, kind.tabOrder);

    // Tab really moves along that order.
    for (size_t i = 1; i < kind.tabOrder.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toInt(), kind.tabOrder[i]);
    }
}

TEST_P(DialogTest, EnterOnOpeningConfirmsTheProposals)
{
    const DialogKind& kind = GetParam();
    auto pDlg = kind.make(&m_doc);
    Open(*pDlg);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(pDlg->result(), QDialog::Accepted);
    EXPECT_FALSE(pDlg->isVisible());
    EXPECT_TRUE(m_messages.isEmpty());

    // The remembered paths are the proposals, so a second dialog shows the same.
    auto pAgain = kind.make(&m_doc);
    for (const auto& [nId, strText] : kind.proposals)
        EXPECT_EQ(Edit(*pAgain, nId)->text(), strText) << nId;
}

TEST_P(DialogTest, FieldsAreCheckedInExchangeOrder)
{
    const DialogKind& kind = GetParam();
    const auto before = Parameters(m_doc);
    auto pDlg = kind.make(&m_doc);
    Open(*pDlg);
    for (const NumberField& field : kind.exchangeOrder)
        Edit(*pDlg, field.nId)->setText(QStringLiteral("-x"));

    // Each OK reports only the first bad field, focused and selected, and
    // keeps the dialog open; mending it moves on to the next.
    for (const NumberField& field : kind.exchangeOrder) {
        SCOPED_TRACE(field.nId);
        m_messages.clear();
        Button(*pDlg, ids::IDOK)->click();
        EXPECT_EQ(m_messages, QStringList{field.strMessage});
        EXPECT_TRUE(pDlg->isVisible());
        EXPECT_NE(pDlg->result(), QDialog::Accepted);
        EXPECT_EQ(QApplication::focusWidget(), Edit(*pDlg, field.nId));
        EXPECT_EQ(Edit(*pDlg, field.nId)->selectedText(), QStringLiteral("-x"));
        EXPECT_EQ(Parameters(m_doc), before);
        Edit(*pDlg, field.nId)->setText(QStringLiteral("0"));
    }
    m_messages.clear();
    Button(*pDlg, ids::IDOK)->click();
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ(pDlg->result(), QDialog::Accepted);
}

TEST_P(DialogTest, CancelEscapeAndCloseCopyNothing)
{
    const DialogKind& kind = GetParam();
    const auto before = Parameters(m_doc);
    const std::vector<std::function<void(CParameterDlg&)>> ways = {
        [](CParameterDlg& dlg) { Button(dlg, ids::IDCANCEL)->click(); },
        [](CParameterDlg&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); },
        [](CParameterDlg& dlg) { dlg.close(); },
    };
    for (size_t i = 0; i < ways.size(); ++i) {
        SCOPED_TRACE(i);
        auto pDlg = kind.make(&m_doc);
        Open(*pDlg);
        for (const auto& proposal : kind.proposals)
            Edit(*pDlg, proposal.first)->setText(QStringLiteral("1"));
        ways[i](*pDlg);
        EXPECT_EQ(pDlg->result(), QDialog::Rejected);
        EXPECT_FALSE(pDlg->isVisible());
        EXPECT_EQ(Parameters(m_doc), before);
    }
    EXPECT_TRUE(m_messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogTest, ::testing::ValuesIn(AllDialogs()),
                         [](const ::testing::TestParamInfo<DialogKind>& info) { return std::string(info.param.pszName); });

// --- Behaviour of single dialogs ------------------------------------------

using SingleDialogTest = DialogFixture;   // Browse tests set their own file chooser

TEST_F(SingleDialogTest, BlotchOkCopiesEverythingAndTheNextDialogShowsIt)
{
    {
        CBlotchDlg dlg(&m_doc);
        Edit(dlg, 1002)->setText(QStringLiteral("  12\t"));
        Edit(dlg, 1003)->setText(QStringLiteral("99999999999"));
        Edit(dlg, 1006)->setText(QStringLiteral(" /masks/m 1.jpg "));
        Edit(dlg, 1013)->setText(QStringLiteral("/out/p.jpg"));
        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(m_doc.m_nBlotchBorderDist, 12u);
    EXPECT_EQ(m_doc.m_nBlotchFlawlessWidth, 4294967295u);
    EXPECT_EQ(m_doc.m_strBlotchMask, QStringLiteral(" /masks/m 1.jpg "));   // paths are not trimmed
    EXPECT_EQ(m_doc.m_strBlotchOutput, QStringLiteral("/out/p.jpg"));

    CBlotchDlg again(&m_doc);
    EXPECT_EQ(again.m_nBorderDist, 12u);
    EXPECT_EQ(Edit(again, 1002)->text(), QStringLiteral("12"));
    EXPECT_EQ(Edit(again, 1003)->text(), QStringLiteral("4294967295"));
    EXPECT_EQ(Edit(again, 1006)->text(), QStringLiteral(" /masks/m 1.jpg "));
    EXPECT_EQ(Edit(again, 1013)->text(), QStringLiteral("/out/p.jpg"));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SingleDialogTest, CrackOkCopiesTheNumbersAsRead)
{
    CCrackDlg dlg(&m_doc);
    Edit(dlg, 1019)->setText(QStringLiteral("0"));
    Edit(dlg, 1020)->setText(QStringLiteral(" -5 "));
    Edit(dlg, 1022)->setText(QStringLiteral("1e-2"));
    Edit(dlg, 1023)->setText(QStringLiteral("-45.5"));
    dlg.accept();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FLOAT_EQ(m_doc.m_fCrackDegStep, 0.0f);
    EXPECT_EQ(m_doc.m_nCrackWhiteThreshold, -5);
    EXPECT_FLOAT_EQ(m_doc.m_fCrackDegStart, 0.01f);
    EXPECT_FLOAT_EQ(m_doc.m_fCrackDegStop, -45.5f);
    EXPECT_EQ(m_doc.m_strCrackOutput, QStringLiteral("/tmp/x/photos/portrait_CRACK.jpg"));

    CCrackDlg again(&m_doc);
    EXPECT_EQ(Edit(again, 1019)->text(), QStringLiteral("0"));
    EXPECT_EQ(Edit(again, 1022)->text(), QStringLiteral("0.01"));
    EXPECT_EQ(Edit(again, 1023)->text(), QStringLiteral("-45.5"));
}

TEST_F(SingleDialogTest, FoxingAndCreaseOkCopyEverything)
{
    {
        CFoxingDlg dlg(&m_doc);
        Edit(dlg, 1025)->setText(QStringLiteral("-1.5"));
        Edit(dlg, 1026)->setText(QStringLiteral("0"));
        Edit(dlg, 1027)->setText(QStringLiteral("4294967295"));
        Edit(dlg, 1028)->setText(QStringLiteral("/o/f.jpg"));
        dlg.accept();
        ASSERT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_FLOAT_EQ(m_doc.m_fFoxAmplitude, -1.5f);
    EXPECT_EQ(m_doc.m_nFoxBorderDist, 0u);
    EXPECT_EQ(m_doc.m_nFoxFlawlessWidth, 4294967295u);
    EXPECT_EQ(m_doc.m_strFoxOutput, QStringLiteral("/o/f.jpg"));
    {
        CCreaseDlg dlg(&m_doc);
        Edit(dlg, 1029)->setText(QStringLiteral("/o/c.jpg"));
        Edit(dlg, 1030)->setText(QStringLiteral("0.0"));
        Edit(dlg, 1031)->setText(QStringLiteral("0"));
        Edit(dlg, 1032)->setText(QStringLiteral("\t9"));
        dlg.accept();
        ASSERT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(m_doc.m_strCreaseOutput, QStringLiteral("/o/c.jpg"));
    EXPECT_FLOAT_EQ(m_doc.m_fCreaseThreshold, 0.0f);
    EXPECT_EQ(m_doc.m_nCreaseFilterSize, 0u);
    EXPECT_EQ(m_doc.m_nCreaseAvgSize, 9u);
    EXPECT_TRUE(m_messages.isEmpty());

    CFoxingDlg fox(&m_doc);
    EXPECT_EQ(Edit(fox, 1025)->text(), QStringLiteral("-1.5"));
    CCreaseDlg crease(&m_doc);
    EXPECT_EQ(Edit(crease, 1032)->text(), QStringLiteral("9"));
}

TEST_F(SingleDialogTest, BlotchBrowsePutsTheChosenFileIntoTheMaskField)
{
    QStringList filters;
    ui::SetOpenFileHandler([&](const QString&, const QString& strFilter) {
        filters << strFilter;
        return QStringLiteral("/tmp/x/masks/chosen.jpg");
    });
    CBlotchDlg dlg(&m_doc);
    Open(dlg);
    Button(dlg, ids::IDC_BLOTCH_BROWSE)->click();
    EXPECT_EQ(filters, QStringList{QStringLiteral("JPG Files (*.jpg);;All Files (*.*)")});
    EXPECT_EQ(Edit(dlg, 1006)->text(), QStringLiteral("/tmp/x/masks/chosen.jpg"));
    EXPECT_EQ(dlg.m_strMaskFile, QStringLiteral("/tmp/x/masks/chosen.jpg"));
    // The dialog stays open and the document waits for OK.
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(m_doc.m_strBlotchMask.isEmpty());
    EXPECT_TRUE(m_messages.isEmpty());

    dlg.accept();
    EXPECT_EQ(m_doc.m_strBlotchMask, QStringLiteral("/tmp/x/masks/chosen.jpg"));
}

TEST_F(SingleDialogTest, BlotchBrowseReadsTheFieldsBackEvenWhenCancelled)
{
    int nAsked = 0;
    ui::SetOpenFileHandler([&](const QString&, const QString&) {
        ++nAsked;
        return nAsked == 1 ? QStringLiteral("/m/one.jpg") : QString();
    });
    CBlotchDlg dlg(&m_doc);
    Open(dlg);
    Edit(dlg, 1003)->setText(QStringLiteral("-3"));

    Button(dlg, ids::IDC_BLOTCH_BROWSE)->click();
    EXPECT_EQ(m_messages, QStringList{kPositive});
    EXPECT_EQ(Edit(dlg, 1006)->text(), QStringLiteral("/m/one.jpg"));
    EXPECT_EQ(QApplication::focusWidget(), Edit(dlg, 1003));
    EXPECT_EQ(Edit(dlg, 1003)->selectedText(), QStringLiteral("-3"));

    // A cancelled chooser leaves the mask as it is but still checks the fields.
    Edit(dlg, 1006)->setText(QStringLiteral("/m/typed.jpg"));
    m_messages.clear();
    Button(dlg, ids::IDC_BLOTCH_BROWSE)->click();
    EXPECT_EQ(m_messages, QStringList{kPositive});
    EXPECT_EQ(Edit(dlg, 1006)->text(), QStringLiteral("/m/typed.jpg"));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(m_doc.m_strBlotchMask.isEmpty());
}

TEST_F(SingleDialogTest, LayoutReadsLikeTheDescribedOne)
{
    auto geometry = [](QWidget& dlg, int nId) {
        QWidget* pWidget = dlg.findChild<QWidget*>(QString::number(nId));
        return pWidget ? pWidget->geometry() : QRect();
    };
    auto label = [](QWidget& dlg, const QString& strText) {
        for (QLabel* pLabel : dlg.findChildren<QLabel*>())
            if (pLabel->text() == strText)
                return pLabel->geometry();
        return QRect();
    };

    CBlotchDlg blotch(&m_doc);
    Open(blotch);
    EXPECT_LT(label(blotch, "Select blotch mask file:").top(), geometry(blotch, 1006).top());
    EXPECT_GT(geometry(blotch, 1004).left(), geometry(blotch, 1006).right());        // Browse beside the mask
    EXPECT_LT(geometry(blotch, 1006).bottom(), geometry(blotch, 1013).top());
    EXPECT_LT(geometry(blotch, 1013).bottom(), geometry(blotch, 1002).top());
    EXPECT_LT(geometry(blotch, 1002).bottom(), geometry(blotch, 1003).top());
    EXPECT_GT(geometry(blotch, 1002).left(), geometry(blotch, 1000).right());        // edit right of its label
    EXPECT_EQ(geometry(blotch, 1).top(), geometry(blotch, 2).top());                 // OK and Cancel side by side
    EXPECT_LT(geometry(blotch, 1).right(), geometry(blotch, 2).left());
    EXPECT_LT(geometry(blotch, 1003).bottom(), geometry(blotch, 1).top());

    CCrackDlg crack(&m_doc);
    Open(crack);
    EXPECT_LT(geometry(crack, 1).bottom(), geometry(crack, 2).top());                // OK above Cancel
    EXPECT_GT(geometry(crack, 1).left(), geometry(crack, 1021).right());             // at the top right
    EXPECT_LT(geometry(crack, 1021).bottom(), geometry(crack, 1020).top());
    EXPECT_LT(geometry(crack, 1020).bottom(), geometry(crack, 1019).top());
    EXPECT_LT(geometry(crack, 1022).right(), geometry(crack, 1019).left());          // start, step, stop
    EXPECT_LT(geometry(crack, 1019).right(), geometry(crack, 1023).left());
    EXPECT_LT(label(crack, "Deg step").bottom(), geometry(crack, 1019).top());       // label above its edit

}

} // namespace
