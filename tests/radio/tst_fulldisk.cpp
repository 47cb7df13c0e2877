// What the program saves, on a real full disk: small file systems of the test's own, mounted in a
// private mount namespace (root only; skipped otherwise). A failed save keeps the saved bytes and says
// so; the channel list stays in memory, and a save after space is freed succeeds.
#include "ChannelStore.h"
#include "ModelFixture.h"
#include "TRKLog.h"
#include "TRLoginItemService.h"

#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
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
    bool privateMounts = false;

    // A small, empty file system at `folder`, seen by this thread only and gone with the process.
    static bool mountSmallDisk(const QString& folder) {
        return QDir().mkpath(folder) && ::mount("tessrook-full-disk-test", QFile::encodeName(folder).constData(),
                                                "tmpfs", 0, "size=128k,mode=0700") == 0;
    }

private slots:
    void initTestCase() {
        // The log's writer thread starts out here, so it keeps writing outside the small file systems.
        TRKLog::setFolderOverride(logs.path());
        TRKLog::log(QStringLiteral("full disk test"));
        TRKLog::flush();
        privateMounts = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }

    void theChannelStoreKeepsItsBytesAndALaterSaveSucceeds() {
        const ChannelStore store;
        if (!privateMounts) QSKIP("needs root to mount a small file system in a private mount namespace");
        QVERIFY2(mountSmallDisk(store.folder()), std::strerror(errno));

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

    // An emptied entry would still read as registered, yet start nothing at login.
    void theAutostartEntryKeepsItsBytesAndTheFailureIsReported() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/autostart";
        if (!privateMounts) QSKIP("needs root to mount a small file system in a private mount namespace");
        QVERIFY2(mountSmallDisk(folder), std::strerror(errno));
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH); });
        const QString program = QCoreApplication::applicationFilePath();
        TRMainAppLoginService service(program, folder);
        service.registerItem();
        const QByteArray entry = read(service.entryPath());
        QVERIFY(entry.contains("Exec="));
        QVERIFY(fill(folder + "/filler"));

        QString error;
        try {
            TRMainAppLoginService(QStringLiteral("/bin/sh"), folder).registerItem();
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        QCOMPARE(read(service.entryPath()), entry);
        QCOMPARE(service.status(), TRLoginItemService::Status::enabled);
    }
};

MODEL_TEST_MAIN(FullDiskTest)
#include "tst_fulldisk.moc"
