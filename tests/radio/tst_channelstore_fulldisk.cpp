// The channel store on a real full disk: a small file system of the test's own, mounted in a private
// mount namespace (root only; skipped otherwise). Failed saves keep the saved bytes, the user is told,
// and a save after space is freed succeeds with the channels kept in memory.
#include "ChannelStore.h"
#include "ModelFixture.h"
#include "TRKLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes until the file system refuses a single byte more.
bool fill(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const QByteArray block(4096, 'f');
    for (qsizetype size = block.size(); size > 0;)
        if (::write(fd, block.constData(), size_t(size)) <= 0) size /= 2;
    ::close(fd);
    return true;
}

const QDateTime when = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
} // namespace

class FullDiskTest : public QObject {
    Q_OBJECT
    QTemporaryDir logs;

private slots:
    void aFullDiskKeepsTheSavedListAndALaterSaveSucceeds() {
        if (::geteuid() != 0) QSKIP("needs root to mount a small file system");
        // The log's writer thread starts out here, so it keeps writing outside the small file system.
        TRKLog::setFolderOverride(logs.path());
        TRKLog::log(QStringLiteral("full disk test"));
        TRKLog::flush();
        // Only this thread enters the namespace; the mount is gone with the process.
        if (::unshare(CLONE_NEWNS) != 0)
            QSKIP(qPrintable(QStringLiteral("no private mount namespace: %1").arg(std::strerror(errno))));
        QCOMPARE(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        const ChannelStore store;
        QVERIFY(QDir().mkpath(store.folder()));
        QVERIFY2(::mount("tessrook-store-test", QFile::encodeName(store.folder()).constData(), "tmpfs", 0,
                         "size=128k,mode=0700") == 0,
                 std::strerror(errno));

        fixture::Rig rig;
        auto& m = rig.make(rig.options(true));
        m.createChannel(QStringLiteral("One"));
        m.createChannel(QStringLiteral("Two"));
        const QByteArray saved = read(store.file());
        QVERIFY(saved.contains("Two"));
        const QString filler = store.folder() + "/filler";
        QVERIFY(fill(filler));

        const QString problem =
            QStringLiteral("Your channels can't be saved: %1 (No space left on device).").arg(store.file());
        m.createChannel(QStringLiteral("Three"));
        QVERIFY2(m.notice().endsWith(problem), qPrintable(m.notice()));
        m.leave(m.channels().first());
        QTRY_COMPARE(m.notice(), problem);
        QCOMPARE(read(store.file()), saved);
        // No half-written temporary file is left to take the space.
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("channels.json"), QStringLiteral("filler")}));

        QVERIFY(QFile::remove(filler));
        m.createChannel(QStringLiteral("Four"));
        QCOMPARE(m.notice(), QStringLiteral("Channel Four created. Share its invite to add people."));
        QStringList names;
        for (const Channel& c : ChannelStore().load(when).channels) names << c.name;
        QCOMPARE(names, QStringList({QStringLiteral("Two"), QStringLiteral("Three"), QStringLiteral("Four")}));
        ::umount2(QFile::encodeName(store.folder()).constData(), MNT_DETACH);
    }
};

int main(int argc, char** argv) {
    fixture::privateFolders();
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Quillmarsh"));
    app.setApplicationName(QStringLiteral("QMRL Tessrook"));
    FullDiskTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_channelstore_fulldisk.moc"
