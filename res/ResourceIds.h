#pragma once
// Numeric resource and command identifiers of the program. They are the ids
// the menus, the toolbar, the status bar and the dialogs are built from; the
// rest of the code refers to them only by these names.

namespace ids {

// Resources: main frame, document templates, dialogs, bitmaps.
constexpr int IDR_MAINFRAME = 128;          // menu 128, toolbar 128, caption string
constexpr int IDR_VELTROTYPE = 130;         // template 0: photographs, menu 130
constexpr int IDR_BLOTCHTYPE = 149;         // template 1: blotch results
constexpr int IDR_CRACKTYPE = 152;          // template 2: crack results
constexpr int IDR_FOXTYPE = 154;            // template 3: foxing results
constexpr int IDR_CREASETYPE = 159;         // template 4: crease results
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDB_SPLASH = 102;
constexpr int IDB_LOGO = 138;
constexpr int IDD_BLOTCH = 130;
constexpr int IDD_CRACK = 139;
constexpr int IDD_FOXING = 153;
constexpr int IDD_CREASE = 158;

// Strings.
constexpr int IDS_APP_TITLE = 57344;        // "VeltroInterface"
constexpr int IDS_IDLEMESSAGE = 57345;      // "Ready"

// File menu.
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_CLOSE = 57602;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_SAVE_AS = 57604;
constexpr int ID_FILE_PRINT_SETUP = 57606;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_DIRECT = 57608;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_FILE_MRU_FILE1 = 57616;    // ... up to 57631
constexpr int ID_FILE_MRU_LAST = 57631;
constexpr int ID_APP_EXIT = 57665;

// Edit menu (nobody serves these; they stay greyed).
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_PASTE = 57637;

// View menu: the ids of the bars they toggle.
constexpr int ID_VIEW_TOOLBAR = 59392;      // also the toolbar's control id
constexpr int ID_VIEW_STATUS_BAR = 59393;   // also the status bar's control id
constexpr int ID_VIEW_FIT_WINDOW = 32778;
constexpr int ID_VIEW_ACTUAL_PIXELS = 32779;
constexpr int ID_VIEW_SHOW_CHANGES = 32777;

// Processing menu.
constexpr int ID_PROCESSING_BLOTCH = 32771;
constexpr int ID_PROCESSING_CRACK = 32772;
constexpr int ID_PROCESSING_FOXING = 32773;
constexpr int ID_PROCESSING_CREASE = 32774;
constexpr int ID_PROCESSING_PAINT_MASK = 32775;

// Window menu.
constexpr int ID_WINDOW_NEW = 57648;
constexpr int ID_WINDOW_ARRANGE = 57649;
constexpr int ID_WINDOW_CASCADE = 57650;
constexpr int ID_WINDOW_TILE_HORZ = 57651;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;
constexpr int ID_WINDOW_COMPARE = 32776;
constexpr int ID_WINDOW_NEXT = 32780;
constexpr int ID_WINDOW_PREV = 32781;
// The Window menu's list: the first nine windows, then "More Windows...".
constexpr int AFX_IDM_FIRST_MDICHILD = 0xFF00;
constexpr int ID_WINDOW_MORE = AFX_IDM_FIRST_MDICHILD + 9;

// Help menu.
constexpr int ID_APP_ABOUT = 57664;

// Status bar panes.
constexpr int ID_SEPARATOR = 0;
constexpr int ID_INDICATOR_PIXELINFO = 59142;
constexpr int ID_INDICATOR_CAPS = 59137;
constexpr int ID_INDICATOR_NUM = 59138;
constexpr int ID_INDICATOR_SCRL = 59139;

// Dialog controls.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
// Blotch dialog (130).
constexpr int IDC_BLOTCH_DIST_LABEL = 1000;
constexpr int IDC_BLOTCH_WIDTH_LABEL = 1001;
constexpr int IDC_BLOTCH_DIST = 1002;
constexpr int IDC_BLOTCH_WIDTH = 1003;
constexpr int IDC_BLOTCH_BROWSE = 1004;
constexpr int IDC_BLOTCH_MASK = 1006;
constexpr int IDC_BLOTCH_OUTPUT = 1013;
// Crack dialog (139).
constexpr int IDC_CRACK_DEGSTEP = 1019;
constexpr int IDC_CRACK_WHITE = 1020;
constexpr int IDC_CRACK_OUTPUT = 1021;
constexpr int IDC_CRACK_DEGSTART = 1022;
constexpr int IDC_CRACK_DEGSTOP = 1023;
// About box (100).
constexpr int IDC_RELEASE = 1024;
// Foxing dialog (153).
constexpr int IDC_FOX_AMPLITUDE = 1025;
constexpr int IDC_FOX_DIST = 1026;
constexpr int IDC_FOX_WIDTH = 1027;
constexpr int IDC_FOX_OUTPUT = 1028;
// Crease dialog (158).
constexpr int IDC_CREASE_OUTPUT = 1029;
constexpr int IDC_CREASE_THRESHOLD = 1030;
constexpr int IDC_CREASE_FILTER = 1031;
constexpr int IDC_CREASE_AVG = 1032;

} // namespace ids
