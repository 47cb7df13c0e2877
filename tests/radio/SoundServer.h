#pragma once
// Tests on the real sound devices need the sound server that the test command starts. Without one
// they skip visibly, except under CI, where a missing server is a failure.
#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QTest>
#include <cstdio>
#include <unistd.h>

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

namespace SoundServer {
// Qt Multimedia 6.4 tears its sound-server connection down from a library destructor at exit, racing
// the server's own thread, and now and then crashes there. Tests on the real devices leave without
// running library destructors once their cases have run and reported.
[[noreturn]] inline void leave(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}
} // namespace SoundServer

// QTEST_GUILESS_MAIN for tests on the real sound devices.
#define SOUND_TEST_MAIN(TestObject)                                                                          \
    int main(int argc, char** argv) {                                                                        \
        QCoreApplication app(argc, argv);                                                                    \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        SoundServer::leave(QTest::qExec(&tc, argc, argv));                                                   \
    }
