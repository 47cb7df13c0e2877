// The meter's lit-bar rule: bar i is lit when min(level x 1.6, 1) is above i / bars.
#include "LevelMeter.h"

#include <QtTest>
#include <limits>

class LevelMeterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void litBars_data() {
        QTest::addColumn<float>("level");
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("lit");
        QTest::newRow("silence") << 0.0f << 18 << 0;
        QTest::newRow("half") << 0.5f << 18 << 15; // 0.8 > i/18 for i <= 14
        QTest::newRow("full at 0.625") << 0.625f << 18 << 18;
        QTest::newRow("full") << 1.0f << 18 << 18;
        QTest::newRow("overdriven") << 3.0f << 18 << 18;
        QTest::newRow("a whisper lights the first bar") << 0.001f << 18 << 1;
        QTest::newRow("exactly on a boundary is not above it")
            << 0.3125f << 20 << 10; // 0.5 > i/20 for i < 10
        QTest::newRow("status screen while receiving") << 0.5f << 20 << 16;
        QTest::newRow("compact screen") << 0.5f << 14 << 12;
        QTest::newRow("negative") << -0.4f << 18 << 0;
        QTest::newRow("no bars") << 0.7f << 0 << 0;
        QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 18 << 0;
    }
    void litBars() {
        QFETCH(float, level);
        QFETCH(int, bars);
        QFETCH(int, lit);
        QCOMPARE(LevelMeter::litBars(level, bars), lit);
        // Lit bars are always the first ones.
        for (int i = 0; i < bars; ++i)
            QCOMPARE(LevelMeter::isLit(level, i, bars), i < lit);
    }
};

QTEST_GUILESS_MAIN(LevelMeterTest)
#include "tst_levelmeter.moc"
