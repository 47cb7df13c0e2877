#pragma once
// The radio's own sounds, generated at 16 kHz as float samples in -1..1, each with short fades so
// nothing clicks. Built once and kept.
#include "RadioPlayer.h"

#include <vector>

namespace Tones {
inline constexpr int sampleRate = 16000;

// Two short rising notes: you are on the air.
const std::vector<float>& talkPermit();
inline constexpr double talkPermitLowHz = 1400, talkPermitHighHz = 2100;
// A low pulsed tone: someone else is talking.
const std::vector<float>& busy();
inline constexpr double busyHz = 380;
// The two-tone end-of-transmission beep, high then low.
const std::vector<float>& roger();
inline constexpr double rogerFirstHz = 1600, rogerSecondHz = 1100;
// Band-limited noise with a fast attack and a decay, as when a squelch opens.
const std::vector<float>& squelchBurst();
// A shorter, quicker burst as the squelch closes.
const std::vector<float>& squelchTail();
inline constexpr double squelchCentreHz = 2200;
// One cycle of the SOS siren: a sweep up and back down. Its phase ends where it began, so cycles
// join without a click when looped.
const std::vector<float>& sirenCycle();
inline constexpr double sirenLowHz = 650, sirenHighHz = 1350, sirenCycleSeconds = 1.0;

const std::vector<float>& samples(Tone tone);
} // namespace Tones
