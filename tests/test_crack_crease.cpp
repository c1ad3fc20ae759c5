// Crack and crease removal from the command to the result window; the parameter files of all four commands when
// they cannot be written.
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include <QDir>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace uitest;

namespace {

const QByteArray kCrackHead("THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n");
const QByteArray kCreaseHead("THR1\t10.000000\nQ\t22\nN\t25\n");

class CrackCreaseTest : public AppFixture
{
protected:
    // <tmp>/photos/portrait.jpg, 200 x 300 (300 rows), at zoom 1.
    void SetUp() override
    {
        AppFixture::SetUp();
        m_strDir = m_tempDir.filePath(QStringLiteral("photos"));
        m_strImage = MakeJpeg(QStringLiteral("photos/portrait.jpg"), 200, 300, QColor(70, 110, 150));
        m_pView = OpenImage(m_strImage);
        ASSERT_NE(m_pView, nullptr);
        ProcessEvents(20);
    }

    // The dialog's next answer: OK, after noting what the dialog proposed.
    void AnswerOk(const Fields& edits = {}) { m_dialogAnswers.push_back(Answer(edits, true, &m_proposed)); }

    // A click, or a drag when `to` is elsewhere.
    void Click(const QPoint& from, const QPoint& to = {-1, -1})
    {
        QTest::mousePress(m_pView->viewport(), Qt::LeftButton, {}, from);
        if (to != QPoint(-1, -1) && to != from)
            SendMove(m_pView->viewport(), to, Qt::LeftButton);
        QTest::mouseRelease(m_pView->viewport(), Qt::LeftButton, {}, to == QPoint(-1, -1) ? from : to);
    }

    bool WaitForWindows(int nCount)
    {
        for (int i = 0; i < 100 && WindowCount() < nCount; ++i)
            ProcessEvents(20);
        return WindowCount() == nCount;
    }

    // After the engine: a new result window of template nTemplate, titled strOutput.
    void ExpectResult(int nWindows, int nTemplate, const QString& strOutput)
    {
        ASSERT_TRUE(WaitForWindows(nWindows));
        CVeltroInterfaceView* pResult = ActiveView();
        ASSERT_NE(pResult, m_pView);
        EXPECT_EQ(pResult->GetDocument()->GetDocTemplate(), m_pApp->m_pDocTemplates[nTemplate]);
        EXPECT_TRUE(pResult->GetDocument()->GetTitle().startsWith(strOutput));
        EXPECT_EQ(pResult->GetDocument()->m_strImagePath, strOutput);
        m_pFrame->MdiArea()->setActiveSubWindow(m_pView->GetParentFrame());
        ProcessEvents(20);
    }

    QString m_strDir, m_strImage;
    CVeltroInterfaceView* m_pView = nullptr;
    Fields m_proposed;
};

struct Selection
{
    const char* pszName;
    QPoint from;
    QPoint to;
    const char* pszLines;   // the lines added to the parameter file
};

// Points right of and below the picture are written unclamped.
TEST_F(CrackCreaseTest, CrackTwoClicksFromCommandToResultWindow)
{
    const Selection clicks[] = {
        {"inside", {10, 20}, {120, 60}, "Y1\t10\nX1\t279\nY2\t120\nX2\t239\n"},
        {"beyond the picture", {260, 10}, {5, 340}, "Y1\t260\nX1\t289\nY2\t5\nX2\t-41\n"},
    };
    const QString strLog = m_strDir + QStringLiteral("/crack.log");
    const QString strOutput = m_strDir + QStringLiteral("/portrait_CRACK.jpg");
    int nWindows = 1;
    for (const Selection& c : clicks) {
        SCOPED_TRACE(c.pszName);
        testengine::Recorder recorder;
        AnswerOk();
        m_pFrame->Action(32772)->trigger();   // Processing > Crack
        EXPECT_EQ(m_proposed.value("1021"), strOutput);
        EXPECT_EQ(ReadFile(strLog), kCrackHead);
        EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
        EXPECT_EQ(m_pView->m_nPointStage, 0);

        Click(c.from);
        const QByteArray lines(c.pszLines);
        EXPECT_EQ(ReadFile(strLog), kCrackHead + lines.left(lines.indexOf('\n', lines.indexOf('\n') + 1) + 1));
        EXPECT_EQ(m_pView->m_nPointStage, 1);
        EXPECT_EQ(m_pView->m_rcSelection, (CSelectionRect{c.from.x(), c.from.y(), c.from.x(), c.from.y()}));
        EXPECT_FALSE(recorder.WasRun());
        // The line's end follows the pointer; the second press gives the point.
        SendMove(m_pView->viewport(), QPoint(150, 250), Qt::NoButton);
        EXPECT_EQ(m_pView->m_rcSelection, (CSelectionRect{c.from.x(), c.from.y(), 150, 250}));
        Click(c.to);

        const QByteArray expected = kCrackHead + c.pszLines;
        ASSERT_TRUE(recorder.WasRun());
        EXPECT_EQ(recorder.Args(), (QStringList{"-i", m_strImage, "-crax", strLog, "-o", strOutput}));
        EXPECT_EQ(recorder.Params(), expected);
        EXPECT_EQ(ReadFile(strLog), expected);
        ExpectResult(++nWindows, 2, strOutput);

        // Finished: the mode stays, further clicks write and start nothing.
        EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
        EXPECT_EQ(m_pView->m_nPointStage, -1);
        EXPECT_TRUE(m_pView->m_rcSelection.IsNone());
        QFile::remove(recorder.Dir() + QStringLiteral("/args.txt"));
        Click(QPoint(30, 30));
        EXPECT_EQ(ReadFile(strLog), expected);
        EXPECT_FALSE(recorder.WasRun());
    }
    EXPECT_EQ(m_pView->m_bEngineFailed, 0);
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join('|'));
}

// Crack chosen again starts the points afresh, a cancelled Crack changes nothing, and Crease chosen while a crack
// point is awaited takes the next click as its region.
TEST_F(CrackCreaseTest, CommandsChosenAgainWhileAPointIsAwaited)
{
    testengine::Recorder recorder;
    const QString strLog = m_strDir + QStringLiteral("/crack.log");
    AnswerOk();
    m_pView->OnProcessingCrack();
    Click(QPoint(10, 20));
    ASSERT_EQ(m_pView->m_nPointStage, 1);

    AnswerOk();
    m_pView->OnProcessingCrack();
    EXPECT_EQ(ReadFile(strLog), kCrackHead);
    EXPECT_EQ(m_pView->m_nPointStage, 0);
    // The old line is gone and does not follow the pointer.
    SendMove(m_pView->viewport(), QPoint(90, 90), Qt::NoButton);
    EXPECT_TRUE(m_pView->m_rcSelection.IsNone());

    Click(QPoint(40, 50));
    const QByteArray before = ReadFile(strLog);
    m_dialogAnswers.push_back(Answer({}, false));
    m_pView->OnProcessingCrack();
    EXPECT_EQ(ReadFile(strLog), before);
    EXPECT_EQ(m_pView->m_nPointStage, 1);
    EXPECT_EQ(m_pView->m_rcSelection, (CSelectionRect{40, 50, 40, 50}));

    AnswerOk();
    m_pView->OnProcessingCrease();
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    Click(QPoint(10, 20));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_TRUE(recorder.Args().contains(QStringLiteral("-crease")));
    EXPECT_EQ(ReadFile(strLog), before);
}

// The region is written lower left, then upper right, whichever way it was dragged.
TEST_F(CrackCreaseTest, CreaseDragFromCommandToResultWindow)
{
    const Selection drags[] = {
        {"up and left", {50, 40}, {10, 20}, "Y1\t10\nX1\t259\nY2\t50\nX2\t279\n"},
        {"down and right", {10, 20}, {50, 40}, "Y1\t10\nX1\t259\nY2\t50\nX2\t279\n"},
        {"no move", {30, 30}, {30, 30}, "Y1\t30\nX1\t269\nY2\t30\nX2\t269\n"},
        {"beyond the picture", {150, 250}, {240, 330}, "Y1\t150\nX1\t-31\nY2\t240\nX2\t49\n"},
    };
    const QString strLog = m_strDir + QStringLiteral("/crease.log");
    const QString strOutput = m_strDir + QStringLiteral("/portrait_CREASE.jpg");
    int nWindows = 1;
    for (const Selection& drag : drags) {
        SCOPED_TRACE(drag.pszName);
        testengine::Recorder recorder;
        AnswerOk();
        m_pFrame->Action(32774)->trigger();   // Processing > Crease
        EXPECT_EQ(m_proposed.value("1029"), strOutput);
        EXPECT_EQ(ReadFile(strLog), kCreaseHead);
        EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);

        Click(drag.from, drag.to);
        const QByteArray expected = kCreaseHead + drag.pszLines;
        EXPECT_EQ(ReadFile(strLog), expected);
        ASSERT_TRUE(recorder.WasRun());
        EXPECT_EQ(recorder.Params(), expected);
        EXPECT_EQ(recorder.Args(), (QStringList{"-i", m_strImage, "-crease", strLog, "-o", strOutput}));
        EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeIdle);
        ExpectResult(++nWindows, 4, strOutput);
        // The repaint in modeIdle clears the region; the next press is a readout.
        EXPECT_TRUE(m_pView->m_rcSelection.IsNone());
    }
    QTest::mousePress(m_pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeReadout);
    QTest::mouseRelease(m_pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join('|'));
}

TEST_F(CrackCreaseTest, EachViewKeepsItsOwnSelectionTheDocumentItsParameters)
{
    AnswerOk({{"1020", "222"}});
    m_pView->OnProcessingCrack();
    m_pFrame->OnWindowNew();
    ProcessEvents(20);
    CVeltroInterfaceView* pSecond = ActiveView();
    ASSERT_NE(pSecond, m_pView);
    ASSERT_EQ(pSecond->GetDocument(), m_pView->GetDocument());
    EXPECT_EQ(pSecond->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_EQ(pSecond->m_nPointStage, -1);
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);

    m_dialogAnswers.push_back(Answer({}, false, &m_proposed));
    pSecond->OnProcessingCrack();
    EXPECT_EQ(m_proposed.value("1020"), QStringLiteral("222"));
    EXPECT_EQ(pSecond->m_nMode, CVeltroInterfaceView::modeIdle);
}

// Blotch runs in one go (with the picture as its mask) and leaves an awaited crack point or crease region awaited.
TEST_F(CrackCreaseTest, BlotchLeavesAPendingSelectionPending)
{
    testengine::Recorder recorder;
    AnswerOk();
    m_pView->OnProcessingCrack();
    Click(QPoint(10, 20));
    AnswerOk({{"1006", m_strImage}});
    m_pView->OnProcessingBlotch();
    ASSERT_TRUE(recorder.Args().contains(QStringLiteral("-gorex")));
    ExpectResult(2, 1, m_strDir + QStringLiteral("/portrait_BLOTCH.jpg"));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_EQ(m_pView->m_nPointStage, 1);
    EXPECT_EQ(m_pView->m_rcSelection, (CSelectionRect{10, 20, 10, 20}));
    Click(QPoint(30, 40));
    EXPECT_TRUE(recorder.Params().endsWith("Y1\t10\nX1\t279\nY2\t30\nX2\t259\n"));

    ASSERT_TRUE(WaitForWindows(3));
    m_pFrame->MdiArea()->setActiveSubWindow(m_pView->GetParentFrame());
    AnswerOk();
    m_pView->OnProcessingCrease();
    AnswerOk({{"1006", m_strImage}});
    m_pView->OnProcessingBlotch();
    ASSERT_TRUE(WaitForWindows(4));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join('|'));
}

// Reported with the file's path and the system's reason; nothing runs; the document keeps what was confirmed; Blotch
// and Foxing leave a pending selection pending, Crack and Crease leave no selection.
TEST_F(CrackCreaseTest, UnwritableParameterFileIsReportedAndNothingRuns)
{
    using View = CVeltroInterfaceView;
    using Doc = CVeltroInterfaceDoc;
    const struct { const char* pszName; std::function<void(View&)> command; const char* pszOutputId;
                   QString Doc::*output; const char* pszLog; int nMessages; bool bPendingStays; } cases[] = {
        {"blotch", &View::OnProcessingBlotch, "1013", &Doc::m_strBlotchOutput, "blotch.log", 1, true},
        {"foxing", &View::OnProcessingFoxing, "1028", &Doc::m_strFoxOutput, "fox.log", 2, true},   // warns first
        {"crack", &View::OnProcessingCrack, "1021", &Doc::m_strCrackOutput, "crack.log", 1, false},
        {"crease", &View::OnProcessingCrease, "1029", &Doc::m_strCreaseOutput, "crease.log", 1, false},
    };
    const QString strOutput = m_tempDir.filePath(QStringLiteral("missing/out.jpg"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        testengine::Recorder recorder;
        m_messages.clear();
        m_pView->m_nMode = c.bPendingStays ? CVeltroInterfaceView::modeCrackPoints : CVeltroInterfaceView::modeIdle;
        m_pView->m_nPointStage = c.bPendingStays ? 1 : -1;
        Fields typed{{c.pszOutputId, strOutput}};
        if (c.pszOutputId == QLatin1String("1013"))
            typed.insert("1006", m_strImage);   // Blotch: a mask that exists
        AnswerOk(typed);
        c.command(*m_pView);
        ProcessEvents();

        ASSERT_EQ(m_messages.size(), c.nMessages) << qPrintable(m_messages.join('|'));
        EXPECT_TRUE(m_messages.last().contains(m_tempDir.filePath(QStringLiteral("missing/")) + c.pszLog))
            << qPrintable(m_messages.last());
        EXPECT_TRUE(m_messages.last().contains(QString::fromLocal8Bit(std::strerror(ENOENT))));
        EXPECT_FALSE(recorder.WasRun());
        EXPECT_EQ(WindowCount(), 1);
        EXPECT_EQ(m_pView->GetDocument()->*c.output, strOutput);
        EXPECT_EQ(m_pView->m_nMode,
                  c.bPendingStays ? CVeltroInterfaceView::modeCrackPoints : CVeltroInterfaceView::modeIdle);
        EXPECT_EQ(m_pView->m_nPointStage, c.bPendingStays ? 1 : -1);
    }
}

// The folder goes after the command: each click, and the drag, is refused and the point or region stays awaited.
TEST_F(CrackCreaseTest, PointsAndRegionStayAwaitedWhenTheFileCannotBeAppended)
{
    testengine::Recorder recorder;
    const QString strOut = m_tempDir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(strOut));
    AnswerOk({{"1021", strOut + "/a.jpg"}});
    m_pView->OnProcessingCrack();
    ASSERT_TRUE(m_messages.isEmpty());
    ASSERT_TRUE(QDir(strOut).removeRecursively());
    Click(QPoint(10, 20));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strOut + "/crack.log"));
    EXPECT_EQ(m_pView->m_nPointStage, 0);
    EXPECT_TRUE(m_pView->m_rcSelection.IsNone());

    ASSERT_TRUE(QDir().mkpath(strOut));
    Click(QPoint(10, 20));
    ASSERT_EQ(m_pView->m_nPointStage, 1);
    ASSERT_TRUE(QDir(strOut).removeRecursively());
    Click(QPoint(30, 40));
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_EQ(m_pView->m_nPointStage, 1);
    EXPECT_EQ(m_pView->m_rcSelection, (CSelectionRect{10, 20, 10, 20}));

    ASSERT_TRUE(QDir().mkpath(strOut));
    AnswerOk({{"1029", strOut + "/b.jpg"}});
    m_pView->OnProcessingCrease();
    ASSERT_TRUE(QDir(strOut).removeRecursively());
    Click(QPoint(10, 20), QPoint(50, 40));
    ASSERT_EQ(m_messages.size(), 3);
    EXPECT_TRUE(m_messages.at(2).contains(strOut + "/crease.log"));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), 1);
}

} // namespace
