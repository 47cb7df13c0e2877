// The tray icon on real tray hosts: docked on the shared test display, opened with real clicks; and
// the demo program on an X server of the test's own that has no tray host at first.
#include "MiniRig.h"
#include "ShellTest.h"
#include "TRMenuBarMenu.h"
#include "TRMiniPanel.h"
#include "TRMute.h"
#include "TRTrayIcon.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

bool click(const QPoint& at, int button) {
    return shelltest::xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "sleep", "0.1",
                               "click", QString::number(button)});
}

// A process whose standard error is collected as it comes.
struct Running {
    QProcess process;
    QByteArray err;
    explicit Running() {
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { err += process.readAllStandardError(); });
    }
    ~Running() {
        // Asked first, so an X server removes its socket file.
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }
};

} // namespace

class TrayTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

private slots:
    void cleanup() {
        TRMute::shared().setOn(false);
        WalkieModel::setShared(nullptr);
    }

    // The icon reads on light, mid-grey and dark panels: at every size, a good share of what it covers
    // stands out clearly from the panel. (TESSROOK_SHOTS gets the pictures, four times enlarged.)
    void iconReadsOnLightAndDarkPanels() {
        const QIcon icon = TRTrayIcon::antennaIcon();
        const QString shots = qEnvironmentVariable("TESSROOK_SHOTS");
        QStringList faint;
        for (const QSize& size : icon.availableSizes()) {
            const QImage glyph = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
            for (const QColor panel :
                 {QColor(0xF2, 0xF2, 0xF2), QColor(0xBE, 0xC3, 0xC8), QColor(0x1E, 0x1F, 0x22)}) {
                QImage seen(size, QImage::Format_RGB32);
                seen.fill(panel);
                QPainter(&seen).drawImage(0, 0, glyph);
                int covered = 0, standsOut = 0;
                for (int y = 0; y < size.height(); ++y)
                    for (int x = 0; x < size.width(); ++x) {
                        if (qAlpha(glyph.pixel(x, y)) == 0) continue;
                        ++covered;
                        if (std::abs(qGray(seen.pixel(x, y)) - qGray(panel.rgb())) > 96) ++standsOut;
                    }
                if (!shots.isEmpty()) {
                    QDir().mkpath(shots);
                    seen.scaled(size * 4).save(QStringLiteral("%1/tray-%2-%3.png")
                                                   .arg(shots)
                                                   .arg(size.width())
                                                   .arg(panel.name().mid(1)));
                }
                // The light-on-light antenna with a one-sided shadow reached 9 %, the outlined one 37 %.
                if (standsOut * 10 < covered * 3)
                    faint << QStringLiteral("%1 px on %2: %3 of %4")
                                 .arg(size.width())
                                 .arg(panel.name())
                                 .arg(standsOut)
                                 .arg(covered);
            }
        }
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join("; ")));
    }

    void realClicksOnTheDockedIconOpenItsMenu() {
        if (!shelltest::onRealDisplay())
            QSKIP("needs the test display with its tray host (TESSROOK_TEST_DISPLAY)");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        TRTrayIcon tray(&m, &mini, &TRMute::shared());
        QCOMPARE(tray.contextMenu(), tray.menu());
        tray.show();
        // Docked: the tray host has moved the icon off the corner where it was made.
        QTRY_VERIFY_WITH_TIMEOUT(tray.geometry().isValid() && tray.geometry().x() > 0, 5000);
        const QPoint icon = tray.geometry().center();
        TRMenuBarMenu* menu = tray.menu();

        QVERIFY(click(icon, 1));
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->statusAction()->text(), QStringLiteral("Harbour · waiting for others"));
        // An item of the open menu, clicked for real.
        const QPoint mute = menu->mapToGlobal(menu->actionGeometry(menu->muteAction()).center());
        QVERIFY(click(mute, 1));
        QTRY_VERIFY(TRMute::shared().on());
        QVERIFY(m.muteSpeaker());
        QTRY_VERIFY(!menu->isVisible());

        QVERIFY(click(icon, 3));
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(menu->muteAction()->isChecked());
        const QPoint miniItem = menu->mapToGlobal(menu->actionGeometry(menu->miniAction()).center());
        QVERIFY(click(miniItem, 1));
        QTRY_VERIFY(mini.shown());
        QTRY_VERIFY(mini.panel()->isVisible());
        QTRY_VERIFY(!menu->isVisible());
        mini.hide();

        const QString shots = shelltest::shotsFolder();
        if (!shots.isEmpty()) {
            QVERIFY(click(icon, 1));
            QTRY_VERIFY(menu->isVisible());
            QTest::qWait(200); // pictures only: the menu is drawn on the server
            QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/tray-menu.png");
            menu->hide();
        }
    }

    void withoutATrayHostTheDemoKeepsRunningAndDocksWhenOneAppears() {
        const QString demo = qEnvironmentVariable("SHELL_DEMO");
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString trayer = QStandardPaths::findExecutable("trayer");
        if (demo.isEmpty() || xvfb.isEmpty() || trayer.isEmpty())
            QSKIP("needs the demo program, Xvfb and trayer");

        // An X server of our own. Not with -displayfd: inside the test's network namespace a server
        // cannot see the shared display's socket there and could take its number, replacing the socket
        // file every other test connects through. A number with no socket or lock file is safe.
        Running server;
        QString display;
        for (int n = 200 + QCoreApplication::applicationPid() % 300, tries = 0;
             tries < 50 && display.isEmpty(); ++n, ++tries) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
                QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            server.process.start(
                xvfb, {QStringLiteral(":%1").arg(n), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            QVERIFY(server.process.waitForStarted());
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || server.process.state() == QProcess::NotRunning,
                                     20000);
            if (server.process.state() == QProcess::Running) display = QStringLiteral(":%1").arg(n);
        }
        QVERIFY(!display.isEmpty());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        Running app;
        app.process.setProcessEnvironment(env);
        app.process.start(demo, {"--no-panel", "--report-tray"});
        QVERIFY(app.process.waitForStarted());
        const QByteArray noTray = TRTrayIcon::noTrayMessage().toUtf8();
        QTRY_VERIFY_WITH_TIMEOUT(app.err.contains(noTray), 10000);
        QTest::qWait(1500); // it may not end or say it again in this time
        QCOMPARE(app.process.state(), QProcess::Running);
        QCOMPARE(app.err.count(noTray), 1);

        Running host;
        host.process.setProcessEnvironment(env);
        host.process.start(trayer,
                           {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        QVERIFY(host.process.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.err.contains("Tray icon docked at"), 5000);
        qInfo("docked %lld ms after the tray host started", clock.elapsed());
        QCOMPARE(app.err.count(noTray), 1);

        // Its Quit item ends the program: open the menu with a real click, choose the last item. The
        // icon is first made at the corner and then moved into the tray: click where it settled.
        const QRegularExpression where(R"(Tray icon docked at (-?\d+) (-?\d+) (\d+) (\d+))");
        const auto lastPlace = [&] {
            QRegularExpressionMatch last;
            for (auto it = where.globalMatch(QString::fromUtf8(app.err)); it.hasNext();)
                last = it.next();
            return last;
        };
        QTRY_VERIFY_WITH_TIMEOUT(lastPlace().hasMatch() && lastPlace().captured(1).toInt() > 0, 5000);
        QTest::qWait(300); // the tray host may still move it: the last place it reports in this time
        const auto m = lastPlace();
        const QPoint icon(m.captured(1).toInt() + m.captured(3).toInt() / 2,
                          m.captured(2).toInt() + m.captured(4).toInt() / 2);
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start("xdotool", {"mousemove", QString::number(icon.x()), QString::number(icon.y()), "sleep",
                               "0.1", "click", "1"});
        QVERIFY(tool.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(app.err.contains("Tray menu open"), 10000);
        QTest::qWait(200); // the other program's menu takes the keyboard: nothing here shows when
        tool.start("xdotool", {"key", "Up", "key", "Return"});
        QVERIFY(tool.waitForFinished(10000));
        QVERIFY(app.process.waitForFinished(10000));
        QCOMPARE(app.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process.exitCode(), 0);
    }
};

SHELL_TEST_MAIN(TrayTest)
#include "tst_tray.moc"
