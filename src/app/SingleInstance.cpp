#include "SingleInstance.h"

#include "TRKLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
constexpr int kConnectMs = 1000;
constexpr int kWriteMs = 2000;
constexpr int kRetryMs = 100;
// The least time a caller waits for the "ok" even when the overall deadline is nearly spent.
constexpr int kLeastAnswerMs = 1000;
// How often the running copy checks that its socket is still there to be found.
constexpr int kWatchMs = 500;

void tellUser(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    watch_.setInterval(kWatchMs);
    connect(&watch_, &QTimer::timeout, this, &SingleInstance::keepListening);
}

SingleInstance::~SingleInstance() {
    watch_.stop();
    if (server_) server_->close();      // removes the socket file
    if (lockFd_ >= 0) ::close(lockFd_); // releases the lock
}

QStringList SingleInstance::inviteLinks(const QStringList& arguments) {
    QStringList links;
    for (const QString& a : arguments) {
        const int colon = a.indexOf(QLatin1Char(':'));
        if (colon > 0 && a.left(colon).compare(QLatin1String("qmtalk"), Qt::CaseInsensitive) == 0)
            links.append(a);
    }
    return links;
}

QString SingleInstance::tooLongText(qsizetype bytes) {
    return tr("This invite link is too long to open (%1 bytes): a real invite link is far shorter than "
              "16 KiB. Ask for a fresh one.")
        .arg(bytes);
}

SingleInstance::Outcome SingleInstance::start(const QStringList& links, const QString& folder) {
    QString dir =
        folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : folder;
    if (dir.isEmpty() || !QDir().mkpath(dir)) {
        TRKLog::log(QStringLiteral("Single instance: no runtime folder; running without the check"));
        return Outcome::alone;
    }
    path_ = QDir(dir).filePath(socketName());

    // The lock is held for as long as this copy runs and is let go by the system when it ends, however it
    // ends: a copy that finds it held knows another radio runs, whatever happened to that one's socket.
    lockFd_ = ::open(QFile::encodeName(path_ + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) {
        TRKLog::log(
            QStringLiteral("Single instance: no lock file at %1; running without the check").arg(path_));
        path_.clear();
        return Outcome::alone;
    }

    // A line break inside a link cannot forge a second command; a link longer than a line is refused
    // here, where the user can be told, instead of being cut off at the other end.
    QStringList sendable;
    QList<qsizetype> tooLong;
    for (const QString& link : links) {
        QString clean = link;
        clean.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        const qsizetype bytes = clean.toUtf8().size();
        if (bytes + 6 > maxLineBytes)
            tooLong.append(bytes);
        else
            sendable.append(clean);
    }

    const QDeadlineTimer deadline(reachLockHolderMs);
    for (;;) {
        if (forwardTo(sendable, tooLong, deadline)) {
            for (qsizetype bytes : std::as_const(tooLong))
                tellUser(tooLongText(bytes));
            exitCode_ = tooLong.isEmpty() ? 0 : 1;
            return Outcome::forwarded;
        }
        if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) break;
        if (deadline.hasExpired()) {
            tellUser(tr("QMRL Tessrook is already running but did not answer. Try again in a moment."));
            TRKLog::log(QStringLiteral("Single instance: the running copy did not answer; leaving"));
            exitCode_ = 1;
            return Outcome::refused;
        }
        QThread::msleep(kRetryMs);
    }

    // The lock is ours, so a socket left at the path belongs to a copy that has ended.
    QLocalServer::removeServer(path_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (!server_->listen(path_))
        TRKLog::log(QStringLiteral("Single instance: cannot listen on %1 (%2); trying again")
                        .arg(path_, server_->errorString()));
    watch_.start();
    return Outcome::primary;
}

bool SingleInstance::forwardTo(const QStringList& links, const QList<qsizetype>& tooLong,
                               const QDeadlineTimer& deadline) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kConnectMs)) return false;
    QByteArray lines = "activate\n";
    for (const QString& link : links)
        lines += "open " + link.toUtf8() + '\n';
    for (qsizetype bytes : tooLong)
        lines += "toolong " + QByteArray::number(bytes) + '\n';
    lines += "end\n";
    socket.write(lines);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kWriteMs)) return false;
    // A connection the system took while the running copy could not accept it (at its descriptor limit)
    // is reset unread when that copy makes its socket again: only "ok", or a copy that stays connected
    // without answering until the deadline (an older one, or one too busy to answer), means the lines
    // were heard. A busy machine can hold the answer back for seconds, so the wait is the whole deadline.
    // The answer is three bytes: more without a line end, or bytes trickling past the wait, is no
    // answer of ours.
    const QDeadlineTimer answerBy(std::max<qint64>(deadline.remainingTime(), kLeastAnswerMs));
    bool heard = true;
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > 16) return false;
        if (socket.state() != QLocalSocket::ConnectedState || answerBy.hasExpired() ||
            !socket.waitForReadyRead(int(answerBy.remainingTime()))) {
            heard = socket.state() == QLocalSocket::ConnectedState && socket.bytesAvailable() == 0;
            break;
        }
    }
    if (socket.canReadLine()) heard = socket.readLine(16) == "ok\n";
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWriteMs);
    return heard;
}

// Qt closes the server, and removes its socket file, when an accept fails (at the descriptor limit,
// say), and anyone may delete the file: while this copy holds the lock, the socket is made again.
void SingleInstance::keepListening() {
    if (server_->isListening() && QFileInfo::exists(path_)) return;
    server_->close();
    QLocalServer::removeServer(path_);
    if (server_->listen(path_)) {
        TRKLog::log(QStringLiteral("Single instance: listening again on %1").arg(path_));
    } else {
        if (quietUntil_.hasExpired()) {
            quietUntil_.setRemainingTime(60000);
            TRKLog::log(QStringLiteral("Single instance: cannot listen on %1 (%2); trying again")
                            .arg(path_, server_->errorString()));
        }
    }
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connections_.append(socket);
        // The newest caller is most likely a copy about to hand over: the oldest make room.
        while (connections_.size() > maxConnections) {
            const QPointer<QLocalSocket> oldest = connections_.takeFirst();
            if (oldest) drop(oldest);
        }
        QTimer::singleShot(connectionDeadlineMs, this, [this, p = QPointer<QLocalSocket>(socket)] {
            if (p) drop(p);
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        // Read once the accepting is done, so what the lines ask for never runs inside it.
        QMetaObject::invokeMethod(this, [this, p = QPointer<QLocalSocket>(socket)] {
            if (p) readFrom(p);
        }, Qt::QueuedConnection);
    }
}

// A socket still tells its watchers things while it is being destroyed (it reads what is left as it
// closes): nothing of ours may hear it after this.
void SingleInstance::drop(QLocalSocket* socket) {
    socket->disconnect(this);
    connections_.removeAll(socket);
    if (socket->state() != QLocalSocket::UnconnectedState) socket->abort();
    socket->deleteLater();
}

void SingleInstance::readFrom(QLocalSocket* raw) {
    // What a line asks for (showing the window, joining) may run the event loop, where the caller can
    // go and its socket be deleted: look again after each.
    const QPointer<QLocalSocket> socket(raw);
    const auto refuse = [&](qsizetype bytes) {
        TRKLog::log(QStringLiteral("Single instance: refused a hand-over line of more than %1 bytes")
                        .arg(maxLineBytes));
        emit linkTooLong(bytes);
        if (socket) drop(socket);
    };
    while (socket && socket->canReadLine()) {
        QByteArray line = socket->readLine(maxLineBytes + 2);
        if (!line.endsWith('\n')) { // longer than any link we take: drop the caller
            refuse(line.size());
            return;
        }
        line.chop(1);
        if (line == "activate") {
            emit activateRequested();
        } else if (line.startsWith("open ")) {
            emit openRequested(QString::fromUtf8(line.mid(5)));
        } else if (line == "end") {
            socket->write("ok\n");
        } else if (line.startsWith("toolong ")) {
            const qsizetype bytes = line.mid(8).toLongLong();
            TRKLog::log(
                QStringLiteral("Single instance: a link of %1 bytes was too long to hand over").arg(bytes));
            emit linkTooLong(bytes);
        }
    }
    if (socket && socket->bytesAvailable() > maxLineBytes) refuse(socket->bytesAvailable());
}
