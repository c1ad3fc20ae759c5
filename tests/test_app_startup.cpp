#include "support/AppFixture.h"

#include "app/CMainFrame.h"
#include "app/CVeltroInterfaceApp.h"
#include "document/CVeltroInterfaceDoc.h"
#include "res/ResourceIds.h"
#include "view/CVeltroInterfaceView.h"

#include <QMdiArea>

using StartupTest = AppFixture;

TEST_F(StartupTest, StartsWithEmptyWorkspaceAndFileNewNamesDocuments)
{
    EXPECT_TRUE(m_pFrame->MdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(m_pFrame->CurrentMenuId(), ids::IDR_MAINFRAME);
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface"));

    m_pApp->OnFileNew();
    ProcessEvents();
    ASSERT_NE(ActiveView(), nullptr);
    EXPECT_EQ(ActiveView()->GetDocument()->GetTitle(), QStringLiteral("Veltro1"));
    m_pApp->OnFileNew();
    ProcessEvents();
    EXPECT_EQ(ActiveView()->GetDocument()->GetTitle(), QStringLiteral("Veltro2"));
    EXPECT_EQ(m_pFrame->CurrentMenuId(), ids::IDR_VELTROTYPE);
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("VeltroInterface - Veltro2"));
}
