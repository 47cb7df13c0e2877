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

std::optional<bool> isDown(quint32 keyCode) {
#ifdef TESSROOK_WITH_X11
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || keyCode > 255) return std::nullopt;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) return std::nullopt;
    char keys[32] = {};
    XQueryKeymap(x11->display(), keys);
    return (keys[keyCode / 8] >> (keyCode % 8) & 1) != 0;
#else
    Q_UNUSED(keyCode);
    return std::nullopt;
#endif
}

} // namespace KeyRepeat
