// The program's window on a real X display (the test display, under its window manager): a space bar
// held down with the real keyboard (the X server's auto-repeat on, a busy machine, the program's own
// event loop) is one transmission per hold, a held Return presses the focused control once, every Quit
// ends the program with the mini panel shown, sheets stay above their window and take the keyboard, the
// menu shortcuts fire from real key presses (some need Shift), and pictures of the window in every
// finish, zoom, lock and sheet.
#include "AppTest.h"
#include "HelpDot.h"
#include "KeyRepeat.h"
#include "ProgramRun.h"
#include "Finish.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "MessagesPanel.h"
#include "MetalPanel.h"
#include "SpaceBarTalk.h"
#include "Notifications.h"
#include "QMZoom.h"
#include "SelfTestRequest.h"
#include "TRMenuBarMenu.h"
#include "TRMiniPanel.h"
#include "TRMiniView.h"
#include "TRTrayIcon.h"
#include "TessrookMac.h"
#include "ToggleSwitch.h"

#include <QElapsedTimer>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using apptest::xdotool;

// Gives `w` the keyboard as a click on it would, again while the window manager has not yet done so.
QByteArray output(const QString& tool, const QStringList& args);
bool focus(QWidget* w) {
    const bool ok = QTest::qWaitFor([w] {
        xdotool({"windowfocus", "--sync", QString::number(w->winId())});
        return QTest::qWaitFor([w] { return w->isActiveWindow(); }, 500);
    }, 10000);
    if (!ok) {
        QWidget* a = QApplication::activeWindow();
        QWindow* f = QGuiApplication::focusWindow();
        qWarning() << "focus failed: wanted" << Qt::hex << w->winId() << "x focus" << output("xdotool", {"getwindowfocus"})
                   << "active" << (a ? a->metaObject()->className() : "none") << (a ? a->winId() : 0)
                   << "focuswindow" << (f ? f->objectName() : "none") << (f ? f->winId() : 0)
                   << "modal" << QApplication::activeModalWidget() << "popup" << QApplication::activePopupWidget();
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible()) qWarning() << "shown:" << t << Qt::hex << t->winId();
    }
    return ok;
}

QByteArray output(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(10000)) return {};
    return p.readAllStandardOutput();
}

// Where a widget inside the zoom host (or a plain window) is on the screen.
QPoint onScreen(QWidget* w, QPoint local) {
    QWidget* top = w;
    while (top->parentWidget() && !top->graphicsProxyWidget()) top = top->parentWidget();
    if (QGraphicsProxyWidget* proxy = top->graphicsProxyWidget()) {
        QGraphicsView* view = proxy->scene()->views().first();
        const QPointF inScene = proxy->mapToScene(QPointF(w->mapTo(top, local)));
        return view->viewport()->mapToGlobal(view->mapFromScene(inScene));
    }
    return w->mapToGlobal(local);
}

bool click(QPoint at, int count = 1) {
    return xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "click", "--repeat",
                    QString::number(count), "--delay", "120", "1"});
}

// The client windows from bottom to top, as the window manager stacks them.
QList<WId> stacking() {
    QList<WId> ids;
    const QString line = QString::fromLatin1(output("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}));
    static const QRegularExpression id("0x[0-9a-fA-F]+");
    for (auto it = id.globalMatch(line); it.hasNext();)
        ids.append(WId(it.next().captured().toULongLong(nullptr, 16)));
    return ids;
}

// Runs the application's own event loop until `until` ends it or `limitMs` passes; the exit code.
int runEventLoop(int limitMs) {
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    limit.start(limitMs);
    return QApplication::exec();
}

} // namespace

class RealDisplayTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;
    std::unique_ptr<TessrookMac> program;

    MainWindow* start(bool locked = false) {
        Defaults::shared().setValue("welcomed", true);
        Defaults::shared().setValue("requireUnlock", locked);
        auto model = std::make_unique<WalkieModel>(rig.options());
        program = std::make_unique<TessrookMac>(QStringList{}, std::move(model), false);
        program->launch();
        MainWindow* w = program->mainWindow();
        if (!QTest::qWaitForWindowExposed(w)) return nullptr;
        return focus(w) ? w : nullptr;
    }

    void shot(MainWindow* w, const QString& name) {
        const QString folder = qEnvironmentVariable("TESSROOK_SHOTS");
        if (folder.isEmpty()) return;
        QDir().mkpath(folder);
        QTest::qWait(400); // pictures only: animations and queued sheets settle
        QScreen* screen = w->screen();
        const QRect r = w->frameGeometry();
        screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(folder + "/window-" + name + ".png");
    }

    // As Escape would: each sheet's own dismissal, which tells its presenter. On a busy machine a key
    // sent by xdotool can be held past the server's repeat delay and ask twice; a request that waited
    // behind the sheet comes up next, and is dismissed too.
    static void dismiss(MacRoot* root) {
        do {
            if (root->openSheet()) QMetaObject::invokeMethod(root->openSheet(), "reject");
            QTRY_VERIFY(!root->openSheet());
        } while (QTest::qWaitFor([root] { return root->openSheet() != nullptr; }, 300));
    }

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != "xcb") QSKIP("no test display (TESSROOK_TEST_DISPLAY)");
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool missing");
    }
    void init() {
        fixture::resetSettings();
        QMZoom::reset();
        Defaults::shared().remove(Finish::defaultsKey);
    }
    void cleanup() {
        xdotool({"keyup", "space", "Return", "KP_Enter"});
        QProcess::execute("xset", {"r", "rate"}); // the server's own repeat rate again
        program.reset();
        rig.model.reset();
    }

    // X repeats the held key; with the machine busy a toolkit misses the repeat flag on some releases.
    // Three 3 s holds and a tap, in the program's own event loop: four transmissions, the holds whole.
    void heldSpaceBarIsOneTransmissionPerHoldUnderLoad() {
        QVERIFY(QProcess::execute("xset", {"r", "on"}) == 0);
        QVERIFY(QRegularExpression("auto repeat:\\s+on").match(QString::fromLatin1(output("xset", {"q"}))).hasMatch());
        MainWindow* w = start();
        QVERIFY(w);
        WalkieModel& m = program->model();
        m.createChannel("Base");
        QList<qint64> lengths;
        QElapsedTimer clock;
        connect(&m, &WalkieModel::talkChanged, this, [&, was = false](const TalkState& t) mutable {
            if (t.isTransmitting() && !was) clock.start();
            if (!t.isTransmitting() && was) lengths.append(clock.elapsed());
            was = t.isTransmitting();
        });
        std::atomic<bool> stop{false};
        std::vector<std::thread> busy;
        for (int i = 0; i < 4; ++i)
            busy.emplace_back([&stop] {
                volatile unsigned long spin = 0;
                while (!stop.load(std::memory_order_relaxed)) spin = spin + 1;
            });
        QStringList keys;
        for (int i = 0; i < 3; ++i) keys << "keydown" << "space" << "sleep" << "3" << "keyup" << "space" << "sleep" << "0.8";
        keys << "key" << "space" << "sleep" << "0.8";
        QProcess typing;
        connect(&typing, &QProcess::finished, qApp, [] { QCoreApplication::exit(0); });
        typing.start("xdotool", keys);
        const int rc = runEventLoop(40000);
        stop = true;
        for (std::thread& t : busy) t.join();
        qInfo() << "transmissions (ms):" << lengths << "detectable auto-repeat:" << KeyRepeat::makeDetectable();
        QCOMPARE(rc, 0);
        QTRY_VERIFY(m.talk().isIdle());
        QCOMPARE(lengths.size(), 4);
        for (int i = 0; i < 3; ++i) QVERIFY2(lengths.at(i) >= 2500, qPrintable(QString::number(lengths.at(i))));
    }

    // Each Quit ends the event loop at once while the mini panel is shown (a close only hides the
    // panel); Ctrl+Q and Ctrl+Shift+M work in the panel alone.
    void everyQuitEndsTheProgramWithTheMiniPanelShown() {
        MainWindow* w = start();
        QVERIFY(w);
        TRMiniPanel& mini = TRMiniPanel::shared();
        auto* tray = program->findChild<TRTrayIcon*>();
        QVERIFY(tray);
        const auto focusPanel = [&mini] {
            mini.show();
            QVERIFY(QTest::qWaitForWindowExposed(mini.panel()));
            QVERIFY(focus(mini.panel()));
        };
        focusPanel();
        QVERIFY(xdotool({"key", "ctrl+shift+m"}));
        QTRY_VERIFY(!mini.shown());
        QVERIFY(!mini.panel()->isVisible());

        const QList<std::pair<QString, std::function<void()>>> paths = {
            {"tray", [tray] { tray->menu()->quitAction()->trigger(); }},
            {"menu", [w] { w->command("quit")->trigger(); }},
            {"power key", [&mini] {
                 QWidget* key = mini.view()->powerKey();
                 click(key->mapToGlobal(key->rect().center()));
             }},
            {"Ctrl+Q in the panel", [] { xdotool({"key", "ctrl+q"}); }},
            {"Ctrl+Q in the window", [w] {
                 focus(w);
                 xdotool({"key", "ctrl+q"});
             }},
        };
        for (const auto& [name, quit] : paths) {
            focusPanel();
            QTimer::singleShot(0, qApp, quit);
            QElapsedTimer took;
            took.start();
            QCOMPARE(runEventLoop(10000), 0);
            qInfo("%s: quit after %lld ms", qPrintable(name), took.elapsed());
            QVERIFY(mini.shown());
        }
    }

    // The real program, started again and again in Mini mode, ends on Ctrl+Q and on the power key.
    void theRealProgramQuitsFromTheMiniPanel() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        // Where the power key sits in the panel: the same panel, built here.
        QVERIFY(start());
        TRMiniPanel::shared().show();
        QWidget* key = TRMiniPanel::shared().view()->powerKey();
        const QPoint power = key->mapTo(TRMiniPanel::shared().panel(), key->rect().center());
        TRMiniPanel::shared().hide();
        program.reset(); // none of our windows may take the keys meant for the program

        ProgramRun run;
        run.env.insert("QT_QPA_PLATFORM", "xcb");
        run.env.insert("DISPLAY", qEnvironmentVariable("DISPLAY"));
        int quit = 0;
        for (int i = 0; i < 6; ++i) {
            QProcess* p = run.start({"--mini"});
            QVERIFY(p->waitForStarted());
            const QString pid = QString::number(p->processId());
            QByteArray found;
            QVERIFY(QTest::qWaitFor([&] {
                found = output("xdotool", {"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^Tessrook Mini"});
                return !found.trimmed().isEmpty();
            }, 20000));
            const QString panel = QString::fromLatin1(found.trimmed().split('\n').first());
            QTest::qWait(1200); // the Mini start closes the main window twice meanwhile
            if (i % 2 == 0) {
                QVERIFY(QTest::qWaitFor([&] {
                    xdotool({"windowfocus", "--sync", panel});
                    return output("xdotool", {"getwindowfocus"}).trimmed() == panel.toLatin1();
                }, 10000));
                xdotool({"key", "ctrl+q"});
            } else {
                const QString geometry = QString::fromLatin1(output("xdotool", {"getwindowgeometry", "--shell", panel}));
                const int x = QRegularExpression("X=(-?\\d+)").match(geometry).captured(1).toInt();
                const int y = QRegularExpression("Y=(-?\\d+)").match(geometry).captured(1).toInt();
                click(QPoint(x, y) + power);
            }
            if ((p->state() == QProcess::NotRunning || p->waitForFinished(10000)) &&
                p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0)
                ++quit;
            else
                qWarning("launch %d (%s, window %s) did not end: state %d, exit %d", i,
                         i % 2 == 0 ? "Ctrl+Q" : "power key", qPrintable(panel), int(p->state()), p->exitCode());
            ProgramRun::stop(p);
        }
        QCOMPARE(quit, 6);
    }

    // The real program in Mini mode, five launches: a click on the panel's face whose press and release
    // come together, then the pointer moving away, leaves the panel where it was and Ctrl+Q then quits.
    // The window manager keeps the panel above others and on every desktop, out of the task bar, under
    // its own title.
    void theMiniPanelMovesOnlyWhenDraggedAndIsOnEveryDesktop() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        ProgramRun run;
        run.env.insert("QT_QPA_PLATFORM", "xcb");
        run.env.insert("DISPLAY", qEnvironmentVariable("DISPLAY"));
        const int desktops = output("xdotool", {"get_num_desktops"}).trimmed().toInt();
        const bool sticky = output("xprop", {"-root", "_NET_SUPPORTED"}).contains("_NET_WM_STATE_STICKY");
        int quit = 0;
        for (int i = 0; i < 5; ++i) {
            QProcess* p = run.start({"--mini"});
            QVERIFY(p->waitForStarted());
            QByteArray found;
            QVERIFY(QTest::qWaitFor([&] {
                found = output("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                           QString::number(p->processId()), "--name", "^Tessrook Mini"});
                return !found.trimmed().isEmpty();
            }, 20000));
            const QString panel = QString::fromLatin1(found.trimmed().split('\n').first());
            QTest::qWait(1200); // the Mini start closes the main window twice meanwhile
            const QString props = QString::fromUtf8(
                output("xprop", {"-id", panel, "_NET_WM_NAME", "_NET_WM_STATE", "_NET_WM_DESKTOP"}));
            QVERIFY2(props.contains("_NET_WM_NAME(UTF8_STRING) = \"Tessrook Mini\"\n"), qPrintable(props));
            // On every desktop: the desktop number "all", and the sticky state where the window manager
            // knows it (openbox has no sticky state; its all-desktops window is its sticky one).
            QVERIFY2(props.contains("_NET_WM_DESKTOP(CARDINAL) = 4294967295"), qPrintable(props));
            QStringList states{"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"};
            if (sticky) states << "_NET_WM_STATE_STICKY";
            for (const QString& state : states) QVERIFY2(props.contains(state), qPrintable(props));
            if (i == 0 && desktops > 1) {
                // Another desktop: the panel is still shown there.
                QVERIFY(xdotool({"set_desktop", "1"}));
                QTRY_VERIFY(output("xdotool", {"get_desktop"}).trimmed() == "1");
                QTRY_VERIFY(output("xwininfo", {"-id", panel}).contains("IsViewable"));
                QVERIFY(xdotool({"set_desktop", "0"}));
                QTRY_VERIFY(output("xdotool", {"get_desktop"}).trimmed() == "0");
            }
            const auto where = [&] {
                const QString g = QString::fromLatin1(output("xdotool", {"getwindowgeometry", "--shell", panel}));
                return QPoint(QRegularExpression("X=(-?\\d+)").match(g).captured(1).toInt(),
                              QRegularExpression("Y=(-?\\d+)").match(g).captured(1).toInt());
            };
            const QPoint before = where();
            // The face beside the talk button: no control there.
            QVERIFY(click(before + QPoint(30, 230)));
            QVERIFY(xdotool({"mousemove", "--sync", QString::number(before.x() - 150), QString::number(before.y() + 40)}));
            QTest::qWait(300); // the panel may not move in this time
            const QPoint after = where();
            QVERIFY(xdotool({"key", "ctrl+q"}));
            if ((p->state() == QProcess::NotRunning || p->waitForFinished(10000)) &&
                p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0)
                ++quit;
            else
                qWarning("launch %d did not end on Ctrl+Q: state %d", i, int(p->state()));
            QCOMPARE(after, before);
            ProgramRun::stop(p);
        }
        QCOMPARE(quit, 5);
    }

    // After a message the space bar talks again: Escape in the message field, or a click on the rack
    // outside a text field, gives the keyboard back; a held space bar is then one transmission in the
    // program's own event loop, and no space lands in the field.
    void theSpaceBarTalksAgainAfterAMessage() {
        MainWindow* w = start();
        QVERIFY(w);
        WalkieModel& m = program->model();
        m.createChannel("Base");
        auto* messages = w->root()->findChild<MessagesPanel*>();
        QVERIFY(messages);
        QLineEdit* field = messages->field();
        QVERIFY(field->toolTip().contains("Escape"));
        int transmissions = 0;
        connect(&m, &WalkieModel::talkChanged, this, [&, was = false](const TalkState& t) mutable {
            if (t.isTransmitting() && !was) ++transmissions;
            was = t.isTransmitting();
        });
        const auto holdSpace = [] {
            QProcess typing;
            QObject::connect(&typing, &QProcess::finished, qApp, [] { QCoreApplication::exit(0); });
            typing.start("xdotool", {"keydown", "space", "sleep", "1.5", "keyup", "space", "sleep", "0.5"});
            return runEventLoop(20000);
        };
        const auto typeMessage = [&](const QString& text) {
            QVERIFY(click(onScreen(field, field->rect().center())));
            QTRY_VERIFY(SpaceBarTalk::editsText(QApplication::focusWidget()));
            QVERIFY(xdotool({"type", "--delay", "40", text}));
            QTRY_COMPARE(field->text(), text);
            QVERIFY(xdotool({"key", "Return"}));
            QTRY_VERIFY(!m.messages().isEmpty() && m.messages().first().text == text);
            QVERIFY(field->text().isEmpty());
            QVERIFY(SpaceBarTalk::editsText(QApplication::focusWidget())); // Return keeps the field
        };

        typeMessage("copy that");
        QVERIFY(xdotool({"key", "Escape"}));
        QTRY_VERIFY(!SpaceBarTalk::editsText(QApplication::focusWidget()));
        QCOMPARE(holdSpace(), 0);
        QTRY_VERIFY(m.talk().isIdle());
        QCOMPARE(transmissions, 1);
        QCOMPARE(field->text(), QString());

        typeMessage("on my way");
        QWidget* log = w->root()->logPanel();
        QVERIFY(click(onScreen(log, QPoint(log->width() / 2, 6))));
        QTRY_VERIFY(!SpaceBarTalk::editsText(QApplication::focusWidget()));
        QCOMPARE(holdSpace(), 0);
        QTRY_VERIFY(m.talk().isIdle());
        QCOMPARE(transmissions, 2);
        QCOMPARE(field->text(), QString());
    }

    // Under the window manager: the welcome guide shown at the first appearance stays above the main
    // window through clicks on it, and has the keyboard; so does the manual opened by a double-click on
    // a help dot (Escape closes it).
    void sheetsStayAboveTheirWindowWithTheKeyboard() {
        Defaults::shared().setValue("welcomed", false);
        Defaults::shared().setValue("requireUnlock", false);
        program = std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(rig.options()), false);
        program->launch();
        MainWindow* w = program->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        MacRoot* root = w->root();
        QTRY_VERIFY(root->openSheet() && root->openSheet()->isVisible());
        QCOMPARE(root->openSheetKind(), std::optional(MacRoot::Sheet::welcome));
        QDialog* guide = root->openSheet();
        QVERIFY(QTest::qWaitForWindowExposed(guide));
        const QRect frame = w->frameGeometry();
        for (const QPoint at : {frame.bottomLeft() + QPoint(12, -12), frame.topRight() + QPoint(-60, 40),
                                frame.bottomRight() + QPoint(-12, -12)}) {
            QVERIFY(click(at));
            QTest::qWait(300); // the window may not come above the guide in this time
            const QList<WId> order = stacking();
            QVERIFY2(order.indexOf(guide->winId()) > order.indexOf(w->winId()),
                     qPrintable(QString("clicked at %1,%2").arg(at.x()).arg(at.y())));
            QTRY_VERIFY(guide->isActiveWindow());
        }

        // The guide is finished elsewhere; the next launch has a help dot to double-click.
        program.reset();
        w = start();
        QVERIFY(w);
        root = w->root();
        auto* dot = root->findChild<HelpDot*>();
        QVERIFY(dot);
        QVERIFY(focus(w));
        QVERIFY(click(onScreen(dot, dot->rect().center()), 2));
        QTRY_VERIFY(root->openSheet() && root->openSheet()->isVisible());
        QCOMPARE(root->openSheetKind(), std::optional(MacRoot::Sheet::help));
        QTRY_VERIFY(root->openSheet()->isActiveWindow());
        QVERIFY(xdotool({"key", "Escape"}));
        QTRY_VERIFY(!root->openSheet());
    }

    void menuShortcutsFromTheKeyboard() {
        MainWindow* w = start();
        QVERIFY(w);
        QStringList posted;
        QObject listening; // the listener ends with this case
        connect(&Notifications::shared(), &Notifications::posted, &listening,
                [&posted](const QString& name, const QString& object) { posted << name + ":" + object; });

        QVERIFY(!TRMiniPanel::shared().shown());
        // Held past the server's repeat delay: still one toggle.
        QSignalSpy toggled(&TRMiniPanel::shared(), &TRMiniPanel::shownChanged);
        QVERIFY(xdotool({"keydown", "ctrl+shift+m"}));
        QTest::qWait(1500); // held past the repeat delay
        QVERIFY(xdotool({"keyup", "ctrl+shift+m"}));
        QTRY_VERIFY(TRMiniPanel::shared().shown());
        QTest::qWait(300); // no second toggle may come in this time
        QCOMPARE(toggled.size(), 1);
        // As a user would: the panel is seen to have the keyboard before it is put away.
        QTRY_VERIFY(TRMiniPanel::shared().panel()->isActiveWindow());
        TRMiniPanel::shared().hide();
        QVERIFY(focus(w));

        QSignalSpy showMain(w->command("showMain"), &QAction::triggered);
        QVERIFY(xdotool({"key", "ctrl+shift+1"}));
        QTRY_COMPARE(showMain.size(), 1);

        // Every Ctrl+? opens help: the "/" let go while the sheet took the keyboard is not kept down.
        for (int i = 1; i <= 6; ++i) {
            posted.clear();
            QVERIFY(xdotool({"key", "ctrl+question"}));
            QTRY_VERIFY2(posted.contains(Help::openHelpName() + ":quickStart"), qPrintable(QString::number(i)));
            QTRY_VERIFY(w->root()->openSheet() && w->root()->openSheet()->isActiveWindow());
            dismiss(w->root());
            QVERIFY2(focus(w), qPrintable(posted.join(' ') + " sheet: " +
                                          QString::number(w->root()->openSheetKind() ? int(*w->root()->openSheetKind()) : -1)));
        }

        // Zoom In: Ctrl with "=", with Shift and "=" (that is "+"), and with the keypad's +: one step each.
        QMZoom::setValue(1.0);
        for (const QString keys : {"ctrl+equal", "ctrl+shift+equal", "ctrl+KP_Add"}) {
            const double before = QMZoom::value();
            QVERIFY(xdotool({"key", keys}));
            QTRY_COMPARE_WITH_TIMEOUT(QMZoom::value(), QMZoom::clamp(before + QMZoom::step), 3000);
        }
        QMZoom::setValue(1.0);

        QVERIFY(xdotool({"key", "ctrl+shift+t"}));
        QTRY_VERIFY(posted.contains(SelfTest::openSelfTestName() + ":"));

    }

    // Return and keypad Enter held on a focused switch in the zoomed rack flip it once each, while still
    // held: the server repeats a held key as presses alone, which Qt does not flag. Once at a slow repeat
    // rate (each repeat lands after the click's 100 ms animation) and once at the server's own (each
    // lands within it, putting the click off until the key is let go); then a tap.
    void heldReturnPressesTheFocusedControlOnce() {
        MainWindow* w = start();
        QVERIFY(w);
        ToggleSwitch* lever = nullptr;
        for (ToggleSwitch* s : w->root()->findChildren<ToggleSwitch*>())
            if (s->title() == "Roger beep") lever = s;
        QVERIFY(lever);
        lever->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(lever->hasFocus());
        QSignalSpy flips(lever, &QAbstractButton::clicked);
        // The flips while the key is still down, and once it is up.
        using Flips = std::pair<qsizetype, qsizetype>;
        const auto hold = [&flips](const QString& key) {
            xdotool({"keydown", key});
            QTest::qWait(1500); // held past the repeat delay
            const qsizetype held = flips.size();
            xdotool({"keyup", key});
            QTest::qWait(300); // no flip may follow the release in this time
            return Flips(held, flips.size());
        };
        QVERIFY(QProcess::execute("xset", {"r", "rate", "250", "6"}) == 0);
        QCOMPARE(hold("Return"), Flips(1, 1));
        QVERIFY(QProcess::execute("xset", {"r", "rate"}) == 0);
        QCOMPARE(hold("KP_Enter"), Flips(2, 2));
        QVERIFY(xdotool({"key", "Return"}));
        QTRY_COMPARE(flips.size(), 3);
        QTest::qWait(300); // no second flip may come in this time
        QCOMPARE(flips.size(), 3);
    }

    // Pictures of the real window at the default size (into TESSROOK_SHOTS when set): every finish,
    // 85 % and 200 %, a notice, each sheet, locked. Without the folder it still opens every sheet.
    void pictures() {
        MainWindow* w = start();
        QVERIFY(w);
        for (const Finish& f : Finish::all()) {
            Defaults::shared().setValue(Finish::defaultsKey, f.id);
            shot(w, "finish-" + f.id);
        }
        Defaults::shared().remove(Finish::defaultsKey);
        QMZoom::setValue(0.85);
        shot(w, "zoom-85");
        QMZoom::setValue(2.0);
        shot(w, "zoom-200");
        QMZoom::reset();
        program->model().createChannel("Base"); // its notice shows in the banner
        shot(w, "notice");
        MacRoot* root = w->root();
        root->openSettings();
        shot(w, "sheet-settings");
        dismiss(root);
        root->openHelpAt(HelpTopic::look);
        shot(w, "sheet-help");
        dismiss(root);
        openSelfTest();
        shot(w, "sheet-selftest");
        dismiss(root);
        root->openJoin();
        shot(w, "sheet-join");
        dismiss(root);
        root->openInvite(program->model().channels().first());
        shot(w, "sheet-invite");
        dismiss(root);
        root->openEdit(program->model().channels().first());
        shot(w, "sheet-edit");
        dismiss(root);
        program->model().setShowSOSPanel(true);
        shot(w, "sheet-sos");
        program->model().setShowSOSPanel(false);
        QTRY_VERIFY(!root->openSheet());
        Defaults::shared().setValue("welcomed", false);
        program.reset();
        rig.model.reset();

        Defaults::shared().setValue("welcomed", false);
        auto model = std::make_unique<WalkieModel>(rig.options());
        program = std::make_unique<TessrookMac>(QStringList{}, std::move(model), false);
        program->launch();
        w = program->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        shot(w, "sheet-welcome");
        program.reset();

        rig.auth->answer = Authenticator::Result::failed;
        w = start(true);
        QVERIFY(w);
        shot(w, "locked");
    }
};

APP_DISPLAY_TEST_MAIN(RealDisplayTest)
#include "tst_realdisplay.moc"
