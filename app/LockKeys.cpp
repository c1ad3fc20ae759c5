// Kept apart: the X11 headers define macros (KeyPress, None, ...) that clash
// with Qt's names.
#include "app/LockKeys.h"

#include <QGuiApplication>

#if __has_include(<X11/XKBlib.h>)
#include <X11/XKBlib.h>
#define VELTRO_HAVE_XKB 1
#endif

void QueryLockKeys(bool& bCaps, bool& bNum, bool& bScroll)
{
    bCaps = bNum = bScroll = false;
#ifdef VELTRO_HAVE_XKB
    auto* pX11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (pX11 == nullptr || pX11->display() == nullptr)
        return;
    unsigned int nState = 0;
    if (XkbGetIndicatorState(pX11->display(), XkbUseCoreKbd, &nState) != 0)
        return;
    bCaps = (nState & 0x01) != 0;
    bNum = (nState & 0x02) != 0;
    bScroll = (nState & 0x04) != 0;
#endif
}
