// The program's window on a real X display (the test display): a space bar held down with the real
// keyboard (the X server's auto-repeat) keys the radio once, the menu shortcuts fire from real key
// presses (some need Shift), and pictures of the window in every finish, zoom, lock and sheet.
#include "AppTest.h"
#include "Finish.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "Notifications.h"
#include "QMZoom.h"
#include "SelfTestRequest.h"
#include "TRMiniPanel.h"
#include "TessrookMac.h"

#include <QKeyEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

namespace {

// Runs xdotool on the test display and waits for it, keeping our event loop running meanwhile.
bool xdotool(const QStringList& args) {
    QProcess p;
    p.start("xdotool", args);
    if (!p.waitForStarted(5000)) return false;
    while (p.state() != QProcess::NotRunning) QTest::qWait(10);
    return p.exitCode() == 0;
}

struct RepeatCounter : QObject {
    int presses = 0, repeats = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o->isWindowType() && (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->key() == Qt::Key_Space) (k->isAutoRepeat() ? repeats : presses)++;
        }
        return false;
    }
};

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
        xdotool({"windowfocus", "--sync", QString::number(w->winId())});
        QTest::qWaitForWindowActive(w);
        return w;
    }

    void shot(MainWindow* w, const QString& name) {
        const QString folder = qEnvironmentVariable("TESSROOK_SHOTS");
        if (folder.isEmpty()) return;
        QDir().mkpath(folder);
        QTest::qWait(400); // animations and queued sheets settle
        QScreen* screen = w->screen();
        const QRect r = w->frameGeometry();
        screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(folder + "/window-" + name + ".png");
    }

    // As Escape would: each sheet's own dismissal, which tells its presenter.
    static void dismiss(MacRoot* root) {
        QMetaObject::invokeMethod(root->openSheet(), "reject");
        QTRY_VERIFY(!root->openSheet());
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
        xdotool({"keyup", "space"});
        program.reset();
        rig.model.reset();
    }

    void heldSpaceBarKeysOnce() {
        MainWindow* w = start();
        QVERIFY(w);
        WalkieModel& m = program->model();
        m.createChannel("Base");
        int started = 0, ended = 0;
        bool was = false;
        connect(&m, &WalkieModel::talkChanged, this, [&](const TalkState& t) {
            if (t.isTransmitting() && !was) ++started;
            if (!t.isTransmitting() && was) ++ended;
            was = t.isTransmitting();
        });
        RepeatCounter counter;
        qApp->installEventFilter(&counter);
        QVERIFY(xdotool({"keydown", "space"}));
        QTRY_VERIFY(m.talk().isTransmitting());
        QTest::qWait(1500); // the X server repeats the held key meanwhile
        QVERIFY(m.talk().isTransmitting());
        QVERIFY(xdotool({"keyup", "space"}));
        QTRY_VERIFY(m.talk().isIdle());
        qApp->removeEventFilter(&counter);
        qInfo() << "space events:" << counter.presses << "real," << counter.repeats << "auto-repeat";
        QCOMPARE(started, 1);
        QCOMPARE(ended, 1);
    }

    void menuShortcutsFromTheKeyboard() {
        MainWindow* w = start();
        QVERIFY(w);
        QStringList posted;
        QObject listening; // the listener ends with this case
        connect(&Notifications::shared(), &Notifications::posted, &listening,
                [&posted](const QString& name, const QString& object) { posted << name + ":" + object; });

        QVERIFY(!TRMiniPanel::shared().shown());
        QVERIFY(xdotool({"key", "ctrl+shift+m"}));
        QTRY_VERIFY(TRMiniPanel::shared().shown());
        TRMiniPanel::shared().hide();
        xdotool({"windowfocus", "--sync", QString::number(w->winId())});
        QTRY_VERIFY(w->isActiveWindow());

        QSignalSpy showMain(w->command("showMain"), &QAction::triggered);
        QVERIFY(xdotool({"key", "ctrl+shift+1"}));
        QTRY_COMPARE(showMain.size(), 1);

        QVERIFY(xdotool({"key", "ctrl+question"}));
        QTRY_VERIFY(posted.contains(Help::openHelpName() + ":quickStart"));
        QTRY_VERIFY(w->root()->openSheet());
        dismiss(w->root());
        xdotool({"windowfocus", "--sync", QString::number(w->winId())});
        QTRY_VERIFY(w->isActiveWindow());

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
        QTest::qWait(200);
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

int main(int argc, char** argv) {
    fixture::privateFolders();
    const QByteArray display = qgetenv("TESSROOK_TEST_DISPLAY");
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    TRLaunch::useProgramNames();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TessrookMac::applyLook(app);
    WFonts::registerFonts();
    RealDisplayTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_realdisplay.moc"
