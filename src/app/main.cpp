// Program entry. The settings names come first, so everything after them reads the right store;
// the headless link test, when asked for, runs before anything else starts and never returns.
// Arguments: `--mini`, invite links ("qmtalk:..."; the desktop entry hands clicked links over this way)
// and the shell's `--opened-at-login` marker.
#include "Defaults.h"
#include "LinkTestHarness.h"
#include "SingleInstance.h"
#include "TRKLog.h"
#include "TRLaunch.h"
#include "MacDelegate.h"
#include "MediaSink.h"
#include "QuitSignals.h"
#include "ShellBridge.h"
#include "TessrookMac.h"
#include "WalkieModel.h"

#include <QApplication>
#include <cstdio>
#include <unistd.h>

#ifndef TESSROOK_VERSION
#define TESSROOK_VERSION "0.1"
#endif

int main(int argc, char** argv) {
    TRLaunch::useProgramNames();
    LinkTestHarness::runIfRequested(argc, argv);
    QuitSignals::catchEarly(); // a SIGTERM during the start waits for the event loop

    // On Wayland no client may keep a panel on top or place it: use X11 (XWayland) when there is one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    pinMediaBackend(); // read once, when Qt Multimedia first loads
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSROOK_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("QMRL Tessrook"));
    QGuiApplication::setDesktopFileName(QStringLiteral("qmrl-tessrook"));
    QApplication::setQuitOnLastWindowClosed(false);
    TessrookMac::applyLook(app);
    // Ended by the session, a service manager or kill: the same shutdown as Quit.
    QuitSignals quitSignals;
    bool quitAsked = false;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, [&quitAsked](int signal) {
        TRKLog::log(QStringLiteral("Quitting on %1").arg(QLatin1String(QuitSignals::signalName(signal))));
        quitAsked = true;
        ShellBridge::quit();
    });

    int rc = 0;
    {
        // Before any setting, font or port: a second copy hands over and leaves.
        const QStringList arguments = QCoreApplication::arguments().mid(1);
        SingleInstance instance;
        const SingleInstance::Outcome outcome = instance.start(SingleInstance::inviteLinks(arguments));
        if (outcome == SingleInstance::Outcome::forwarded || outcome == SingleInstance::Outcome::refused)
            return instance.exitCode();
        TessrookMac program(arguments);
        QObject::connect(&instance, &SingleInstance::activateRequested, &program,
                         [&program] { program.delegate().reopen(); });
        QObject::connect(&instance, &SingleInstance::openRequested, &program,
                         [&program](const QString& link) { program.delegate().openLinks({link}); });
        QObject::connect(&instance, &SingleInstance::linkTooLong, &program, [](qsizetype bytes) {
            if (WalkieModel* model = WalkieModel::shared().data())
                model->tellUser(SingleInstance::tooLongText(bytes));
        });
        program.launch();
        // Asked to quit while starting (an event loop of the start itself saw the signal): no main loop.
        if (!quitAsked) rc = QApplication::exec();
    } // windows, tray, model and its links, then the instance socket, go while the application still exists
    TRKLog::flush();
    Defaults::shared().sync();
    // Qt Multimedia 6.4 tears its sound-server connection down from a library destructor at exit, racing
    // the server's own thread, and now and then crashes there. Everything of ours is closed and written
    // by now: leave without running library destructors.
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(rc);
}
