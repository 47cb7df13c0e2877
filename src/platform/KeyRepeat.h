#pragma once
// The display server's key repeat as the program sees it. A held key normally arrives from X as
// release+press pairs, which toolkits tell from a real release only by guesswork that fails on a busy
// machine. With detectable auto-repeat on, the server sends repeats as presses alone and one release
// when the key is really up.
#include <QtGlobal>

#include <optional>

namespace KeyRepeat {
// Asks the server for detectable auto-repeat on the application's own connection. True when the
// server agreed; false without an X display, when it refused, or in a build without X support.
bool makeDetectable();
// Whether the key with the X key code `keyCode` (Qt's native scan code there) is down at the server
// now; nothing without an X display.
std::optional<bool> isDown(quint32 keyCode);
} // namespace KeyRepeat
