// Crack and crease removal through the whole program, from the command to
// the result window (Shift/Ctrl drags: test_view_input).
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "app/CChildFrame.h"
#include "app/CDocTemplate.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

#include <QColor>
#include <QDialog>
#include <QDir>
#include <QMdiArea>
#include <QTest>

using namespace uitest;

class CrackCreaseTest : public AppFixture
{
protected:
    // /<tmp>/photos/portrait.jpg, 200 x 300 (300 rows), at zoom 1.
    CVeltroInterfaceView* OpenPortrait()
    {
        m_strDir = m_tempDir.filePath(QStringLiteral("photos"));
        m_strImage = MakeJpeg(QStringLiteral("photos/portrait.jpg"), 200, 300, QColor(70, 110, 150));
        CVeltroInterfaceView* pView = OpenImage(m_strImage);
        if (pView != nullptr)
            ProcessEvents(20);
        return pView;
    }

    // The dialog's next answer: OK, after noting what the dialog proposed
    // and setting the edits given (object name = control id).
    void AnswerOk(const Fields& edits = {}) { m_dialogAnswers.push_back(Answer(edits, true, &m_proposed)); }

    void Click(CVeltroInterfaceView* pView, const QPoint& pos)
    {
        QTest::mousePress(pView->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseRelease(pView->viewport(), Qt::LeftButton, {}, pos);
    }

    void Drag(CVeltroInterfaceView* pView, const QPoint& from, const QPoint& to)
    {
        QTest::mousePress(pView->viewport(), Qt::LeftButton, {}, from);
        if (to != from)
            SendMove(pView->viewport(), to, Qt::LeftButton);
        QTest::mouseRelease(pView->viewport(), Qt::LeftButton, {}, to);
    }

    int WindowCount() const { return int(m_pFrame->MdiArea()->subWindowList().size()); }

    // Waits a little for the number of windows to reach nCount.
    bool WaitForWindows(int nCount)
    {
        for (int i = 0; i < 100 && WindowCount() < nCount; ++i)
            ProcessEvents(20);
        return WindowCount() == nCount;
    }

    QString m_strDir;
    QString m_strImage;
    Fields m_proposed;
};

// --- Crack ---------------------------------------------------------------

TEST_F(CrackCreaseTest, CrackFirstUseFromCommandToResultWindow)
{
    testengine::Recorder recorder;
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    const QString strLog = m_strDir + QStringLiteral("/crack.log");
    const QString strOutput = m_strDir + QStringLiteral("/portrait_CRACK.jpg");

    AnswerOk();
    m_pFrame->Action(32772)->trigger();
    EXPECT_EQ(m_proposed.value(QStringLiteral("1021")), strOutput);
    EXPECT_EQ(m_proposed.value(QStringLiteral("1020")), QStringLiteral("245"));
    EXPECT_EQ(ReadFile(strLog), QByteArray("THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_EQ(pView->m_nPointStage, 0);

    Click(pView, QPoint(10, 20));
    EXPECT_EQ(ReadFile(strLog).right(13), QByteArray("Y1\t10\nX1\t279\n"));
    EXPECT_EQ(pView->m_nPointStage, 1);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{10, 20, 10, 20}));
    EXPECT_FALSE(recorder.WasRun());

    // The line's end follows the pointer; the second press, not the line's
    // end, gives the second point.
    SendMove(pView->viewport(), QPoint(150, 250), Qt::NoButton);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{10, 20, 150, 250}));
    Click(pView, QPoint(120, 60));

    ASSERT_TRUE(recorder.WasRun());
    EXPECT_EQ(recorder.Args(), (QStringList{QStringLiteral("-i"), m_strImage, QStringLiteral("-crax"), strLog,
                                            QStringLiteral("-o"), strOutput}));
    const QByteArray expected("THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"
                              "Y1\t10\nX1\t279\nY2\t120\nX2\t239\n");
    EXPECT_EQ(recorder.Params(), expected);
    EXPECT_EQ(ReadFile(strLog), expected);

    ASSERT_TRUE(WaitForWindows(2));
    CVeltroInterfaceView* pResult = ActiveView();
    ASSERT_NE(pResult, nullptr);
    ASSERT_NE(pResult, pView);
    EXPECT_EQ(pResult->GetDocument()->GetDocTemplate(), m_pApp->m_pDocTemplates[2]);
    EXPECT_TRUE(pResult->GetDocument()->GetTitle().startsWith(strOutput));
    EXPECT_EQ(pResult->GetDocument()->m_strImagePath, strOutput);

    // Finished: the mode stays, further clicks write and start nothing.
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_EQ(pView->m_nPointStage, -1);
    EXPECT_TRUE(pView->m_rcSelection.IsNone());
    EXPECT_EQ(pView->m_bEngineFailed, 0);
    QFile::remove(recorder.Dir() + QStringLiteral("/args.txt"));
    Click(pView, QPoint(30, 30));
    EXPECT_EQ(ReadFile(strLog), expected);
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), 2);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('|')).toStdString();
}

TEST_F(CrackCreaseTest, CrackPointsBeyondThePictureAreWrittenUnclamped)
{
    testengine::Recorder recorder;
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    AnswerOk({{QStringLiteral("1020"), QStringLiteral("200")}, {QStringLiteral("1019"), QStringLiteral("0")}});
    pView->OnProcessingCrack();
    // Right of the picture first, then below it.
    Click(pView, QPoint(260, 10));
    Click(pView, QPoint(5, 340));
    EXPECT_EQ(recorder.Params(), QByteArray("THRWHITE\t200\nDEGSTART\t-90.000000\nSTEP_ANGLE\t0.000000\n"
                                            "DEGSTOP\t90.000000\nY1\t260\nX1\t289\nY2\t5\nX2\t-41\n"));
}

TEST_F(CrackCreaseTest, CrackChosenAgainStartsThePointsAfresh)
{
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    const QString strLog = m_strDir + QStringLiteral("/crack.log");
    AnswerOk();
    pView->OnProcessingCrack();
    Click(pView, QPoint(10, 20));
    ASSERT_EQ(ReadFile(strLog).count('\n'), 6);
    ASSERT_EQ(pView->m_nPointStage, 1);

    AnswerOk();
    pView->OnProcessingCrack();
    EXPECT_EQ(ReadFile(strLog), QByteArray("THRWHITE\t245\nDEGSTART\t-90.000000\nSTEP_ANGLE\t3.000000\nDEGSTOP\t90.000000\n"));
    EXPECT_EQ(pView->m_nPointStage, 0);
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    // The old line is gone and does not follow the pointer.
    EXPECT_TRUE(pView->m_rcSelection.IsNone());
    SendMove(pView->viewport(), QPoint(90, 90), Qt::NoButton);
    EXPECT_TRUE(pView->m_rcSelection.IsNone());

    // Cancel changes nothing.
    Click(pView, QPoint(40, 50));
    const QByteArray before = ReadFile(strLog);
    m_dialogAnswers.push_back(Answer({}, false));
    pView->OnProcessingCrack();
    EXPECT_EQ(ReadFile(strLog), before);
    EXPECT_EQ(pView->m_nPointStage, 1);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{40, 50, 40, 50}));
}

// --- Crease --------------------------------------------------------------

struct CreaseDrag
{
    const char* pszName;
    QPoint from;
    QPoint to;
    const char* pszCorners;
};

TEST_F(CrackCreaseTest, CreaseRegionIsWrittenLowerLeftThenUpperRight)
{
    const CreaseDrag drags[] = {
        {"up and left", {50, 40}, {10, 20}, "Y1\t10\nX1\t259\nY2\t50\nX2\t279\n"},
        {"down and right", {10, 20}, {50, 40}, "Y1\t10\nX1\t259\nY2\t50\nX2\t279\n"},
        {"no move", {30, 30}, {30, 30}, "Y1\t30\nX1\t269\nY2\t30\nX2\t269\n"},
        {"beyond the picture", {150, 250}, {240, 330}, "Y1\t150\nX1\t-31\nY2\t240\nX2\t49\n"},
    };
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    const QString strLog = m_strDir + QStringLiteral("/crease.log");
    const QString strOutput = m_strDir + QStringLiteral("/portrait_CREASE.jpg");
    int nWindows = 1;
    for (const CreaseDrag& drag : drags) {
        SCOPED_TRACE(drag.pszName);
        testengine::Recorder recorder;
        m_pFrame->MdiArea()->setActiveSubWindow(pView->GetParentFrame());
        AnswerOk();
        m_pFrame->Action(32774)->trigger();
        EXPECT_EQ(m_proposed.value(QStringLiteral("1029")), strOutput);
        EXPECT_EQ(ReadFile(strLog), QByteArray("THR1\t10.000000\nQ\t22\nN\t25\n"));
        EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);

        Drag(pView, drag.from, drag.to);
        const QByteArray expected = QByteArray("THR1\t10.000000\nQ\t22\nN\t25\n") + drag.pszCorners;
        EXPECT_EQ(ReadFile(strLog), expected);
        ASSERT_TRUE(recorder.WasRun());
        EXPECT_EQ(recorder.Params(), expected);
        EXPECT_EQ(recorder.Args(), (QStringList{QStringLiteral("-i"), m_strImage, QStringLiteral("-crease"), strLog,
                                                QStringLiteral("-o"), strOutput}));
        EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeIdle);
        ASSERT_TRUE(WaitForWindows(++nWindows));
        CVeltroInterfaceView* pResult = ActiveView();
        ASSERT_NE(pResult, pView);
        EXPECT_EQ(pResult->GetDocument()->GetDocTemplate(), m_pApp->m_pDocTemplates[4]);
        EXPECT_TRUE(pResult->GetDocument()->GetTitle().startsWith(strOutput));
        ProcessEvents(20);
        // The repaint in modeIdle clears the region; the next press is a readout.
        EXPECT_TRUE(pView->m_rcSelection.IsNone());
    }
    QTest::mousePress(pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeReadout);
    QTest::mouseRelease(pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('|')).toStdString();
}

// --- The two selections together -------------------------------------------

TEST_F(CrackCreaseTest, CrackThenCreaseShowsBothPrompts)
{
    testengine::Recorder recorder;
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    auto redPixels = [&] {
        ProcessEvents(20);
        const QImage shot = pView->viewport()->grab().toImage();
        QList<QPoint> red;
        for (int y = 0; y < std::min(shot.height(), 40); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (IsRed(shot.pixel(x, y)))
                    red.append(QPoint(x, y));
        return red;
    };
    const QList<QPoint> none = redPixels();
    EXPECT_TRUE(none.isEmpty());

    AnswerOk();
    pView->OnProcessingCrease();
    const QList<QPoint> crease = redPixels();
    AnswerOk();
    pView->OnProcessingCrack();
    const QList<QPoint> crack = redPixels();
    AnswerOk();
    pView->OnProcessingCrease();
    const QList<QPoint> both = redPixels();

    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    EXPECT_EQ(pView->m_nPointStage, 0);
    ASSERT_FALSE(crease.isEmpty());
    ASSERT_FALSE(crack.isEmpty());
    EXPECT_NE(crease, crack);
    for (const QPoint& p : crease)
        EXPECT_TRUE(both.contains(p)) << "region prompt pixel " << p.x() << "," << p.y();
    for (const QPoint& p : crack)
        EXPECT_TRUE(both.contains(p)) << "point prompt pixel " << p.x() << "," << p.y();

    // The crack point still awaited is not taken: a click makes a region.
    Click(pView, QPoint(10, 20));
    EXPECT_EQ(pView->m_nPointStage, 0);
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeIdle);
    ASSERT_TRUE(recorder.WasRun());
    EXPECT_TRUE(recorder.Args().contains(QStringLiteral("-crease")));
}

TEST_F(CrackCreaseTest, EachViewKeepsItsOwnSelectionTheDocumentItsParameters)
{
    CVeltroInterfaceView* pFirst = OpenPortrait();
    ASSERT_NE(pFirst, nullptr);
    AnswerOk({{QStringLiteral("1020"), QStringLiteral("222")}});
    pFirst->OnProcessingCrack();
    m_pFrame->OnWindowNew();
    ProcessEvents(20);
    CVeltroInterfaceView* pSecond = ActiveView();
    ASSERT_NE(pSecond, pFirst);
    ASSERT_EQ(pSecond->GetDocument(), pFirst->GetDocument());
    EXPECT_EQ(pSecond->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_EQ(pSecond->m_nPointStage, -1);
    EXPECT_EQ(pFirst->m_nMode, CVeltroInterfaceView::modeCrackPoints);

    m_dialogAnswers.push_back(Answer({}, false, &m_proposed));
    pSecond->OnProcessingCrack();
    EXPECT_EQ(m_proposed.value(QStringLiteral("1020")), QStringLiteral("222"));
    EXPECT_EQ(pSecond->m_nMode, CVeltroInterfaceView::modeIdle);
}

TEST_F(CrackCreaseTest, BlotchLeavesAPendingSelectionPending)
{
    testengine::Recorder recorder;
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    AnswerOk();
    pView->OnProcessingCrack();
    Click(pView, QPoint(10, 20));

    // Blotch runs in one go, with the picture itself as its mask.
    AnswerOk({{QStringLiteral("1006"), m_strImage}});
    pView->OnProcessingBlotch();
    ASSERT_TRUE(recorder.Args().contains(QStringLiteral("-gorex")));
    ASSERT_TRUE(WaitForWindows(2));
    m_pFrame->MdiArea()->setActiveSubWindow(pView->GetParentFrame());
    ProcessEvents(20);
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_EQ(pView->m_nPointStage, 1);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{10, 20, 10, 20}));

    Click(pView, QPoint(30, 40));
    EXPECT_TRUE(recorder.Args().contains(QStringLiteral("-crax")));
    EXPECT_TRUE(recorder.Params().endsWith("Y1\t10\nX1\t279\nY2\t30\nX2\t259\n"));

    // A crease region awaited stays awaited too.
    ASSERT_TRUE(WaitForWindows(3));
    m_pFrame->MdiArea()->setActiveSubWindow(pView->GetParentFrame());
    AnswerOk();
    pView->OnProcessingCrease();
    AnswerOk({{QStringLiteral("1006"), m_strImage}});
    pView->OnProcessingBlotch();
    ASSERT_TRUE(WaitForWindows(4));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('|')).toStdString();
}

// --- Parameter files that cannot be written --------------------------------

TEST_F(CrackCreaseTest, CommandsDoNothingWhenTheParameterFileCannotBeWritten)
{
    testengine::Recorder recorder;
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    const QString strMissing = m_tempDir.filePath(QStringLiteral("missing"));

    AnswerOk({{QStringLiteral("1021"), strMissing + QStringLiteral("/out.jpg")}});
    pView->OnProcessingCrack();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strMissing + QStringLiteral("/crack.log")));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_EQ(pView->m_nPointStage, -1);

    AnswerOk({{QStringLiteral("1029"), strMissing + QStringLiteral("/out.jpg")}});
    pView->OnProcessingCrease();
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_TRUE(m_messages.at(1).contains(strMissing + QStringLiteral("/crease.log")));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_FALSE(recorder.WasRun());
}

TEST_F(CrackCreaseTest, PointsAndRegionStayAwaitedWhenTheFileCannotBeAppended)
{
    testengine::Recorder recorder;
    CVeltroInterfaceView* pView = OpenPortrait();
    ASSERT_NE(pView, nullptr);
    const QString strOut = m_tempDir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(strOut));

    // Crack: the folder goes after the command; the first click is refused.
    AnswerOk({{QStringLiteral("1021"), strOut + QStringLiteral("/a.jpg")}});
    pView->OnProcessingCrack();
    ASSERT_TRUE(m_messages.isEmpty());
    ASSERT_TRUE(QDir(strOut).removeRecursively());
    Click(pView, QPoint(10, 20));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strOut + QStringLiteral("/crack.log")));
    EXPECT_EQ(pView->m_nPointStage, 0);
    EXPECT_TRUE(pView->m_rcSelection.IsNone());

    // The second click likewise: no engine run, the second point still awaited.
    ASSERT_TRUE(QDir().mkpath(strOut));
    Click(pView, QPoint(10, 20));
    ASSERT_EQ(pView->m_nPointStage, 1);
    ASSERT_TRUE(QDir(strOut).removeRecursively());
    Click(pView, QPoint(30, 40));
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_EQ(pView->m_nPointStage, 1);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{10, 20, 10, 20}));
    EXPECT_FALSE(recorder.WasRun());

    // Crease: the region stays awaited, the engine is not run.
    ASSERT_TRUE(QDir().mkpath(strOut));
    AnswerOk({{QStringLiteral("1029"), strOut + QStringLiteral("/b.jpg")}});
    pView->OnProcessingCrease();
    ASSERT_TRUE(QDir(strOut).removeRecursively());
    Drag(pView, QPoint(10, 20), QPoint(50, 40));
    ASSERT_EQ(m_messages.size(), 3);
    EXPECT_TRUE(m_messages.at(2).contains(strOut + QStringLiteral("/crease.log")));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCreaseRegion);
    EXPECT_FALSE(recorder.WasRun());
    EXPECT_EQ(WindowCount(), 1);
}
