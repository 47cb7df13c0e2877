#pragma once
// What the shell's tests share: a widget application with the program's names (so settings go where
// the program's go, inside the test's private folders), the bundled fonts, and a real display when a
// test needs one.
#include "WFonts.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace shelltest {

// Under the shared test display (QT_QPA_PLATFORM=xcb), or nothing.
inline bool onRealDisplay() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

inline QString shotsFolder() {
    const QString d = qEnvironmentVariable("TESSROOK_SHOTS");
    if (!d.isEmpty()) QDir().mkpath(d);
    return d;
}

} // namespace shelltest

#define SHELL_TEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv) {                                                                        \
        QApplication app(argc, argv);                                                                        \
        app.setOrganizationName(QStringLiteral("Quillmarsh"));                                               \
        app.setApplicationName(QStringLiteral("QMRL Tessrook"));                                             \
        app.setQuitOnLastWindowClosed(false);                                                                \
        WFonts::registerFonts();                                                                             \
        TestClass t;                                                                                         \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }
