#pragma once
// What the shell's tests share: a widget application with the program's names (so settings go where
// the program's go, inside the test's private folders), the bundled fonts, and a real display when a
// test needs one.
#include "TRLaunch.h"
#include "WFonts.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace shelltest {

// Under the shared test display (QT_QPA_PLATFORM=xcb), or nothing.
inline bool onRealDisplay() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// A test whose .cmake asks for xcb runs on the shared test display, or offscreen when there is none
// (its display cases then skip).
inline void useTestDisplay() {
    if (qgetenv("QT_QPA_PLATFORM") != "xcb") return;
    const QByteArray display = qgetenv("TESSROOK_TEST_DISPLAY");
    if (display.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else
        qputenv("DISPLAY", display);
}

// Real input on the display, as a user gives it.
inline bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline QString shotsFolder() {
    const QString d = qEnvironmentVariable("TESSROOK_SHOTS");
    if (!d.isEmpty()) QDir().mkpath(d);
    return d;
}

} // namespace shelltest

#define SHELL_TEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv) {                                                                        \
        shelltest::useTestDisplay();                                                                         \
        TRLaunch::useProgramNames();                                                                         \
        QApplication app(argc, argv);                                                                        \
        app.setQuitOnLastWindowClosed(false);                                                                \
        WFonts::registerFonts();                                                                             \
        TestClass t;                                                                                         \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }
