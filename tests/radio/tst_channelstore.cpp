// The saved channel list: round trip, file and folder modes, damaged files kept aside, things that are
// not files at its path, a link replaced, and a list that can't be saved told in the model's notice.
#include "ChannelStore.h"
#include "ModelFixture.h"
#include "TRKLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

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

    // A pipe once hung the start; a folder or a dangling link blocked every save for the session.
    void whatIsNotARegularFileIsMovedAsideAndSavingWorksAgain_data() {
        QTest::addColumn<QString>("kind");
        for (const char* k : {"fifo", "link to /dev/zero", "directory", "dangling link"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }
    void whatIsNotARegularFileIsMovedAsideAndSavingWorksAgain() {
        QFETCH(QString, kind);
        QDir().mkpath(folder());
        ChannelStore store(folder());
        const QByteArray path = QFile::encodeName(store.file());
        if (kind == "fifo")
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        else if (kind == "link to /dev/zero")
            QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
        else if (kind == "directory")
            QVERIFY(QDir().mkpath(store.file() + "/inside"));
        else
            QCOMPARE(::symlink(QFile::encodeName(dir.path() + "/nowhere").constData(), path.constData()), 0);

        QElapsedTimer took;
        took.start();
        const auto loaded = store.load(when);
        QVERIFY2(took.elapsed() < 2000, "the load must not wait on what is at the path");
        QVERIFY(loaded.damaged);
        QVERIFY(loaded.channels.isEmpty());
        QVERIFY(loaded.keptAside.startsWith(QStringLiteral("channels-unreadable-")));
        const QFileInfo aside(folder() + "/" + loaded.keptAside);
        QVERIFY(aside.exists() || aside.isSymLink());
        QCOMPARE(aside.isDir(), kind == "directory");
        QVERIFY(!QFileInfo::exists(dir.path() + "/nowhere")); // nothing was written through the link

        const Channel c = *Channel::withRandomKey(QStringLiteral("Kept"));
        QVERIFY(store.save({c}));
        QVERIFY(QFileInfo(store.file()).isFile() && !QFileInfo(store.file()).isSymLink());
        const auto again = ChannelStore(folder()).load(when);
        QVERIFY(!again.damaged);
        QCOMPARE(again.channels.size(), 1);
        QCOMPARE(again.channels.first().channelID(), c.channelID());
    }

    // A kill during a save leaves its temporary copy, with every key in it; the next start removes it
    // and nothing else.
    void unfinishedSavesAreRemovedAtLoad() {
        ChannelStore store(folder());
        QVERIFY(store.save({*Channel::withRandomKey(QStringLiteral("Kept"))}));
        const QStringList leftovers = {".channels.json.Ab12Cd", ".channels.json.zzzzzz"};
        const QStringList others = {".channels.json.longer1", ".other.json.ABCDEF", "channels.json.Ab12Cd"};
        for (const QString& name : leftovers + others)
            write(folder() + "/" + name, read(store.file()));
        QVERIFY(QDir().mkpath(folder() + "/.channels.json.folder")); // not a file of ours
        QCOMPARE(ChannelStore(folder()).load(when).channels.size(), 1);
        for (const QString& name : leftovers)
            QVERIFY2(!QFileInfo::exists(folder() + "/" + name), qPrintable(name));
        for (const QString& name : others + QStringList{".channels.json.folder"})
            QVERIFY2(QFileInfo::exists(folder() + "/" + name), qPrintable(name));
    }

    // A link to a file is read through but replaced on save: its target, which may be anything of the
    // user's, never receives the channel list and its keys. The replacement is logged, once.
    void aLinkAtThePathIsReplacedNotWrittenThrough() {
        QTemporaryDir logs;
        TRKLog::setFolderOverride(logs.path());
        QDir().mkpath(folder());
        ChannelStore elsewhere(dir.path() + "/elsewhere");
        QVERIFY(elsewhere.save({*Channel::withRandomKey(QStringLiteral("Linked"))}));
        const QByteArray target = read(elsewhere.file());
        ChannelStore store(folder());
        QCOMPARE(::symlink(QFile::encodeName(elsewhere.file()).constData(), QFile::encodeName(store.file()).constData()),
                 0);
        auto channels = store.load(when).channels;
        QCOMPARE(channels.size(), 1);
        channels.append(*Channel::withRandomKey(QStringLiteral("Added")));
        QVERIFY(store.save(channels));
        QVERIFY(QFileInfo(store.file()).isFile() && !QFileInfo(store.file()).isSymLink());
        QCOMPARE(mode(store.file()), 0600);
        QCOMPARE(read(elsewhere.file()), target);
        QVERIFY(store.save(channels));
        QCOMPARE(ChannelStore(folder()).load(when).channels.size(), 2);
        TRKLog::flush();
        const QString logged = QString::fromUtf8(read(TRKLog::file()));
        QCOMPARE(logged.count("channels.json was a link to " + elsewhere.file() + "; replaced"), 1);
        TRKLog::setFolderOverride(std::nullopt);
    }

    // Something that appears at the path while the program runs makes saving fail: the user is told,
    // with the path, together with the notice of the operation that saved, or alone.
    void aListThatCannotBeSavedIsToldInTheNotice() {
        fixture::Rig rig;
        auto& m = rig.make(rig.options(true));
        ChannelStore store; // the model's own folder
        QVERIFY(QDir().mkpath(store.file() + "/blocker"));
        m.createChannel(QStringLiteral("Lost"));
        QVERIFY2(m.notice().startsWith(QStringLiteral("Channel Lost created. Share its invite to add people. "
                                                      "Your channels can't be saved: %1 (")
                                           .arg(store.file())),
                 qPrintable(m.notice()));
        QTest::qWait(20); // no later notice may replace it in this time
        QVERIFY(m.notice().startsWith(QStringLiteral("Channel Lost created.")));
        m.leave(m.channels().first()); // saves without a notice of its own
        QTRY_VERIFY(
            m.notice().startsWith(QStringLiteral("Your channels can't be saved: %1 (").arg(store.file())));
        QDir(store.file()).removeRecursively();
        m.createChannel(QStringLiteral("Saved"));
        QCOMPARE(m.notice(), QStringLiteral("Channel Saved created. Share its invite to add people."));
        QCOMPARE(ChannelStore().load(when).channels.size(), 1);
    }
};

MODEL_TEST_MAIN(ChannelStoreTest)
#include "tst_channelstore.moc"
