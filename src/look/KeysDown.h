#pragma once
// Which keys are down, one record for the whole program. With the server's detectable auto-repeat on, a
// held key arrives as presses alone, which Qt does not flag as repeats: a press of a key that is still
// down is the key held, for every reader alike (shortcuts, Return on a button, the SOS button's hold).
class QKeyEvent;

namespace KeysDown {

// Starts the record as an application-wide filter. Again later, it goes back in front of the filters
// installed since, so none of them keeps a press or release from it.
void install();

// True when `event`, a press or its shortcut override, is a key held since an earlier press, or one Qt
// flagged as a repeat (where the server refused detectable repeat). Asking counts the press, so the answer
// does not depend on which filter saw it first. A press delivered again answers as it did the first time:
// a screen reader's bridge holds each key event and then sends a copy stamped 0, seen after the original
// by filters in front of the bridge and alone by those behind it. Keys let go while the keyboard moved
// between windows are forgotten (the server is asked which are still down). Key events made up in the
// program (no scan code), and every event while the record is not installed, only have Qt's flag.
bool isRepeat(const QKeyEvent* event);

} // namespace KeysDown
