// Seeing what a restoration did, in the program's windows: painting the
// blotch mask and Blotch with it, Show Changes, Compare with Source, the
// Window menu's list and switching, Fit in Window, Actual Pixels and Ctrl +
// wheel, with the test engine standing in for "veltro.exe".
#include "support/AppFixture.h"
#include "support/TestEngine.h"
#include "support/UiTestHelpers.h"

#include "app/AppSettings.h"
#include "app/CommandTable.h"
#include "processing/CResultInfo.h"
#include "processing/MaskFile.h"
#include "res/ResourceIds.h"
#include "view/CChangesTool.h"
#include "view/CCompareTool.h"
#include "view/CMaskLayer.h"
#include "view/CMaskPaintTool.h"
#include "view/ViewGeometry.h"
#include "view/ViewNavigation.h"

#include <QMenu>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

using namespace uitest;

namespace {

class SeeingTest : public AppFixture
{
protected:
    CVeltroInterfaceView* Open(const char* pszName, int w, int h, const QColor& color = QColor(40, 80, 200))
    {
        CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QLatin1String(pszName), w, h, color));
        ProcessEvents(20);
        return pView;
    }
    void Trigger(int nId)
    {
        m_pFrame->Action(nId)->trigger();
        ProcessEvents(20);
    }
    // Foxing from this view with the test engine; the result's view.
    CVeltroInterfaceView* RunFoxing(CVeltroInterfaceView* pView)
    {
        m_dialogAnswers.push_back(Answer());
        pView->OnProcessingFoxing();
        ProcessEvents(20);
        return ActiveView() != pView ? ActiveView() : nullptr;
    }
    QString Status() const { return m_pFrame->StatusBar()->currentMessage(); }
    static QPoint Scroll(CVeltroInterfaceView* pView) { return pView->ScrollOffset(); }
};

// The picture pixel under a viewport position.
QPoint PixelUnder(CVeltroInterfaceView* pView, const QPoint& pos)
{
    int32_t nColumn = 0, nRow = 0;
    const QPoint d = pView->ViewportToDisplay(pos);
    pView->ClientToImage(pView->GetDocument(), d.x(), d.y(), nColumn, nRow);
    return QPoint(nColumn, nRow);
}

} // namespace

// Left paints, right erases, [ and ] size the brush, Escape leaves; a stroke
// repaints only around the brush; a crack being marked takes the pointer;
// the painting stays with the document.
TEST_F(SeeingTest, PaintingTheMaskFollowsTheButtonsAndKeys)
{
    CVeltroInterfaceView* pView = Open("paint.jpg", 300, 200);
    ASSERT_NE(pView, nullptr);
    QWidget* pViewport = pView->viewport();
    Trigger(ids::ID_PROCESSING_PAINT_MASK);
    ASSERT_NE(CViewTool::Find<CMaskPaintTool>(pView), nullptr);
    EXPECT_TRUE(m_pFrame->Action(ids::ID_PROCESSING_PAINT_MASK)->isChecked());
    CMaskLayer* pMask = CMaskPaintTool::PaintedMask(pView->GetDocument(), false);
    ASSERT_NE(pMask, nullptr);

    CMaskPaintTool::SetBrushDiameter(8);
    QTest::keyClick(pView, Qt::Key_BracketRight);
    EXPECT_EQ(CMaskPaintTool::BrushDiameter(), 12);
    QTest::keyClick(pView, Qt::Key_BracketLeft);
    EXPECT_EQ(CMaskPaintTool::BrushDiameter(), 8);

    QTest::mousePress(pViewport, Qt::LeftButton, {}, QPoint(20, 30));
    ProcessEvents(20);
    PaintSpy spy(pViewport);
    SendMove(pViewport, QPoint(60, 30), Qt::LeftButton);
    ProcessEvents(20);
    QTest::mouseRelease(pViewport, Qt::LeftButton, {}, QPoint(60, 30));
    EXPECT_TRUE(pMask->At(20, 30) && pMask->At(40, 33) && pMask->At(60, 30));
    EXPECT_FALSE(pMask->At(40, 35));
    EXPECT_TRUE((QRegion(QRect(20, 26, 40, 8)) - spy.m_painted).isEmpty());
    EXPECT_LT(spy.m_painted.boundingRect().width() * spy.m_painted.boundingRect().height(), 100 * 30);

    QTest::mousePress(pViewport, Qt::RightButton, {}, QPoint(40, 30));
    QTest::mouseRelease(pViewport, Qt::RightButton, {}, QPoint(40, 30));
    EXPECT_FALSE(pMask->At(40, 30));
    EXPECT_TRUE(pMask->At(20, 30));

    pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    QTest::mousePress(pViewport, Qt::LeftButton, {}, QPoint(150, 150));
    EXPECT_FALSE(pMask->At(150, 150));
    pView->m_nMode = CVeltroInterfaceView::modeIdle;
    pView->m_nPointStage = -1;

    QTest::keyClick(pView, Qt::Key_Escape);
    ProcessEvents(20);
    EXPECT_EQ(CViewTool::Find<CMaskPaintTool>(pView), nullptr);
    EXPECT_FALSE(m_pFrame->Action(ids::ID_PROCESSING_PAINT_MASK)->isChecked());
    EXPECT_EQ(CMaskPaintTool::PaintedMask(pView->GetDocument(), false), pMask);
}

// Blotch writes the painting where its dialog proposes the mask and proposes
// it; a file there is replaced only when the user says so, or when it is the
// painting's own file untouched since.
TEST_F(SeeingTest, BlotchWritesThePaintedMaskWhereTheDialogProposesIt)
{
    CVeltroInterfaceView* pView = Open("photo.jpg", 60, 40);
    ASSERT_NE(pView, nullptr);
    const QString strMask = m_tempDir.filePath(QStringLiteral("photo_mask.jpg"));
    CMaskLayer* pMask = CMaskPaintTool::PaintedMask(pView->GetDocument(), true);
    pMask->PaintStroke({10, 10}, {30, 20}, 3, true);
    const QImage painted = pMask->ToImage();
    ASSERT_TRUE(WriteFile(strMask, "the user's own mask"));

    const struct
    {
        const char* pszStep;
        int nAnswer;        // -1: no question expected
        bool bRuns;
        bool bPainted;      // the file holds the painting afterwards
    } steps[] = {
        {"cancelled", QMessageBox::Cancel, false, false},
        {"kept", QMessageBox::No, true, false},
        {"replaced", QMessageBox::Yes, true, true},
        {"own file, written again", -1, true, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszStep);
        testengine::Recorder recorder;
        const int nQuestions = int(m_questions.size());
        if (step.nAnswer >= 0)
            m_questionAnswers << step.nAnswer;
        Fields shown;
        m_dialogAnswers.push_back(Answer({}, true, &shown));
        pView->OnProcessingBlotch();
        ProcessEvents(20);
        EXPECT_EQ(int(m_questions.size()) - nQuestions, step.nAnswer >= 0 ? 1 : 0);
        EXPECT_EQ(recorder.WasRun(), step.bRuns);
        if (step.bRuns) {
            EXPECT_EQ(shown.value(QString::number(ids::IDC_BLOTCH_MASK)), strMask);
            EXPECT_TRUE(recorder.Params().endsWith("MASKFILE\t" + QFile::encodeName(strMask) + "\n"));
        }
        EXPECT_EQ(maskfile::ReadThresholded(strMask) == painted, step.bPainted);
        m_dialogAnswers.clear();
        m_pFrame->MdiArea()->setActiveSubWindow(pView->GetParentFrame());
    }
    EXPECT_TRUE(m_questions.value(0).contains(strMask));

    // Changed behind the program's back, the file is the user's again.
    ASSERT_TRUE(WriteFile(strMask, "edited"));
    pView->OnProcessingBlotch();
    EXPECT_EQ(m_questions.size(), 4);
    EXPECT_EQ(ReadFile(strMask), QByteArray("edited"));
}

// The engine records the changed pixels in the cache folder; Show Changes
// tints them and counts them; the record goes with the result window. An
// engine that records nothing leaves Show Changes off, and says so.
TEST_F(SeeingTest, ShowChangesTintsWhatTheEngineChanged)
{
    CVeltroInterfaceView* pSource = Open("changes.jpg", 40, 30);
    ASSERT_NE(pSource, nullptr);
    testengine::Recorder recorder;
    testengine::ScopedEnv size("VELTRO_TEST_SIZE", "40x30");
    CVeltroInterfaceView* pResult = RunFoxing(pSource);
    ASSERT_NE(pResult, nullptr);
    const QString strChanged = recorder.ChangedMask();
    EXPECT_TRUE(strChanged.startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/"));
    EXPECT_TRUE(QFileInfo(strChanged).size() > 0);
    EXPECT_FALSE(m_pFrame->Action(ids::ID_VIEW_SHOW_CHANGES)->isChecked());

    Trigger(ids::ID_VIEW_SHOW_CHANGES);
    ASSERT_NE(CViewTool::Find<CChangesTool>(pResult), nullptr);
    EXPECT_TRUE(m_pFrame->Action(ids::ID_VIEW_SHOW_CHANGES)->isChecked());
    EXPECT_EQ(Status(), QStringLiteral("600 pixels changed (50.00 %)"));
    // On a 100-megapixel scan a few changes are not none, nor all but a few all.
    EXPECT_EQ(CChangesTool::ChangedPixelsText(3252, 100920000), QStringLiteral("3,252 pixels changed (< 0.01 %)"));
    EXPECT_EQ(CChangesTool::ChangedPixelsText(100919999, 100920000),
              QStringLiteral("100,919,999 pixels changed (> 99.99 %)"));
    const QImage shot = pResult->viewport()->grab().toImage();
    EXPECT_GT(qBlue(shot.pixel(5, 5)), 100);    // the left half: orange under magenta
    EXPECT_LT(qBlue(shot.pixel(35, 5)), 80);    // the right half: orange
    Trigger(ids::ID_VIEW_SHOW_CHANGES);
    EXPECT_EQ(CViewTool::Find<CChangesTool>(pResult), nullptr);

    pResult->GetParentFrame()->close();
    ProcessEvents(100);
    EXPECT_FALSE(QFileInfo::exists(strChanged));

    testengine::Recorder silent("nochanges");
    m_pFrame->MdiArea()->setActiveSubWindow(pSource->GetParentFrame());
    ASSERT_NE(RunFoxing(pSource), nullptr);
    EXPECT_FALSE(m_pFrame->Action(ids::ID_VIEW_SHOW_CHANGES)->isEnabled());
    EXPECT_TRUE(Status().contains(QStringLiteral("Show Changes is not available"))) << qPrintable(Status());
    // A run that went through with a word from the engine ("no crack found ...") says it.
    testengine::Recorder chatty("chatty");
    m_pFrame->MdiArea()->setActiveSubWindow(pSource->GetParentFrame());
    ASSERT_NE(RunFoxing(pSource), nullptr);
    EXPECT_EQ(Status(), QStringLiteral("veltro.exe: last line"));
}

// Compare with Source: side by side, the result at the source's zoom and
// place; a scroll, a zoom key or Ctrl + wheel in either moves both; the
// backslash held shows the source in the result's place; the command again,
// or closing either window, ends the link.
TEST_F(SeeingTest, CompareLinksTheResultToItsSource)
{
    CVeltroInterfaceView* pSource = Open("source.jpg", 600, 500, QColor(30, 60, 220));
    ASSERT_NE(pSource, nullptr);
    pSource->SetZoom(2, QPoint(0, 0));
    pSource->GetParentFrame()->resize(300, 250);
    ProcessEvents(20);
    pSource->ScrollTo(QPoint(200, 100));
    testengine::Recorder recorder;
    testengine::ScopedEnv size("VELTRO_TEST_SIZE", "600x500");
    CVeltroInterfaceView* pResult = RunFoxing(pSource);
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetDocument()->m_nZoom, 1);   // a result opens as it always has
    const QPoint middle = Scroll(pSource) + pSource->viewport()->rect().center();
    ASSERT_NE(Open("other.jpg", 500, 400), nullptr);   // over the source until the comparison
    m_pFrame->MdiArea()->setActiveSubWindow(pResult->GetParentFrame());

    Trigger(ids::ID_WINDOW_COMPARE);
    ASSERT_NE(CViewTool::Find<CCompareTool>(pResult), nullptr);
    const QList<QMdiSubWindow*> stack = m_pFrame->MdiArea()->subWindowList(QMdiArea::StackingOrder);
    EXPECT_EQ(stack.mid(stack.size() - 2), (QList<QMdiSubWindow*>{pSource->GetParentFrame(), pResult->GetParentFrame()}));
    EXPECT_TRUE(m_pFrame->Action(ids::ID_WINDOW_COMPARE)->isChecked());
    const int nHalf = m_pFrame->MdiArea()->viewport()->width() / 2;
    EXPECT_EQ(pSource->GetParentFrame()->geometry().left(), 0);
    EXPECT_EQ(pResult->GetParentFrame()->geometry().left(), nHalf);
    EXPECT_EQ(pResult->GetDocument()->m_nZoom, 2);
    EXPECT_EQ(Scroll(pResult), Scroll(pSource));
    const QPoint kept = middle - pSource->viewport()->rect().center();   // the middle kept, within the range
    EXPECT_EQ(Scroll(pSource), QPoint(std::clamp(kept.x(), 0, pSource->horizontalScrollBar()->maximum()),
                                      std::clamp(kept.y(), 0, pSource->verticalScrollBar()->maximum())));

    pSource->horizontalScrollBar()->setValue(pSource->horizontalScrollBar()->value() - 37);
    EXPECT_EQ(Scroll(pResult), Scroll(pSource));
    QTest::keyClick(pResult, Qt::Key_Up);
    EXPECT_EQ(pSource->GetDocument()->m_nZoom, 3);
    EXPECT_EQ(Scroll(pResult), Scroll(pSource));
    QWheelEvent wheel(QPointF(40, 40), pSource->viewport()->mapToGlobal(QPointF(40, 40)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(pSource->viewport(), &wheel);
    EXPECT_EQ(pResult->GetDocument()->m_nZoom, 2);
    EXPECT_EQ(Scroll(pResult), Scroll(pSource));

    auto colour = [&] { return pResult->viewport()->grab().toImage().pixelColor(20, 20); };
    EXPECT_GT(colour().red(), 150);   // the result: orange
    QTest::keyPress(pResult, Qt::Key_Backslash);
    ProcessEvents(20);
    EXPECT_GT(colour().blue(), 150);  // the source in its place
    QTest::keyRelease(pResult, Qt::Key_Backslash);
    ProcessEvents(20);
    EXPECT_GT(colour().red(), 150);

    Trigger(ids::ID_WINDOW_COMPARE);
    EXPECT_EQ(CViewTool::Find<CCompareTool>(pSource), nullptr);
    Trigger(ids::ID_WINDOW_COMPARE);
    ASSERT_NE(CViewTool::Find<CCompareTool>(pSource), nullptr);
    pResult->GetParentFrame()->close();
    ProcessEvents(100);
    EXPECT_EQ(CViewTool::Find<CCompareTool>(pSource), nullptr);
}

// The Window menu numbers the first nine windows and checks the active one;
// Next and Previous go round in that order; More Windows chooses among all.
// No two commands share a key.
TEST_F(SeeingTest, WindowMenuListsAndSwitchesTheWindows)
{
    QList<QMdiSubWindow*> frames;
    for (int i = 1; i <= 11; ++i) {
        ASSERT_NE(Open(qPrintable(QStringLiteral("w%1.jpg").arg(i)), 8, 8), nullptr);
        frames << ActiveFrame();
    }
    auto listed = [this] {
        m_pFrame->UpdateWindowList();
        QStringList texts;
        for (QAction* pAction : m_pFrame->WindowMenu()->actions())
            if (pAction->objectName().toInt() >= ids::AFX_IDM_FIRST_MDICHILD)
                texts << pAction->text() + (pAction->isChecked() ? "*" : "");
        return texts;
    };
    QStringList texts = listed();
    ASSERT_EQ(texts.size(), 10);
    EXPECT_EQ(texts.at(1), QStringLiteral("&2 w2.jpg   100.0%"));
    EXPECT_EQ(texts.at(9), QStringLiteral("&More Windows..."));
    m_pFrame->WindowMenu()->actions().at(m_pFrame->WindowMenu()->actions().size() - 9)->trigger();
    ProcessEvents(20);
    EXPECT_EQ(ActiveFrame(), frames.at(1));
    EXPECT_EQ(listed().at(1), QStringLiteral("&2 w2.jpg   100.0%*"));

    const struct { int nId; int nActive; } steps[] = {
        {ids::ID_WINDOW_NEXT, 2}, {ids::ID_WINDOW_PREV, 1}, {ids::ID_WINDOW_PREV, 0}, {ids::ID_WINDOW_PREV, 10},
        {ids::ID_WINDOW_NEXT, 0},
    };
    for (const auto& step : steps) {
        Trigger(step.nId);
        EXPECT_EQ(ActiveFrame(), frames.at(step.nActive));
    }
    m_dialogAnswers.push_back([](QDialog& dlg) {
        dlg.findChild<QListWidget*>()->setCurrentRow(10);
        dlg.accept();
        return int(QDialog::Accepted);
    });
    Trigger(ids::ID_WINDOW_MORE);
    EXPECT_EQ(ActiveFrame(), frames.at(10));

    QList<QKeySequence> keys;
    for (const CommandInfo& info : CommandTable())
        for (const QKeySequence& key : info.shortcuts) {
            EXPECT_FALSE(keys.contains(key)) << qPrintable(key.toString());
            keys << key;
        }
    EXPECT_TRUE(keys.contains(QKeySequence(Qt::CTRL | Qt::Key_Tab)) && keys.contains(QKeySequence(Qt::CTRL | Qt::Key_F6)));
}

// A tall picture opens whole, beside its vertical bar; Fit in Window takes
// the largest step that shows it whole, Actual Pixels goes back to 1, and
// Ctrl + wheel steps the zoom around the pixel under the pointer. The folder
// opened from is remembered for the Open dialog.
TEST_F(SeeingTest, FitActualPixelsAndTheWheelGetAround)
{
    CVeltroInterfaceView* pTall = Open("tall.jpg", 20, 4000);
    ASSERT_NE(pTall, nullptr);
    EXPECT_GE(pTall->viewport()->width(), 20);
    EXPECT_EQ(pTall->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(appsettings::LoadOpenFolder(), m_tempDir.path());

    Trigger(ids::ID_VIEW_FIT_WINDOW);
    CVeltroInterfaceDoc* pDoc = pTall->GetDocument();
    EXPECT_LT(pDoc->m_nZoom, -1);
    EXPECT_EQ(pTall->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(pDoc->m_nZoom, viewnav::FitZoom(20, 4000, m_pFrame->MdiArea()->viewport()->size()
                                                              - (ActiveFrame()->size() - pTall->viewport()->size())));
    Trigger(ids::ID_VIEW_ACTUAL_PIXELS);
    EXPECT_EQ(pDoc->m_nZoom, 1);
    EXPECT_TRUE(pDoc->GetTitle().endsWith(QStringLiteral("100.0%")));

    // Larger than the workspace at every step taken, so that it scrolls.
    CVeltroInterfaceView* pView = Open("wheel.jpg", 3000, 2000);
    pView->ScrollTo(QPoint(100, 80));
    const QPoint pointer(60, 50);
    for (const int nDelta : {120, 240, -120, -360}) {
        const QPoint before = PixelUnder(pView, pointer);
        const int32_t nZoom = pView->GetDocument()->m_nZoom;
        QWheelEvent wheel(QPointF(pointer), pView->viewport()->mapToGlobal(QPointF(pointer)), QPoint(),
                          QPoint(0, nDelta), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(pView->viewport(), &wheel);
        int32_t nExpected = nZoom;
        for (int i = 0; i < std::abs(nDelta) / 120; ++i)
            nExpected = nDelta > 0 ? viewgeometry::ZoomUp(nExpected) : viewgeometry::ZoomDown(nExpected);
        EXPECT_EQ(pView->GetDocument()->m_nZoom, nExpected);
        const QPoint after = PixelUnder(pView, pointer);
        const int n = nExpected < 0 ? -nExpected : 1;
        EXPECT_LE(std::abs(after.x() - before.x()), n) << nDelta;
        EXPECT_LE(std::abs(after.y() - before.y()), n) << nDelta;
    }

    // Cascade gives each window room for its picture, as far as two thirds of the workspace allow.
    Trigger(ids::ID_WINDOW_CASCADE);
    const QSize room = m_pFrame->MdiArea()->viewport()->size() * 2 / 3;
    EXPECT_EQ(pView->size(), room);
    EXPECT_EQ(pTall->height(), room.height());
}
