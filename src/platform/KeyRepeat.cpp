#include "KeyRepeat.h"

#ifdef TESSROOK_WITH_X11
#include <QGuiApplication>
#include <X11/XKBlib.h>
#endif

namespace KeyRepeat {

bool makeDetectable() {
#ifdef TESSROOK_WITH_X11
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return false;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) return false;
    Bool supported = False;
    // The flag belongs to this client's connection: other programs keep the repeat they chose.
    return XkbSetDetectableAutoRepeat(x11->display(), True, &supported) && supported;
#else
    return false;
#endif
}

} // namespace KeyRepeat
