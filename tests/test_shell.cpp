// The application shell as a user meets it: start-up, menus, the status bar,
// opening files, the recent files, Save As, several windows on a document.
#include "support/AppFixture.h"
#include "support/UiTestHelpers.h"

#include "res/ResourceIds.h"

#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

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

// A file named on the command line is not opened; menus, commands and titles
// follow the windows; File > New names documents in turn.
TEST_F(ShellTest, FileArgumentIsIgnoredAndMenusFollowTheWindows)
{
    const QString strPath = MakeJpeg(QStringLiteral("arg.jpg"), 8, 8, Qt::red);
    StopApp();
    StartApp({QStringLiteral("/Embedding"), strPath});
    EXPECT_EQ(WindowCount(), 0);
    EXPECT_EQ(MenuTitles(m_pFrame), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_FALSE(m_pFrame->Action(ids::ID_PROCESSING_BLOTCH)->isEnabled());
    EXPECT_EQ(m_pFrame->StatusBar()->currentMessage(), QStringLiteral("Ready"));
    // The pixel pane is wide enough for the longest readout.
    QLabel* pPane = m_pFrame->PixelInfoPane();
    EXPECT_TRUE(pPane->text().isEmpty());
    EXPECT_GE(pPane->width(), QFontMetrics(pPane->font()).horizontalAdvance("xy=(0000,0000) rgb=(255,255,255)"));

    ASSERT_NE(OpenImage(strPath), nullptr);
    EXPECT_EQ(MenuTitles(m_pFrame), (QStringList{"&File", "&Edit", "&View", "Processing", "&Window", "&Help"}));
    for (int nId : {ids::ID_PROCESSING_BLOTCH, ids::ID_PROCESSING_CRACK, ids::ID_PROCESSING_FOXING,
                    ids::ID_PROCESSING_CREASE})
        EXPECT_TRUE(m_pFrame->Action(nId)->isEnabled()) << nId;
    EXPECT_FALSE(m_pFrame->Action(ids::ID_FILE_SAVE)->isEnabled());
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface - arg.jpg   100.0%"));

    m_pFrame->MdiArea()->closeAllSubWindows();
    ProcessEvents();
    EXPECT_EQ(MenuTitles(m_pFrame), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface"));
    EXPECT_FALSE(m_pFrame->Action(ids::ID_PROCESSING_CRACK)->isEnabled());
    ASSERT_NE(NewDocument(), nullptr);
    EXPECT_EQ(ActiveView()->GetDocument()->GetTitle(), QStringLiteral("Veltro1"));
    NewDocument();
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface - Veltro2"));
}

// Opening the same file again brings its window back; any extension opens.
TEST_F(ShellTest, SameFileOpensOnceAndAnyExtensionOpens)
{
    const QString strPath = MakeJpeg(QStringLiteral("twice.jpg"), 16, 8, Qt::blue);
    ASSERT_NE(OpenImage(strPath), nullptr);
    NewDocument();
    ASSERT_EQ(WindowCount(), 2);
    m_openFileAnswers << strPath;
    m_pApp->OnFileOpen();
    ProcessEvents();
    EXPECT_EQ(WindowCount(), 2);
    EXPECT_EQ(ActiveView()->GetDocument()->m_strImagePath, strPath);

    CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("scan.jpeg.bak"), 4, 4, Qt::green));
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(pView->GetDocument()->GetDocTemplate(), m_pApp->m_pDocTemplates[0]);
    EXPECT_NE(pView->GetDocument()->m_pImage, nullptr);
}

TEST_F(ShellTest, UndecodableOrMissingFileIsReportedAndOpensNoWindow)
{
    const QString strPath = m_tempDir.filePath(QStringLiteral("notes.jpg"));
    ASSERT_TRUE(uitest::WriteFile(strPath, "this is not a picture"));
    EXPECT_EQ(OpenImage(strPath), nullptr);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.at(0).contains(strPath));
    EXPECT_TRUE(m_messages.at(0).contains(QStringLiteral("not a JPEG, TIFF or PNG picture")))
        << qPrintable(m_messages.at(0));
    EXPECT_EQ(WindowCount(), 0);
    EXPECT_TRUE(m_pApp->RecentFiles().isEmpty());

    const QString strGone = m_tempDir.filePath(QStringLiteral("gone.jpg"));
    EXPECT_EQ(OpenImage(strGone), nullptr);
    EXPECT_EQ(m_messages.value(1), strGone + QStringLiteral(" was not found."));
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

// Save As copies the file; its own file, and a target that cannot be
// written, are reported with their paths and the original stays as it was.
// The chooser offers the kind of file the picture is, whatever its name.
TEST_F(ShellTest, SaveAsCopiesWithoutTouchingTheOriginal)
{
    const QString strPath = MakeJpeg(QStringLiteral("original.jpg"), 12, 10, Qt::darkCyan);
    const QByteArray bytes = uitest::ReadFile(strPath);
    ASSERT_NE(OpenImage(strPath), nullptr);
    const QString strCopy = m_tempDir.filePath(QStringLiteral("copy.jpg"));
    const QString strBad = m_tempDir.filePath(QStringLiteral("missing/dir/copy.jpg"));
    m_saveFileAnswers << strCopy << strPath << strBad;
    for (int i = 0; i < 3; ++i)
        m_pFrame->OnFileSaveAs();
    EXPECT_EQ(uitest::ReadFile(strCopy), bytes);
    EXPECT_EQ(uitest::ReadFile(strPath), bytes);
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_TRUE(m_messages.at(0).contains(strPath));
    EXPECT_TRUE(m_messages.at(1).contains(strBad));

    const QString strPng = m_tempDir.filePath(QStringLiteral("png_inside.jpg"));
    ASSERT_TRUE(QImage(strPath).save(strPng, "PNG"));
    ASSERT_NE(OpenImage(strPng), nullptr);
    m_pFrame->OnFileSaveAs();
    EXPECT_EQ(m_saveFileFilters, (QStringList(3, QStringLiteral("JPG Image (*.jpg *.jpeg);;All Files (*.*)"))
                                  << QStringLiteral("PNG Image (*.png);;All Files (*.*)")));
}

TEST_F(ShellTest, NewWindowSharesTheDocumentAndClosingTheLastDestroysIt)
{
    CVeltroInterfaceView* pView = OpenImage(MakeJpeg(QStringLiteral("shared.jpg"), 20, 10, Qt::yellow));
    ASSERT_NE(pView, nullptr);
    QPointer<CVeltroInterfaceDoc> pDoc = pView->GetDocument();
    m_pFrame->OnWindowNew();
    ProcessEvents();
    ASSERT_EQ(WindowCount(), 2);
    EXPECT_EQ(ActiveView()->GetDocument(), pDoc.data());
    EXPECT_TRUE(ActiveFrame()->windowTitle().endsWith(QStringLiteral(":2")));

    ActiveFrame()->close();
    ProcessEvents();
    EXPECT_FALSE(pDoc.isNull());
    m_pFrame->MdiArea()->closeAllSubWindows();
    ProcessEvents(100);
    EXPECT_TRUE(pDoc.isNull());
}
