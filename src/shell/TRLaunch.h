#pragma once
// Whether this launch is an opening at login: decided once, before the program's windows appear.
#include <QDateTime>
#include <QStringList>

#include <optional>

namespace TRLaunch {

// The organisation and program names every settings store and folder is found under; callable before
// the application object exists.
void useProgramNames();

bool openedAtLogin();

// Decides openedAtLogin from the program's arguments and the current time.
void detect();
// The same for given arguments and time: the autostart entry's marker decides without reading the
// login records; otherwise a graphical login up to 180 s before (or 5 s after) `now` counts.
void detect(const QStringList& arguments, const QDateTime& now);

// When the current user's graphical session began, from the login records; nothing without one.
std::optional<QDateTime> consoleLoginTime();

// appStart - sessionStart is at least -5 s and less than `window` seconds.
bool isLoginLaunch(const QDateTime& appStart, const QDateTime& sessionStart, double window = 180);

} // namespace TRLaunch
