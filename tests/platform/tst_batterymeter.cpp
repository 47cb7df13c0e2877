// The battery charge read from a power-supply tree laid out in a temporary folder.
#include "SysBatteryMeter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class BatteryMeterTest : public QObject {
    Q_OBJECT

    static void supply(const QString& root, const QString& name, const QHash<QString, QString>& attributes) {
        QDir(root).mkpath(name);
        for (auto it = attributes.begin(); it != attributes.end(); ++it) {
            QFile f(root + "/" + name + "/" + it.key());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(it.value().toLatin1() + "\n");
        }
    }

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void noBatteryGivesNothing() {
        QTemporaryDir dir;
        QCOMPARE(SysBatteryMeter(dir.path() + "/missing").percent(), std::nullopt);
        supply(dir.path(), "AC", {{"type", "Mains"}, {"online", "1"}});
        supply(dir.path(), "BAT0", {{"type", "Battery"}}); // no capacity file
        supply(dir.path(), "BAT1", {{"type", "Battery"}, {"capacity", "garbage"}});
        QCOMPARE(SysBatteryMeter(dir.path()).percent(), std::nullopt);
    }

    void readsTheMachinesBatteriesOnly() {
        QTemporaryDir dir;
        supply(dir.path(), "AC", {{"type", "Mains"}, {"capacity", "5"}});
        supply(dir.path(), "BAT0", {{"type", "Battery"}, {"capacity", "80"}, {"scope", "System"}});
        supply(dir.path(), "hidpp_battery_0", {{"type", "Battery"}, {"capacity", "3"}, {"scope", "Device"}});
        supply(dir.path(), "BAT9", {{"type", "Battery"}, {"capacity", "10"}, {"present", "0"}});
        SysBatteryMeter meter(dir.path());
        QCOMPARE(meter.percent(), std::optional<int>(80));
        // Two batteries give their mean; odd values are clamped, not trusted.
        supply(dir.path(), "BAT1", {{"type", "Battery"}, {"capacity", "41"}});
        QCOMPARE(meter.percent(), std::optional<int>(61));
        supply(dir.path(), "BAT1", {{"type", "Battery"}, {"capacity", "250"}});
        QCOMPARE(meter.percent(), std::optional<int>(90));
    }

    void followsSymlinkedEntriesAsTheKernelLaysThemOut() {
        QTemporaryDir dir;
        supply(dir.path() + "/devices", "BAT0", {{"type", "Battery"}, {"capacity", "57"}});
        QDir(dir.path()).mkpath("class");
        QVERIFY(QFile::link(dir.path() + "/devices/BAT0", dir.path() + "/class/BAT0"));
        QCOMPARE(SysBatteryMeter(dir.path() + "/class").percent(), std::optional<int>(57));
    }
};

QTEST_GUILESS_MAIN(BatteryMeterTest)
#include "tst_batterymeter.moc"
