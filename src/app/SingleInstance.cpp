#include "SingleInstance.h"

#include "TRKLog.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>

namespace {
constexpr int kConnectMs = 1000;
constexpr int kWriteMs = 2000;
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close(); // removes the socket file
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

SingleInstance::Outcome SingleInstance::start(const QStringList& links, const QString& folder) {
    QString dir = folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : folder;
    if (dir.isEmpty() || !QDir().mkpath(dir)) {
        TRKLog::log(QStringLiteral("Single instance: no runtime folder; running without the check"));
        return Outcome::alone;
    }
    path_ = QDir(dir).filePath(socketName());

    // Two copies started together must not both see "nobody listens", both remove the socket and both
    // listen: the check, the clean-up of a stale socket and the listen happen under one lock.
    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    const bool locked = lock.tryLock(5000);

    for (int attempt = 0; attempt < 3; ++attempt) {
        if (forwardTo(links)) return Outcome::forwarded;
        QLocalServer::removeServer(path_); // a stale socket of a copy that ended without closing it
        auto* server = new QLocalServer(this);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        if (server->listen(path_)) {
            server_ = server;
            connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
            return Outcome::primary;
        }
        const auto error = server->serverError();
        delete server;
        if (error != QAbstractSocket::AddressInUseError) break;
    }
    (void)locked;
    TRKLog::log(QStringLiteral("Single instance: cannot listen on %1; running without the check").arg(path_));
    path_.clear();
    return Outcome::alone;
}

bool SingleInstance::forwardTo(const QStringList& links) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kConnectMs)) return false;
    QByteArray lines = "activate\n";
    for (const QString& link : links) {
        QString clean = link;
        clean.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        lines += "open " + clean.toUtf8() + '\n';
    }
    socket.write(lines);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kWriteMs)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWriteMs);
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        QByteArray line = socket->readLine(maxLineBytes + 2);
        if (!line.endsWith('\n')) { // longer than any link we take: drop the caller
            socket->abort();
            return;
        }
        line.chop(1);
        if (line == "activate")
            emit activateRequested();
        else if (line.startsWith("open "))
            emit openRequested(QString::fromUtf8(line.mid(5)));
    }
    if (socket->bytesAvailable() > maxLineBytes) socket->abort();
}
