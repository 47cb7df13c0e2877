#include "ChannelStore.h"

#include "TRKLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

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

QString ChannelStore::copyAside(const QDateTime& now) const {
    const QString stamp = now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString name = QStringLiteral("channels-unreadable-%1.json").arg(stamp);
    for (int n = 2; QFile::exists(QDir(folder_).filePath(name)); ++n)
        name = QStringLiteral("channels-unreadable-%1-%2.json").arg(stamp).arg(n);
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
    QFile f(file());
    if (!f.exists()) return out;
    QByteArray data;
    bool readOK = f.open(QIODevice::ReadOnly);
    if (readOK) {
        data = f.readAll();
        readOK = f.error() == QFile::NoError;
        f.close();
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
    if (saveBlocked_) {
        TRKLog::log(QStringLiteral("Channel store: not saving over a damaged file that could not be kept"));
        return false;
    }
    if (!ensureFolder()) return false;
    QSaveFile f(file());
    if (!f.open(QIODevice::WriteOnly)) {
        TRKLog::log(QStringLiteral("Channel store: cannot write %1: %2").arg(fileName, f.errorString()));
        return false;
    }
    f.write(Channel::encodeList(channels));
    // The temporary file gets the private mode before it replaces the real one.
    f.setPermissions(fileMode);
    if (!f.commit()) {
        TRKLog::log(QStringLiteral("Channel store: cannot save %1: %2").arg(fileName, f.errorString()));
        return false;
    }
    return true;
}
