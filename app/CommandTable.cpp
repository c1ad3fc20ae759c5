#include "app/CommandTable.h"

#include "res/ArtPaths.h"
#include "res/ResourceIds.h"

using namespace ids;

const QList<CommandInfo>& CommandTable()
{
    static const QList<CommandInfo> table = {
        {ID_FILE_NEW, "&New\tCtrl+N", "Create a new document", "New", nullptr,
         {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document", "Open", art::kToolbarOpen,
         {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {ID_FILE_CLOSE, "&Close", "Close the active document", "Close", nullptr, {}},
        {ID_FILE_SAVE, "&Save\tCtrl+S", "Save the active document", "Save", art::kToolbarSave,
         {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {ID_FILE_SAVE_AS, "Save &As...", "Save the active document with a new name", "Save As", nullptr, {}},
        {ID_FILE_PRINT, "&Print...\tCtrl+P", "Print the active document", "Print", art::kToolbarPrint,
         {QKeySequence(Qt::CTRL | Qt::Key_P)}},
        {ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Display full pages", "Print Preview", nullptr, {}},
        {ID_FILE_PRINT_SETUP, "P&rint Setup...", "Change the printer and printing options", "Print Setup",
         nullptr, {}},
        {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents", "Exit", nullptr, {}},
        {ID_EDIT_UNDO, "&Undo\tCtrl+Z", "Undo the last action", "Undo", nullptr,
         {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)}},
        {ID_EDIT_CUT, "Cu&t\tCtrl+X", "Cut the selection and put it on the Clipboard", "Cut", art::kToolbarCut,
         {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {ID_EDIT_COPY, "&Copy\tCtrl+C", "Copy the selection and put it on the Clipboard", "Copy",
         art::kToolbarCopy, {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {ID_EDIT_PASTE, "&Paste\tCtrl+V", "Insert Clipboard contents", "Paste", art::kToolbarPaste,
         {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar", nullptr, {}},
        {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar", "Toggle StatusBar", nullptr, {}},
        {ID_VIEW_FIT_WINDOW, "&Fit in Window\tCtrl+0", "Show the whole picture as large as the window allows",
         "Fit in Window", nullptr, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
        {ID_VIEW_ACTUAL_PIXELS, "&Actual Pixels\tCtrl+1", "Show one picture pixel on one screen pixel",
         "Actual Pixels", nullptr, {QKeySequence(Qt::CTRL | Qt::Key_1)}},
        {ID_VIEW_SHOW_CHANGES, "Show &Changes\tCtrl+H", "Tint the pixels the restoration changed", "Show Changes",
         nullptr, {QKeySequence(Qt::CTRL | Qt::Key_H)}},
        {ID_PROCESSING_BLOTCH, "Blotch", "Blotch processing", "Blotch", art::kToolbarBlotch, {}},
        {ID_PROCESSING_CRACK, "Crack", "Crack processing", "Crack", art::kToolbarCrack, {}},
        {ID_PROCESSING_FOXING, "Foxing", "Remove foxing", "Foxing", art::kToolbarFoxing, {}},
        {ID_PROCESSING_CREASE, "Crease", "Crease processing", "Crease", art::kToolbarCrease, {}},
        {ID_PROCESSING_PAINT_MASK, "Paint Blotch &Mask\tCtrl+M",
         "Paint the blotches with the mouse: left button paints, right button erases, [ and ] change the brush",
         "Paint Blotch Mask", nullptr, {QKeySequence(Qt::CTRL | Qt::Key_M)}},
        {ID_WINDOW_NEW, "&New Window", "Open another window for the active document", "New Window", nullptr, {}},
        {ID_WINDOW_CASCADE, "&Cascade", "Arrange windows so they overlap", "Cascade Windows", nullptr, {}},
        {ID_WINDOW_TILE_HORZ, "&Tile", "Arrange windows as non-overlapping tiles", "Tile Windows", nullptr, {}},
        {ID_WINDOW_ARRANGE, "&Arrange Icons", "Arrange icons at the bottom of the window", "Arrange Icons",
         nullptr, {}},
        {ID_WINDOW_COMPARE, "Compare with &Source\tCtrl+K",
         "Show the result beside its source, zoomed and scrolled together; hold \\ to see the source in its place",
         "Compare with Source", art::kToolbarCompare, {QKeySequence(Qt::CTRL | Qt::Key_K)}},
        {ID_WINDOW_NEXT, "Ne&xt Window\tCtrl+Tab", "Switch to the next window", "Next Window", nullptr,
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_F6)}},
        {ID_WINDOW_PREV, "Pre&vious Window\tCtrl+Shift+Tab", "Switch to the previous window", "Previous Window",
         nullptr,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6)}},
        {ID_WINDOW_MORE, "&More Windows...", "Choose among all the open windows", "More Windows", nullptr, {}},
        {ID_APP_ABOUT, "&About VeltroInterface...", "Display program information, version number and copyright",
         "About", art::kToolbarAbout, {}},
        {ID_NEXT_PANE, "", "Switch to the next window pane", "Next Pane", nullptr, {QKeySequence(Qt::Key_F6)}},
        {ID_PREV_PANE, "", "Switch back to the previous window pane", "Previous Pane", nullptr,
         {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
    };
    return table;
}

const CommandInfo* FindCommand(int nId)
{
    for (const CommandInfo& info : CommandTable()) {
        if (info.nId == nId)
            return &info;
    }
    return nullptr;
}

const QList<int>& ToolbarLayout()
{
    static const QList<int> layout = {
        ID_FILE_OPEN, ID_FILE_SAVE, 0,
        ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0,
        ID_FILE_PRINT, 0,
        ID_PROCESSING_BLOTCH, ID_PROCESSING_CRACK, ID_PROCESSING_FOXING, ID_PROCESSING_CREASE, 0,
        ID_WINDOW_COMPARE, 0,
        ID_APP_ABOUT,
    };
    return layout;
}
