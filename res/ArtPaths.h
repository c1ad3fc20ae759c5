#pragma once
// Resource paths of the program's pictures (res/resources.qrc). The PNG files
// are drawn by tools/make_art; regenerate them with tools/make_art/run.sh.
//
// Toolbar images are 16 x 15 with a 32 x 30 "@2x" companion beside each, which
// QIcon picks up by itself on high-density screens. Window icons come as
// 32 x 32 and 16 x 16; add both to one QIcon.

namespace art {

// Application icon, also the icon of the image windows.
constexpr const char* kAppIcon = ":/res/icons/app.png";
constexpr const char* kAppIcon16 = ":/res/icons/app16.png";

// Icons of the result windows.
constexpr const char* kBlotchIcon = ":/res/icons/blotch.png";     // water drops
constexpr const char* kBlotchIcon16 = ":/res/icons/blotch16.png";
constexpr const char* kCrackIcon = ":/res/icons/crack.png";       // a crack pattern
constexpr const char* kCrackIcon16 = ":/res/icons/crack16.png";
constexpr const char* kFoxIcon = ":/res/icons/fox.png";           // a fox
constexpr const char* kFoxIcon16 = ":/res/icons/fox16.png";
constexpr const char* kCreaseIcon = ":/res/icons/crease.png";     // a folded sheet
constexpr const char* kCreaseIcon16 = ":/res/icons/crease16.png";

// Toolbar images, in toolbar order.
constexpr const char* kToolbarOpen = ":/res/toolbar/open.png";
constexpr const char* kToolbarSave = ":/res/toolbar/save.png";
constexpr const char* kToolbarCut = ":/res/toolbar/cut.png";
constexpr const char* kToolbarCopy = ":/res/toolbar/copy.png";
constexpr const char* kToolbarPaste = ":/res/toolbar/paste.png";
constexpr const char* kToolbarPrint = ":/res/toolbar/print.png";
constexpr const char* kToolbarBlotch = ":/res/toolbar/blotch.png";
constexpr const char* kToolbarCrack = ":/res/toolbar/crack.png";
constexpr const char* kToolbarFoxing = ":/res/toolbar/foxing.png";
constexpr const char* kToolbarCrease = ":/res/toolbar/crease.png";
constexpr const char* kToolbarAbout = ":/res/toolbar/about.png";
constexpr const char* kToolbarCompare = ":/res/toolbar/compare.png";

// All twelve toolbar images side by side (192 x 15), in the order above.
constexpr const char* kToolbarStrip = ":/res/toolbar/toolbar.png";
constexpr int kToolbarImageWidth = 16;
constexpr int kToolbarImageHeight = 15;
constexpr int kToolbarImageCount = 12;

// Splash picture (590 x 602) and the About box's logo (40 x 36).
constexpr const char* kSplash = ":/res/splash.png";
constexpr const char* kLogo = ":/res/logo.png";

} // namespace art
