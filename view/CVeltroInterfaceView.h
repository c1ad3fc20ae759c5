#pragma once

#include "document/CVeltroInterfaceDoc.h"
#include "view/CSelectionRect.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>

class CChildFrame;
class CDisplayCache;
class CDocTemplate;
class CVeltroInterfaceDoc;
class QPainter;
class QPrinter;

// The one view of an image document: draws the picture at the document's
// zoom with scrolling, fits its frame and titles the document after a load or
// a zoom change, shows the prompts and feedback of the crack and crease
// selections, feeds the position-and-colour readout to the status bar, and
// handles the four restoration commands. The other modes of a window
// (painting the blotch mask, comparing with the source, showing the changes)
// are objects of their own (view/CViewTool.h) that it hands its input and
// its paint to.
//
// Positions handled by the view are display positions: the pointer position
// plus the scroll offset, so (0, 0) is the top-left corner of the picture as
// shown and every position names the pixel under the pointer.
class CVeltroInterfaceView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    enum Mode : int32_t
    {
        modeIdle = 0,          // nothing pending
        modeReadout = 1,       // left button held: readout follows the pointer
        modeCrackPoints = 2,   // crack end points are being clicked
        modeCreaseRegion = 3,  // a crease region is being dragged
    };

    explicit CVeltroInterfaceView(CVeltroInterfaceDoc* pDoc, QWidget* pParent = nullptr);
    ~CVeltroInterfaceView() override;

    CVeltroInterfaceDoc* GetDocument() const { return m_pDocument; }
    CChildFrame* GetParentFrame() const;

    // --- Interaction state, shared with the selections and the commands ---
    int32_t m_nMode = modeIdle;
    QString m_strStatus;            // readout text "xy=(%d,%d) rgb=(%d,%d,%d)"
    int32_t m_bEngineFailed = 0;    // nonzero: the last engine run could not start
    CSelectionRect m_rcSelection;   // in display pixels; all -1: nothing marked
    int32_t m_nPointStage = -1;     // crack: -1 none/finished, 0 first point, 1 second point

    // First layout after the view is shown: a provisional scroll range. A
    // view of a picture keeps the busy cursor (which covered the loading)
    // until its first paint has drawn the picture.
    void OnInitialUpdate();

    // The one drawing routine for the screen, printing and print preview.
    // rcExposed is the area to draw, in display pixels (the painter is
    // already translated so that (0, 0) is the picture's top-left corner);
    // bScreen is false when drawing for a printer or a preview page.
    void OnDraw(QPainter& painter, const QRect& rcExposed, bool bScreen = true);

    // The text status pane 59142 shows for this view: the readout in
    // modeReadout and modeCrackPoints, blank otherwise.
    QString OnUpdatePixelInfo() const;

    // Printing: with the print dialog, directly on the current printer, and
    // the print preview; all three draw the pages through OnDraw.
    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();
    // Draws the document's page(s) onto an already set-up printer.
    void PrintTo(QPrinter& printer);

    // --- Pointer and keys (view/ViewInput.cpp) ---
    void ClientToImage(CVeltroInterfaceDoc* pDoc, int32_t x, int32_t y, int32_t& nColumn, int32_t& nRow) const;
    void OnKeyDown(int nKey);
    void OnLButtonDown(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, const QPoint& point);
    void OnMouseMove(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, const QPoint& point);
    void OnLButtonUp(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, const QPoint& point);
    // Display position of a point in viewport coordinates (adds the scroll offset).
    QPoint ViewportToDisplay(const QPoint& point) const;
    QPoint ScrollOffset() const;

    // --- Getting around (view/ViewInput.cpp) ---
    // Zooms to a step the picture allows, keeping the picture point at the
    // viewport position anchor where it is, and lays the view out at once.
    void SetZoom(int32_t nZoom, const QPoint& anchor);
    // View > Fit in Window: the largest step at which the whole picture fits
    // the room the window can have (the workspace, or the window itself when
    // it is maximised or placed by a comparison). View > Actual Pixels: zoom
    // 1, the middle of the view kept in place.
    void OnViewFitInWindow();
    void OnViewActualPixels();
    // The layout the next paint would do (scroll range, frame fit, title),
    // done now; then scrolls to a position (clamped to the range).
    void LayOut();
    void ScrollTo(const QPoint& scroll);
    // The picture as shown, within two thirds of the workspace: the size
    // Window > Cascade (and a new window's first placement) gives the view.
    QSize sizeHint() const override;

    // --- The four restorations (processing/) ---
    void OnProcessingBlotch();
    void OnProcessingCrack();
    void OnProcessingFoxing();
    void OnProcessingCrease();

    // Steps of the crack and crease selections, run by the pointer handlers
    // (processing/CrackCommand.cpp, processing/CreaseCommand.cpp). Points are
    // display positions with their (column, row).
    void OnCrackFirstPoint(const QPoint& point, int32_t nColumn, int32_t nRow);
    void OnCrackSecondPoint(int32_t nColumn, int32_t nRow);
    void OnCreaseComplete();

    // Starts the engine and waits for it: 0 when it was started and has
    // ended, 1 (after "CreateProcess failed.") when it could not be started.
    int RunEngine(const QStringList& arguments);

    // The run shared by the four operations, once the parameter file is
    // complete and closed: run the engine with the operation's switch, store
    // the result in m_bEngineFailed, open the output through the result
    // template on success, and repaint this view in either case.
    void RunEngineSequence(const QString& strSwitch, const QString& strParamFile,
                           const QString& strOutput, int nResultTemplate);

    // Writes (or appends) a parameter file; when it cannot be written, tells
    // the user which file and why, and returns false.
    static bool WriteParamFileOrReport(const QString& strPath, const QByteArray& lines, bool bAppend);

    // Sends the pane text to the status bar if this view is the active one.
    void UpdatePixelInfo();

    // Repaint of the whole view (with or without erasing, which is the same
    // here) and of one area in display pixels.
    void InvalidateAll();
    void InvalidateDisplayRect(const QRect& rcDisplay);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void keyReleaseEvent(QKeyEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    bool viewportEvent(QEvent* pEvent) override;

private:
    // The view's modes (view/CViewTool.h) see its input first and hear of
    // its moves.
    bool OfferToTools(QEvent* pEvent);
    void ToolsMoved();
    bool KeepsFrame() const;

    void SetScrollSizes(int64_t nWidth, int64_t nHeight);
    void FitFrameAndRetitle(int64_t nDisplayWidth, int64_t nDisplayHeight);
    void RefuseDisplay(const QString& strMessage);
    void SetBusyUntilDrawn(bool bBusy);
    void WatchCache(CDisplayCache* pCache);

    QPointer<CVeltroInterfaceDoc> m_pDocument;
    QPointer<CDisplayCache> m_pWatchedCache;  // repaints this view as its levels come
    bool m_bProvisional = false;   // a paint since the last level came was drawn provisionally
    bool m_bBusyUntilDrawn = false;
    int64_t m_nScrollWidth = 0;
    int64_t m_nScrollHeight = 0;
    int m_nWheelDelta = 0;   // Ctrl + wheel: what is left over from whole steps
};
