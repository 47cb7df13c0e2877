// The Setup sheet: every control writes its setting as the user works it, fields on every typed
// character; the picker's rows and raw values; the status lines follow the links; Return and Escape
// close through done; the self-test button posts its request; the open-at-login section is the shell's.
#include "AppTest.h"
#include "FocusInView.h"
#include "KeyActivation.h"
#include "Notifications.h"
#include "SelfTestRequest.h"
#include "SettingsView.h"
#include "TRBackgroundSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

class SettingsViewTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

private slots:
    void init() { fixture::resetSettings(); }
    void cleanup() { rig.model.reset(); }

    void everyControlWritesItsSetting() {
        auto& m = rig.make();
        int done = 0;
        SettingsView view(m, [&done] { ++done; });
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        struct Switch {
            QCheckBox* box;
            std::function<bool()> read;
        };
        const QList<Switch> switches{
            {view.useRelaySwitch(), [&] { return m.useRelay(); }},
            {view.useLANSwitch(), [&] { return m.useLAN(); }},
            {view.useNearbySwitch(), [&] { return m.useNearby(); }},
            {view.radioSoundSwitch(), [&] { return m.radioSound(); }},
            {view.rogerBeepSwitch(), [&] { return m.rogerBeep(); }},
            {view.scramblerSwitch(), [&] { return m.scrambler(); }},
            {view.monitorAllSwitch(), [&] { return m.monitorAll(); }},
            {view.requireUnlockSwitch(), [&] { return m.requireUnlock(); }}};
        for (const Switch& s : switches) {
            const bool before = s.read();
            QCOMPARE(s.box->isChecked(), before);
            s.box->click();
            QCOMPARE(s.read(), !before);
            s.box->click();
            QCOMPARE(s.read(), before);
        }

        // A change made elsewhere shows here without writing back.
        m.setRogerBeep(false);
        QVERIFY(!view.rogerBeepSwitch()->isChecked());

        QTest::keyClicks(view.callSignField(), "Kite");
        QCOMPARE(m.displayName(), QString("Kite"));
        QTest::keyClicks(view.directPeersField(), "10.0.0.2");
        QCOMPARE(m.directPeers(), QString("10.0.0.2"));

        // Each typed character is a write (and the model restarts the relay for each).
        view.relayField()->clear();
        m.setRelayURL("");
        QSignalSpy relayWrites(&m, &WalkieModel::relayURLChanged);
        QTest::keyClicks(view.relayField(), "wss");
        QCOMPARE(relayWrites.size(), 3);
        QCOMPARE(m.relayURL(), QString("wss"));

        TransportStatus relay;
        relay.text = "Relay: connecting to wss://x";
        m.receiveStatus("relay", relay);
        QTRY_COMPARE(view.relayStatusLine()->text(), m.relayStatus());
        QCOMPARE(view.relayStatusLine()->textFormat(), Qt::PlainText);
        QCOMPARE(view.lanStatusLine()->text(), m.lanStatus());
        QCOMPARE(view.nearbyStatusLine()->text(), m.nearbyStatus());
        QCOMPARE(done, 0);
    }

    void scramblerPickerRowsAndValues() {
        auto& m = rig.make();
        SettingsView view(m, [] {});
        QComboBox* picker = view.scrambleModePicker();
        QCOMPARE(picker->currentIndex(), 4); // the default mode
        picker->setCurrentIndex(1);
        emit picker->activated(1);
        QCOMPARE(m.scrambleMode(), 1);
        QVERIFY(!m.scrambler()); // choosing a voice does not turn the scrambler on
        m.setScrambleMode(9);   // names no mode: no entry shown
        QCOMPARE(picker->currentIndex(), -1);
        QCOMPARE(picker->toolTip(), QString());
        QCOMPARE(m.scrambleMode(), 9);
        m.setScrambleMode(2);
        QCOMPARE(picker->currentIndex(), 2);

        // The sheet's width cuts the longer rows: the whole row is the tooltip of the picker and of each
        // row.
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        int longest = 0;
        for (int i = 1; i < picker->count(); ++i)
            if (picker->itemText(i).size() > picker->itemText(longest).size()) longest = i;
        m.setScrambleMode(picker->itemData(longest).toInt());
        QVERIFY(picker->fontMetrics().horizontalAdvance(picker->currentText()) > picker->width());
        QCOMPARE(picker->toolTip(), picker->currentText());
        for (int i = 0; i < picker->count(); ++i)
            QCOMPARE(picker->itemData(i, Qt::ToolTipRole).toString(), picker->itemText(i));
    }

    // Return in a field presses the bottom Done, on a checkbox it flips it; Escape closes too; the
    // self-test button posts the request; section six is the shell's open-at-login section.
    void closingSelfTestAndTheLoginSection() {
        auto& m = rig.make();
        int done = 0;
        SettingsView view(m, [&done] { ++done; });
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        // One Done is a Tab stop, and neither draws the default button's outline, which looks like focus.
        QVERIFY(!view.doneButton()->isDefault() && !view.topDoneButton()->isDefault());
        QVERIFY(!view.topDoneButton()->autoDefault());
        QCOMPARE(view.topDoneButton()->focusPolicy(), Qt::NoFocus);
        // A field that takes the focus is scrolled into view, also by Tab from outside the area.
        FocusInView::install();
        auto* area = view.findChild<QScrollArea*>();
        view.doneButton()->setFocus();
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        QTest::keyClick(view.doneButton(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), view.callSignField());
        const QRect sign(view.callSignField()->mapTo(area->viewport(), QPoint()),
                         view.callSignField()->size());
        QVERIFY2(area->viewport()->rect().contains(sign), qPrintable(QString::number(sign.y())));
        QTest::keyClick(view.callSignField(), Qt::Key_Return);
        QCOMPARE(done, 1);
        // Return on a focused checkbox flips it (the program's keyboard rule), as keypad Enter does.
        KeyActivation::install();
        view.useLANSwitch()->setFocus();
        const bool lan = m.useLAN();
        QTest::keyClick(view.useLANSwitch(), Qt::Key_Return);
        QTRY_COMPARE(m.useLAN(), !lan);
        QTest::keyClick(view.useLANSwitch(), Qt::Key_Enter, Qt::KeypadModifier);
        QTRY_COMPARE(m.useLAN(), lan);
        QCOMPARE(done, 1);
        QTest::keyClick(&view, Qt::Key_Escape);
        QCOMPARE(done, 2);
        view.topDoneButton()->click();
        QCOMPARE(done, 3);

        QStringList posted;
        QObject listening; // the listener ends with this case
        connect(&Notifications::shared(), &Notifications::posted, &listening,
                [&posted](const QString& name, const QString&) { posted << name; });
        view.selfTestButton()->click();
        QCOMPARE(posted, QStringList{SelfTest::openSelfTestName()});

        QVERIFY(qobject_cast<TRBackgroundSettings*>(view.backgroundSection()));
        // The titles as drawn: an ampersand shows as itself and no letter is underlined.
        QStringList order;
        for (QGroupBox* box : view.findChildren<QGroupBox*>())
            if (box->parentWidget() == view.backgroundSection()->parentWidget()) {
                QVERIFY2(apptest::underlinesNothing(box->title()), qPrintable(box->title()));
                order << apptest::drawnText(box->title());
            }
        QCOMPARE(order, (QStringList{"You", "Over the internet", "Home network (LAN)", "Nearby, no internet",
                                     "Sound", "Open at login & Mini mode", "Privacy",
                                     "Music: Vellmoor Underground Radio"}));
        for (QAbstractButton* b : view.findChildren<QAbstractButton*>())
            QVERIFY2(apptest::underlinesNothing(b->text()), qPrintable(b->text()));
        // Nothing is wider than the sheet: every row ends inside its scroll area.
        QTRY_VERIFY(area->widget()->width() <= area->viewport()->width());
        QCOMPARE(area->horizontalScrollBar()->maximum(), 0);
        apptest::shoot(&view, "settings");
    }
};

APP_TEST_MAIN(SettingsViewTest)
#include "tst_settingsview.moc"
