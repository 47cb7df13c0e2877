#include "ShellBridge.h"

#include "TRBackgroundSettings.h"
#include "TRLaunch.h"
#include "TRLoginItem.h"
#include "TRMenuBarMenu.h"
#include "TRMiniPanel.h"
#include "TRMute.h"
#include "TRTrayIcon.h"
#include "TRWindows.h"

#include <QPointer>
#include <QWidget>

namespace {
QPointer<TRTrayIcon>& tray() {
    static QPointer<TRTrayIcon> icon;
    return icon;
}
} // namespace

namespace ShellBridge {

void detectLaunch() {
    TRLaunch::detect();
}
bool openedAtLogin() {
    return TRLaunch::openedAtLogin();
}
bool loginWanted() {
    return TRLoginItem::shared().wanted();
}
bool loginStartsMini() {
    return TRLoginItem::shared().startMini();
}

void showMini() {
    TRMiniPanel::shared().show();
}
void hideMini() {
    TRMiniPanel::shared().hide();
}
void toggleMini() {
    TRMiniPanel::shared().toggle();
}

void quit() {
    TRMenuBarMenu::quitApplication();
}

void keepMainFactory(std::function<QWidget*()> openMain) {
    TRWindows::keep(std::move(openMain));
}

QList<QWidget*> mainWindows() {
    return TRWindows::mainWindows();
}

QWidget* firstMainWindow() {
    const QList<QWidget*> all = mainWindows();
    for (QWidget* w : all)
        if (w->isVisible() || w->isMinimized()) return w;
    return all.isEmpty() ? nullptr : all.first();
}

bool mainIsVisible() {
    return TRWindows::mainIsVisible();
}
void showMain() {
    TRWindows::showMain();
}
void closeMain() {
    TRWindows::closeMain();
}

QWidget* makeBackgroundSettings(QWidget* parent) {
    // It refreshes itself each time it is shown.
    return new TRBackgroundSettings(&TRLoginItem::shared(), &TRMiniPanel::shared(), parent);
}

void makeTray(WalkieModel& model, QObject* owner) {
    if (tray()) return;
    tray() = new TRTrayIcon(&model, &TRMiniPanel::shared(), &TRMute::shared(), owner);
    tray()->show();
}

void deleteTray() {
    delete tray().data();
}

} // namespace ShellBridge
