// The six finishes: their order and ids, old ids mapping to their replacements, the fall-back for
// unknown ids, and colours agreeing with the themed kit's theme of the same name.
#include "Finish.h"
#include "QMTheme.h"

#include <QtTest>

class FinishTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void sixFinishesInTheManualsOrder() {
        QStringList ids, names;
        for (const Finish& f : Finish::all()) {
            ids << f.id;
            names << f.name;
        }
        QCOMPARE(ids, (QStringList{"gunmetal-blue", "anodized-red", "rose-gold", "lavender-violet",
                                   "black-chrome", "graphite-gray"}));
        QCOMPARE(names, (QStringList{"Gunmetal Blue", "Anodized Red", "Rose Gold", "Lavender Violet",
                                     "Black Chrome", "Graphite Gray"}));
    }

    void oldIdsMapToTheirReplacements_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("expected");
        QTest::newRow("gunmetal") << "gunmetal"
                                  << "graphite-gray";
        QTest::newRow("carbon") << "carbon"
                                << "black-chrome";
        QTest::newRow("blackops") << "blackops"
                                  << "black-chrome";
        QTest::newRow("crimson") << "crimson"
                                 << "anodized-red";
        QTest::newRow("current id unchanged") << "rose-gold"
                                              << "rose-gold";
        QTest::newRow("unknown unchanged") << "chartreuse"
                                           << "chartreuse";
        QTest::newRow("case matters") << "Crimson"
                                      << "Crimson";
        QTest::newRow("empty") << ""
                               << "";
    }
    void oldIdsMapToTheirReplacements() {
        QFETCH(QString, id);
        QFETCH(QString, expected);
        QCOMPARE(Finish::migrate(id), expected);
    }

    void namedMigratesThenFallsBackToTheFirst() {
        QCOMPARE(Finish::named("lavender-violet").id, QString("lavender-violet"));
        QCOMPARE(Finish::named("gunmetal").id, QString("graphite-gray"));
        QCOMPARE(Finish::named("blackops").name, QString("Black Chrome"));
        QCOMPARE(Finish::named("").id, QString("gunmetal-blue"));
        QCOMPARE(Finish::named("no-such-finish").id, QString("gunmetal-blue"));
    }

    void colourFromHexAndOpacity() {
        const QColor c = Finish::c(0x050607);
        QCOMPARE(c.red(), 5);
        QCOMPARE(c.green(), 6);
        QCOMPARE(c.blue(), 7);
        QCOMPARE(c.alpha(), 255);
        QCOMPARE(Finish::c(0xF2F4F7, 0.5).alpha(), 128);
        QCOMPARE(Finish::c(0xFF000000u | 0x123456).red(), 0x12); // stray high bits are not opacity
    }

    void coloursFollowTheThemeOfTheSameName() {
        // The themed kit's accent of each theme, and its second accent lighting the LCD text.
        const Finish gunmetal = Finish::named("gunmetal-blue");
        QCOMPARE(gunmetal.accent, QColor::fromRgbF(0.3f, 0.74f, 1.0f));
        QCOMPARE(gunmetal.lcdText, QColor::fromRgbF(0.55f, 0.9f, 1.0f));
        QCOMPARE(Finish::named("graphite-gray").accent, QColor::fromRgbF(1.0f, 0.7f, 0.22f));
        QCOMPARE(Finish::named("anodized-red").panelTop, QColor::fromRgbF(0.3f, 0.075f, 0.1f));
        // Every finish against the kit's own theme table, so a change to one kit shows in the other.
        QCOMPARE(Finish::all().size(), QMTheme::all().size());
        for (int i = 0; i < Finish::all().size(); ++i) {
            const Finish& f = Finish::all()[i];
            const QMTheme& t = QMTheme::all()[i];
            QCOMPARE(f.id, t.id);
            QCOMPARE(f.name, t.name);
            QCOMPARE(f.panelTop, t.raised);
            QCOMPARE(f.panelBottom, t.base);
            QCOMPARE(f.engrave, t.metalHi);
            QCOMPARE(f.accent, t.accent);
            QCOMPARE(f.lcdText, t.accent2);
            QCOMPARE(f.screw, t.metalMid);
        }
    }

    void receiveIsBlueAndTransmitIsRedInEveryFinish() {
        for (const Finish& f : Finish::all()) {
            QVERIFY2(f.rx.blueF() > f.rx.redF() + 0.3f && f.rx.blueF() > 0.8f, qPrintable(f.id));
            QVERIFY2(f.tx.redF() > 0.9f && f.tx.greenF() < 0.45f && f.tx.blueF() < 0.45f, qPrintable(f.id));
            // Lit LCD text stands out from the glass and from the dim text.
            QVERIFY2(f.lcdText.lightnessF() > f.lcdDim.lightnessF() + 0.1f, qPrintable(f.id));
            QVERIFY2(f.lcdDim.lightnessF() > f.lcdBack.lightnessF() + 0.05f, qPrintable(f.id));
        }
    }
};

QTEST_GUILESS_MAIN(FinishTest)
#include "tst_finish.moc"
