#pragma once
// Resource paths of the program's pictures (see res/resources.qrc and the
// generator in tools/make_art).

namespace art {
constexpr const char* kAppIcon = ":/res/icons/app.png";
constexpr const char* kAppIcon16 = ":/res/icons/app16.png";
constexpr const char* kBlotchIcon = ":/res/icons/blotch.png";
constexpr const char* kBlotchIcon16 = ":/res/icons/blotch16.png";
constexpr const char* kCrackIcon = ":/res/icons/crack.png";
constexpr const char* kCrackIcon16 = ":/res/icons/crack16.png";
constexpr const char* kFoxIcon = ":/res/icons/fox.png";
constexpr const char* kFoxIcon16 = ":/res/icons/fox16.png";
constexpr const char* kCreaseIcon = ":/res/icons/crease.png";
constexpr const char* kCreaseIcon16 = ":/res/icons/crease16.png";

constexpr const char* kToolbarStrip = ":/res/toolbar/toolbar.png";
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

constexpr const char* kSplash = ":/res/splash.png";
constexpr const char* kLogo = ":/res/logo.png";
} // namespace art
