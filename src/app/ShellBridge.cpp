#include "ShellBridge.h"

#include <QApplication>
#include <QMainWindow>
#include <QWidget>

namespace {
std::function<void()>& mainFactory() {
    static std::function<void()> factory;
    return factory;
}
const QString kMainTitle = QStringLiteral("QMRL Tessrook");
const QString kMiniID = QStringLiteral("qmrl-tr-mini");
} // namespace

namespace ShellBridge {

void detectLaunch() {}
bool openedAtLogin() {
    return false;
}
bool loginWanted() {
    return false;
}
bool loginStartsMini() {
    return true;
}

void showMini() {}
void toggleMini() {}

void keepMainFactory(std::function<void()> openMain) {
    mainFactory() = std::move(openMain);
}

QList<QWidget*> mainWindows() {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const QString id = w->objectName();
        if (id == kMiniID) continue;
        const bool candidate = id == QLatin1String("main") || id.startsWith(QLatin1String("main-")) ||
                               w->windowTitle() == kMainTitle;
        if (candidate && qobject_cast<QMainWindow*>(w)) found.append(w);
    }
    return found;
}

QWidget* firstMainWindow() {
    const QList<QWidget*> all = mainWindows();
    for (QWidget* w : all)
        if (w->isVisible() || w->isMinimized()) return w;
    return all.isEmpty() ? nullptr : all.first();
}

bool mainIsVisible() {
    for (QWidget* w : mainWindows())
        if (w->isVisible() && !w->isMinimized()) return true;
    return false;
}

void showMain() {
    for (QWidget* w : mainWindows()) {
        if (!w->isVisible() && !w->isMinimized()) continue;
        if (w->isMinimized()) w->showNormal();
        w->raise();
        w->activateWindow();
        return;
    }
    if (mainFactory()) {
        mainFactory()();
        return;
    }
    const QList<QWidget*> all = mainWindows();
    if (!all.isEmpty()) {
        all.first()->show();
        all.first()->raise();
        all.first()->activateWindow();
    }
}

void closeMain() {
    for (QWidget* w : mainWindows())
        if (w->isVisible() && !w->isMinimized()) w->close();
}

QWidget* makeBackgroundSettings(QWidget*) {
    return nullptr;
}
void refreshBackgroundSettings(QWidget*) {}

void makeTray(WalkieModel&, QObject*) {}
void hideTray() {}

} // namespace ShellBridge
