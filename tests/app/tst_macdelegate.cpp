// The delegate: the space bar as push-to-talk (auto-repeat, text fields also inside the zoom host,
// popups, lock, no model, one action per event), release when the program loses the keyboard, the
// start in Mini mode, reopening, and links handed to the model.
#include "AppTest.h"
#include "Channel.h"
#include "MacDelegate.h"
#include "QMZoomHost.h"
#include "ReaderBridge.h"
#include "ShortcutOncePerPress.h"
#include "SpaceBarTalk.h"
#include "TRKLog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtTest>

namespace {

// Counts the transmissions the model really started and ended.
struct TalkCount {
    int started = 0, ended = 0;
    void watch(WalkieModel& m) {
        QObject::connect(&m, &WalkieModel::talkChanged, &m, [this, was = false](const TalkState& t) mutable {
            if (t.isTransmitting() && !was) ++started;
            if (!t.isTransmitting() && was) ++ended;
            was = t.isTransmitting();
        });
    }
};

// Sends a key event to the window the way the platform delivers it (the window first).
bool send(QWidget* window, QEvent::Type type, bool autoRepeat = false, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent e(type, Qt::Key_Space, mods, QStringLiteral(" "), autoRepeat);
    QApplication::sendEvent(window->windowHandle(), &e);
    return e.isAccepted();
}

} // namespace

class MacDelegateTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;
    TalkCount count;
    std::unique_ptr<QWidget> window;
    QLineEdit* field = nullptr;
    QPushButton* button = nullptr;

    WalkieModel& radio(bool locked = false) {
        Defaults::shared().setValue("requireUnlock", locked);
        auto& m = rig.make();
        m.createChannel("Base");
        count = {};
        count.watch(m);
        WalkieModel::setShared(&m);
        return m;
    }

    void showWindow() {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        button = new QPushButton("Focused button");
        field = new QLineEdit;
        layout->addWidget(button);
        layout->addWidget(field);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        button->setFocus();
    }

private slots:
    void init() {
        fixture::resetSettings();
        Defaults::shared().remove("requireUnlock");
    }
    void cleanup() {
        window.reset();
        WalkieModel::setShared(nullptr);
        rig.model.reset();
    }

    // A held key arrives as a press, then repeats: release+press pairs flagged auto-repeat, pairs the
    // toolkit failed to flag (the press right behind the release), or presses alone (detectable
    // auto-repeat); then one real release: one transmission. Every space event is swallowed, so the
    // focused button is never clicked; modifiers do not matter.
    void heldSpaceKeysOnceAndReachesNoWidget() {
        auto& m = radio();
        showWindow();
        SpaceBarTalk bar;
        bar.install();
        QSignalSpy clicked(button, &QPushButton::clicked);

        QVERIFY(send(window.get(), QEvent::KeyPress));
        QCOMPARE(m.talk(), TalkState::transmitting());
        for (int i = 0; i < 4; ++i) {
            send(window.get(), QEvent::KeyRelease, true);
            send(window.get(), QEvent::KeyPress, true);
            send(window.get(), QEvent::KeyRelease);
            send(window.get(), QEvent::KeyPress);
            QTest::qWait(5); // a repeat's pace
            send(window.get(), QEvent::KeyPress);
        }
        QTest::qWait(20); // the talk may not end in this time
        QCOMPARE(m.talk(), TalkState::transmitting());
        QVERIFY(bar.held());
        send(window.get(), QEvent::KeyRelease);
        QTRY_COMPARE(m.talk(), TalkState::idle());
        QCOMPARE(count.started, 1);
        QCOMPARE(count.ended, 1);
        QCOMPARE(clicked.size(), 0);

        send(window.get(), QEvent::KeyPress, false, Qt::ShiftModifier);
        QCOMPARE(m.talk(), TalkState::transmitting());
        send(window.get(), QEvent::KeyRelease, false, Qt::ShiftModifier);
        QTRY_VERIFY(!bar.held());
        QCOMPARE(count.started, 2);
        QCOMPARE(count.ended, 2);
        QCOMPARE(clicked.size(), 0);
    }

    // Under a screen reader every key event comes twice, the original and the bridge's copy stamped 0
    // (ReaderBridge.h). The space bar still keys the radio once per hold and clicks nothing; a shortcut
    // still acts on a fresh press only, also after a press a shortcut used (no key event follows it).
    void keysUnderAScreenReaderBridge() {
        using readerbridge::settle;
        using readerbridge::systemKey;
        auto& m = radio();
        showWindow();
        SpaceBarTalk bar;
        bar.install();
        ShortcutOncePerPress once;
        once.install();
        ReaderBridge bridge;
        QSignalSpy clicked(button, &QPushButton::clicked);
        const auto space = [&](QEvent::Type type) {
            systemKey(window.get(), type, Qt::Key_Space, 65, {}, QStringLiteral(" "));
            settle();
        };
        space(QEvent::KeyPress);
        QCOMPARE(m.talk(), TalkState::transmitting());
        space(QEvent::KeyPress);
        space(QEvent::KeyRelease);
        QTRY_COMPARE(m.talk(), TalkState::idle());
        QCOMPARE(count.started, 1);
        QCOMPARE(count.ended, 1);
        QCOMPARE(clicked.size(), 0);

        // Ctrl+M: whether the press is left to the shortcuts (false) or held back as a repeat (true).
        // The copy of a press asks the shortcuts again (Qt does so for every key press the program
        // sends on): a repeat's copy must not act either.
        int acted = 0;
        QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_M), window.get());
        connect(&shortcut, &QShortcut::activated, this, [&acted] { ++acted; });
        const auto ctrlM = [&](QEvent::Type type) {
            const bool heldBack = systemKey(window.get(), type, Qt::Key_M, 58, Qt::ControlModifier);
            settle();
            return heldBack;
        };
        QVERIFY(!ctrlM(QEvent::KeyPress));
        QCOMPARE(acted, 1);
        QVERIFY(ctrlM(QEvent::KeyPress));
        QVERIFY(ctrlM(QEvent::KeyPress));
        ctrlM(QEvent::KeyRelease);
        QCOMPARE(acted, 1);
        QVERIFY(!ctrlM(QEvent::KeyPress));
        ctrlM(QEvent::KeyRelease);
        QCOMPARE(acted, 2);
        QCOMPARE(bridge.copies, 9);
    }

    // Text fields take the space, in a plain window and inside the zoom host (where the application's
    // focus widget is the host itself); so do spin boxes and editable combo boxes.
    void textFieldsTypeTheSpace() {
        auto& m = radio();
        showWindow();
        SpaceBarTalk bar;
        bar.install();
        field->setFocus();
        QTest::keyClick(window->windowHandle(), Qt::Key_A);
        send(window.get(), QEvent::KeyPress);
        send(window.get(), QEvent::KeyRelease);
        QCOMPARE(field->text(), QString("a "));
        QCOMPARE(count.started, 0);

        auto focus = [this](QWidget* w) {
            if (!w->parentWidget()) window->layout()->addWidget(w);
            w->show();
            w->setFocus();
            return QTest::qWaitFor([w] { return w->hasFocus(); }, 2000);
        };
        for (QWidget* editor : std::initializer_list<QWidget*>{new QSpinBox, new QTextEdit}) {
            QVERIFY(focus(editor));
            QVERIFY(SpaceBarTalk::editsText(QApplication::focusWidget()));
        }
        auto* combo = new QComboBox;
        QVERIFY(focus(combo));
        QVERIFY(!SpaceBarTalk::editsText(QApplication::focusWidget())); // a plain picker keys the radio
        combo->setEditable(true);
        QVERIFY(focus(combo));
        QVERIFY(SpaceBarTalk::editsText(QApplication::focusWidget()));

        // Inside the zoom host: five deliveries (window, view, scene, proxy, widget), one action.
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        auto* inner = new QLineEdit;
        auto* innerButton = new QPushButton("Inner");
        layout->addWidget(inner);
        layout->addWidget(innerButton);
        QMZoomHost host(content, QSizeF(300, 200));
        host.resize(400, 300);
        host.show();
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        window->hide();
        host.setFocus();
        inner->setFocus();
        QTRY_VERIFY(inner->hasFocus());
        QTRY_COMPARE(QApplication::focusWidget(), &host);
        QVERIFY(send(&host, QEvent::KeyPress));
        send(&host, QEvent::KeyRelease);
        QCOMPARE(inner->text(), QString(" "));
        QCOMPARE(count.started, 0);

        innerButton->setFocus();
        QTRY_VERIFY(innerButton->hasFocus());
        QSignalSpy clicked(innerButton, &QPushButton::clicked);
        send(&host, QEvent::KeyPress);
        QCOMPARE(count.started, 1);
        send(&host, QEvent::KeyRelease);
        QTRY_COMPARE(count.ended, 1);
        QCOMPARE(clicked.size(), 0);
        QCOMPARE(m.talk(), TalkState::idle());
    }

    // No keying while a popup is open, while the privacy lock holds or without a model: the space then
    // reaches the focused widget as usual.
    void standsAsideForPopupLockAndNoModel() {
        auto& m = radio();
        showWindow();
        SpaceBarTalk bar;
        bar.install();
        QMenu menu;
        menu.addAction("Item");
        menu.popup(window->geometry().center());
        QTRY_VERIFY(QApplication::activePopupWidget());
        QVERIFY(!send(window.get(), QEvent::KeyPress) || count.started == 0);
        QCOMPARE(count.started, 0);
        menu.close();
        QTRY_VERIFY(!QApplication::activePopupWidget());

        {
            SpaceBarTalk noModel([] { return nullptr; }); // the model is gone
            qApp->removeEventFilter(&bar);
            noModel.install();
            QSignalSpy clicked(button, &QPushButton::clicked);
            send(window.get(), QEvent::KeyPress);
            send(window.get(), QEvent::KeyRelease);
            QCOMPARE(clicked.size(), 1);
            QCOMPARE(count.started, 0);
            QCOMPARE(m.talk(), TalkState::idle());
        }

        cleanup();
        auto& locked = radio(true);
        QVERIFY(locked.locked());
        showWindow();
        SpaceBarTalk lockedBar;
        lockedBar.install();
        QSignalSpy clicked(button, &QPushButton::clicked);
        send(window.get(), QEvent::KeyPress);
        send(window.get(), QEvent::KeyRelease);
        QCOMPARE(count.started, 0);
        QCOMPARE(clicked.size(), 1); // the button had it
    }

    // Holding the key while the program loses the keyboard releases once (the key-up goes elsewhere).
    void losingTheKeyboardReleasesOnce() {
        auto& m = radio();
        showWindow();
        SpaceBarTalk bar;
        bar.install();
        send(window.get(), QEvent::KeyPress);
        QVERIFY(bar.held());
        // The program loses the keyboard to another application (the platform says so).
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(count.ended, 1);
        QVERIFY(!bar.held());
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QCOMPARE(count.ended, 1); // nothing held: nothing to release
        QCOMPARE(count.started, 1);
    }

    // openedAtLogin x wanted x startMini, and --mini: the log line, the panel, two closes.
    void miniStartMatrix() {
        for (int bits = 0; bits < 16; ++bits) {
            const bool atLogin = bits & 1, wanted = bits & 2, startMini = bits & 4, flag = bits & 8;
            int minis = 0, closes = 0;
            MacDelegate::Shell shell;
            shell.detectLaunch = [] {};
            shell.openedAtLogin = [=] { return atLogin; };
            shell.loginWanted = [=] { return wanted; };
            shell.loginStartsMini = [=] { return startMini; };
            shell.showMini = [&] { ++minis; };
            shell.closeMain = [&] { ++closes; };
            shell.showMain = [] {};
            QStringList args{"--opened-at-login"};
            if (flag) args << "--mini";
            MacDelegate d(args, shell);
            const QString expected = atLogin && wanted && startMini ? "Opened at login: starting in Mini mode"
                                     : flag                       ? "Started in Mini mode (--mini)"
                                                                  : "";
            QCOMPARE(d.miniStartLine(), expected);
            QElapsedTimer t;
            t.start();
            d.applicationDidFinishLaunching();
            QCOMPARE(minis, expected.isEmpty() ? 0 : 1);
            if (expected.isEmpty()) continue;
            QCOMPARE(closes, 0);
            QTRY_COMPARE_WITH_TIMEOUT(closes, 1, 1000);
            QVERIFY(t.elapsed() >= 190);
            QTRY_COMPARE_WITH_TIMEOUT(closes, 2, 1500);
            QVERIFY(t.elapsed() >= 790);
        }
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("Opened at login: starting in Mini mode"));
        QVERIFY(text.contains("Started in Mini mode (--mini)"));
    }

    // Links go to the model unchanged (a bad one leaves the model's own notice); with no model they are
    // dropped. "activate" always goes to showMain, which brings back or raises the window.
    void linksAndReopen() {
        int shows = 0;
        MacDelegate::Shell shell = MacDelegate::realShell();
        shell.showMain = [&] { ++shows; };
        MacDelegate d({}, shell);
        d.openLinks({Channel::withRandomKey("Nobody")->inviteLink()}); // no model yet: dropped
        auto& m = radio();
        const Channel kite = *Channel::withRandomKey("Kite");
        d.openLinks({kite.inviteLink(), "qmtalk://join?broken"});
        QCOMPARE(m.channels().size(), 2);
        QCOMPARE(m.channels().last().channelID(), kite.channelID());
        QCOMPARE(m.notice(), QString("That invite didn't work. Ask for a fresh one."));
        d.reopen();
        QCOMPARE(shows, 1);
    }
};

APP_TEST_MAIN(MacDelegateTest)
#include "tst_macdelegate.moc"
