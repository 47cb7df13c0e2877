#include "FileReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// mkostemp's six random characters after ".NAME.".
constexpr int tempSuffixLength = 6;
QString tempPrefix(const QFileInfo& info) {
    return QStringLiteral(".%1.").arg(info.fileName());
}
} // namespace

QString FileReplace::write(const QString& path, const QByteArray& data, int mode) {
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    // Hidden, in the same folder: rename() is atomic only within one file system.
    QByteArray temp = QFile::encodeName(QDir(info.absolutePath()).filePath(
                          tempPrefix(info) + QString(tempSuffixLength, QLatin1Char('X'))));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return reason(errno);
    int error = 0;
    // The private mode is set before any byte is written, so the contents are never readable by others.
    if (::fchmod(fd, mode_t(mode)) != 0) error = errno;
    const char* p = data.constData();
    qsizetype left = data.size();
    while (!error && left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        p += n;
        left -= n;
    }
    // Some file systems report a full disk only when the data reaches it.
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.constData(), target.constData()) != 0) error = errno;
    if (error) {
        ::unlink(temp.constData());
        return reason(error);
    }
    // The rename itself reaches the disk with the folder; a failure here loses nothing already written.
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

int FileReplace::removeLeftovers(const QString& path) {
    const QFileInfo info(path);
    const QString prefix = tempPrefix(info);
    QDir folder(info.absolutePath());
    int removed = 0;
    for (const QString& name : folder.entryList({prefix + QStringLiteral("*")},
                                                QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.size() != prefix.size() + tempSuffixLength) continue;
        const QByteArray full = QFile::encodeName(folder.filePath(name));
        struct stat st {};
        // Only a plain file of ours: never a folder, and a link is removed, not followed.
        if (::lstat(full.constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) continue;
        if (::unlink(full.constData()) == 0) ++removed;
    }
    return removed;
}
