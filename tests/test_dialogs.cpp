#include "app/UiSeams.h"
#include "document/CVeltroInterfaceDoc.h"
#include "processing/CBlotchDlg.h"
#include "processing/CCrackDlg.h"
#include "processing/CCreaseDlg.h"
#include "processing/CFoxingDlg.h"
#include "res/ResourceIds.h"
#include "support/TestEngine.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <tuple>
#include <vector>

#include <sys/stat.h>

namespace {

const QString kPositive = QStringLiteral("Please enter a positive integer.");
const QString kInteger = QStringLiteral("Please enter an integer.");
const QString kNumber = QStringLiteral("Please enter a number.");

// Every parameter the dialogs may change, to see that a document stayed as it was.
auto Parameters(const CVeltroInterfaceDoc& d)
{
    return std::make_tuple(d.m_nBlotchBorderDist, d.m_nBlotchFlawlessWidth, d.m_strBlotchMask, d.m_strBlotchOutput,
                           d.m_fCrackDegStart, d.m_fCrackDegStep, d.m_fCrackDegStop, d.m_nCrackWhiteThreshold,
                           d.m_strCrackOutput, d.m_fFoxAmplitude, d.m_nFoxBorderDist, d.m_nFoxFlawlessWidth,
                           d.m_strFoxOutput, d.m_fCreaseThreshold, d.m_nCreaseFilterSize, d.m_nCreaseAvgSize,
                           d.m_strCreaseOutput);
}

using Texts = std::vector<std::pair<int, QString>>;   // control id, text

struct DialogKind
{
    const char* pszName;
    std::function<std::unique_ptr<CParameterDlg>(CVeltroInterfaceDoc*)> make;
    Texts proposals;                                   // shown on a fresh document
    std::vector<std::pair<int, QString>> numbers;      // checking order, message when bad
    Texts typed;                                       // accepted as they are...
    Texts shownAgain;                                  // ...and shown so by the next dialog
    int nOutputId;
};

std::ostream& operator<<(std::ostream& os, const DialogKind& k)
{
    return os << k.pszName;
}

template <class Dlg>
std::unique_ptr<CParameterDlg> Make(CVeltroInterfaceDoc* pDoc)
{
    return std::make_unique<Dlg>(pDoc);
}

std::vector<DialogKind> AllDialogs()
{
    return {
        {"Blotch", Make<CBlotchDlg>,
         {{1002, "7"}, {1003, "10"}, {1006, "/tmp/x/photos/portrait_mask.jpg"}, {1013, "/tmp/x/photos/portrait_BLOTCH.jpg"}},
         {{1002, kPositive}, {1003, kPositive}},
         {{1002, "  12\t"}, {1003, "99999999999"}, {1006, " /masks/m 1.jpg "}, {1013, "/out/p.jpg"}},
         {{1002, "12"}, {1003, "4294967295"}, {1006, " /masks/m 1.jpg "}, {1013, "/out/p.jpg"}}, 1013},
        {"Crack", Make<CCrackDlg>,
         {{1021, "/tmp/x/photos/portrait_CRACK.jpg"}, {1019, "3"}, {1020, "245"}, {1022, "-90"}, {1023, "90"}},
         {{1019, kNumber}, {1020, kInteger}, {1022, kNumber}, {1023, kNumber}},
         {{1019, "0"}, {1020, " -5 "}, {1022, "1e-2"}, {1023, "-45.5"}},
         {{1019, "0"}, {1020, "-5"}, {1022, "0.01"}, {1023, "-45.5"}, {1021, "/tmp/x/photos/portrait_CRACK.jpg"}},
         1021},
        {"Foxing", Make<CFoxingDlg>,
         {{1028, "/tmp/x/photos/portrait_FOX.jpg"}, {1025, "0.05"}, {1026, "3"}, {1027, "2"}},
         {{1025, kNumber}, {1027, kPositive}, {1026, kPositive}},
         {{1025, "-1.5"}, {1026, "0"}, {1027, "4294967295"}, {1028, "/o/f.jpg"}},
         {{1025, "-1.5"}, {1026, "0"}, {1027, "4294967295"}, {1028, "/o/f.jpg"}}, 1028},
        {"Crease", Make<CCreaseDlg>,
         {{1029, "/tmp/x/photos/portrait_CREASE.jpg"}, {1030, "10"}, {1031, "25"}, {1032, "22"}},
         {{1031, kPositive}, {1032, kPositive}, {1030, kNumber}},
         {{1029, "/o/c.jpg"}, {1030, "0.0"}, {1031, "0"}, {1032, "\t9"}},
         {{1029, "/o/c.jpg"}, {1030, "0"}, {1031, "0"}, {1032, "9"}}, 1029},
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

// Shows the dialog as DoModal would, without a modal loop, as the active window.
void Open(QDialog& dlg)
{
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
}

void ExpectTexts(QWidget& dlg, const Texts& texts)
{
    for (const auto& [nId, strText] : texts) {
        ASSERT_NE(Edit(dlg, nId), nullptr) << nId;
        EXPECT_EQ(Edit(dlg, nId)->text(), strText) << nId;
    }
}

class DialogFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testengine::Application();
        m_doc.m_strImagePath = QStringLiteral("/tmp/x/photos/portrait.jpg");
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

// Focus on OK: Enter takes the proposals, which the next dialog shows again. Blanks around numbers, values above
// 2^31 - 1 and untrimmed paths go into the document as read.
TEST_P(DialogTest, OkCopiesTheFieldsAndTheNextDialogShowsThem)
{
    const DialogKind& kind = GetParam();
    auto pDlg = kind.make(&m_doc);
    ExpectTexts(*pDlg, kind.proposals);
    Open(*pDlg);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(pDlg->result(), QDialog::Accepted);
    EXPECT_FALSE(pDlg->isVisible());
    pDlg = kind.make(&m_doc);
    ExpectTexts(*pDlg, kind.proposals);
    for (const auto& [nId, strText] : kind.typed)
        Edit(*pDlg, nId)->setText(strText);
    pDlg->accept();
    EXPECT_EQ(pDlg->result(), QDialog::Accepted);
    ExpectTexts(*kind.make(&m_doc), kind.shownAgain);
    EXPECT_TRUE(m_messages.isEmpty());
}

// Each OK reports only the first bad field, focused and selected, and keeps the dialog open; mending it moves on to
// the next. An output (or a blotch mask) naming a folder, a named pipe or a device is refused like a bad number.
TEST_P(DialogTest, BadFieldsAreRefusedOneByOneInExchangeOrder)
{
    const DialogKind& kind = GetParam();
    QTemporaryDir dir;
    const QString strPipe = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(strPipe).constData(), 0600), 0);
    std::vector<std::tuple<int, QString, QString>> cases;   // field, bad text, message
    for (const auto& [nId, strMessage] : kind.numbers)
        cases.emplace_back(nId, QStringLiteral("-x"), strMessage);
    cases.emplace_back(kind.nOutputId, dir.path(), "Cannot use " + dir.path() + " as the output: it is a folder, not a file.");
    cases.emplace_back(kind.nOutputId, "/dev/null", "Cannot use /dev/null as the output: it is a device, not a file.");
    if (kind.nOutputId == 1013)
        cases.emplace_back(1006, strPipe, "Cannot use " + strPipe + " as the blotch mask: it is a named pipe, not a file.");
    const auto before = Parameters(m_doc);
    auto pDlg = kind.make(&m_doc);
    Open(*pDlg);
    for (const auto& field : kind.numbers)
        Edit(*pDlg, field.first)->setText(QStringLiteral("-x"));
    for (const auto& [nId, strBad, strMessage] : cases) {
        SCOPED_TRACE(nId);
        m_messages.clear();
        const QString strGood = strBad == QLatin1String("-x") ? QStringLiteral("0") : Edit(*pDlg, nId)->text();
        Edit(*pDlg, nId)->setText(strBad);
        Button(*pDlg, ids::IDOK)->click();
        EXPECT_EQ(m_messages, QStringList{strMessage});
        EXPECT_TRUE(pDlg->isVisible());
        EXPECT_NE(pDlg->result(), QDialog::Accepted);
        EXPECT_EQ(QApplication::focusWidget(), Edit(*pDlg, nId));
        EXPECT_EQ(Edit(*pDlg, nId)->selectedText(), strBad);
        EXPECT_EQ(Parameters(m_doc), before);
        Edit(*pDlg, nId)->setText(strGood);
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

using BlotchBrowseTest = DialogFixture;

// Browse fills the mask field (a cancelled chooser leaves it), checks the
// fields as OK would, keeps the dialog open and the document unchanged.
TEST_F(BlotchBrowseTest, FillsTheMaskFieldAndChecksTheOthers)
{
    QStringList answers{QStringLiteral("/m/one.jpg"), QString()};
    ui::SetOpenFileHandler([&](const QString&, const QString& strFilter) {
        EXPECT_EQ(strFilter, QStringLiteral("JPG Image (*.jpg *.jpeg);;TIFF Image (*.tif *.tiff);;PNG Image (*.png);;"
                                            "All Files (*.*)"));
        return answers.takeFirst();
    });
    CBlotchDlg dlg(&m_doc);
    Open(dlg);
    Edit(dlg, 1003)->setText(QStringLiteral("-3"));
    Button(dlg, ids::IDC_BLOTCH_BROWSE)->click();
    EXPECT_EQ(m_messages, QStringList{kPositive});
    EXPECT_EQ(Edit(dlg, 1006)->text(), QStringLiteral("/m/one.jpg"));
    EXPECT_EQ(dlg.m_strMaskFile, QStringLiteral("/m/one.jpg"));
    EXPECT_EQ(QApplication::focusWidget(), Edit(dlg, 1003));

    Edit(dlg, 1006)->setText(QStringLiteral("/m/typed.jpg"));
    Button(dlg, ids::IDC_BLOTCH_BROWSE)->click();
    EXPECT_EQ(m_messages.size(), 2);
    EXPECT_EQ(Edit(dlg, 1006)->text(), QStringLiteral("/m/typed.jpg"));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(m_doc.m_strBlotchMask.isEmpty());

    Edit(dlg, 1003)->setText(QStringLiteral("4"));
    dlg.accept();
    EXPECT_EQ(m_doc.m_strBlotchMask, QStringLiteral("/m/typed.jpg"));
}

} // namespace
