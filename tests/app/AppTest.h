#pragma once
// What the program's widget tests share: a QApplication over private settings folders, the bundled
// fonts, and records other units send.
#include "../radio/ModelFixture.h"
#include "Records.h"
#include "TRLaunch.h"
#include "WFonts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeySequence>
#include <QProcess>
#include <QTest>
#include <QWidget>

namespace apptest {

inline QByteArray sosRecord(const QString& who) {
    SOSInfo info;
    info.who = who;
    info.time = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    return info.toJson();
}

// With TESSROOK_SHOTS set, saves a picture of the widget there.
inline void shoot(QWidget* w, const QString& name) {
    const QString folder = qEnvironmentVariable("TESSROOK_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    w->grab().save(folder + "/" + name + ".png");
}

// What a menu, group box or button draws for its text, by Qt's own mnemonic reading ("&&" is one "&", a
// lone "&" is not drawn but underlines the next letter); and whether nothing gets underlined.
inline QString drawnText(const QString& text) {
    return QAction(text).iconText();
}
inline bool underlinesNothing(const QString& text) {
    return QKeySequence::mnemonic(text).isEmpty() && !text.endsWith(QLatin1Char('&'));
}

// Runs xdotool on the test display and waits for it, keeping our event loop running meanwhile.
inline bool xdotool(const QStringList& args) {
    QProcess p;
    p.start("xdotool", args);
    if (!p.waitForStarted(5000)) return false;
    while (p.state() != QProcess::NotRunning) QTest::qWait(10);
    return p.exitCode() == 0;
}

} // namespace apptest

#define APP_TEST_MAIN(TestClass)                                                                             \
    int main(int argc, char** argv) {                                                                        \
        fixture::privateFolders();                                                                           \
        TRLaunch::useProgramNames();                                                                         \
        QApplication app(argc, argv);                                                                        \
        WFonts::registerFonts();                                                                             \
        TestClass t;                                                                                         \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }

// The same on the test X server (TESSROOK_TEST_DISPLAY, through xcb) with the program's look, as a
// user's desktop shows it.
#define APP_DISPLAY_TEST_MAIN(TestClass)                                                                     \
    int main(int argc, char** argv) {                                                                        \
        fixture::privateFolders();                                                                           \
        const QByteArray display = qgetenv("TESSROOK_TEST_DISPLAY");                                         \
        if (!display.isEmpty()) {                                                                            \
            qputenv("DISPLAY", display);                                                                     \
            qputenv("QT_QPA_PLATFORM", "xcb");                                                               \
        }                                                                                                    \
        TRLaunch::useProgramNames();                                                                         \
        QApplication app(argc, argv);                                                                        \
        app.setQuitOnLastWindowClosed(false);                                                                \
        TessrookMac::applyLook(app);                                                                         \
        WFonts::registerFonts();                                                                             \
        TestClass t;                                                                                         \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }
