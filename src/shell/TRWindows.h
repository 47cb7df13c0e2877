#pragma once
// Finding, showing and closing the main window from anywhere (tray menu, mini panel, reopen).
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

namespace TRWindows {

// The mini panel's object name; that window never counts as a main window.
inline QString miniID() {
    return QStringLiteral("qmrl-tr-mini");
}

// A window counts as a main window when its object name is "main" or begins with "main-", or else when
// its title is "QMRL Tessrook"; the mini panel, tool windows and dialogs never count.
bool isMainWindow(const QWidget* window);
QList<QWidget*> mainWindows(); // in the order of the application's top-level list

// Shown and not minimised (Qt counts a minimised window as visible).
bool isShownOnScreen(const QWidget* window);
bool mainIsVisible();

// Restores and raises the first shown or minimised main window; else builds one through the kept
// factory; else raises the first hidden one; else does nothing.
void showMain();
// Closes every main window that is shown and not minimised; the program keeps running.
void closeMain();

// The factory that builds the main window when none is left; replaces the one held before. An empty
// function drops it.
void keep(std::function<QWidget*()> factory);

} // namespace TRWindows
