// The view's keys and pointer, driven through the real widgets.
#include "support/AppFixture.h"
#include "support/UiTestHelpers.h"

#include <QLabel>
#include <QScrollBar>
#include <QTest>

using namespace uitest;

namespace {

class ViewInputTest : public AppFixture
{
protected:
    // A 200 x 300 picture (300 rows) at zoom 1, laid out.
    void SetUp() override
    {
        AppFixture::SetUp();
        m_pView = OpenImage(MakeJpeg(QStringLiteral("picture.jpg"), 200, 300, QColor(60, 90, 120)));
        ASSERT_NE(m_pView, nullptr);
        m_pDoc = m_pView->GetDocument();
        m_pViewport = m_pView->viewport();
        ProcessEvents(20);
    }

    // At this zoom, in a window smaller than the picture (so that it scrolls), at this scroll position.
    void ShowAt(int32_t nZoom, const QPoint& scroll)
    {
        m_pDoc->m_nZoom = nZoom;
        m_pDoc->m_nDisplayState = 1;
        m_pView->InvalidateAll();
        ProcessEvents(20);
        m_pView->GetParentFrame()->resize(150, 150);
        ProcessEvents(20);
        m_pView->horizontalScrollBar()->setValue(scroll.x());
        m_pView->verticalScrollBar()->setValue(scroll.y());
        ASSERT_EQ(m_pView->horizontalScrollBar()->value(), scroll.x());
        ASSERT_EQ(m_pView->verticalScrollBar()->value(), scroll.y());
    }

    // Ends a pending selection so that TearDown runs no engine.
    void LeaveSelection()
    {
        m_pView->m_nMode = CVeltroInterfaceView::modeIdle;
        m_pView->m_nPointStage = -1;
        m_pView->m_rcSelection.SetNone();
    }

    QString Pane() const { return m_pFrame->PixelInfoPane()->text(); }

    CVeltroInterfaceView* m_pView = nullptr;
    CVeltroInterfaceDoc* m_pDoc = nullptr;
    QWidget* m_pViewport = nullptr;
};

bool Covers(const QRegion& region, const QRect& rc)
{
    return (QRegion(rc) - region).isEmpty();
}

} // namespace

TEST_F(ViewInputTest, ArrowKeysStepTheZoomSkippingZeroAndMinusOne)
{
    const struct { int32_t nFrom; int nKey; int32_t nTo; } steps[] = {
        {1, Qt::Key_Up, 2},    {1, Qt::Key_Down, -2}, {-2, Qt::Key_Up, 1}, {-2, Qt::Key_Down, -3},
        {2, Qt::Key_Down, 1},  {-3, Qt::Key_Up, -2},  {3, Qt::Key_Up, 4},
        // Not beyond the largest zoom, nor to less than one pixel (200 / 401 rounds to 0).
        {4096, Qt::Key_Up, 4096}, {-400, Qt::Key_Down, -400},
        {-2, Qt::Key_A, -2},   // any other key keeps the zoom
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.nFrom << " key " << step.nKey);
        m_pDoc->m_nZoom = step.nFrom;
        m_pDoc->m_nDisplayState = 2;
        QTest::keyClick(m_pView, Qt::Key(step.nKey));
        EXPECT_EQ(m_pDoc->m_nZoom, step.nTo);
        EXPECT_EQ(m_pDoc->m_nDisplayState, 1);   // every key lays out again at the next paint
    }
    // The layout rewrites the title, and keys leave the scroll position alone.
    ShowAt(1, {0, 30});
    m_pDoc->SetTitle(QStringLiteral("picture.jpg   12.0%"));
    QTest::keyClick(m_pView, Qt::Key_Down);
    EXPECT_EQ(m_pView->verticalScrollBar()->value(), 30);
    ProcessEvents(20);
    EXPECT_EQ(m_pDoc->m_nDisplayState, 2);
    EXPECT_EQ(m_pDoc->GetTitle(), QStringLiteral("picture.jpg   50.0%"));
}

TEST_F(ViewInputTest, ZoomKeysAndReadoutWorkWithoutAPicture)
{
    CVeltroInterfaceView* pView = NewDocument();
    ASSERT_NE(pView, nullptr);
    QTest::mousePress(pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Pane(), QStringLiteral("xy=(5,-6) rgb=(0,0,0)"));
    QTest::mouseRelease(pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Pane(), QString());
    QTest::keyClick(pView, Qt::Key_Down);
    EXPECT_EQ(pView->GetDocument()->m_nZoom, -2);
    ProcessEvents(20);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(ViewInputTest, ASelectionUnderWayKeepsItsPicturePositionsWhenZooming)
{
    m_pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    m_pView->m_nPointStage = 1;
    m_pView->m_rcSelection.Set(10, 20, 40, 60);
    const struct { int nKey; int32_t nZoom; CSelectionRect rc; } steps[] = {
        {Qt::Key_Up, 2, {21, 41, 81, 121}}, {Qt::Key_Down, 1, {10, 20, 40, 60}}, {Qt::Key_Down, -2, {5, 10, 20, 30}},
        {Qt::Key_A, -2, {5, 10, 20, 30}},   {Qt::Key_Up, 1, {10, 20, 40, 60}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "to zoom " << step.nZoom);
        QTest::keyClick(m_pView, Qt::Key(step.nKey));
        EXPECT_EQ(m_pDoc->m_nZoom, step.nZoom);
        EXPECT_EQ(m_pView->m_rcSelection, step.rc);
        int32_t nColumn = 0, nRow = 0;
        m_pView->ClientToImage(m_pDoc, m_pView->m_rcSelection.left, m_pView->m_rcSelection.top, nColumn, nRow);
        EXPECT_EQ(QPoint(nColumn, nRow), QPoint(10, 279));
    }
    LeaveSelection();
}

TEST_F(ViewInputTest, PressNamesThePixelUnderThePointer)
{
    // Scroll bar values, the press in the viewport, the pixel named.
    const struct { int32_t nZoom; QPoint scroll, press; int32_t nColumn, nRow; } cases[] = {
        {1, {0, 0}, {10, 20}, 10, 279},
        {2, {0, 0}, {11, 21}, 5, 299 - 10},
        {-2, {0, 0}, {10, 20}, 20, 299 - 40},
        {2, {40, 100}, {11, 21}, (11 + 40) / 2, 299 - (21 + 100) / 2},   // the scroll offset comes first
        {4, {7, 33}, {1, 1}, 8 / 4, 299 - 34 / 4},   // (QTest takes (0, 0) for the middle)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.nZoom << " scroll " << c.scroll.x() << "," << c.scroll.y());
        ShowAt(c.nZoom, c.scroll);
        QTest::mousePress(m_pViewport, Qt::LeftButton, {}, c.press);
        EXPECT_TRUE(m_pView->m_strStatus.startsWith(QStringLiteral("xy=(%1,%2) ").arg(c.nColumn).arg(c.nRow)))
            << qPrintable(m_pView->m_strStatus);
        QTest::mouseRelease(m_pViewport, Qt::LeftButton, {}, c.press);
    }
}

TEST_F(ViewInputTest, ReadoutShowsWhileTheButtonIsHeldAndBlanksOnRelease)
{
    m_pDoc->m_pImage[200 * 279 + 10] = 0x00332211u;   // column 10, row 279
    m_pDoc->m_pImage[200 * 249 + 40] = 0x00FF8001u;   // column 40, row 249
    SendMove(m_pViewport, QPoint(10, 20), Qt::NoButton);   // moves without a press show nothing
    EXPECT_EQ(Pane(), QString());

    QTest::mousePress(m_pViewport, Qt::LeftButton, {}, QPoint(10, 20));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeReadout);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(10,279) rgb=(17,34,51)"));
    SendMove(m_pViewport, QPoint(40, 50), Qt::LeftButton);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(40,249) rgb=(1,128,255)"));
    // Outside the picture (above its top row, and right of it): black.
    SendMove(m_pViewport, QPoint(40, -3), Qt::LeftButton);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(40,302) rgb=(0,0,0)"));
    SendMove(m_pViewport, QPoint(200, 0), Qt::LeftButton);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(200,299) rgb=(0,0,0)"));
    QTest::mouseRelease(m_pViewport, Qt::LeftButton, {}, QPoint(200, 0));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_EQ(Pane(), QString());
}

// Finished crack points: presses update the pane, moves do not; a crease region: the readout is taken, the pane
// stays blank.
TEST_F(ViewInputTest, PaneFollowsTheModeOfTheSelections)
{
    m_pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    m_pView->m_nPointStage = -1;
    QTest::mousePress(m_pViewport, Qt::LeftButton, {}, QPoint(3, 4));
    EXPECT_TRUE(Pane().startsWith(QStringLiteral("xy=(3,295) rgb=(")));
    SendMove(m_pViewport, QPoint(30, 40), Qt::LeftButton);
    QTest::mouseRelease(m_pViewport, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_EQ(m_pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_TRUE(Pane().startsWith(QStringLiteral("xy=(3,295) ")));

    m_pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
    m_pView->UpdatePixelInfo();
    EXPECT_EQ(Pane(), QString());
    QTest::mousePress(m_pViewport, Qt::LeftButton, {}, QPoint(7, 8));
    EXPECT_TRUE(m_pView->m_strStatus.startsWith(QStringLiteral("xy=(7,291) ")));
    EXPECT_EQ(Pane(), QString());
    LeaveSelection();
}

// The whole new rectangle is repainted at once, not the whole view.
TEST_F(ViewInputTest, MovesRepaintWhereTheFeedbackWasAndWhereItNowIs)
{
    m_pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
    QTest::mousePress(m_pViewport, Qt::LeftButton, {}, QPoint(10, 60));
    SendMove(m_pViewport, QPoint(50, 90), Qt::LeftButton);
    ProcessEvents(20);
    PaintSpy spy;
    m_pViewport->installEventFilter(&spy);
    SendMove(m_pViewport, QPoint(120, 200), Qt::LeftButton);
    ProcessEvents(20);
    m_pViewport->removeEventFilter(&spy);
    EXPECT_TRUE(Covers(spy.m_painted, QRect(QPoint(10, 60), QPoint(120, 200))));
    EXPECT_FALSE(Covers(spy.m_painted, m_pViewport->rect()));

    LeaveSelection();   // without completing the region, which would run the engine
    QTest::mouseRelease(m_pViewport, Qt::LeftButton, {}, QPoint(120, 200));
}

// A crack line's end follows the pointer with or without a button (and leaves no trace of its former place); a
// crease region's corner follows only the left button alone.
TEST_F(ViewInputTest, SelectionFeedbackFollowsThePointer)
{
    m_pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    m_pView->m_nPointStage = 1;
    m_pView->m_rcSelection.Set(20, 200, 20, 200);
    SendMove(m_pViewport, QPoint(90, 120), Qt::NoButton);
    SendMove(m_pViewport, QPoint(150, 200), Qt::NoButton);
    ProcessEvents(20);
    const QImage shot = m_pViewport->grab().toImage();
    EXPECT_TRUE(IsRed(shot.pixel(80, 200)));
    EXPECT_FALSE(IsRed(shot.pixel(55, 160)));
    using View = CVeltroInterfaceView;
    const struct { int32_t nMode; Qt::MouseButtons buttons; Qt::KeyboardModifiers modifiers; bool bFollows; } cases[] =
    {
        {View::modeCrackPoints, Qt::NoButton, Qt::NoModifier, true},
        {View::modeCrackPoints, Qt::RightButton, Qt::NoModifier, true},
        {View::modeCreaseRegion, Qt::LeftButton, Qt::NoModifier, true},
        {View::modeCreaseRegion, Qt::LeftButton, Qt::AltModifier, true},
        {View::modeCreaseRegion, Qt::LeftButton, Qt::ShiftModifier, false},
        {View::modeCreaseRegion, Qt::LeftButton, Qt::ControlModifier, false},
        {View::modeCreaseRegion, Qt::LeftButton | Qt::RightButton, Qt::NoModifier, false},
        {View::modeCreaseRegion, Qt::NoButton, Qt::NoModifier, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nMode << " " << int(c.buttons) << " " << int(c.modifiers));
        m_pView->m_nMode = c.nMode;
        m_pView->m_rcSelection.Set(10, 20, 30, 30);
        SendMove(m_pViewport, QPoint(50, 40), c.buttons, c.modifiers);
        EXPECT_EQ(m_pView->m_rcSelection, (CSelectionRect{10, 20, c.bFollows ? 50 : 30, c.bFollows ? 40 : 30}));
    }
    // Without a press nothing is marked, and a move marks nothing.
    m_pView->m_rcSelection.SetNone();
    SendMove(m_pViewport, QPoint(50, 40), Qt::LeftButton);
    EXPECT_TRUE(m_pView->m_rcSelection.IsNone());
    LeaveSelection();
}
