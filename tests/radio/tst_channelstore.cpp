// The saved channel list: round trip, file and folder modes, and damaged files kept aside.
#include "ChannelStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {
int mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void write(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QDateTime when = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
} // namespace

class ChannelStoreTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString folder() const { return dir.path() + "/app"; }

private slots:
    void init() { QDir(folder()).removeRecursively(); }

    void roundTripWithPrivateModes() {
        ChannelStore store(folder());
        const auto empty = store.load(when);
        QVERIFY(empty.channels.isEmpty() && !empty.damaged);
        QCOMPARE(mode(folder()), 0700);

        QList<Channel> list{*Channel::withRandomKey(QStringLiteral("One")),
                            *Channel::fromPassphrase(QStringLiteral("Two"), QStringLiteral("eight chars"))};
        QVERIFY(store.save(list));
        QCOMPARE(mode(store.file()), 0600);
        QCOMPARE(QFileInfo(store.file()).fileName(), QStringLiteral("channels.json"));

        // The folder's mode is put right at every start.
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
        ChannelStore again(folder());
        const auto loaded = again.load(when);
        QCOMPARE(mode(folder()), 0700);
        QVERIFY(!loaded.damaged);
        QCOMPARE(loaded.channels.size(), 2);
        QCOMPARE(loaded.channels[0].channelID(), list[0].channelID());
        QCOMPARE(loaded.channels[1].keyName, list[1].keyName);
        QVERIFY(QDir(folder()).entryList({QStringLiteral("channels-unreadable-*")}).isEmpty());
    }

    void anUnreadableFileIsKeptAsideAndNotOverwritten() {
        QDir().mkpath(folder());
        ChannelStore store(folder());
        write(store.file(), "[{\"name\": broken");
        const auto loaded = store.load(when);
        QVERIFY(loaded.damaged);
        QVERIFY(loaded.channels.isEmpty());
        QVERIFY(loaded.keptAside.startsWith(QStringLiteral("channels-unreadable-")));
        QCOMPARE(read(folder() + "/" + loaded.keptAside), QByteArray("[{\"name\": broken"));
        QCOMPARE(mode(folder() + "/" + loaded.keptAside), 0600);
        // Saving afterwards replaces channels.json but the copy stays.
        QVERIFY(store.save({*Channel::withRandomKey(QStringLiteral("New"))}));
        QCOMPARE(read(folder() + "/" + loaded.keptAside), QByteArray("[{\"name\": broken"));

        // A second damaged load the same second gets its own name.
        write(store.file(), "garbage");
        const auto second = ChannelStore(folder()).load(when);
        QVERIFY(second.damaged);
        QVERIFY(second.keptAside != loaded.keptAside);
    }

    void aFileWithOneBadRecordKeepsTheGoodOnes() {
        QDir().mkpath(folder());
        ChannelStore store(folder());
        const Channel good = *Channel::withRandomKey(QStringLiteral("Good"));
        QVERIFY(store.save({good}));
        QByteArray data = read(store.file());
        const int end = data.lastIndexOf(']');
        data.insert(end, ",{\"name\":\"Bad\",\"key\":\"???\"}");
        write(store.file(), data);

        const auto loaded = ChannelStore(folder()).load(when);
        QVERIFY(loaded.damaged);
        QCOMPARE(loaded.channels.size(), 1);
        QCOMPARE(loaded.channels.first().channelID(), good.channelID());
        QCOMPARE(read(folder() + "/" + loaded.keptAside), data);

        // Once kept aside, the file holds what was read: later starts find nothing to copy again.
        const auto next = ChannelStore(folder()).load(when.addSecs(60));
        QVERIFY(!next.damaged);
        QVERIFY(next.keptAside.isEmpty());
        QCOMPARE(next.channels.size(), 1);
        QCOMPARE(next.channels.first().channelID(), good.channelID());
        QCOMPARE(mode(store.file()), 0600);
        QCOMPARE(QDir(folder()).entryList({QStringLiteral("channels-unreadable-*")}),
                 QStringList{loaded.keptAside});
        QCOMPARE(read(folder() + "/" + loaded.keptAside), data);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Quillmarsh"));
    app.setApplicationName(QStringLiteral("QMRL Tessrook"));
    ChannelStoreTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_channelstore.moc"
