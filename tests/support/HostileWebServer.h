#pragma once
// A web server on a loopback address that misbehaves as a careless or hostile one does: an endless body
// (declared as 4 GiB or not declared at all), a body that trickles one byte at a time, a redirect, or a
// fixed answer. Every path gets the same treatment. What it sends is capped, so a client that fails to
// stop costs the machine at most `sendCap` bytes per connection.
#include <QHostAddress>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class HostileWebServer : public QObject {
public:
    enum class Mode { endlessDeclared, endlessUndeclared, trickle, redirect, fixed };
    Mode mode = Mode::fixed;
    QByteArray body = "{}"; // fixed: the answer
    QByteArray type = "application/json";
    QByteArray location;  // redirect: the target; the request's path is appended
    QByteArray cacheControl = "no-store";
    int trickleMs = 5000; // trickle: one byte this often
    qint64 sendCap = 64LL * 1024 * 1024;

    QStringList paths;   // every request, in arrival order
    qint64 mostSent = 0; // the most body bytes any one connection was sent
    int hungUp = 0;      // connections the client closed before the body was complete

    explicit HostileWebServer(const QHostAddress& host = QHostAddress::LocalHost) {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                sockets_.append(s);
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        server_.listen(host, 0);
    }
    ~HostileWebServer() override {
        for (const QPointer<QTcpSocket>& s : std::as_const(sockets_))
            if (s) s->abort();
    }
    // Redirected here (location = origin() + movedPath), a request gets the fixed answer.
    static constexpr const char* movedPath = "/moved";
    QString origin() const {
        return QStringLiteral("http://%1:%2")
            .arg(server_.serverAddress().toString())
            .arg(server_.serverPort());
    }

private:
    void read(QTcpSocket* s) {
        QByteArray& buf = pending_[s];
        buf += s->readAll();
        const int end = buf.indexOf("\r\n\r\n");
        if (end < 0 || s->property("answered").toBool()) return;
        s->setProperty("answered", true);
        const QByteArray path = buf.left(end).split('\n').value(0).trimmed().split(' ').value(1);
        paths.append(QString::fromLatin1(path));
        switch (mode) {
        case Mode::redirect:
            if (!path.startsWith(movedPath)) {
                s->write("HTTP/1.1 302 Found\r\nLocation: " + location + path +
                         "\r\nContent-Length: 0\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n");
                s->disconnectFromHost();
                break;
            }
            [[fallthrough]]; // a redirect to this server itself ends in the fixed answer
        case Mode::fixed:
            s->write("HTTP/1.1 200 OK\r\nContent-Type: " + type +
                     "\r\nContent-Length: " + QByteArray::number(body.size()) +
                     "\r\nConnection: close\r\nCache-Control: " + cacheControl + "\r\n\r\n" + body);
            s->disconnectFromHost();
            break;
        case Mode::endlessDeclared:
        case Mode::endlessUndeclared:
            endless(s, mode == Mode::endlessDeclared);
            break;
        case Mode::trickle:
            trickle(s);
            break;
        }
    }

    void endless(QTcpSocket* s, bool declared) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: " + type +
                 (declared ? QByteArray("\r\nContent-Length: 4294967296") : QByteArray()) +
                 "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n");
        auto sent = std::make_shared<qint64>(0);
        auto more = [this, s, sent] {
            static const QByteArray chunk(64 * 1024, 'x');
            while (s->state() == QAbstractSocket::ConnectedState && s->bytesToWrite() < 256 * 1024 &&
                   *sent < sendCap) {
                s->write(chunk);
                *sent += chunk.size();
                mostSent = std::max(mostSent, *sent);
            }
        };
        QObject::connect(s, &QTcpSocket::bytesWritten, this, more);
        QObject::connect(s, &QTcpSocket::disconnected, this, [this] { ++hungUp; });
        more();
    }

    void trickle(QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: " + type +
                 "\r\nContent-Length: 1000\r\nCache-Control: no-store\r\n\r\n");
        auto* timer = new QTimer(s);
        QObject::connect(timer, &QTimer::timeout, s, [this, s] {
            s->write("x");
            mostSent = std::max<qint64>(mostSent, s->property("sent").toLongLong() + 1);
            s->setProperty("sent", s->property("sent").toLongLong() + 1);
        });
        QObject::connect(s, &QTcpSocket::disconnected, this, [this] { ++hungUp; });
        s->write("x");
        s->setProperty("sent", 1);
        mostSent = std::max<qint64>(mostSent, 1);
        timer->start(trickleMs);
    }

    QTcpServer server_;
    QList<QPointer<QTcpSocket>> sockets_;
    QHash<QTcpSocket*, QByteArray> pending_;
};
