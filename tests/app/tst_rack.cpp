// The rack modules on a real model: the top rack's lamps and finish picker, the channel bank's rows,
// menu, selection and detail lines, the talk module's button, hint and switches, and the SOS module's
// screen, keys and firing.
#include "ActivityTape.h"
#include "AppTest.h"
#include "ChannelBank.h"
#include "MessagesPanel.h"
#include "StatusLCD.h"
#include "TRMiniView.h"
#include "GuardedSOSButton.h"
#include "HelpDot.h"
#include "LCDScreen.h"
#include "LED.h"
#include "Notifications.h"
#include "PTTButton.h"
#include "RackButton.h"
#include "SOSModule.h"
#include "TalkModule.h"
#include "TimeText.h"
#include "ToggleSwitch.h"
#include "TopRack.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using fixture::sealed;

namespace {

TransportStatus status(bool up, int units = 0) {
    TransportStatus s;
    s.up = up;
    s.units = units;
    return s;
}

QStringList litLamps(const TopRack& top) {
    QStringList lit;
    for (const QString& label : TopRack::lampLabels())
        if (top.lamp(label)->isOn()) lit.append(label);
    return lit;
}

// What hovering `at` over `w` shows as its tooltip now; empty when nothing shows.
QString hover(QWidget* w, QPoint at) {
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000)) return QStringLiteral("(stuck)");
    QHelpEvent e(QEvent::ToolTip, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &e);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The first of `w`'s widgets whose accessible name is `name`.
QWidget* named(QWidget* w, const QString& name) {
    for (QWidget* c : w->findChildren<QWidget*>())
        if (c->accessibleName() == name) return c;
    return nullptr;
}

} // namespace

class RackTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;
    const Finish finish = Finish::all().first();

    WalkieModel& make() {
        fixture::resetSettings();
        rig.model.reset();
        rig.clock->set(QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC));
        return rig.make();
    }

private slots:
    // Every text cut to one line shows whole as its tooltip and in its accessible name, and a text that
    // fits shows no tooltip: message rows, channel rows, the status display's channel name, the mini
    // panel's channel line and last message, and the activity tape's rows.
    void cutTextsShowWholeOnHover() {
        auto& m = make();
        const QString longName = QStringLiteral("Northern Ridge Search and Rescue Team 7");
        const QString longText = QStringLiteral("Standing by on channel two until the convoy reaches the "
                                                "northern pass, then we switch to the valley repeater");
        const Channel big = fixture::channel(longName), small = fixture::channel(QStringLiteral("Crew"));
        m.setChannels({big, small});
        m.setSelectedID(big.channelID());
        m.sendText(QStringLiteral("ok"), small);
        m.sendText(longText, big);
        m.pressTalk();
        rig.clock->advance(3);
        m.releaseTalk();
        QCOMPARE(m.activity().size(), 1);

        MessagesPanel messages(m, finish);
        messages.resize(430, 110);
        messages.show();
        QCOMPARE(messages.shownRows(), 2);
        const QString wholeRow = QStringLiteral("You · %1: %2").arg(longName, longText);
        const int rowY = messages.field()->height() + MessagesPanel::spacing + MessagesPanel::rowHeight / 2;
        QCOMPARE(hover(&messages, QPoint(200, rowY)), wholeRow);
        QVERIFY(named(&messages, TimeText::shortTime(m.messages().first().time) + u' ' + wholeRow));
        QCOMPARE(hover(&messages, QPoint(200, rowY + MessagesPanel::rowHeight + MessagesPanel::spacing)),
                 QString());

        ChannelBank bank(m, finish, {}, {});
        bank.resize(270, 400);
        bank.show();
        ChannelRow* longRow = bank.rows().at(0);
        ChannelRow* shortRow = bank.rows().at(1);
        QCOMPARE(longRow->accessibleName(), longName);
        QCOMPARE(hover(longRow, longRow->rect().center()), longName + u'\n' + longRow->statusText());
        QCOMPARE(hover(shortRow, shortRow->rect().center()), QString());

        StatusLCD lcd(m, finish, false);
        lcd.resize(420, lcd.sizeHint().height());
        lcd.show();
        QWidget* name = named(&lcd, longName.toUpper());
        QVERIFY(name);
        QCOMPARE(hover(name, name->rect().center()), longName.toUpper());
        m.setSelectedID(small.channelID());
        QCOMPARE(hover(name, name->rect().center()), QString());
        m.setSelectedID(big.channelID());

        TRMiniView mini(&m, nullptr, nullptr);
        mini.show();
        QWidget* channelLine = named(&mini, longName.toUpper());
        QVERIFY(channelLine);
        QCOMPARE(hover(channelLine, channelLine->rect().center()), longName.toUpper());
        QWidget* last = named(&mini, QStringLiteral("You: ") + longText);
        QVERIFY(last);
        QCOMPARE(hover(last, last->rect().center()), QStringLiteral("You: ") + longText);
        m.sendText(QStringLiteral("Copy that"), small);
        QCOMPARE(last->accessibleName(), QStringLiteral("You: Copy that"));
        QCOMPARE(hover(last, last->rect().center()), QString());
        QWidget* onlineLine = named(&mini, mini.onlineLine());
        QVERIFY(onlineLine);
        QCOMPARE(hover(onlineLine, onlineLine->rect().center()), QString());

        ActivityTape tape(m, finish);
        tape.resize(260, tape.sizeHint().height());
        tape.show();
        QVERIFY(tape.accessibleName().contains(longName));
        QCOMPARE(hover(&tape, QPoint(100, ActivityTape::rowHeight / 2)), m.activity().first().who + QStringLiteral(" · ") + longName);
        tape.resize(1200, tape.height());
        QCOMPARE(hover(&tape, QPoint(100, ActivityTape::rowHeight / 2)), QString());
    }

    void topRackLampsFollowTheModel() {
        auto& m = make();
        QStringList written;
        TopRack top(m, finish, finish.id, [&](const QString& id) { written.append(id); }, {}, {});
        // Every link off or unheard and no SOS: only "Encrypted".
        QCOMPARE(litLamps(top), QStringList{"Encrypted"});
        m.receiveStatus("lan", status(true, 0));
        QCOMPARE(litLamps(top), QStringList{"Encrypted"}); // the link on is not a unit heard
        m.receiveStatus("lan", status(true, 1));
        m.receiveStatus("relay", status(true));
        m.receiveStatus("nearby", status(true, 2));
        QCOMPARE(litLamps(top), (QStringList{"Relay", "Nearby", "LAN", "Encrypted"}));
        QCOMPARE(top.lamp("LAN")->colour(), finish.rx);
        QCOMPARE(top.lamp("Encrypted")->colour(), finish.accent);
        m.receiveStatus("relay", status(false));
        m.receiveStatus("nearby", status(true, 0));
        m.receiveStatus("lan", status(true, 0));

        const Channel a = fixture::channel("A");
        m.setChannels({a});
        // Receiving is not on air.
        m.receiveSealed(sealed(a, PacketKind::start, 77, 1, 0xB0B, "Bob"));
        QVERIFY(m.talk().isReceiving());
        QCOMPARE(litLamps(top), QStringList{"Encrypted"});
        m.receiveSealed(sealed(a, PacketKind::end, 77, 2, 0xB0B));
        QTRY_VERIFY(m.talk().isIdle());
        m.pressTalk(false);
        QVERIFY(m.talk().isTransmitting());
        QCOMPARE(litLamps(top), (QStringList{"Encrypted", "On air"}));
        QCOMPARE(top.lamp("On air")->colour(), finish.tx);
        m.releaseTalk();
        QCOMPARE(litLamps(top), QStringList{"Encrypted"});

        // SOS lights for an alert heard from another unit and goes dark once it is cancelled.
        m.receiveSealed(sealed(a, PacketKind::sos, 900, 1, 0xA, apptest::sosRecord("Ann")));
        QCOMPARE(litLamps(top), (QStringList{"Encrypted", "SOS"}));
        m.receiveSealed(sealed(a, PacketKind::sosCancel, 900, 2, 0xA, apptest::sosRecord("Ann")));
        QCOMPARE(litLamps(top), QStringList{"Encrypted"});
        m.triggerSOS(true); // this unit's own SOS (its voice clip puts it on the air too)
        QVERIFY(litLamps(top).contains("SOS"));
        m.cancelSOS();
        QVERIFY(!litLamps(top).contains("SOS"));
        QVERIFY(written.isEmpty());
    }

    void topRackPickerAndKeys() {
        auto& m = make();
        QStringList written;
        int settings = 0, help = 0;
        TopRack top(
            m, finish, "crimson", [&](const QString& id) { written.append(id); }, [&] { ++settings; },
            [&] { ++help; });
        // A legacy id selects the finish that replaced it; following the store writes nothing back.
        QCOMPARE(top.picker()->currentData().toString(), QStringLiteral("anodized-red"));
        top.setFinishID("no-such-finish");
        QCOMPARE(top.picker()->currentIndex(), -1);
        top.setFinishID(Finish::all().at(2).id);
        QCOMPARE(top.picker()->currentIndex(), 2);
        QVERIFY(written.isEmpty());
        QCOMPARE(top.picker()->count(), Finish::all().size());
        // Picking writes the finish's id unchanged.
        top.picker()->setCurrentIndex(4);
        QCOMPARE(written, QStringList{Finish::all().at(4).id});

        QTest::mouseClick(top.button("Setup"), Qt::LeftButton);
        QTest::mouseClick(top.button("Help"), Qt::LeftButton);
        QCOMPARE(settings, 1);
        QCOMPARE(help, 1);
        // The Mini key names the keys the menu really binds, as this platform writes them.
        QCOMPARE(
            top.button("Mini")->toolTip(),
            QStringLiteral("Mini mode: a small floating talk panel. The app keeps listening. Ctrl+Shift+M"));
        // Narrow: the title block keeps its size, the spacer gives way.
        top.resize(top.minimumSizeHint());
        top.show();
        QCOMPARE(top.findChild<QLabel*>()->width(), top.findChild<QLabel*>()->sizeHint().width());
    }

    void bankRowsAreKeptAndUpdatedInPlace() {
        auto& m = make();
        const Channel a = fixture::channel("Alpha"), b = fixture::channel("Bravo"),
                      c = fixture::channel("Charlie");
        ChannelBank bank(m, finish, {}, {});
        QVERIFY(bank.emptyText()->isVisibleTo(&bank));
        QVERIFY(!bank.linkLine()->isVisibleTo(&bank));
        QVERIFY(!bank.button("Edit")->isVisibleTo(&bank));
        QVERIFY(!bank.button("Invite link")->isVisibleTo(&bank));
        QVERIFY(bank.button("New / Join")->isVisibleTo(&bank));

        m.setChannels({a, b, c});
        QVERIFY(!bank.emptyText()->isVisibleTo(&bank));
        const QList<ChannelRow*> before = bank.rows();
        QCOMPARE(before.size(), 3);
        QCOMPARE(before[1]->numberText(), QStringLiteral("02"));
        QCOMPARE(before[1]->statusText(), b.safetyCode());

        // A hello on Bravo: its row counts this unit too, the same widget shows it.
        m.receiveSealed(sealed(b, PacketKind::hello, 1, 1, 0xB0B, "Bob"));
        QCOMPARE(bank.rows(), before);
        QCOMPARE(before[1]->statusText(), QStringLiteral("2 online · %1").arg(b.safetyCode()));
        // A larger relay count for the channel replaces it.
        TransportStatus relay = status(true);
        relay.peerCounts.insert(b.channelID(), 5);
        m.receiveStatus("relay", relay);
        QCOMPARE(before[1]->statusText(), QStringLiteral("5 online · %1").arg(b.safetyCode()));

        // Reordered and one more: the same widgets, renumbered; a left channel loses only its row.
        const Channel d = fixture::channel("Delta");
        m.setChannels({c, a, b, d});
        const QList<ChannelRow*> after = bank.rows();
        QCOMPARE(after.mid(0, 3), (QList<ChannelRow*>{before[2], before[0], before[1]}));
        QCOMPARE(after[0]->numberText(), QStringLiteral("01"));
        QCOMPARE(after[0]->channel().name, QStringLiteral("Charlie"));
        QPointer<ChannelRow> gone = after[1];
        m.leave(a);
        QCOMPARE(bank.rows(), (QList<ChannelRow*>{before[2], before[1], after[3]}));
        QTRY_VERIFY(gone.isNull());
    }

    void bankMenuActsOnTheClickedRow() {
        auto& m = make();
        const Channel a = fixture::channel("Alpha"), b = fixture::channel("Bravo"),
                      c = fixture::channel("Charlie");
        m.setChannels({a, b, c});
        QList<QString> invited, edited;
        ChannelBank bank(
            m, finish, {}, [&](const Channel& ch) { invited.append(ch.channelID()); },
            [&](const Channel& ch) { edited.append(ch.channelID()); });
        bank.resize(270, 500);
        bank.show();

        auto menuOf = [&](int row) {
            ChannelRow* r = bank.rows().at(row);
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), r->mapToGlobal(QPoint(20, 20)));
            QApplication::sendEvent(r, &event);
            QMenu* menu = nullptr;
            for (QMenu* candidate : bank.findChildren<QMenu*>())
                if (candidate->isVisible()) menu = candidate;
            return menu;
        };
        auto action = [](QMenu* menu, const QString& text) {
            for (QAction* act : menu->actions())
                if (act->text() == text) return act;
            return static_cast<QAction*>(nullptr);
        };

        QMenu* menu = menuOf(2);
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 3);
        QCOMPARE(menu->actions().last()->text(), QStringLiteral("Leave"));
        // The list changes while the menu is open: the action still names the row it was opened on.
        m.setChannels({c, a, b});
        action(menu, QString::fromUtf8("Invite…"))->trigger();
        menu->close();
        QCOMPARE(invited, QStringList{c.channelID()});
        QVERIFY(m.selectedID().isEmpty()); // opening sheets does not change the selection

        menu = menuOf(2); // now Bravo
        action(menu, QString::fromUtf8("Edit channel / passphrase…"))->trigger();
        menu->close();
        QCOMPARE(edited, QStringList{b.channelID()});

        // A click selects; "Leave" on a row that is not selected keeps the selection.
        QTest::mouseClick(bank.rows().at(1), Qt::LeftButton);
        QCOMPARE(m.selectedID(), a.channelID());
        menu = menuOf(0);
        action(menu, "Leave")->trigger();
        menu->close();
        QCOMPARE(m.channels(), (QList<Channel>{a, b}));
        QCOMPARE(m.selectedID(), a.channelID());
    }

    void bankSelectionFallbackAndDetail() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        auto& m = make();
        const Channel a = fixture::channel("Alpha"), b = fixture::channel("Bravo");
        m.setChannels({a, b});
        QList<QString> invited, edited;
        ChannelBank bank(
            m, finish, {}, [&](const Channel& ch) { invited.append(ch.channelID()); },
            [&](const Channel& ch) { edited.append(ch.channelID()); });
        // Nothing chosen: the first row is drawn selected and the keys act on it; nothing is written.
        QVERIFY(bank.rows()[0]->isSelectedRow());
        QVERIFY(!bank.rows()[1]->isSelectedRow());
        QTest::mouseClick(bank.button("Edit"), Qt::LeftButton);
        QTest::mouseClick(bank.button("Invite link"), Qt::LeftButton);
        QCOMPARE(edited, QStringList{a.channelID()});
        QCOMPARE(invited, QStringList{a.channelID()});
        QVERIFY(m.selectedID().isEmpty());
        QCOMPARE(bank.linkLine()->text(), m.linkReason(a));

        QCOMPARE(bank.packetLine()->text(), QString::fromUtf8("Last packet: none yet · LAN units: 0"));
        const QColor dim = bank.linkLine()->palette().color(QPalette::WindowText);
        QCOMPARE(dim.rgb(), finish.engrave.rgb());
        QVERIFY(qAbs(dim.alphaF() - 0.85) < 0.01);

        // A unit heard on the selected channel: the receive colour; the packet line has the time.
        m.receiveStatus("lan", status(true, 3));
        m.receiveSealed(sealed(a, PacketKind::hello, 1, 1, 0xB0B, "Bob"));
        QCOMPARE(bank.linkLine()->palette().color(QPalette::WindowText), finish.rx);
        QCOMPARE(bank.linkLine()->text(), QStringLiteral("Connected: hearing 1 other unit"));
        QCOMPARE(bank.packetLine()->text(),
                 QString::fromUtf8("Last packet: %1 · LAN units: 3")
                     .arg(TimeText::standardTime(m.lastGoodPacket().toLocalTime())));
        // A long explanation wraps within the bank's width instead of being cut.
        m.receiveSealed(sealed(fixture::channel("Elsewhere"), PacketKind::hello, 2, 1, 0xC0C, "Cy"));
        m.setSelectedID(b.channelID());
        QVERIFY(bank.linkLine()->text().startsWith("Unknown channel / key mismatch"));
        bank.resize(270, 600);
        bank.show();
        QCoreApplication::processEvents();
        const QFontMetrics fm(bank.linkLine()->font());
        QVERIFY(bank.linkLine()->height() >= 3 * fm.lineSpacing());
        QVERIFY(bank.linkLine()->height() >= bank.linkLine()->heightForWidth(bank.linkLine()->width()));
        // Heard on another channel only: dim again once the other one is chosen.
        m.setSelectedID(b.channelID());
        QVERIFY(bank.rows()[1]->isSelectedRow());
        QCOMPARE(bank.linkLine()->palette().color(QPalette::WindowText).rgba(), dim.rgba());
        QLocale::setDefault(QLocale::c());
    }

    void bankNumbersPastNinetyNine() {
        auto& m = make();
        QList<Channel> many;
        for (int i = 0; i < 101; ++i)
            many.append(fixture::channel(QStringLiteral("Ch %1").arg(i)));
        m.setChannels(many);
        ChannelBank bank(m, finish, {}, {});
        QCOMPARE(bank.rows().size(), 101);
        QCOMPARE(bank.rows()[8]->numberText(), QStringLiteral("09"));
        QCOMPARE(bank.rows()[98]->numberText(), QStringLiteral("99"));
        QCOMPARE(bank.rows()[99]->numberText(), QStringLiteral("100"));
        QCOMPARE(bank.rows()[100]->numberText(), QStringLiteral("101"));
    }

    void talkModuleButtonAndSwitches() {
        auto& m = make();
        TalkModule talk(m, finish);
        QVERIFY(!talk.talkButton()->isEnabled());
        m.setChannels({fixture::channel("A")});
        QVERIFY(m.selectedID().isEmpty());
        QVERIFY(talk.talkButton()->isEnabled());

        // The stored defaults at start, in the switches' order.
        const QList<bool> defaults{true, true, false, true, true, true, true};
        const QStringList keys{"radioSound", "rogerBeep", "scrambler", "monitorAll",
                               "useRelay",   "useNearby", "useLAN"};
        talk.show();
        for (int i = 0; i < keys.size(); ++i) {
            ToggleSwitch* sw = talk.toggle(TalkModule::switchTitles()[i]);
            QCOMPARE(sw->isOn(), defaults[i]);
            QTest::mouseClick(sw, Qt::LeftButton);
            QCOMPARE(Defaults::shared().boolValue(keys[i], defaults[i]), !defaults[i]);
            QCOMPARE(sw->isOn(), !defaults[i]);
        }
        QVERIFY(!m.radioSound());
        QVERIFY(m.scrambler());
        QVERIFY(!m.useLAN());
        // Written elsewhere (the settings sheet): the switch follows.
        m.setUseLAN(true);
        QVERIFY(talk.toggle("LAN")->isOn());

        // The pair is the push-to-talk actions: press transmits, release ends.
        const TRTalk::Actions pair = TalkModule::ptt(&m);
        pair.press();
        QVERIFY(m.talk().isTransmitting());
        QCOMPARE(talk.talkButton()->state(), PTTButton::State::transmitting);
        pair.release();
        QVERIFY(m.talk().isIdle());
    }

    void talkSwitchesFitTheModule() {
        auto& m = make();
        TalkModule talk(m, finish);
        // The module's width in a 1100-point window: 1100 - 2 x 18 - 2 x 270 - 2 x 14.
        talk.resize(496, talk.sizeHint().height());
        talk.show();
        int right = 0, left = 10000;
        for (const QString& t : TalkModule::switchTitles()) {
            const QRect g = talk.toggle(t)->geometry();
            QVERIFY(g.width() >= talk.toggle(t)->sizeHint().width());
            left = qMin(left, g.left());
            right = qMax(right, g.right());
        }
        QVERIFY(left >= 20);
        QVERIFY(right < 496 - 20);
        QVERIFY(talk.minimumSizeHint().width() <= 496);
    }

    void helpDotsAskForTheManualAtTheirModulesChapter() {
        auto& m = make();
        ChannelBank bank(m, finish, {}, {});
        SOSModule sos(m, finish);
        QSignalSpy spy(&Notifications::shared(), &Notifications::posted);
        for (QWidget* module : {static_cast<QWidget*>(&bank), static_cast<QWidget*>(&sos)}) {
            module->show();
            auto* dot = module->findChild<HelpDot*>();
            QVERIFY(dot);
            QTest::mouseClick(dot, Qt::LeftButton);
        }
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy[0], (QList<QVariant>{"TessrookOpenHelp", "channels"}));
        QCOMPARE(spy[1], (QList<QVariant>{"TessrookOpenHelp", "sos"}));
        QCOMPARE(bank.findChild<HelpDot*>()->accessibleName(), QStringLiteral("Help: Channels"));
        QCOMPARE(sos.findChild<HelpDot*>()->accessibleName(), QStringLiteral("Help: SOS"));
    }

    void sosCountdownOnTheModelClock() {
        auto& m = make();
        SOSModule sos(m, finish);
        QCOMPARE(sos.checkInLine()->text(), QStringLiteral("CHECK-IN OFF"));
        QCOMPARE(sos.checkInLine()->colour(), finish.lcdDim);
        QVERIFY(!sos.okKey()->isVisibleTo(&sos));

        m.startCheckIn(15);
        rig.clock->advance(15 * 60 - 61.9);
        m.checkInTick();
        QCOMPARE(sos.checkInLine()->text(), QStringLiteral("CHECK-IN 1:01"));
        QCOMPARE(sos.checkInLine()->colour(), finish.lcdText);
        QVERIFY(sos.okKey()->isVisibleTo(&sos));
        // Past the deadline, before the model acts on it.
        rig.clock->advance(61.9 + 3);
        sos.refresh();
        QCOMPARE(sos.checkInLine()->text(), QStringLiteral("CHECK-IN 0:00"));

        // Two hours: minutes past 59, seconds truncated, never rounded up.
        m.checkInOK();
        m.startCheckIn(120);
        rig.clock->advance(0.5);
        m.checkInTick();
        QCOMPARE(sos.checkInLine()->text(), QStringLiteral("CHECK-IN 119:59"));

        QTest::mouseClick(sos.okKey(), Qt::LeftButton);
        QVERIFY(!m.checkInDeadline().isValid());
        QCOMPARE(m.notice(), QStringLiteral("Checked in. Timer cleared."));
        QVERIFY(!sos.okKey()->isVisibleTo(&sos));
        QCOMPARE(sos.checkInLine()->text(), QStringLiteral("CHECK-IN OFF"));
    }

    void sosScreenCountsActiveAlerts() {
        auto& m = make();
        const Channel a = fixture::channel("A");
        m.setChannels({a});
        SOSModule sos(m, finish);
        QCOMPARE(sos.alertsLine()->text(), QStringLiteral("ALERTS 0"));
        QVERIFY(!sos.nameLine()->isVisibleTo(&sos));
        QVERIFY(!sos.panelKey()->isLit());

        m.receiveSealed(sealed(a, PacketKind::sos, 700, 1, 0xA, apptest::sosRecord("ann")));
        m.receiveSealed(sealed(a, PacketKind::sos, 701, 1, 0xD, apptest::sosRecord("dan")));
        QCOMPARE(sos.alertsLine()->text(), QStringLiteral("ALERTS 2"));
        QCOMPARE(sos.nameLine()->text(), QStringLiteral("DAN")); // newest first
        // The first alert in the list is no longer active: the first active one is named.
        m.receiveSealed(sealed(a, PacketKind::sosCancel, 701, 2, 0xD, apptest::sosRecord("dan")));
        QCOMPARE(sos.alertsLine()->text(), QStringLiteral("ALERTS 1"));
        QCOMPARE(sos.nameLine()->text(), QStringLiteral("ANN"));
        QVERIFY(sos.panelKey()->isLit());
        m.receiveSealed(sealed(a, PacketKind::sosCancel, 700, 2, 0xA, apptest::sosRecord("ann")));
        QVERIFY(!sos.panelKey()->isLit());
        QVERIFY(!sos.nameLine()->isVisibleTo(&sos));

        m.setShowSOSPanel(false);
        QTest::mouseClick(sos.panelKey(), Qt::LeftButton);
        QVERIFY(m.showSOSPanel());
    }

    void sosFiresWithTheSilentSwitchAsItIsThen() {
        auto& m = make();
        m.setChannels({fixture::channel("A")});
        SOSModule sos(m, finish);
        sos.show();
        QTest::mouseClick(sos.silentSwitch(), Qt::LeftButton);
        QVERIFY(sos.silent());
        QVERIFY(sos.sosButton()->silent());
        sos.fire();
        QVERIFY(m.sosActive());
        QVERIFY(sos.sosButton()->active());
        QVERIFY(m.notice().isEmpty()); // a silent SOS says nothing
        // Flipping the switch while it runs changes nothing of the running SOS.
        QTest::mouseClick(sos.silentSwitch(), Qt::LeftButton);
        QVERIFY(m.sosActive());
        QVERIFY(m.notice().isEmpty());
        m.cancelSOS();
        QVERIFY(!sos.sosButton()->active());
        sos.fire();
        QCOMPARE(m.notice(), QStringLiteral("SOS sent to all your channels."));
        // Firing ends a running check-in.
        m.cancelSOS();
        m.startCheckIn(15);
        QVERIFY(sos.okKey()->isVisibleTo(&sos));
        sos.fire();
        QVERIFY(!sos.okKey()->isVisibleTo(&sos));
        QCOMPARE(sos.checkInLine()->text(), QStringLiteral("CHECK-IN OFF"));
        m.cancelSOS();
    }
};

APP_TEST_MAIN(RackTest)
#include "tst_rack.moc"
