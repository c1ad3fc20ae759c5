// The view's keys and pointer, driven through the real widgets.
#include "support/AppFixture.h"
#include "support/UiTestHelpers.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CVeltroInterfaceView.h"

#include <QColor>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

using namespace uitest;

class ViewInputTest : public AppFixture
{
protected:
    // A 200 x 300 picture (300 rows) at zoom 1, laid out.
    CVeltroInterfaceView* OpenPicture()
    {
        CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("picture.jpg"), 200, 300,
                                                         QColor(60, 90, 120)));
        if (pView != nullptr)
            ProcessEvents(20);
        return pView;
    }

    // Sets the zoom as the keys would and lets the view lay itself out.
    void SetZoom(CVeltroInterfaceView* pView, int32_t nZoom)
    {
        pView->GetDocument()->m_nZoom = nZoom;
        pView->GetDocument()->m_nDisplayState = 1;
        pView->InvalidateAll();
        ProcessEvents(20);
    }

    QString Pane() const { return m_pFrame->PixelInfoPane()->text(); }
};

// --- Zoom keys -----------------------------------------------------------

struct ZoomStep
{
    int32_t nFrom;
    int nKey;
    int32_t nTo;
};

TEST_F(ViewInputTest, ArrowKeysStepTheZoomSkippingZeroAndMinusOne)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    const ZoomStep steps[] = {
        {1, Qt::Key_Up, 2},    {1, Qt::Key_Down, -2}, {-2, Qt::Key_Up, 1}, {-2, Qt::Key_Down, -3},
        {2, Qt::Key_Down, 1},  {-3, Qt::Key_Up, -2},  {3, Qt::Key_Up, 4},
        // Beyond the limits the step is not taken: the largest zoom step,
        // and a reduction that would leave less than one pixel (200 / 401
        // rounds to 0).
        {4096, Qt::Key_Up, 4096}, {-400, Qt::Key_Down, -400},
    };
    for (const ZoomStep& step : steps) {
        SCOPED_TRACE(testing::Message() << step.nFrom << (step.nKey == Qt::Key_Up ? " up" : " down"));
        pDoc->m_nZoom = step.nFrom;
        pDoc->m_nDisplayState = 2;
        QTest::keyClick(pView, Qt::Key(step.nKey));
        EXPECT_EQ(pDoc->m_nZoom, step.nTo);
        // Every key lays out again at the next paint.
        EXPECT_EQ(pDoc->m_nDisplayState, 1);
    }
    SetZoom(pView, 1);
}

TEST_F(ViewInputTest, KeysRetitleWithTheNewPercentageAndDoNotScroll)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    EXPECT_TRUE(pDoc->GetTitle().endsWith(QStringLiteral("   100.0%")));

    QTest::keyClick(pView, Qt::Key_Up);
    ProcessEvents(20);
    EXPECT_EQ(pDoc->m_nDisplayState, 2);
    EXPECT_EQ(pDoc->GetTitle(), QStringLiteral("picture.jpg   200.0%"));
    // In a window smaller than the picture, Up and Down zoom and leave the
    // scroll position alone.
    pView->GetParentFrame()->resize(150, 150);
    ProcessEvents(20);
    pView->verticalScrollBar()->setValue(30);
    ASSERT_EQ(pView->verticalScrollBar()->value(), 30);
    QTest::keyClick(pView, Qt::Key_Down);
    EXPECT_EQ(pView->verticalScrollBar()->value(), 30);
    ProcessEvents(20);
    EXPECT_EQ(pDoc->m_nZoom, 1);
    EXPECT_EQ(pDoc->GetTitle(), QStringLiteral("picture.jpg   100.0%"));

    QTest::keyClick(pView, Qt::Key_Down);
    ProcessEvents(20);
    EXPECT_EQ(pDoc->GetTitle(), QStringLiteral("picture.jpg   50.0%"));

    // Any other key keeps the zoom but still refits and rewrites the title.
    pDoc->SetTitle(QStringLiteral("picture.jpg   12.0%"));
    QTest::keyClick(pView, Qt::Key_A);
    EXPECT_EQ(pDoc->m_nZoom, -2);
    EXPECT_EQ(pDoc->m_nDisplayState, 1);
    ProcessEvents(20);
    EXPECT_EQ(pDoc->m_nDisplayState, 2);
    EXPECT_EQ(pDoc->GetTitle(), QStringLiteral("picture.jpg   50.0%"));
}

TEST_F(ViewInputTest, ZoomKeysAndReadoutWorkWithoutAPicture)
{
    m_pApp->OnFileNew();
    ProcessEvents(20);
    CVeltroInterfaceView* pView = ActiveView();
    ASSERT_NE(pView, nullptr);
    QTest::mousePress(pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Pane(), QStringLiteral("xy=(5,-6) rgb=(0,0,0)"));
    QTest::mouseRelease(pView->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Pane(), QString());

    QTest::keyClick(pView, Qt::Key_Down);
    EXPECT_EQ(pView->GetDocument()->m_nZoom, -2);
    EXPECT_EQ(pView->GetDocument()->m_nDisplayState, 1);
    ProcessEvents(20);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(ViewInputTest, ASelectionUnderWayKeepsItsPicturePositionsWhenZooming)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    pView->m_nPointStage = 1;
    pView->m_rcSelection.Set(10, 20, 40, 60);
    auto anchor = [&] {
        int32_t nColumn = 0, nRow = 0;
        pView->ClientToImage(pDoc, pView->m_rcSelection.left, pView->m_rcSelection.top, nColumn, nRow);
        return QPoint(nColumn, nRow);
    };
    const struct
    {
        int nKey;
        int32_t nZoom;
        CSelectionRect rc;
    } steps[] = {
        {Qt::Key_Up, 2, {21, 41, 81, 121}},
        {Qt::Key_Down, 1, {10, 20, 40, 60}},
        {Qt::Key_Down, -2, {5, 10, 20, 30}},
        {Qt::Key_A, -2, {5, 10, 20, 30}},
        {Qt::Key_Up, 1, {10, 20, 40, 60}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "to zoom " << step.nZoom);
        QTest::keyClick(pView, Qt::Key(step.nKey));
        EXPECT_EQ(pDoc->m_nZoom, step.nZoom);
        EXPECT_EQ(pView->m_rcSelection, step.rc);
        EXPECT_EQ(anchor(), QPoint(10, 279));
    }
    pView->m_nPointStage = -1;
    pView->m_rcSelection.SetNone();
}

// --- Pointer positions ---------------------------------------------------

struct MappingCase
{
    int32_t nZoom;
    QPoint scroll;   // scroll bar values
    QPoint press;    // in the viewport
    int32_t nColumn;
    int32_t nRow;
};

TEST_F(ViewInputTest, PressNamesThePixelUnderThePointer)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    const MappingCase cases[] = {
        {1, {0, 0}, {10, 20}, 10, 279},
        {2, {0, 0}, {11, 21}, 5, 299 - 10},
        {-2, {0, 0}, {10, 20}, 20, 299 - 40},
        // Scrolled: the scroll offset is added before mapping.
        {2, {40, 100}, {11, 21}, (11 + 40) / 2, 299 - (21 + 100) / 2},
        // (QTest takes (0, 0) for the middle of the widget.)
        {4, {7, 33}, {1, 1}, 8 / 4, 299 - 34 / 4},
    };
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.nZoom << " scroll " << c.scroll.x() << "," << c.scroll.y());
        SetZoom(pView, c.nZoom);
        // A window smaller than the picture, so that it scrolls.
        pView->GetParentFrame()->resize(150, 150);
        ProcessEvents(20);
        pView->horizontalScrollBar()->setValue(c.scroll.x());
        pView->verticalScrollBar()->setValue(c.scroll.y());
        ASSERT_EQ(pView->horizontalScrollBar()->value(), c.scroll.x());
        ASSERT_EQ(pView->verticalScrollBar()->value(), c.scroll.y());

        QTest::mousePress(pView->viewport(), Qt::LeftButton, {}, c.press);
        EXPECT_TRUE(pView->m_strStatus.startsWith(QStringLiteral("xy=(%1,%2) ").arg(c.nColumn).arg(c.nRow)))
            << pView->m_strStatus.toStdString();
        QTest::mouseRelease(pView->viewport(), Qt::LeftButton, {}, c.press);

        int32_t nColumn = 0, nRow = 0;
        pView->ClientToImage(pView->GetDocument(), pView->ViewportToDisplay(c.press).x(),
                             pView->ViewportToDisplay(c.press).y(), nColumn, nRow);
        EXPECT_EQ(nColumn, c.nColumn);
        EXPECT_EQ(nRow, c.nRow);
    }
}

// --- Readout -------------------------------------------------------------

TEST_F(ViewInputTest, ReadoutShowsWhileTheButtonIsHeldAndBlanksOnRelease)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    // Two pixels of known colour: column 10 row 279 and column 40 row 249.
    pDoc->m_pImage[200 * 279 + 10] = 0x00332211u;
    pDoc->m_pImage[200 * 249 + 40] = 0x00FF8001u;
    QWidget* pViewport = pView->viewport();

    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_EQ(Pane(), QString());
    // Moves without a press show nothing.
    SendMove(pViewport, QPoint(10, 20), Qt::NoButton);
    EXPECT_EQ(Pane(), QString());

    QTest::mousePress(pViewport, Qt::LeftButton, {}, QPoint(10, 20));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeReadout);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(10,279) rgb=(17,34,51)"));
    SendMove(pViewport, QPoint(40, 50), Qt::LeftButton);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(40,249) rgb=(1,128,255)"));
    // Outside the picture (above its top row, and right of it): black.
    SendMove(pViewport, QPoint(40, -3), Qt::LeftButton);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(40,302) rgb=(0,0,0)"));
    SendMove(pViewport, QPoint(200, 0), Qt::LeftButton);
    EXPECT_EQ(Pane(), QStringLiteral("xy=(200,299) rgb=(0,0,0)"));
    QTest::mouseRelease(pViewport, Qt::LeftButton, {}, QPoint(200, 0));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeIdle);
    EXPECT_EQ(Pane(), QString());
    SendMove(pViewport, QPoint(10, 20), Qt::NoButton);
    EXPECT_EQ(Pane(), QString());
}

TEST_F(ViewInputTest, PaneFollowsTheModeOfTheSelections)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    QWidget* pViewport = pView->viewport();

    // Crack points finished: presses update the pane, moves do not.
    pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    pView->m_nPointStage = -1;
    QTest::mousePress(pViewport, Qt::LeftButton, {}, QPoint(3, 4));
    EXPECT_TRUE(Pane().startsWith(QStringLiteral("xy=(3,295) rgb=(")));
    SendMove(pViewport, QPoint(30, 40), Qt::LeftButton);
    EXPECT_TRUE(Pane().startsWith(QStringLiteral("xy=(3,295) ")));
    QTest::mouseRelease(pViewport, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_EQ(pView->m_nMode, CVeltroInterfaceView::modeCrackPoints);
    EXPECT_TRUE(Pane().startsWith(QStringLiteral("xy=(3,295) ")));

    // Crease region: the readout is taken but the pane stays blank.
    pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
    pView->UpdatePixelInfo();
    EXPECT_EQ(Pane(), QString());
    QTest::mousePress(pViewport, Qt::LeftButton, {}, QPoint(7, 8));
    EXPECT_TRUE(pView->m_strStatus.startsWith(QStringLiteral("xy=(7,291) ")));
    EXPECT_EQ(Pane(), QString());
    pView->m_nMode = CVeltroInterfaceView::modeIdle;
}

// --- Selection feedback ----------------------------------------------------

namespace {

// Collects the areas the viewport paints.
class PaintSpy : public QObject
{
public:
    QRegion m_painted;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent*>(pEvent)->region();
        return false;
    }
};

bool Covers(const QRegion& region, const QRect& rc)
{
    return (QRegion(rc) - region).isEmpty();
}

} // namespace

TEST_F(ViewInputTest, MovesRepaintWhereTheFeedbackWasAndWhereItNowIs)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    QWidget* pViewport = pView->viewport();
    pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
    QTest::mousePress(pViewport, Qt::LeftButton, {}, QPoint(10, 60));
    SendMove(pViewport, QPoint(50, 90), Qt::LeftButton);
    ProcessEvents(20);

    PaintSpy spy;
    pViewport->installEventFilter(&spy);
    SendMove(pViewport, QPoint(120, 200), Qt::LeftButton);
    ProcessEvents(20);
    pViewport->removeEventFilter(&spy);
    // The whole new rectangle is drawn at once, not only the old one; and not
    // the whole view.
    EXPECT_TRUE(Covers(spy.m_painted, QRect(QPoint(10, 60), QPoint(120, 200))));
    EXPECT_FALSE(Covers(spy.m_painted, pViewport->rect()));

    // Shown inverted: the picture's colour turned over inside, as it was outside.
    const QImage shot = pViewport->grab().toImage();
    const QRgb inside = shot.pixel(80, 150);
    const QRgb outside = shot.pixel(150, 250);
    EXPECT_NEAR(qRed(inside), 255 - qRed(outside), 2);
    EXPECT_NEAR(qGreen(inside), 255 - qGreen(outside), 2);
    EXPECT_NEAR(qBlue(inside), 255 - qBlue(outside), 2);
    // Left without completing the region (which would run the engine).
    pView->m_nMode = CVeltroInterfaceView::modeIdle;
    QTest::mouseRelease(pViewport, Qt::LeftButton, {}, QPoint(120, 200));
}

TEST_F(ViewInputTest, CrackLineFollowsThePointerWithOrWithoutAButton)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    QWidget* pViewport = pView->viewport();
    // A first point already given.
    pView->m_nMode = CVeltroInterfaceView::modeCrackPoints;
    pView->m_nPointStage = 1;
    pView->m_rcSelection.Set(20, 200, 20, 200);

    SendMove(pViewport, QPoint(90, 120), Qt::NoButton);
    SendMove(pViewport, QPoint(150, 200), Qt::NoButton);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{20, 200, 150, 200}));
    ProcessEvents(20);
    const QImage shot = pViewport->grab().toImage();
    EXPECT_TRUE(IsRed(shot.pixel(80, 200)));
    // Nothing left of the line's former place.
    EXPECT_FALSE(IsRed(shot.pixel(55, 160)));
    SendMove(pViewport, QPoint(160, 250), Qt::RightButton);
    EXPECT_EQ(pView->m_rcSelection, (CSelectionRect{20, 200, 160, 250}));
    pView->m_nPointStage = -1;
    pView->m_rcSelection.SetNone();
}

struct DragButtons
{
    const char* pszName;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    bool bFollows;
};

TEST_F(ViewInputTest, CreaseCornerFollowsOnlyTheLeftButtonAlone)
{
    CVeltroInterfaceView* pView = OpenPicture();
    ASSERT_NE(pView, nullptr);
    QWidget* pViewport = pView->viewport();
    const DragButtons cases[] = {
        {"left", Qt::LeftButton, Qt::NoModifier, true},
        {"left+alt", Qt::LeftButton, Qt::AltModifier, true},
        {"left+shift", Qt::LeftButton, Qt::ShiftModifier, false},
        {"left+ctrl", Qt::LeftButton, Qt::ControlModifier, false},
        {"left+right", Qt::LeftButton | Qt::RightButton, Qt::NoModifier, false},
        {"none", Qt::NoButton, Qt::NoModifier, false},
    };
    for (const DragButtons& c : cases) {
        SCOPED_TRACE(c.pszName);
        pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
        pView->m_rcSelection.Set(10, 20, 30, 30);
        SendMove(pViewport, QPoint(50, 40), c.buttons, c.modifiers);
        EXPECT_EQ(pView->m_rcSelection, c.bFollows ? (CSelectionRect{10, 20, 50, 40}) : (CSelectionRect{10, 20, 30, 30}));
    }
    // Without a press nothing is marked, and a move marks nothing.
    pView->m_rcSelection.SetNone();
    SendMove(pViewport, QPoint(50, 40), Qt::LeftButton);
    EXPECT_TRUE(pView->m_rcSelection.IsNone());
    pView->m_nMode = CVeltroInterfaceView::modeIdle;
}
