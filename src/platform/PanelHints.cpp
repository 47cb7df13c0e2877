#include "PanelHints.h"

#ifdef TESSROOK_WITH_X11
#include <QGuiApplication>
#include <QList>
#include <QWindow>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace PanelHints {

#ifdef TESSROOK_WITH_X11
namespace {

Display* display() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

bool mapped(Display* d, Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state != IsUnmapped;
}

// A request to the window manager about a mapped window, as the window-manager hints describe them
// (the last words: the source, an application, or for a move the button and then the source).
void ask(Display* d, Window w, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 1, long l4 = 1) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

} // namespace
#endif

bool keepOnEveryDesktop(QWindow* window) {
#ifdef TESSROOK_WITH_X11
    Display* d = display();
    if (!d || !window) return false;
    const Window w = Window(window->winId());
    const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom desktop = XInternAtom(d, "_NET_WM_DESKTOP", False);
    const Atom wanted[] = {XInternAtom(d, "_NET_WM_STATE_STICKY", False),
                           XInternAtom(d, "_NET_WM_STATE_SKIP_TASKBAR", False),
                           XInternAtom(d, "_NET_WM_STATE_SKIP_PAGER", False)};
    const long everyDesktop = 0xFFFFFFFF;
    if (mapped(d, w)) {
        ask(d, w, state, 1 /* add */, long(wanted[0]), long(wanted[1]));
        ask(d, w, state, 1, long(wanted[2]));
        ask(d, w, desktop, everyDesktop, 1 /* from an application */);
    } else {
        // Qt writes its own states (above) when it maps the window and keeps those it finds.
        QList<Atom> atoms;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
                Success &&
            data) {
            if (type == XA_ATOM && format == 32)
                for (unsigned long i = 0; i < count; ++i) atoms.append(reinterpret_cast<Atom*>(data)[i]);
            XFree(data);
        }
        for (Atom a : wanted)
            if (!atoms.contains(a)) atoms.append(a);
        XChangeProperty(d, w, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.constData()), int(atoms.size()));
        XChangeProperty(d, w, desktop, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&everyDesktop), 1);
    }
    XFlush(d); // before Qt's own requests on the shared connection
    return true;
#else
    Q_UNUSED(window);
    return false;
#endif
}

bool setExactTitle(QWindow* window, const QString& title) {
#ifdef TESSROOK_WITH_X11
    Display* d = display();
    if (!d || !window) return false;
    const Window w = Window(window->winId());
    const QByteArray utf8 = title.toUtf8();
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.constData()), int(utf8.size()));
    const QByteArray latin1 = title.toLatin1();
    XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1.constData()), int(latin1.size()));
    XFlush(d);
    return true;
#else
    Q_UNUSED(window);
    Q_UNUSED(title);
    return false;
#endif
}

bool startMove(QWindow* window, const QPoint& pressedAt) {
#ifdef TESSROOK_WITH_X11
    Display* d = display();
    if (!d || !window) return false;
    const Atom moveResize = XInternAtom(d, "_NET_WM_MOVERESIZE", False);
    bool supported = false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_SUPPORTED", False), 0, 4096, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data) {
        if (type == XA_ATOM && format == 32)
            for (unsigned long i = 0; i < count && !supported; ++i)
                supported = reinterpret_cast<Atom*>(data)[i] == moveResize;
        XFree(data);
    }
    if (!supported) return false;
    // The button's implicit grab is ours until we let it go; the window manager takes it over.
    XUngrabPointer(d, CurrentTime);
    const qreal scale = window->devicePixelRatio();
    ask(d, Window(window->winId()), moveResize, long(qRound(pressedAt.x() * scale)),
        long(qRound(pressedAt.y() * scale)), 8 /* move */);
    XFlush(d);
    return true;
#else
    Q_UNUSED(window);
    Q_UNUSED(pressedAt);
    return false;
#endif
}

} // namespace PanelHints
