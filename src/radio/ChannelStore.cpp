#include "ChannelStore.h"

#include "FileReplace.h"
#include "TRKLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString fileName = QStringLiteral("channels.json");
constexpr auto folderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr auto fileMode = QFile::ReadOwner | QFile::WriteOwner;
} // namespace

ChannelStore::ChannelStore(QString folder)
    : folder_(folder.isEmpty() ? defaultFolder() : std::move(folder)) {}

QString ChannelStore::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString ChannelStore::file() const {
    return QDir(folder_).filePath(fileName);
}

bool ChannelStore::ensureFolder() const {
    if (!QDir().mkpath(folder_)) {
        TRKLog::log(QStringLiteral("Channel store: cannot create %1").arg(folder_));
        return false;
    }
    if (!QFile::setPermissions(folder_, folderMode))
        TRKLog::log(QStringLiteral("Channel store: cannot set the mode of %1").arg(folder_));
    return true;
}

QString ChannelStore::asideName(const QDateTime& now) const {
    const QString stamp = now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString name = QStringLiteral("channels-unreadable-%1.json").arg(stamp);
    // A dangling link counts as taken too, so nothing is ever written through one.
    for (int n = 2; QFileInfo(QDir(folder_).filePath(name)).exists() ||
                    QFileInfo(QDir(folder_).filePath(name)).isSymLink();
         ++n)
        name = QStringLiteral("channels-unreadable-%1-%2.json").arg(stamp).arg(n);
    return name;
}

QString ChannelStore::moveAside(const QDateTime& now) const {
    const QString name = asideName(now);
    const QByteArray from = QFile::encodeName(file()), to = QFile::encodeName(QDir(folder_).filePath(name));
    if (::rename(from.constData(), to.constData()) != 0) {
        TRKLog::log(QStringLiteral("Channel store: could not move %1 aside: %2")
                        .arg(fileName, QString::fromLocal8Bit(std::strerror(errno))));
        return {};
    }
    return name;
}

QString ChannelStore::copyAside(const QDateTime& now) const {
    const QString name = asideName(now);
    const QString target = QDir(folder_).filePath(name);
    if (!QFile::copy(file(), target)) {
        TRKLog::log(QStringLiteral("Channel store: could not copy the damaged file aside"));
        return {};
    }
    QFile::setPermissions(target, fileMode);
    return name;
}

ChannelStore::Loaded ChannelStore::load(const QDateTime& now) {
    Loaded out;
    ensureFolder();
    // A save cut short by a kill leaves its temporary copy, keys and all, for good.
    if (const int stale = FileReplace::removeLeftovers(file()))
        TRKLog::log(QStringLiteral("Channel store: removed %1 unfinished save(s)").arg(stale));
    const QByteArray path = QFile::encodeName(file());
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return out; // nothing there: an empty list
    // Non-blocking, so a pipe at the path cannot hang the start; the type is read from what was opened.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    const bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular) {
        if (fd >= 0) ::close(fd);
        // Not a file at all: no bytes to keep, so the thing itself is moved out of the way.
        out.damaged = true;
        out.keptAside = moveAside(now);
        saveBlocked_ = out.keptAside.isEmpty();
        TRKLog::log(
            QStringLiteral("Channel store: %1 is not a regular file; moved aside as %2")
                .arg(fileName, out.keptAside.isEmpty() ? QStringLiteral("(move failed)") : out.keptAside));
        if (!out.keptAside.isEmpty()) save(out.channels);
        return out;
    }
    QByteArray data;
    QFile f;
    bool readOK = f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (readOK) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        data = f.readAll();
        readOK = f.error() == QFile::NoError;
        f.close();
    } else {
        ::close(fd);
    }
    Channel::Decoded decoded;
    if (readOK) decoded = Channel::decodeList(data, now);
    if (!readOK || decoded.unreadable || !decoded.skipped.isEmpty()) {
        out.damaged = true;
        out.keptAside = copyAside(now);
        saveBlocked_ = out.keptAside.isEmpty();
        TRKLog::log(QStringLiteral("Channel store: %1 read with problems (%2 record(s) skipped); kept as %3")
                        .arg(fileName)
                        .arg(decoded.skipped.size())
                        .arg(out.keptAside.isEmpty() ? QStringLiteral("(copy failed)") : out.keptAside));
    }
    out.channels = decoded.channels;
    // With the original bytes safe in the copy, the file is rewritten with what could be read, so
    // the next start neither copies it again nor repeats the notice.
    if (!out.keptAside.isEmpty()) save(out.channels);
    return out;
}

bool ChannelStore::save(const QList<Channel>& channels) {
    saveError_.clear();
    if (saveBlocked_) {
        TRKLog::log(QStringLiteral("Channel store: not saving over a damaged file that could not be kept"));
        saveError_ = QStringLiteral("the damaged file could not be kept aside");
        return false;
    }
    if (!ensureFolder()) {
        saveError_ = QStringLiteral("the folder can't be made");
        return false;
    }
    // Written whole beside the file and renamed over it: a full disk or a link at the path leaves the
    // saved list as it was, and the caller keeps the channels in memory for the next save.
    const QFileInfo before(file());
    const bool wasLink = before.isSymLink();
    const QString linkTarget = wasLink ? before.symLinkTarget() : QString();
    const QString error = FileReplace::write(file(), Channel::encodeList(channels), 0600);
    if (!error.isEmpty()) {
        TRKLog::log(QStringLiteral("Channel store: cannot save %1: %2").arg(fileName, error));
        saveError_ = error;
        return false;
    }
    // Someone put the link there on purpose: say where it pointed, since it no longer does.
    if (wasLink)
        TRKLog::log(QStringLiteral("Channel store: %1 was a link to %2; replaced by a file of its own")
                        .arg(fileName, linkTarget));
    return true;
}
