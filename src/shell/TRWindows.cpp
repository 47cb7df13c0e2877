#include "TRWindows.h"

#include <QApplication>
#include <QDialog>

namespace {

std::function<QWidget*()>& factory() {
    static std::function<QWidget*()> held;
    return held;
}

void bringForward(QWidget* w) {
    if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    // A sheet open on the window comes forward with it: where no window manager keeps dialogs above
    // their parents, raising the window alone would bury the sheet that blocks it.
    for (QWidget* child : w->findChildren<QWidget*>())
        if (child->isWindow() && child->isVisible()) child->raise();
    // The window manager may refuse the focus; the window is in front either way.
    w->activateWindow();
}

} // namespace

namespace TRWindows {

bool isMainWindow(const QWidget* window) {
    if (!window || !window->isWindow()) return false;
    const QString id = window->objectName();
    if (id == miniID()) return false;
    const bool candidate = id == QLatin1String("main") || id.startsWith(QLatin1String("main-")) ||
                           window->windowTitle() == QLatin1String("QMRL Tessrook");
    if (!candidate) return false;
    // Tool windows, dialogs and other secondary kinds stand for the platform's panels.
    return window->windowType() == Qt::Window && !qobject_cast<const QDialog*>(window);
}

QList<QWidget*> mainWindows() {
    QList<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (isMainWindow(w)) out.append(w);
    return out;
}

bool isShownOnScreen(const QWidget* window) {
    return window && window->isVisible() && !window->isMinimized();
}

bool mainIsVisible() {
    for (QWidget* w : mainWindows())
        if (isShownOnScreen(w)) return true;
    return false;
}

void showMain() {
    const QList<QWidget*> windows = mainWindows();
    for (QWidget* w : windows) {
        if (w->isVisible() || w->isMinimized()) {
            bringForward(w);
            return;
        }
    }
    if (factory()) {
        if (QWidget* w = factory()()) bringForward(w);
        return;
    }
    if (!windows.isEmpty()) bringForward(windows.first());
}

void closeMain() {
    for (QWidget* w : mainWindows())
        if (isShownOnScreen(w)) w->close();
}

void keep(std::function<QWidget*()> held) {
    factory() = std::move(held);
}

} // namespace TRWindows
