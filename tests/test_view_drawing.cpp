// What the view draws and how it lays itself out, on real widgets.
#include "support/AppFixture.h"
#include "support/PoolHold.h"
#include "support/UiTestHelpers.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "view/CCompareTool.h"
#include "view/CDisplayCache.h"
#include "view/CVeltroInterfaceView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMdiArea>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>
#include <QTest>
#include <tiffio.h>

namespace {

// A hand-made pixel block: column c of buffer row r (from the bottom) is rgb(10 c, 10 r, 200).
void FillDocument(CVeltroInterfaceDoc* pDoc, int nWidth, int nHeight)
{
    pDoc->m_pImage = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(nWidth) * nHeight * 4));
    for (int r = 0; r < nHeight; ++r)
        for (int c = 0; c < nWidth; ++c)
            pDoc->m_pImage[r * nWidth + c] = uint32_t(10 * c) | (uint32_t(10 * r) << 8) | (200u << 16);
    pDoc->m_nWidth = nWidth;
    pDoc->m_nHeight = nHeight;
    pDoc->m_nChannels = 3;
    pDoc->m_nDisplayState = 1;
}

QImage Render(CVeltroInterfaceView* pView, QSize size, QImage::Format format = QImage::Format_RGB32)
{
    QImage target(size, format);
    target.fill(Qt::black);
    QPainter painter(&target);
    pView->OnDraw(painter, QRect(QPoint(0, 0), size), false);
    painter.end();
    return target;
}

} // namespace

class ViewDrawingTest : public AppFixture
{
protected:
    CVeltroInterfaceView* NewView(int nWidth, int nHeight)
    {
        m_pApp->OnFileNew();
        ProcessEvents();
        CVeltroInterfaceView* pView = ActiveView();
        FillDocument(pView->GetDocument(), nWidth, nHeight);
        return pView;
    }
};

// Upright at the document's zoom; the selection is dropped outside the selection modes, shown inverted in them.
TEST_F(ViewDrawingTest, PaintShowsThePictureUprightAndTheSelectionInverted)
{
    CVeltroInterfaceView* pView = NewView(5, 3);
    const QImage image = Render(pView, QSize(8, 6));
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 20, 200));    // buffer row 2, column 0
    EXPECT_EQ(image.pixel(4, 2), qRgb(40, 0, 200));    // buffer row 0, column 4
    EXPECT_EQ(image.pixel(5, 0), qRgb(0, 0, 0));       // nothing beyond the picture
    EXPECT_EQ(image.pixel(0, 3), qRgb(0, 0, 0));
    pView->GetDocument()->m_nZoom = 3;
    const QImage enlarged = Render(pView, QSize(16, 10));
    EXPECT_EQ(enlarged.pixel(12, 6), qRgb(40, 0, 200));
    EXPECT_EQ(enlarged.pixel(11, 6), qRgb(30, 0, 200));
    pView->GetDocument()->m_nZoom = 1;
    pView->m_rcSelection.Set(1, 2, 3, 4);
    Render(pView, QSize(8, 6));
    EXPECT_TRUE(pView->m_rcSelection.IsNone());
    pView->m_nMode = CVeltroInterfaceView::modeCreaseRegion;
    pView->m_rcSelection.Set(4, 3, 0, 0);   // dragged up and to the left
    EXPECT_EQ(Render(pView, QSize(8, 6)).pixel(2, 1), qRgb(255 - 20, 255 - 10, 255 - 200));
    EXPECT_FALSE(pView->m_rcSelection.IsNone());
}

// The first paint after a zoom change fits the frame to the picture (never beyond the workspace) and titles the zoom.
TEST_F(ViewDrawingTest, FirstPaintFitsTheFrameWithinTheWorkspace)
{
    m_pFrame->resize(700, 500);
    CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("old scan.jpg"), 101, 60, Qt::gray));
    ASSERT_NE(pView, nullptr);
    CVeltroInterfaceDoc* pDoc = pView->GetDocument();
    pView->viewport()->repaint();
    EXPECT_EQ(pDoc->m_nDisplayState, 2);
    EXPECT_EQ(pView->viewport()->size(), QSize(101, 60));
    pDoc->m_nZoom = -2;
    pDoc->m_nDisplayState = 1;
    pView->viewport()->repaint();
    EXPECT_EQ(pDoc->GetTitle(), QStringLiteral("old scan.jpg   50.5%"));
    EXPECT_EQ(pView->viewport()->size(), QSize(51, 30));
    pView = OpenImage(MakeJpeg(QStringLiteral("large.jpg"), 1800, 1200, Qt::darkGreen));
    ASSERT_NE(pView, nullptr);
    pView->viewport()->repaint();
    const QSize client = m_pFrame->MdiArea()->viewport()->size();
    const QSize frame = pView->GetParentFrame()->size();
    EXPECT_LE(frame.width(), client.width());
    EXPECT_LE(frame.height(), client.height());
    EXPECT_GT(pView->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(pView->verticalScrollBar()->maximum(), 0);
}

TEST_F(ViewDrawingTest, FewerThan24BitsEndsTheProgram)
{
    Render(NewView(2, 2), QSize(10, 10), QImage::Format_RGB16);
    ProcessEvents(50);
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("The number of colors is less than 24 bits!")});
    EXPECT_FALSE(m_pFrame->isVisible());
}

TEST_F(ViewDrawingTest, PrintPreviewRendersOnePageThroughTheDrawingRoutine)
{
    CVeltroInterfaceView* pView = NewView(40, 30);
    int nPages = -1;
    m_dialogAnswers.push_back([&nPages](QDialog& dlg) {
        if (auto* pPreview = dlg.findChild<QPrintPreviewWidget*>())
            nPages = (pPreview->updatePreview(), pPreview->pageCount());
        return int(QDialog::Rejected);
    });
    pView->OnFilePrintPreview();
    EXPECT_EQ(nPages, 1);
    // The same routine to a PDF: the picture lands on the page.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString strPdf = m_tempDir.filePath(QStringLiteral("page.pdf"));
    printer.setOutputFileName(strPdf);
    pView->PrintTo(printer);
    QFile pdf(strPdf);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray content = pdf.readAll();
    EXPECT_GT(content.size(), 500);
    EXPECT_FALSE(content.contains("/ImageMask"));   // the picture is opaque on paper too
    EXPECT_TRUE(m_messages.isEmpty());
}

// Opening keeps the busy cursor until the picture is drawn, not until its reductions are built; several pictures opened
// at once have theirs built side by side; a window closed while its reductions are being built closes at once.
TEST_F(ViewDrawingTest, PicturesAreDrawnAtOnceAndTheirReductionsFollow)
{
    std::vector<QPointer<CDisplayCache>> caches;
    {
        PoolHold hold(*CDisplayCache::BuildPool());
        for (int i = 0; i < 3; ++i) {
            ASSERT_NE(m_pApp->OpenDocumentFile(MakeJpeg(QStringLiteral("%1.jpg").arg(i), 900 + 300 * i, 700, Qt::red)), nullptr);
            ASSERT_NE(QApplication::overrideCursor(), nullptr);
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            ActiveView()->viewport()->repaint();
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            caches.push_back(CDisplayCache::ForDocument(ActiveView()->GetDocument()));
            EXPECT_FALSE(caches.back()->IsComplete());
        }
    }
    const auto complete = [&] { return std::all_of(caches.begin(), caches.end(), [](auto p) { return p->IsComplete(); }); };
    for (QDeadlineTimer deadline(30000); !complete() && !deadline.hasExpired();)
        ProcessEvents(10);
    EXPECT_TRUE(complete());
    const QPointer<CVeltroInterfaceDoc> pDoc(OpenImage(MakeJpeg(QStringLiteral("big.jpg"), 3000, 2000, Qt::gray))->GetDocument());
    ActiveFrame()->close();
    for (QDeadlineTimer deadline(5000); !pDoc.isNull() && !deadline.hasExpired();)   // slow under the sanitizers
        ProcessEvents(10);
    EXPECT_TRUE(pDoc.isNull());
}

// The source shown in a result window's place (the backslash held) is drawn again as the source's reductions arrive,
// though the result's own are long there.
TEST_F(ViewDrawingTest, TheSourceShownInTheResultsPlaceFollowsItsReductions)
{
    CVeltroInterfaceView* pResult = OpenImage(MakeJpeg(QStringLiteral("result.jpg"), 400, 300, Qt::red));
    ASSERT_NE(pResult, nullptr);
    CDisplayCache::ForDocument(pResult->GetDocument())->WaitUntilComplete();
    PoolHold hold(*CDisplayCache::BuildPool());
    CVeltroInterfaceView* pSource = OpenImage(MakeJpeg(QStringLiteral("source.jpg"), 400, 300, Qt::blue));
    ASSERT_NE(pSource, nullptr);
    const QPointer<CDisplayCache> pCache = CDisplayCache::ForDocument(pSource->GetDocument());
    CCompareTool::Link(pResult, pSource);
    pResult->SetZoom(-4, QPoint(0, 0));
    QTest::keyPress(pResult, Qt::Key_Backslash);
    pResult->viewport()->repaint();
    uitest::PaintSpy spy(pResult->viewport());
    hold.Release();
    for (QDeadlineTimer deadline(30000); !pCache->IsComplete() && !deadline.hasExpired();)
        ProcessEvents(10);
    ProcessEvents(20);
    EXPECT_FALSE(spy.m_painted.isEmpty());
}
