// The mini panel and the tray icon on a model of test doubles, for looking at them, for the real tray
// tests and for measuring the panel's cost. Options:
//   --state no-channel|idle|transmitting|receiving|busy|muted|locked   (default idle)
//   --finish <id>        colour finish
//   --no-panel           tray icon only
//   --shot <file.png>    grab the panel to a picture and quit
//   --report-tray        log where the tray icon docks, each time it does
//   --transmit <s>       talk for s seconds (the microphone fed every 100 ms), print the CPU time, quit
// Log lines go to standard error.
#include "MiniRig.h"
#include "TRKLog.h"
#include "TRLaunch.h"
#include "TRMenuBarMenu.h"
#include "TRMiniPanel.h"
#include "TRMiniView.h"
#include "TRTrayIcon.h"
#include "WFonts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    fixture::privateFolders();
    TRLaunch::useProgramNames();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TRKLog::setEcho(true);
    WFonts::registerFonts();

    QCommandLineParser cli;
    cli.addOptions({{"state", "Model state.", "state", "idle"},
                    {"finish", "Colour finish.", "id"},
                    {"no-panel", "Tray icon only."},
                    {"shot", "Grab the panel and quit.", "file"},
                    {"report-tray", "Log where the tray icon docks."},
                    {"transmit", "Talk for this many seconds and print the CPU time.", "seconds"}});
    cli.process(app);
    const int stateIndex = minirig::stateNames().indexOf(cli.value("state"));
    if (stateIndex < 0) {
        std::fprintf(stderr, "unknown state\n");
        return 2;
    }
    if (cli.isSet("finish")) Defaults::shared().setValue(QStringLiteral("finish"), cli.value("finish"));

    fixture::Rig rig;
    WalkieModel& model = minirig::make(rig, minirig::State(stateIndex));
    TRTrayIcon tray(&model);
    tray.show();
    if (!cli.isSet("no-panel")) TRMiniPanel::shared().show();

    QTimer trayWatch;
    QRect docked;
    if (cli.isSet("report-tray")) {
        QObject::connect(tray.menu(), &QMenu::aboutToShow, &app,
                         [] { TRKLog::log(QStringLiteral("Tray menu open")); });
        QObject::connect(&trayWatch, &QTimer::timeout, &app, [&] {
            const QRect g = tray.geometry();
            if (g.isValid() && !g.isEmpty() && g != docked)
                TRKLog::log(QStringLiteral("Tray icon docked at %1 %2 %3 %4")
                                .arg(g.x())
                                .arg(g.y())
                                .arg(g.width())
                                .arg(g.height()));
            docked = g;
        });
        trayWatch.start(100);
    }
    if (cli.isSet("shot")) {
        QTimer::singleShot(300, &app, [&] {
            const bool ok = TRMiniPanel::shared().panel()->grab().save(cli.value("shot"));
            app.exit(ok ? 0 : 1);
        });
    }
    QTimer feeder;
    QElapsedTimer clock;
    double cpuAtStart = 0;
    if (cli.isSet("transmit")) {
        const double seconds = cli.value("transmit").toDouble();
        model.pressTalk();
        clock.start();
        cpuAtStart = cpuSeconds();
        // A microphone delivering 100 ms of a quiet tone, and the model's transmit tick, as in use.
        QObject::connect(&feeder, &QTimer::timeout, &app, [&] {
            QByteArray frame(3200, 0);
            auto* s = reinterpret_cast<qint16*>(frame.data());
            for (int i = 0; i < 1600; ++i)
                s[i] = qint16(800 * ((i / 20) % 2 ? 1 : -1));
            rig.mic->feed(frame);
            rig.clock->advance(0.1);
            model.transmitTick();
            if (clock.elapsed() >= seconds * 1000) {
                model.releaseTalk();
                const double cpu = cpuSeconds() - cpuAtStart;
                std::printf("transmission %.1f s: CPU %.3f s, %.2f %% of one core\n",
                            clock.elapsed() / 1000.0, cpu, 100.0 * cpu / (clock.elapsed() / 1000.0));
                std::fflush(stdout);
                app.exit(0);
            }
        });
        feeder.start(100);
    }
    return app.exec();
}
