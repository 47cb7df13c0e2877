#pragma once
// The program's one place of calls into the menu-bar shell (window control, mini panel, login launch,
// tray, open-at-login section), so the delegate, the menus and the tests go through one seam.
#include <QList>
#include <functional>

class QObject;
class QWidget;
class WalkieModel;

namespace ShellBridge {

// Launch at login.
void detectLaunch(); // once, before any window shows
bool openedAtLogin();
bool loginWanted();
bool loginStartsMini();

// Mini panel.
void showMini();
void hideMini();
void toggleMini();

// Ends the program at once, whatever is shown.
void quit();

// Main window control.
void keepMainFactory(std::function<QWidget*()> openMain); // how a closed main window is made again
void showMain();
void closeMain();
bool mainIsVisible();
QList<QWidget*> mainWindows();
QWidget* firstMainWindow(); // visible or minimised first; null when none exists

// The open-at-login settings section.
QWidget* makeBackgroundSettings(QWidget* parent);

// The menu-bar item; made at start, removed at quit.
void makeTray(WalkieModel& model, QObject* owner);
void deleteTray(); // the icon and its menu

} // namespace ShellBridge
