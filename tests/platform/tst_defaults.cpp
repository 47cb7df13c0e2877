// The settings store: values survive a round trip through the INI file with their types, and each
// write that changes a value tells the views bound to that key.
#include "Defaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class DefaultsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        // The file an earlier run left behind, before the store first reads it: every value is text.
        QVERIFY(QDir(dir.path()).mkpath("Quillmarsh"));
        QFile f(dir.filePath("Quillmarsh/QMRL Tessrook.conf"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\nearlierBool=false\nearlierTrue=true\nearlierInt=-12\nearlierDouble=0.75\n");
    }

    void valuesLeftByAnEarlierRunReadWithTheirTypes() {
        auto& d = Defaults::shared();
        QCOMPARE(d.boolValue("earlierBool", true), false);
        QCOMPARE(d.boolValue("earlierTrue", false), true);
        QCOMPARE(d.intValue("earlierInt", 0), -12);
        QCOMPARE(d.doubleValue("earlierDouble", 0.0), 0.75);
        // Writing the value it already holds, in its native type, is no change.
        QSignalSpy spy(&d, &Defaults::changed);
        d.setValue("earlierBool", false);
        d.setValue("earlierInt", -12);
        QCOMPARE(spy.count(), 0);
    }

    void typedValuesReadBackFromTheFile() {
        auto& d = Defaults::shared();
        d.setValue("useLAN", false);
        d.setValue("scrambleMode", 3);
        d.setValue("qmrl.zoom", 1.25);
        d.setValue("displayName", "Base camp");
        // A second reader sees what the file holds, as strings.
        QSettings fresh;
        QCOMPARE(fresh.value("useLAN").toString(), QString("false"));
        QCOMPARE(d.boolValue("useLAN", true), false);
        QCOMPARE(d.intValue("scrambleMode", 4), 3);
        QCOMPARE(d.doubleValue("qmrl.zoom", 1.0), 1.25);
        QCOMPARE(d.stringValue("displayName"), QString("Base camp"));
    }

    void missingOrUnreadableValuesGiveTheFallback() {
        auto& d = Defaults::shared();
        QCOMPARE(d.boolValue("neverWritten", true), true);
        QCOMPARE(d.intValue("neverWritten", 7), 7);
        d.setValue("garbled", "not a number");
        QCOMPARE(d.intValue("garbled", 4), 4);
        QCOMPARE(d.boolValue("garbled", true), true);
        QCOMPARE(d.doubleValue("garbled", 0.5), 0.5);
    }

    void changeSignalOncePerRealChange() {
        auto& d = Defaults::shared();
        QSignalSpy spy(&d, &Defaults::changed);
        d.setValue("finish", "rose-gold");
        d.setValue("finish", "rose-gold"); // same value: nothing to tell
        d.setValue("finish", "black-chrome");
        d.remove("finish");
        d.remove("finish");
        QCOMPARE(spy.count(), 3);
        for (const auto& call : spy)
            QCOMPARE(call.at(0).toString(), QString("finish"));
    }

    // Something the program cannot write in the file's place (a folder stands in for another user's
    // file: root reads and writes any file): the first lost change says where and why, once.
    void aFileThatCannotBeWrittenIsToldOnce() {
        auto& d = Defaults::shared();
        QCOMPARE(d.problem(), QString());
        const QString path = dir.filePath("Quillmarsh/QMRL Tessrook.conf");
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        QSignalSpy spy(&d, &Defaults::problemFound);
        d.setValue("finish", "lost-1");
        d.setValue("finish", "lost-2");
        d.remove("finish");
        QCOMPARE(spy.count(), 1);
        const QString text = spy.first().first().toString();
        QVERIFY2(text.contains(path) && text.contains("directory"), qPrintable(text));
        QCOMPARE(d.problem(), text);
    }
};

QTEST_GUILESS_MAIN(DefaultsTest)
#include "tst_defaults.moc"
