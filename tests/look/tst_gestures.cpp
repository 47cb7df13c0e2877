// What the talk button, the toggle switch and the covered SOS button do when touched: press and
// release, the timed accessibility press, a lost release (button hidden, disabled or under a modal), the
// lift-and-hold sequence driven tick by tick, and the cancel and close controls.
#include "GuardedSOSButton.h"
#include "KeyActivation.h"
#include "KeysDown.h"
#include "ManualTicks.h"
#include "PTTButton.h"
#include "RackButton.h"
#include "ReaderBridge.h"
#include "ToggleSwitch.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QPointer>
#include <QtTest>

namespace {

struct Counts {
    int press = 0, release = 0, fire = 0, cancel = 0;
};

void press(QWidget* w, QPointF at) {
    QTest::mousePress(w, Qt::LeftButton, {}, at.toPoint());
}
void release(QWidget* w, QPointF at) {
    QTest::mouseRelease(w, Qt::LeftButton, {}, at.toPoint());
}
void move(QWidget* w, QPointF at) {
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
// The name of the covered button's accessible part: 0 the cover, 1 the round button.
QString partName(QWidget* w, int part) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a && a->child(part) ? a->child(part)->text(QAccessible::Name) : QString();
}

// What a shortcut is told of each press from the server: whether it is the key held.
struct OverrideSpy : QObject {
    QList<bool> repeats;
    OverrideSpy() { qApp->installEventFilter(this); }
    ~OverrideSpy() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* to, QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride && e->spontaneous() && to->isWindowType())
            repeats << KeysDown::isRepeat(static_cast<QKeyEvent*>(e));
        return false;
    }
};

void click(QWidget* w, QPointF at) {
    press(w, at);
    release(w, at);
}

} // namespace

class GesturesTest : public QObject {
    Q_OBJECT
    const Finish finish = Finish::all().first();

    // A shown SOS button on manual ticks, cover lifted or not.
    struct Sos {
        Counts counts;
        ManualTicks ticks;
        std::unique_ptr<GuardedSOSButton> button;
        Sos(const Finish& f, bool active, bool lifted) {
            button = std::make_unique<GuardedSOSButton>(
                f, active, false, 120, [this] { ++counts.fire; }, [this] { ++counts.cancel; }, &ticks);
            button->resize(button->sizeHint());
            button->show();
            if (lifted) click(button.get(), button->coverRect().center());
        }
        QPointF centre() const { return button->buttonCentre(); }
    };

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    // Talk button

    void talkButtonPressesOnceAndReleasesOnLetGo() {
        Counts n;
        PTTButton b(
            finish, PTTButton::State::idle, 230, [&] { ++n.press; }, [&] { ++n.release; });
        b.resize(b.sizeHint());
        b.show();
        const QPointF c = b.dialRect().center();
        press(&b, c);
        QCOMPARE(n.press, 1);
        QVERIFY(b.isDown());
        move(&b, c + QPointF(30, 0));
        move(&b, c + QPointF(400, 0)); // dragging off the button keeps talking
        QCOMPARE(n.press, 1);
        QCOMPARE(n.release, 0);
        release(&b, c + QPointF(400, 0));
        QCOMPARE(n.release, 1);
        QVERIFY(!b.isDown());
        click(&b, c);
        QCOMPARE(n.press, 2);
        QCOMPARE(n.release, 2);
    }

    void talkButtonHiddenDisabledOrDestroyedWhileHeldReleasesOnce() {
        Counts n;
        PTTButton b(
            finish, PTTButton::State::transmitting, 150, [&] { ++n.press; }, [&] { ++n.release; });
        b.resize(b.sizeHint());
        b.show();
        const QPointF c = b.dialRect().center();
        press(&b, c);
        b.setEnabled(false);
        QCOMPARE(n.release, 1);
        release(&b, c); // the late release (if any arrives) changes nothing
        QCOMPARE(n.release, 1);
        b.setEnabled(true);
        press(&b, c);
        b.hide();
        QCOMPARE(n.press, 2);
        QCOMPARE(n.release, 2);
        // Hiding or disabling a button nobody holds releases nothing.
        b.show();
        b.setEnabled(false);
        b.hide();
        QCOMPARE(n.release, 2);
        // A button destroyed while held (its view rebuilt under the pointer) releases on the way out.
        QWidget window;
        auto* held = new PTTButton(
            finish, PTTButton::State::transmitting, 150, [&] { ++n.press; }, [&] { ++n.release; }, &window);
        held->resize(held->sizeHint());
        window.show();
        press(held, held->dialRect().center());
        delete held;
        QCOMPARE(n.press, 3);
        QCOMPARE(n.release, 3);
        auto* idle = new PTTButton(
            finish, PTTButton::State::idle, 150, [&] { ++n.press; }, [&] { ++n.release; }, &window);
        delete idle;
        QCOMPARE(n.release, 3);
    }

    void aModalWindowOpenedWhileHeldReleasesTheTalkButtonAndEndsTheSOSHold() {
        // Pressed through the window, as a real pointer does: the modal window then swallows the release.
        Counts n;
        ManualTicks ticks;
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* talk = new PTTButton(
            finish, PTTButton::State::idle, 150, [&] { ++n.press; }, [&] { ++n.release; });
        auto* sos = new GuardedSOSButton(
            finish, false, false, 120, [&] { ++n.fire; }, {}, &ticks);
        layout->addWidget(talk);
        layout->addWidget(sos);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWindow* handle = window.windowHandle();
        auto at = [&](QWidget* w, QPointF p) { return w->mapTo(&window, p.toPoint()); };
        QTest::mouseClick(handle, Qt::LeftButton, {}, at(sos, sos->coverRect().center()));
        QVERIFY(sos->hold().coverOpen());

        QTest::mousePress(handle, Qt::LeftButton, {}, at(talk, talk->dialRect().center()));
        QCOMPARE(n.press, 1);
        {
            QDialog alert(&window);
            alert.setModal(true);
            alert.show();
            QCOMPARE(n.release, 1);
            QTest::mouseRelease(handle, Qt::LeftButton, {}, at(talk, talk->dialRect().center()));
        }
        QCOMPARE(n.release, 1);

        QTest::mousePress(handle, Qt::LeftButton, {}, at(sos, sos->buttonCentre()));
        QVERIFY(sos->hold().holding());
        ticks.advance(40);
        {
            QDialog alert(&window);
            alert.setModal(true);
            alert.show();
            QVERIFY(!sos->hold().holding());
            QCOMPARE(ticks.advance(100), 0);
            QTest::mouseRelease(handle, Qt::LeftButton, {}, at(sos, sos->buttonCentre()));
        }
        QCOMPARE(n.fire, 0);
        QVERIFY(sos->hold().coverOpen());
    }

    void accessibilityActionPressesThenReleasesThreeSecondsLaterEvenWhenTheButtonIsGone() {
        Counts n, disabledCounts;
        auto* b = new PTTButton(
            finish, PTTButton::State::idle, 230, [&] { ++n.press; }, [&] { ++n.release; });
        PTTButton disabled(
            finish, PTTButton::State::idle, 150, [&] { ++disabledCounts.press; },
            [&] { ++disabledCounts.release; });
        disabled.setEnabled(false);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Button);
        QCOMPARE(a->text(QAccessible::Name), QString("Push to talk"));
        QCOMPARE(a->childCount(), 0);
        QVERIFY(a->actionInterface());
        QCOMPARE(a->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});

        QElapsedTimer clock;
        clock.start();
        a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QAccessible::queryAccessibleInterface(&disabled)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
        QCOMPARE(n.press, 1);
        QCOMPARE(n.release, 0);
        QCOMPARE(disabledCounts.press, 0); // the privacy lock disables the button: the action does nothing
        delete b;                          // the release must still come
        QTest::qWait(2700);                // the release may not come before three seconds
        QCOMPARE(n.release, 0);
        QTRY_COMPARE_WITH_TIMEOUT(n.release, 1, 1500);
        QVERIFY(clock.elapsed() >= 2990);
        QTest::qWait(200); // no second release may come
        QCOMPARE(n.release, 1);
        QCOMPARE(disabledCounts.release, 0);
    }

    // Rack keys and help dots

    // Clicks, and Return on the focused key: once per press of the key. A held key comes from the server
    // as presses alone, unflagged; each is told from a new press by the key's release before it (or the
    // program losing the keyboard, which hides the release). A repeat lands after the click's animation
    // here, as at a slow repeat rate.
    void rackButtonCallsItsActionOncePerClickOrKeyPressAndNeverWhileDisabled() {
        int calls = 0;
        RackButton b("Open SOS panel", finish, "sos", false, [&] { ++calls; });
        b.resize(b.sizeHint());
        b.show();
        QTest::mouseClick(&b, Qt::LeftButton);
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(calls, 2);

        KeyActivation::install();
        b.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&b));
        b.setFocus();
        quint64 time = 1000;
        const auto key = [&b, &time](QEvent::Type type, int k = Qt::Key_Return) {
            const bool keypad = k == Qt::Key_Enter;
            QKeyEvent e(type, k, keypad ? Qt::KeypadModifier : Qt::NoModifier, keypad ? 104 : 36, 0, 0);
            e.setTimestamp(time += 40);
            QApplication::sendEvent(&b, &e);
        };
        const auto repeatsDoNothing = [&] {
            for (int i = 0; i < 2; ++i) {
                QTest::qWait(150); // a repeat lands after the click's animation
                key(QEvent::KeyPress);
            }
            QTest::qWait(150); // no click may follow in this time
        };
        key(QEvent::KeyPress);
        QTRY_COMPARE(calls, 3);
        repeatsDoNothing();
        QCOMPARE(calls, 3);
        key(QEvent::KeyRelease);
        key(QEvent::KeyPress);
        QTRY_COMPARE(calls, 4);
        emit qApp->applicationStateChanged(Qt::ApplicationInactive); // let go elsewhere
        key(QEvent::KeyPress);
        QTRY_COMPARE(calls, 5);
        repeatsDoNothing();
        key(QEvent::KeyPress, Qt::Key_Enter); // another key
        QTRY_COMPARE(calls, 6);
        key(QEvent::KeyRelease);
        key(QEvent::KeyRelease, Qt::Key_Enter);

        b.setEnabled(false);
        QTest::mouseClick(&b, Qt::LeftButton);
        key(QEvent::KeyPress);
        key(QEvent::KeyRelease);
        QTest::qWait(150); // no click may follow in this time
        QCOMPARE(calls, 6);
    }

    // A key's size is there to hold its title: at its size hint the title's ink, found as what a titled
    // key draws and a blank one of the same size does not, lies clear of the key's rim on every side.
    void rackButtonsSizeHoldsItsTitle() {
        for (const QString& title :
             {QStringLiteral("Open SOS panel"), QStringLiteral("Wg"), QStringLiteral("Settings and Help")}) {
            RackButton titled(title, finish, {}, false, {});
            RackButton blank(QString(), finish, {}, false, {});
            const QSize size = titled.sizeHint();
            titled.resize(size);
            blank.resize(size);
            const QImage a = titled.grab().toImage(), b = blank.grab().toImage();
            QCOMPARE(a.size(), b.size());
            QRect ink;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    if (a.pixel(x, y) != b.pixel(x, y)) ink |= QRect(x, y, 1, 1);
            const qreal dpr = a.devicePixelRatio();
            const QRect clear =
                QRect(QPoint(0, 0), size * dpr).adjusted(4 * dpr, 3 * dpr, -4 * dpr, -3 * dpr);
            QVERIFY2(!ink.isEmpty() && clear.contains(ink),
                     qPrintable(QStringLiteral("%1: ink %2,%3 %4x%5 in a %6x%7 key")
                                    .arg(title)
                                    .arg(ink.x())
                                    .arg(ink.y())
                                    .arg(ink.width())
                                    .arg(ink.height())
                                    .arg(a.width())
                                    .arg(a.height())));
        }
    }

    // Toggle switch

    void toggleFlipsOnEachClickAndTwoClicksRestore() {
        ToggleSwitch s("Scrambler", false, finish);
        s.resize(s.sizeHint());
        s.show();
        QList<bool> written;
        connect(&s, &ToggleSwitch::toggledByUser, this, [&](bool on) { written << on; });
        QTest::mouseClick(&s, Qt::LeftButton);
        QVERIFY(s.isOn());
        QTest::mouseClick(&s, Qt::LeftButton);
        QVERIFY(!s.isOn());
        QCOMPARE(written, (QList<bool>{true, false}));
        // The lever springs to rest at the value's end.
        QTRY_COMPARE(s.leverPosition(), 0.0);
        // The bound value changed elsewhere is followed without writing back.
        s.setOn(true);
        QCOMPARE(s.leverPosition(), 1.0);
        QCOMPARE(written.size(), 2);
    }

    // Covered SOS button

    void holdingWithTheCoverClosedDoesNothingUntilTheCoverIsLifted() {
        Sos s(finish, false, false);
        press(s.button.get(), s.centre());
        move(s.button.get(), s.centre() + QPointF(1, 1));
        QVERIFY(!s.button->hold().holding());
        QCOMPARE(s.ticks.starts(), 0);
        release(s.button.get(), s.centre()); // that press was a tap on the cover
        QVERIFY(s.button->hold().coverOpen());
        QCOMPARE(partName(s.button.get(), 1), QString("SOS. Hold for two seconds"));
        QVERIFY(s.button->closeButton()->isVisible());
        QVERIFY(!s.button->cancelButton()->isVisible());
        press(s.button.get(), s.centre());
        QVERIFY(s.button->hold().holding());
        QCOMPARE(s.ticks.interval(), 20);
    }

    // From the keyboard: Return taps the cover and a fresh Return starts the hold. A held key comes
    // from the X server as release+press pairs, not always flagged as repeats: such a pair does not end
    // the hold, a real release does (after a short grace), and keypad Enter counts as Return. A Return
    // held down before the button had the keyboard (repeats as presses alone, unflagged) does nothing.
    void returnLiftsTheCoverAndAHeldReturnHoldsThroughRepeats() {
        Sos s(finish, false, false);
        GuardedSOSButton* b = s.button.get();
        KeyActivation::install();
        const auto real = [](QObject* to, QEvent::Type type, quint64 time) {
            QKeyEvent e(type, Qt::Key_Return, Qt::NoModifier, 36, 0, 0);
            e.setTimestamp(time);
            QApplication::sendEvent(to, &e);
        };
        QWidget elsewhere;
        real(&elsewhere, QEvent::KeyPress, 1000);
        real(b, QEvent::KeyPress, 1500);
        real(b, QEvent::KeyPress, 1540);
        QVERIFY(!b->hold().coverOpen());
        real(b, QEvent::KeyRelease, 1560);
        const auto key = [b](QEvent::Type type, int k = Qt::Key_Return, bool repeat = false,
                             Qt::KeyboardModifiers mods = Qt::NoModifier) {
            QKeyEvent e(type, k, mods, QString(), repeat);
            QApplication::sendEvent(b, &e);
        };
        // The grace for a repeat runs out: what comes next is a new press (or shows none came).
        const auto settle = [] { QTest::qWait(KeyHold::graceMs * 3); };
        key(QEvent::KeyPress);
        QVERIFY(b->hold().coverOpen());
        key(QEvent::KeyPress, Qt::Key_Return, true); // still down from the lift
        key(QEvent::KeyRelease, Qt::Key_Return, true);
        key(QEvent::KeyPress, Qt::Key_Return, true);
        QVERIFY(!b->hold().holding());
        key(QEvent::KeyRelease);
        settle();
        key(QEvent::KeyPress, Qt::Key_Return, false, Qt::ControlModifier); // not the activation key
        QVERIFY(!b->hold().holding());

        key(QEvent::KeyPress, Qt::Key_Enter, false, Qt::KeypadModifier);
        QVERIFY(b->hold().holding());
        QCOMPARE(s.ticks.advance(50), 50);
        key(QEvent::KeyRelease, Qt::Key_Enter, false, Qt::KeypadModifier); // unflagged repeat pair
        key(QEvent::KeyPress, Qt::Key_Enter, false, Qt::KeypadModifier);
        settle();
        QVERIFY(b->hold().holding());
        QCOMPARE(s.ticks.advance(100), 50);
        QCOMPARE(s.counts.fire, 1);
        QVERIFY(!b->hold().coverOpen());
        key(QEvent::KeyRelease, Qt::Key_Enter, false, Qt::KeypadModifier);
        settle();
        QCOMPARE(s.counts.fire, 1);

        // Released early: the hold ends without firing and the cover stays up.
        key(QEvent::KeyPress);
        key(QEvent::KeyRelease);
        settle();
        key(QEvent::KeyPress);
        QCOMPARE(s.ticks.advance(75), 75);
        key(QEvent::KeyRelease);
        QVERIFY(b->hold().holding()); // within the grace a repeat may still follow
        QTRY_VERIFY(!b->hold().holding());
        QVERIFY(b->hold().coverOpen());
        QCOMPARE(s.counts.fire, 1);
    }

    // Under a screen reader every key event comes twice, the original and the bridge's copy stamped 0
    // (ReaderBridge.h), whether the program's record of keys down sees the original or only the copy.
    // A tap of Return presses the focused key once and lifts the SOS cover; a held Return presses once;
    // Return held on the uncovered button holds through its repeats, and its release ends the hold.
    void returnWorksUnderAScreenReaderBridge_data() {
        QTest::addColumn<bool>("recordFirst");
        QTest::newRow("bridge first") << false;
        QTest::newRow("record first") << true;
    }
    void returnWorksUnderAScreenReaderBridge() {
        QFETCH(bool, recordFirst);
        KeyActivation::install();
        ReaderBridge bridge; // installed last, it takes the keys first
        if (recordFirst) KeysDown::install();
        using readerbridge::settle;
        using readerbridge::systemKey;

        int calls = 0;
        Counts n;
        ManualTicks ticks;
        QWidget window;
        auto* row = new QHBoxLayout(&window);
        auto* key = new RackButton("Setup", finish, {}, false, [&] { ++calls; });
        auto* sos = new GuardedSOSButton(
            finish, false, false, 120, [&] { ++n.fire; }, {}, &ticks);
        row->addWidget(key);
        row->addWidget(sos);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto returnKey = [&](QEvent::Type type) {
            systemKey(&window, type, Qt::Key_Return, 36);
            settle();
        };

        key->setFocus();
        returnKey(QEvent::KeyPress);
        returnKey(QEvent::KeyRelease);
        QTRY_COMPARE(calls, 1);
        returnKey(QEvent::KeyPress);
        QTRY_COMPARE(calls, 2);
        for (int i = 0; i < 3; ++i) {
            QTest::qWait(150);           // a repeat lands after the click's animation
            returnKey(QEvent::KeyPress); // the server's repeat of the held key
        }
        returnKey(QEvent::KeyRelease);
        QTest::qWait(150); // no click may follow in this time
        QCOMPARE(calls, 2);

        sos->setFocus();
        returnKey(QEvent::KeyPress);
        returnKey(QEvent::KeyRelease);
        QVERIFY(sos->hold().coverOpen());
        QVERIFY(!sos->hold().holding());
        QTest::qWait(KeyHold::graceMs * 3); // the grace runs out: the next press is a new one
        returnKey(QEvent::KeyPress);
        QVERIFY(sos->hold().holding());
        QCOMPARE(ticks.advance(50), 50);
        returnKey(QEvent::KeyPress);
        QTest::qWait(KeyHold::graceMs * 3); // the hold may not end in this time
        QVERIFY(sos->hold().holding());
        returnKey(QEvent::KeyRelease);
        QTRY_VERIFY(!sos->hold().holding());
        QCOMPARE(n.fire, 0);
        QVERIFY(sos->hold().coverOpen());
        QCOMPARE(bridge.copies, 12);
    }

    // A reader that answers late lets the copy of a press come after the key's real release. The next
    // real press of that key is a new press for the shortcuts, not a repeat; a key held is still one.
    void aLateReadersCopiesDoNotHoldAKeyDown() {
        OverrideSpy shortcuts; // behind the record and the bridge, as a shortcut is
        ReaderBridge bridge;
        bridge.late = true;
        KeysDown::install(); // in front of the bridge: it sees the originals and the copies
        QWidget window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        using readerbridge::systemKey;
        const auto slash = [&](QEvent::Type type) { systemKey(&window, type, Qt::Key_Slash, 61); };

        slash(QEvent::KeyPress); // the reader in time: copies come
        bridge.sendHeld();
        slash(QEvent::KeyRelease);
        bridge.sendHeld();
        slash(QEvent::KeyPress); // the reader late
        slash(QEvent::KeyRelease);
        bridge.sendHeld(); // the press's copy, after the release
        slash(QEvent::KeyPress);
        bridge.sendHeld();       // the first release's copy
        slash(QEvent::KeyPress); // held: the server's repeat
        slash(QEvent::KeyRelease);
        bridge.sendHeld(3);
        slash(QEvent::KeyPress);
        bridge.sendHeld();
        slash(QEvent::KeyRelease);
        bridge.sendHeld();
        QCOMPARE(shortcuts.repeats, (QList<bool>{false, false, false, true, false}));
        QCOMPARE(bridge.copies, 9);
    }

    void releasingEarlyAbortsAndLeavesTheCoverOpen() {
        Sos s(finish, false, true);
        press(s.button.get(), s.centre());
        QCOMPARE(s.ticks.advance(75), 75); // 1.5 s
        QCOMPARE(s.button->hold().progress(), 0.75);
        QCOMPARE(s.button->shownProgress(), 0.75);
        release(s.button.get(), s.centre());
        QCOMPARE(s.counts.fire, 0);
        QVERIFY(!s.button->hold().holding());
        QCOMPARE(s.button->hold().progress(), 0.0);
        QVERIFY(!s.ticks.isActive());
        QVERIFY(s.button->hold().coverOpen());
        // The ring eases back to empty in 0.2 s.
        QVERIFY(s.button->shownProgress() > 0.5);
        QTRY_COMPARE_WITH_TIMEOUT(s.button->shownProgress(), 0.0, 1000);
    }

    void aTwoSecondHoldFiresExactlyOnceWhileStillHeld() {
        Sos s(finish, false, true);
        press(s.button.get(), s.centre());
        QCOMPARE(s.ticks.advance(99), 99);
        QCOMPARE(s.counts.fire, 0);
        for (int i = 0; i < 10; ++i) // the finger wobbles: no second timer
            move(s.button.get(), s.centre() + QPointF(i % 3, 0));
        QCOMPARE(s.ticks.starts(), 1);
        QCOMPARE(s.ticks.advance(50), 1); // the hundredth tick stops the source
        QCOMPARE(s.counts.fire, 1);
        QVERIFY(!s.button->hold().coverOpen());
        QCOMPARE(s.button->hold().progress(), 0.0);
        release(s.button.get(), s.centre());
        move(s.button.get(), s.centre());
        QCOMPARE(s.counts.fire, 1);
        QVERIFY(!s.button->hold().holding());
        QCOMPARE(s.ticks.starts(), 1);
    }

    void aFireThatClosesTheButtonsViewEndsCleanly() {
        ManualTicks ticks;
        int fired = 0;
        QPointer<GuardedSOSButton> b = new GuardedSOSButton(finish, false, false, 120, {}, {}, &ticks);
        b->setActions(
            [&] {
                ++fired;
                delete b.data(); // the caller tears its view down on firing
            },
            {});
        b->resize(b->sizeHint());
        b->show();
        click(b, b->coverRect().center());
        press(b, b->buttonCentre());
        QCOMPARE(ticks.advance(200), 100);
        QCOMPARE(fired, 1);
        QVERIFY(b.isNull());
    }

    void whileActiveNoHoldStartsAndCancelCallsOncePerClick() {
        Sos s(finish, true, true);
        QCOMPARE(partName(s.button.get(), 1), QString("SOS active"));
        QVERIFY(s.button->cancelButton()->isVisible());
        QVERIFY(!s.button->closeButton()->isVisible());
        press(s.button.get(), s.centre());
        move(s.button.get(), s.centre());
        QVERIFY(!s.button->hold().holding());
        QCOMPARE(s.ticks.starts(), 0);
        release(s.button.get(), s.centre());
        RackButton* cancel = s.button->cancelButton();
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(s.counts.cancel, 2);
        QVERIFY(s.button->active()); // the caller clears it, not the button
        s.button->setActive(false);
        QVERIFY(!s.button->cancelButton()->isVisible());
        QVERIFY(s.button->closeButton()->isVisible());
    }

    void anSOSThatBecomesActiveDuringAHoldStopsItWithoutFiring() {
        Sos s(finish, false, true);
        press(s.button.get(), s.centre());
        s.ticks.advance(60);
        s.button->setActive(true); // raised elsewhere (the check-in ran out)
        QVERIFY(!s.button->hold().holding());
        QCOMPARE(s.ticks.advance(100), 0);
        QCOMPARE(s.counts.fire, 0);
        release(s.button.get(), s.centre());
        QCOMPARE(s.counts.fire, 0);
    }

    void hidingOrDisablingEndsAHoldInsteadOfFiringLater() {
        Sos hidden(finish, false, true);
        press(hidden.button.get(), hidden.centre());
        hidden.ticks.advance(40);
        hidden.button->hide();
        QVERIFY(!hidden.button->hold().holding());
        QCOMPARE(hidden.ticks.advance(100), 0);
        QCOMPARE(hidden.counts.fire, 0);

        Sos disabled(finish, false, true);
        press(disabled.button.get(), disabled.centre());
        disabled.ticks.advance(40);
        disabled.button->setEnabled(false);
        QCOMPARE(disabled.ticks.advance(100), 0);
        QCOMPARE(disabled.counts.fire, 0);
        // Enabled again, a fresh hold works from the start.
        disabled.button->setEnabled(true);
        press(disabled.button.get(), disabled.centre());
        QCOMPARE(disabled.ticks.advance(100), 100);
        QCOMPARE(disabled.counts.fire, 1);
    }

    void closeCoverPutsTheCoverBack() {
        Sos s(finish, false, true);
        QTest::mouseClick(s.button->closeButton(), Qt::LeftButton);
        QVERIFY(!s.button->hold().coverOpen());
        QVERIFY(!s.button->closeButton()->isVisible());
        QCOMPARE(partName(s.button.get(), 0), QString("SOS safety cover. Tap to lift"));
        QTRY_COMPARE_WITH_TIMEOUT(s.button->coverAngle(), 0.0, 1500);
        // A press on the closed cover is a tap again, never a hold.
        press(s.button.get(), s.centre());
        QVERIFY(!s.button->hold().holding());
    }

    void coverAndButtonAreSeparateAccessibleButtons() {
        Sos s(finish, false, false);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(s.button.get());
        QVERIFY(a);
        QCOMPARE(a->childCount(), 4); // cover, round button, "Cancel SOS", "Close cover"
        QAccessibleInterface* cover = a->child(0);
        QCOMPARE(cover->role(), QAccessible::Button);
        QCOMPARE(cover->text(QAccessible::Name), QString("SOS safety cover. Tap to lift"));
        QCOMPARE(a->child(1)->text(QAccessible::Name), QString("SOS. Hold for two seconds"));
        QCOMPARE(a->indexOfChild(cover), 0);
        QCOMPARE(a->child(2)->text(QAccessible::Name), QString("Cancel SOS"));
        QCOMPARE(a->indexOfChild(a->child(3)), 3);
        QCOMPARE(cover->parent(), a);
        cover->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(s.button->hold().coverOpen());
        QVERIFY(cover->actionInterface()->actionNames().isEmpty()); // lifted: nothing left to press
        // The button's press runs the same hold as a finger; a second press before the end stops it
        // unfired, as lifting the finger would.
        QAccessibleActionInterface* hold = a->child(1)->actionInterface();
        hold->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(s.ticks.advance(50), 50);
        hold->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(!s.button->hold().holding());
        hold->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(s.ticks.advance(200), 100);
        QCOMPARE(s.counts.fire, 1);
        QVERIFY(hold->actionNames().isEmpty()); // the cover closed again after firing
        s.button->setActive(true);
        QCOMPARE(a->child(1)->text(QAccessible::Name), QString("SOS active"));
        // Destroying the button takes its accessible parts with it.
        s.button.reset();
    }

    void theRealTimerFiresAfterTwoSeconds() {
        int fired = 0;
        GuardedSOSButton b(finish, false, false, 120, [&] { ++fired; }, {});
        b.resize(b.sizeHint());
        b.show();
        click(&b, b.coverRect().center());
        QElapsedTimer clock;
        clock.start();
        press(&b, b.buttonCentre());
        QTRY_COMPARE_WITH_TIMEOUT(fired, 1, 4000);
        QVERIFY(clock.elapsed() >= 1900);
        release(&b, b.buttonCentre());
        QCOMPARE(fired, 1);
    }

    void holdStateMachineOnItsOwn() {
        ManualTicks ticks;
        int fired = 0;
        SOSHold h(&ticks);
        h.setFire([&] { ++fired; });
        h.beginHold();
        QVERIFY(!h.holding()); // cover closed
        h.tapCover();
        h.tapCover(); // a second tap changes nothing
        QVERIFY(h.coverOpen());
        h.endHold(); // an end without a hold is harmless
        h.beginHold();
        h.beginHold();
        QCOMPARE(ticks.starts(), 1);
        ticks.advance(100);
        QCOMPARE(fired, 1);
        QVERIFY(!h.coverOpen());
        h.setActive(true);
        h.tapCover();
        h.beginHold();
        QVERIFY(!h.holding());
        emit ticks.tick(); // a stray tick does nothing
        QCOMPARE(fired, 1);
    }
};

QTEST_MAIN(GesturesTest)
#include "tst_gestures.moc"
