// The application shell as a user meets it: start-up, the document
// templates, menus, toolbar, status bar, the recent files, Save As.
#include "support/AppFixture.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "app/CommandTable.h"
#include "document/CVeltroInterfaceDoc.h"
#include "res/ResourceIds.h"
#include "view/CVeltroInterfaceView.h"

#include <QAction>
#include <QColor>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

using ShellTest = AppFixture;

namespace {
QStringList MenuTitles(CMainFrame* pFrame)
{
    QStringList titles;
    for (QAction* pAction : pFrame->menuBar()->actions())
        titles.append(pAction->text());
    return titles;
}
} // namespace

TEST_F(ShellTest, FileArgumentIsIgnoredAndMenusFollowTheWindows)
{
    const QString strPath = MakeJpeg(QStringLiteral("arg.jpg"), 8, 8, Qt::red);
    StopApp();
    StartApp({QStringLiteral("/Embedding"), strPath});
    EXPECT_TRUE(m_pFrame->MdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(MenuTitles(m_pFrame), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_FALSE(m_pFrame->Action(ids::ID_PROCESSING_BLOTCH)->isEnabled());
    EXPECT_TRUE(m_pFrame->PixelInfoPane()->text().isEmpty());

    ASSERT_NE(OpenImage(strPath), nullptr);
    EXPECT_EQ(MenuTitles(m_pFrame),
              (QStringList{"&File", "&Edit", "&View", "Processing", "&Window", "&Help"}));
    for (int nId : {ids::ID_PROCESSING_BLOTCH, ids::ID_PROCESSING_CRACK, ids::ID_PROCESSING_FOXING,
                    ids::ID_PROCESSING_CREASE})
        EXPECT_TRUE(m_pFrame->Action(nId)->isEnabled()) << nId;
    EXPECT_FALSE(m_pFrame->Action(ids::ID_FILE_SAVE)->isEnabled());
    EXPECT_FALSE(m_pFrame->Action(ids::ID_EDIT_CUT)->isEnabled());
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface - arg.jpg   100.0%"));

    m_pFrame->MdiArea()->closeAllSubWindows();
    ProcessEvents();
    EXPECT_EQ(MenuTitles(m_pFrame), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface"));
    EXPECT_FALSE(m_pFrame->Action(ids::ID_PROCESSING_CRACK)->isEnabled());
}

TEST_F(ShellTest, ToolbarAndCommandTexts)
{
    QList<int> buttons;
    for (QAction* pAction : m_pFrame->ToolBar()->actions())
        buttons.append(pAction->isSeparator() ? 0 : pAction->data().toInt());
    EXPECT_EQ(buttons, ToolbarLayout());
    EXPECT_EQ(m_pFrame->ToolBar()->iconSize(), QSize(16, 15));
    EXPECT_EQ(m_pFrame->toolBarArea(m_pFrame->ToolBar()), Qt::TopToolBarArea);
    EXPECT_EQ(m_pFrame->ToolBar()->allowedAreas(), Qt::AllToolBarAreas);

    QAction* pFoxing = m_pFrame->Action(ids::ID_PROCESSING_FOXING);
    EXPECT_EQ(pFoxing->text(), QStringLiteral("Foxing"));
    EXPECT_EQ(pFoxing->statusTip(), QStringLiteral("Remove foxing"));
    EXPECT_EQ(pFoxing->toolTip(), QStringLiteral("Foxing"));
    QAction* pCopy = m_pFrame->Action(ids::ID_EDIT_COPY);
    EXPECT_EQ(pCopy->shortcuts(), (QList<QKeySequence>{QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}));
    EXPECT_EQ(m_pFrame->Action(ids::ID_APP_ABOUT)->text(), QStringLiteral("&About VeltroInterface..."));
    for (int nId : {ids::ID_FILE_OPEN, ids::ID_FILE_SAVE, ids::ID_EDIT_CUT, ids::ID_EDIT_COPY, ids::ID_EDIT_PASTE,
                    ids::ID_FILE_PRINT, ids::ID_PROCESSING_BLOTCH, ids::ID_PROCESSING_CRACK,
                    ids::ID_PROCESSING_FOXING, ids::ID_PROCESSING_CREASE, ids::ID_APP_ABOUT})
        EXPECT_FALSE(m_pFrame->Action(nId)->icon().isNull()) << nId;
}

TEST_F(ShellTest, StatusBarPanesAndToggles)
{
    QLabel* pPane = m_pFrame->PixelInfoPane();
    const int nWidth = pPane->width();
    const QFontMetrics metrics(pPane->font());
    EXPECT_GE(nWidth, metrics.horizontalAdvance(QStringLiteral("xy=(0000,0000) rgb=(255,255,255)")));
    EXPECT_EQ(m_pFrame->StatusBar()->currentMessage(), QStringLiteral("Ready"));

    QAction* pStatus = m_pFrame->Action(ids::ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(pStatus->isChecked());
    pStatus->trigger();
    EXPECT_FALSE(pStatus->isChecked());
    EXPECT_FALSE(m_pFrame->StatusBar()->isVisible());
    pStatus->trigger();
    ProcessEvents();
    EXPECT_TRUE(m_pFrame->StatusBar()->isVisible());
    EXPECT_EQ(pPane->width(), nWidth);

    QAction* pToolbar = m_pFrame->Action(ids::ID_VIEW_TOOLBAR);
    pToolbar->trigger();
    EXPECT_FALSE(m_pFrame->ToolBar()->isVisible());
    EXPECT_FALSE(pToolbar->isChecked());
    pToolbar->trigger();
    EXPECT_TRUE(m_pFrame->ToolBar()->isVisible());
}

TEST_F(ShellTest, SameFileOpensOnceAndAnyExtensionOpens)
{
    const QString strPath = MakeJpeg(QStringLiteral("twice.jpg"), 16, 8, Qt::blue);
    ASSERT_NE(OpenImage(strPath), nullptr);
    m_pApp->OnFileNew();
    ProcessEvents();
    ASSERT_EQ(m_pFrame->MdiArea()->subWindowList().size(), 2);

    // Through the Open dialog, a second time: the first window comes back.
    m_openFileAnswers << strPath;
    m_pApp->OnFileOpen();
    ProcessEvents();
    EXPECT_EQ(m_pFrame->MdiArea()->subWindowList().size(), 2);
    EXPECT_EQ(ActiveView()->GetDocument()->m_strImagePath, strPath);

    const QString strOther = MakeJpeg(QStringLiteral("scan.jpeg.bak"), 4, 4, Qt::green);
    CVeltroInterfaceView* pView = OpenImage(strOther);
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(pView->GetDocument()->GetDocTemplate(), m_pApp->m_pDocTemplates[0]);
    EXPECT_NE(pView->GetDocument()->m_pImage, nullptr);
}

TEST_F(ShellTest, UndecodableFileIsReportedAndOpensNoWindow)
{
    const QString strPath = m_tempDir.filePath(QStringLiteral("notes.jpg"));
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a picture");
    file.close();

    EXPECT_EQ(OpenImage(strPath), nullptr);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strPath));
    EXPECT_TRUE(m_messages.at(0).contains(QStringLiteral("Not a JPEG file"))) << m_messages.at(0).toStdString();
    EXPECT_TRUE(m_pFrame->MdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(m_pApp->RecentFiles().isEmpty());

    m_messages.clear();
    EXPECT_EQ(OpenImage(m_tempDir.filePath(QStringLiteral("gone.jpg"))), nullptr);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages.at(0), m_tempDir.filePath(QStringLiteral("gone.jpg")) + QStringLiteral(" was not found."));
}

TEST_F(ShellTest, RecentFilesKeepFourAndSurviveARestart)
{
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << MakeJpeg(QStringLiteral("recent%1.jpg").arg(i), 4, 4, Qt::gray);
        ASSERT_NE(OpenImage(paths.last()), nullptr);
    }
    const QStringList expected{paths[4], paths[3], paths[2], paths[1]};
    EXPECT_EQ(m_pApp->RecentFiles(), expected);

    StopApp();
    StartApp();
    EXPECT_EQ(m_pApp->RecentFiles(), expected);

    // Opening an older entry brings it to the front without duplicating it.
    m_pApp->OnOpenRecentFile(2);
    ProcessEvents();
    EXPECT_EQ(m_pApp->RecentFiles(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
}

TEST_F(ShellTest, SaveAsCopiesWithoutTouchingTheOriginal)
{
    const QString strPath = MakeJpeg(QStringLiteral("original.jpg"), 12, 10, Qt::darkCyan);
    QFile original(strPath);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    ASSERT_NE(OpenImage(strPath), nullptr);

    const QString strCopy = m_tempDir.filePath(QStringLiteral("copy.jpg"));
    m_saveFileAnswers << strCopy;
    m_pFrame->OnFileSaveAs();
    QFile copy(strCopy);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), bytes);
    EXPECT_TRUE(m_messages.isEmpty());

    // Its own file is refused, and left as it was.
    m_saveFileAnswers << strPath;
    m_pFrame->OnFileSaveAs();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strPath));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), bytes);
    original.close();

    // A target that cannot be written is reported with its path.
    m_messages.clear();
    const QString strBad = m_tempDir.filePath(QStringLiteral("missing/dir/copy.jpg"));
    m_saveFileAnswers << strBad;
    m_pFrame->OnFileSaveAs();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strBad));
}

TEST_F(ShellTest, NewWindowSharesTheDocumentAndClosingTheLastDestroysIt)
{
    const QString strPath = MakeJpeg(QStringLiteral("shared.jpg"), 20, 10, Qt::yellow);
    CVeltroInterfaceView* pView = OpenImage(strPath);
    ASSERT_NE(pView, nullptr);
    QPointer<CVeltroInterfaceDoc> pDoc = pView->GetDocument();
    m_pFrame->OnWindowNew();
    ProcessEvents();
    ASSERT_EQ(m_pFrame->MdiArea()->subWindowList().size(), 2);
    EXPECT_EQ(ActiveView()->GetDocument(), pDoc.data());
    EXPECT_TRUE(ActiveView()->GetParentFrame()->windowTitle().endsWith(QStringLiteral(":2")));

    ActiveView()->GetParentFrame()->close();
    ProcessEvents();
    EXPECT_FALSE(pDoc.isNull());
    m_pFrame->MdiArea()->closeAllSubWindows();
    ProcessEvents(100);
    EXPECT_TRUE(pDoc.isNull());
}
