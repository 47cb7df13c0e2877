#pragma once
// Tests on the real sound devices need the sound server that the test command starts. Without one
// they skip visibly, except under CI, where a missing server is a failure.
#include <QAudioDevice>
#include <QMediaDevices>
#include <QTest>

namespace SoundServer {
inline bool reachable() {
    return !QMediaDevices::audioOutputs().isEmpty() && !QMediaDevices::audioInputs().isEmpty();
}
} // namespace SoundServer

#define REQUIRE_SOUND_SERVER()                                                                               \
    do {                                                                                                     \
        if (!SoundServer::reachable()) {                                                                     \
            if (qgetenv("CI") == "true") QFAIL("no sound server reachable, and CI needs one");               \
            QSKIP("no sound server reachable (start one as scripts/sound-server.sh does)");                  \
        }                                                                                                    \
    } while (0)
