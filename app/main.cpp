#include "app/CVeltroInterfaceApp.h"

#include <cstdio>
#include <cstdlib>

// Qt aborts with a terse platform-plugin error when there is no display;
// say plainly what is needed instead.
static bool DisplayAvailable()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0')
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

int main(int argc, char* argv[])
{
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "VeltroInterface is a desktop program and needs a display, but none was found\n"
                     "(neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it from a desktop session, or on a machine without one run it under a\n"
                     "virtual display:\n"
                     "    xvfb-run -s \"-screen 0 1600x1000x24\" build/bin/VeltroInterface\n");
        return 1;
    }
    CVeltroInterfaceApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
