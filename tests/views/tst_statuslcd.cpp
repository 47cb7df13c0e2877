// The status screen: its texts from the model's values alone, then a real model driven through talk,
// links, SOS and check-in, with the rows updated in place and the long status line shrunk, then cut.
#include "ViewFixture.h"

#include "LCDScreen.h"
#include "LevelMeter.h"
#include "StatusLCD.h"

#include <QtEndian>

using namespace fixture;

class StatusLCDTest : public QObject {
    Q_OBJECT
    Rig rig;

private slots:
    void init() { rig.renew(); }
    void cleanup() { rig.model.reset(); }

    void texts() {
        const auto tx = TalkState::transmitting();
        QCOMPARE(StatusLCD::line1(tx, 59.9, true), QStringLiteral("TX  00:59")); // truncated, never rounded
        QCOMPARE(StatusLCD::line1(tx, 0.4, true), QStringLiteral("TX  00:00"));
        QCOMPARE(StatusLCD::line1(tx, 60.0, true), QStringLiteral("TX  01:00"));
        QCOMPARE(StatusLCD::line1(TalkState::receiving(QStringLiteral("base on crew")), 0, true),
                 QStringLiteral("RX  BASE ON CREW"));
        QCOMPARE(StatusLCD::line1(TalkState::busy(), 0, true), QStringLiteral("CHANNEL BUSY"));
        QCOMPARE(StatusLCD::line1(TalkState::idle(), 0, true), QStringLiteral("STANDBY"));
        QCOMPARE(StatusLCD::line1(TalkState::idle(), 0, false), QStringLiteral("NO CHANNEL"));

        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        QCOMPARE(StatusLCD::checkInText(now.addMSecs(90'500), now), QStringLiteral("CHECK-IN 1:30"));
        QCOMPARE(StatusLCD::checkInText(now.addMSecs(999), now), QStringLiteral("CHECK-IN 0:00"));
        QCOMPARE(StatusLCD::checkInText(now.addSecs(-5), now), QStringLiteral("CHECK-IN 0:00"));
        QCOMPARE(StatusLCD::checkInText(now.addSecs(7200), now), QStringLiteral("CHECK-IN 120:00"));
        QCOMPARE(StatusLCD::checkInText(QDateTime(), now), QString());
    }

    void followsTheModelInPlace() {
        WalkieModel& m = *rig.model;
        StatusLCD lcd(m, Finish::all().first());
        lcd.resize(460, lcd.sizeHint().height());
        lcd.show();
        const QList<QWidget*> children = lcd.findChildren<QWidget*>();
        QCOMPARE(lcd.channelLabel()->text(), QStringLiteral("—"));
        QCOMPARE(lcd.line1Label()->text(), QStringLiteral("NO CHANNEL"));
        QCOMPARE(lcd.safetyLabel()->text(), QString());
        QVERIFY(lcd.onChannelLabel()->isHidden());
        QCOMPARE(lcd.netLabel()->text(), QStringLiteral("NET ○"));
        QCOMPARE(lcd.nearLabel()->text(), QStringLiteral("NEAR ○"));
        QVERIFY(lcd.sosLabel()->isHidden());
        QVERIFY(lcd.checkInLabel()->isHidden());

        m.createChannel(QStringLiteral("Base camp"));
        const Channel base = m.channels().first();
        QCOMPARE(lcd.channelLabel()->text(), QStringLiteral("BASE CAMP"));
        QCOMPARE(lcd.line1Label()->text(), QStringLiteral("STANDBY"));
        QCOMPARE(lcd.safetyLabel()->text(), QStringLiteral("SAFETY ") + base.safetyCode());
        QVERIFY(lcd.onChannelLabel()->isHidden()); // the relay has said nothing of this channel

        TransportStatus relay;
        relay.up = true;
        relay.peerCounts.insert(base.channelID(), 0);
        m.receiveStatus(QStringLiteral("relay"), relay);
        TransportStatus nearby;
        nearby.units = 2;
        m.receiveStatus(QStringLiteral("nearby"), nearby);
        QCOMPARE(lcd.netLabel()->text(), QStringLiteral("NET ●"));
        QCOMPARE(lcd.nearLabel()->text(), QStringLiteral("NEAR 2"));
        QVERIFY(!lcd.onChannelLabel()->isHidden());
        QCOMPARE(lcd.onChannelLabel()->text(), QStringLiteral("ON CH 0"));

        // The countdown reads the model's clock.
        m.startCheckIn(15);
        QCOMPARE(lcd.checkInLabel()->text(), QStringLiteral("CHECK-IN 15:00"));
        rig.clock->advance(1.5);
        m.checkInTick();
        QCOMPARE(lcd.checkInLabel()->text(), QStringLiteral("CHECK-IN 14:58"));
        QVERIFY(lcd.sosLabel()->isHidden());

        // Transmitting: the talk clock and the live level.
        m.pressTalk();
        QByteArray pcm(3200, Qt::Uninitialized);
        for (int i = 0; i < 1600; ++i)
            qToLittleEndian<qint16>(20000, pcm.data() + 2 * i);
        rig.mic->feed(pcm);
        QTRY_VERIFY(m.level() > 0);
        rig.clock->advance(12.7);
        m.transmitTick();
        QCOMPARE(lcd.line1Label()->text(), QStringLiteral("TX  00:12"));
        QCOMPARE(lcd.meter()->level(), m.level());
        m.releaseTalk();
        QCOMPARE(lcd.meter()->level(), 0.0f);
        views::shots(&lcd, QStringLiteral("status-lcd-checkin"));

        // A very long receiving text shrinks the line to half size, and no further.
        const quint64 ann = 0xA11A11;
        m.receiveSealed(sealed(base, PacketKind::start, 9, 1, ann,
                               QStringLiteral("Ann of the northern ridge team").toUtf8()));
        QVERIFY(m.talk().isReceiving());
        QVERIFY(lcd.line1Label()->text().startsWith(QStringLiteral("RX  ANN OF THE NORTHERN")));
        QCOMPARE(lcd.line1FontSize(), 16.0);
        QCOMPARE(lcd.meter()->level(), 0.5f);
        views::shots(&lcd, QStringLiteral("status-lcd-receiving"));

        m.triggerSOS(true);
        QVERIFY(!lcd.sosLabel()->isHidden());
        QVERIFY(lcd.checkInLabel()->isHidden());          // the SOS cleared the check-in
        QCOMPARE(lcd.findChildren<QWidget*>(), children); // nothing rebuilt
        views::shots(&lcd, QStringLiteral("status-lcd-sos"));
        m.cancelSOS();
    }

    void finishesAndPictures() {
        WalkieModel& m = *rig.model;
        m.createChannel(QStringLiteral("Westover Crew"));
        TransportStatus relay;
        relay.up = true;
        relay.peerCounts.insert(m.channels().first().channelID(), 3);
        m.receiveStatus(QStringLiteral("relay"), relay);
        m.startCheckIn(30);
        for (bool compact : {false, true}) {
            StatusLCD lcd(m, Finish::all().first(), compact);
            lcd.resize(compact ? 360 : 460, lcd.sizeHint().height());
            for (const Finish& f : views::twoFinishes()) {
                lcd.setFinish(f);
                // The status line's ink is the lit colour, with its glow around it.
                const QImage img = views::render(&lcd);
                const QRect r =
                    lcd.line1Label()->geometry().translated(lcd.line1Label()->parentWidget()->pos());
                int lit = 0;
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x < r.left() + 120; ++x) {
                        const QColor c = img.pixelColor(x, y);
                        lit += qAbs(c.hue() - f.lcdText.hue()) < 25 && c.value() > f.lcdText.value() * 0.8;
                    }
                QVERIFY2(lit > 100, qPrintable(QString::number(lit)));
                views::shots(&lcd, QStringLiteral("status-lcd-%1%2").arg(f.id, compact ? "-compact" : ""));
            }
        }
    }
};

VIEW_TEST_MAIN(StatusLCDTest)
#include "tst_statuslcd.moc"
