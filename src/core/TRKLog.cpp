#include "TRKLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct Entry {
    qint64 msecs; // since the epoch
    QString message;
};

class Writer {
public:
    static Writer& shared() {
        // Never destroyed: lines logged while the process exits must not meet a dead writer.
        static Writer* writer = [] {
            auto* w = new Writer;
            std::atexit([] { Writer::shared().flush(); });
            return w;
        }();
        return *writer;
    }

    void log(const QString& message) {
        Entry e{QDateTime::currentMSecsSinceEpoch(), message};
        std::lock_guard lock(mutex);
        if (queue.size() >= size_t(TRKLog::queueLimit)) {
            queue.pop_front(); // the oldest line goes; a flood must not grow memory without bound
            ++done;
        }
        queue.push_back(std::move(e));
        ++queued;
        wake.notify_one();
    }

    void flush() {
        std::unique_lock lock(mutex);
        const quint64 target = queued;
        // Bounded, so a writer stuck on a dead file system cannot hang the caller for ever.
        written.wait_for(lock, std::chrono::seconds(5), [&] { return done >= target; });
    }

    std::optional<QString> folderOverride() {
        std::lock_guard lock(mutex);
        return override_;
    }
    void setFolderOverride(const std::optional<QString>& f) {
        std::lock_guard lock(mutex);
        override_ = f;
    }
    bool echo() {
        std::lock_guard lock(mutex);
        return echo_;
    }
    void setEcho(bool on) {
        std::lock_guard lock(mutex);
        echo_ = on;
    }

    QString folder() {
        if (auto o = folderOverride()) return *o;
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }

    // Makes the folder when missing and restores its owner-only mode.
    bool prepareFolder(const QString& dir) {
        if (dir.isEmpty() || !QDir().mkpath(dir)) return false;
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        return true;
    }

private:
    Writer() : pid(QCoreApplication::applicationPid()), thread([this] { run(); }) { thread.detach(); }

    void run() {
        // Otherwise the thread inherits the name of whichever thread logged first.
        pthread_setname_np(pthread_self(), "qmrl.trk.log");
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return !queue.empty(); });
            std::deque<Entry> batch;
            batch.swap(queue);
            const bool echoOn = echo_;
            const std::optional<QString> dir = override_;
            lock.unlock();
            write(batch, echoOn, dir);
            lock.lock();
            done += batch.size();
            written.notify_all();
        }
    }

    void write(const std::deque<Entry>& batch, bool echoOn, const std::optional<QString>& overrideDir) {
        const QString dir =
            overrideDir ? *overrideDir : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        int fd = -1;
        QByteArray path, oldPath;
        if (prepareFolder(dir)) {
            path = QFile::encodeName(QDir(dir).filePath(QStringLiteral("debug.log")));
            oldPath = QFile::encodeName(QDir(dir).filePath(QStringLiteral("debug.old.log")));
            fd = keptOpen(path);
        } else {
            closeKept();
        }
        for (const Entry& e : batch) {
            const QByteArray line = cappedLine(e);
            if (echoOn) {
                std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
                std::fflush(stderr);
            }
            if (fd < 0) continue; // an unwritable folder drops the line
            const char* p = line.constData();
            qsizetype left = line.size();
            while (left > 0) {
                const ssize_t n = ::write(fd, p, size_t(left));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                p += n;
                left -= n;
            }
            // Checked after the line, so a file ends at most one (capped) line past the limit.
            struct stat st {};
            if (::fstat(fd, &st) == 0 && st.st_size >= TRKLog::rotateBytes) {
                // The rename replaces the previous generation. Where it cannot be made (a folder in the
                // old file's place, say), the file starts again empty rather than growing without end.
                if (::rename(path.constData(), oldPath.constData()) == 0) {
                    closeKept();
                    fd = keptOpen(path);
                } else if (::ftruncate(fd, 0) != 0) {
                    closeKept();
                    fd = -1;
                }
            }
        }
    }

    // The file stays open between lines: a process at its descriptor limit, where a log matters most,
    // could not open it again. It is opened afresh when the folder changes or the file at the path is no
    // longer the one held (rotated by another copy of the program, or removed).
    int keptOpen(const QByteArray& path) {
        if (kept >= 0) {
            struct stat atPath {}, held {};
            if (path == keptPath && ::stat(path.constData(), &atPath) == 0 && ::fstat(kept, &held) == 0 &&
                atPath.st_dev == held.st_dev && atPath.st_ino == held.st_ino) {
                ::fchmod(kept, 0600);
                return kept;
            }
            closeKept();
        }
        kept = openLog(path);
        keptPath = path;
        return kept;
    }
    void closeKept() {
        if (kept >= 0) ::close(kept);
        kept = -1;
    }

    QByteArray cappedLine(const Entry& e) const {
        // Escaping at most multiplies the length, so only the head of a huge message is worked on.
        QByteArray text = TRKLog::escaped(e.message.left(TRKLog::lineBytes)).toUtf8();
        const QByteArray head = stamp(e.msecs) + QStringLiteral(" [%1] ").arg(pid).toUtf8();
        const qsizetype room = TRKLog::lineBytes - head.size() - 1; // the newline
        if (text.size() > room) { // always so when the message itself was cut
            const QByteArray mark("...");
            qsizetype cut = room - mark.size();
            while (cut > 0 && (quint8(text[cut]) & 0xC0) == 0x80) --cut; // not inside a character
            text.truncate(cut);
            text.append(mark);
        }
        return head + text + '\n';
    }

    // Local time as "yyyy-MM-dd HH:mm:ss.zzz", by the C library alone: lines logged while the process
    // exits are written after Qt's calendar and locale data may have gone.
    static QByteArray stamp(qint64 msecs) {
        const time_t seconds = time_t(msecs / 1000);
        struct tm local {};
        localtime_r(&seconds, &local);
        char text[48];
        const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        std::snprintf(text + n, sizeof text - n, ".%03d", int(msecs % 1000));
        return QByteArray(text);
    }

    static int openLog(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) ::fchmod(fd, 0600);
        return fd;
    }

    int kept = -1; // only the writer thread touches these two
    QByteArray keptPath;
    std::mutex mutex;
    std::condition_variable wake, written;
    std::deque<Entry> queue;
    quint64 queued = 0, done = 0;
    std::optional<QString> override_;
    bool echo_ = false;
    const qint64 pid;
    std::thread thread;
};
} // namespace

void TRKLog::log(const QString& message) {
    Writer::shared().log(message);
}

QString TRKLog::file() {
    const QString dir = folder();
    Writer::shared().prepareFolder(dir);
    return QDir(dir).filePath(QStringLiteral("debug.log"));
}

QString TRKLog::folder() {
    return Writer::shared().folder();
}
std::optional<QString> TRKLog::folderOverride() {
    return Writer::shared().folderOverride();
}
void TRKLog::setFolderOverride(const std::optional<QString>& folder) {
    Writer::shared().setFolderOverride(folder);
}
bool TRKLog::echo() {
    return Writer::shared().echo();
}
void TRKLog::setEcho(bool on) {
    Writer::shared().setEcho(on);
}
QString TRKLog::shortHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.left(4).toHex());
}
void TRKLog::flush() {
    Writer::shared().flush();
}

// Control characters would break the one-line-per-message shape of the file.
QString TRKLog::escaped(const QString& message) {
    QString out;
    out.reserve(message.size());
    for (QChar c : message) {
        const ushort u = c.unicode();
        if (c.category() != QChar::Other_Control && u != 0x2028 && u != 0x2029) {
            out.append(c);
        } else if (u == '\n') {
            out.append(QLatin1String("\\n"));
        } else if (u == '\r') {
            out.append(QLatin1String("\\r"));
        } else if (u == '\t') {
            out.append(QLatin1String("\\t"));
        } else {
            out.append(QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0')));
        }
    }
    return out;
}
