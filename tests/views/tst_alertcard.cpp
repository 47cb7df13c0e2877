// An SOS alert card on a real model: the facts as written (accuracy floored for any size, battery,
// times), the state badge and border, silent and missed check-in marks, the map only with a whole
// position, Directions opening the web address, and "I'm coming" turning into "You're responding".
#include "UrlCatcher.h"
#include "SOSFixture.h"

#include "AlertCard.h"
#include "RadioPlayer.h"
#include "SOSMap.h"
#include "TimeText.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>

using namespace fixture;
using sos::button;
using sos::label;
using sos::shown;

namespace {

QColor borderPixel(AlertCard& card) {
    return card.grab().toImage().pixelColor(0, card.height() / 2);
}

} // namespace

// Receives the web addresses the card opens instead of a browser.
class AlertCardTest : public QObject {
    Q_OBJECT
    Rig rig;
    Channel base;
    const Finish finish = Finish::named(QStringLiteral("gunmetal-blue"));

    WalkieModel& make() {
        auto& m = rig.make();
        m.setChannels({base});
        return m;
    }

private slots:
    void initTestCase() { base = channel(QStringLiteral("Base")); }
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() { rig.model.reset(); }

    void factsAreWrittenForAnyValue() {
        QCOMPARE(AlertCard::accuracyText(12.7), QStringLiteral("±12 m"));
        QCOMPARE(AlertCard::accuracyText(0.4), QStringLiteral("±0 m"));
        for (std::optional<double> none :
             {std::optional<double>(), std::optional<double>(0.0), std::optional<double>(-3.0),
              std::optional<double>(qQNaN()), std::optional<double>(qInf())})
            QCOMPARE(AlertCard::accuracyText(none), QString());
        // Far beyond any integer: still the whole number, every digit.
        const QString huge = AlertCard::accuracyText(1e300);
        QVERIFY(huge.startsWith(QStringLiteral("±1000000000000000052504760255204420248704468581108")));
        QVERIFY(huge.endsWith(QStringLiteral(" m")));
        QCOMPARE(huge.size(), 1 + 301 + 2);

        QCOMPARE(AlertCard::daddr({51.5, -0.12}), QStringLiteral("51.5,-0.12"));
        QCOMPARE(AlertCard::daddr({0.0001, -179.99999999999997}),
                 QStringLiteral("0.0001,-179.99999999999997"));
        QCOMPARE(AlertCard::daddr({1e-7, 0}), QStringLiteral("0.0000001,0"));
        const QUrl url = AlertCard::directionsUrl({51.5, -0.12});
        QVERIFY(url.isValid());
        QCOMPARE(url.host(), QStringLiteral("maps.google.com"));
        QCOMPARE(
            QUrlQuery(url).queryItems(QUrl::FullyDecoded),
            (QList<std::pair<QString, QString>>{{QStringLiteral("daddr"), QStringLiteral("51.5,-0.12")}}));
        QVERIFY(!AlertCard::directionsUrl({qQNaN(), 1}).isValid());
    }

    void cardFollowsTheAlertFromActiveToEndedAndAnswered() {
        auto& m = make();
        sos::Record r;
        r.lat = 51.5;
        r.lon = -0.12;
        r.accuracy = 12.7;
        r.battery = 80;
        r.silent = true;
        r.automatic = true;
        sos::arrive(m, base, PacketKind::sos, 7, 1, r);
        QVERIFY(m.player()->sirenPlaying());
        AlertCard card(&m, m.alerts().first(), finish);
        card.resize(520, card.sizeHint().height());
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));

        // Badge, border and marks of an active alert.
        auto badgeNamed = [&](const QString& t) {
            for (QWidget* w : card.findChildren<QWidget*>())
                if (w->accessibleName() == t) return w;
            return static_cast<QWidget*>(nullptr);
        };
        QWidget* badge = badgeNamed(QStringLiteral("SOS"));
        QVERIFY(badge);
        QCOMPARE(card.grab()
                     .toImage()
                     .pixelColor(badge->geometry().topLeft() + QPoint(3, badge->height() / 2))
                     .rgb(),
                 finish.tx.rgb());
        QCOMPARE(borderPixel(card).rgb(), finish.tx.rgb());
        QCOMPARE(card.grab().toImage().pixelColor(1, card.height() / 2).rgb(),
                 finish.tx.rgb()); // two pixels wide
        QLabel* who = label(&card, QStringLiteral("Ann"));
        QLabel* silent = label(&card, QStringLiteral("silent"));
        QLabel* missed = label(&card, QStringLiteral("missed check-in"));
        QLabel* channelName = label(&card, QStringLiteral("Base"));
        QVERIFY(shown(&card, silent) && shown(&card, missed));
        QVERIFY(who->x() < silent->x() && silent->x() < missed->x() && missed->x() < channelName->x());

        // Facts, map and directions.
        const SOSAlert alert = m.alerts().first();
        QVERIFY(shown(&card, label(&card, QStringLiteral("±12 m"))));
        QVERIFY(shown(&card, label(&card, QStringLiteral("80%"))));
        QVERIFY(shown(&card, label(&card, TimeText::standardTime(r.time))));
        QVERIFY(
            shown(&card, label(&card, QStringLiteral("Updated ") + TimeText::shortTime(alert.lastUpdate))));
        QTRY_VERIFY(card.map() && card.map()->isVisible());
        QCOMPARE(card.map()->height(), 220);
        UrlCatcher catcher(QStringLiteral("https"));
        QTest::mouseClick(button(&card, QStringLiteral("Directions")), Qt::LeftButton);
        QCOMPARE(catcher.opened, QList<QUrl>{AlertCard::directionsUrl({51.5, -0.12})});

        // The sender moves: the same map widget follows, its camera untouched.
        SOSMap* map = card.map();
        map->zoomBy(1, map->rect().center());
        const double zoom = map->zoom();
        r.lat = 51.501;
        r.accuracy = 0;
        r.battery.reset();
        r.silent = false;
        r.automatic = false;
        rig.clock->advance(30);
        sos::arrive(m, base, PacketKind::sosUpdate, 7, 2, r);
        card.setAlert(m.alerts().first());
        QCOMPARE(card.map(), map);
        QCOMPARE(map->zoom(), zoom);
        QCOMPARE(map->trail().size(), 2);
        QVERIFY(!shown(&card, label(&card, QStringLiteral("80%"))));
        QVERIFY(!label(&card, QStringLiteral("±0 m")));
        QVERIFY(!shown(&card, silent) && !shown(&card, missed));
        QVERIFY(shown(&card, label(&card, QStringLiteral("Updated ") +
                                              TimeText::shortTime(m.alerts().first().lastUpdate))));

        // The sender cancels: ended, gray, thinner; still answerable and dismissable.
        sos::arrive(m, base, PacketKind::sosCancel, 7, 3, r);
        card.setAlert(m.alerts().first());
        QVERIFY(badgeNamed(QStringLiteral("ENDED")));
        const QColor ended = borderPixel(card);
        QVERIFY(!sos::reddish(ended));
        QVERIFY(std::abs(ended.red() - ended.blue()) < 40);
        QVERIFY(card.grab().toImage().pixelColor(1, card.height() / 2) != ended); // one pixel wide
        QPushButton* coming = button(&card, QStringLiteral("I'm coming"));
        QVERIFY(shown(&card, coming) && shown(&card, button(&card, QStringLiteral("Dismiss"))));

        // Answering: the model records "You"; the next copy shows "You're responding".
        QTest::mouseClick(coming, Qt::LeftButton);
        QCOMPARE(m.alerts().first().responders, QStringList{QStringLiteral("You")});
        card.setAlert(m.alerts().first());
        QVERIFY(!shown(&card, coming));
        QVERIFY(shown(&card, label(&card, QStringLiteral("You're responding"))));
    }

    void aLoneCoordinateGivesNoMapAndNoDirections() {
        auto& m = make();
        SOSAlert alert;
        alert.id = 11;
        alert.info.who = QStringLiteral("Dan");
        alert.info.lat = 51.5; // no longitude
        alert.info.time = rig.clock->now();
        alert.channelName = QStringLiteral("Base");
        alert.lastUpdate = rig.clock->now();
        alert.responders = {QStringLiteral("Bea"), QStringLiteral("you")}; // others only
        AlertCard card(&m, alert, finish);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        QVERIFY(shown(&card, button(&card, QStringLiteral("I'm coming"))));
        QVERIFY(!card.coord());
        QVERIFY(!card.map());
        const QString none =
            QStringLiteral("No location yet. It appears here as soon as their device gets a fix.");
        QVERIFY(shown(&card, label(&card, none)));
        QVERIFY(!shown(&card, button(&card, QStringLiteral("Directions"))));
        QVERIFY(shown(&card, button(&card, QStringLiteral("Dismiss"))));

        alert.info.lon = -0.12;
        card.setAlert(alert);
        QTRY_VERIFY(card.map() && card.map()->isVisibleTo(&card));
        QVERIFY(!shown(&card, label(&card, none)));
        alert.info.lon.reset();
        card.setAlert(alert);
        QVERIFY(!card.map()->isVisibleTo(&card));
        QVERIFY(shown(&card, label(&card, none)));
    }
};

SOS_TEST_MAIN(AlertCardTest)
#include "tst_alertcard.moc"
