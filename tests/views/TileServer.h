#pragma once
// A map tile server on loopback for the map tests and benchmarks: answers GET /{z}/{x}/{y}.png with a
// generated 256 x 256 PNG (or an error, or a body that is no image), optionally after a delay, and
// records what it was asked and how many requests were open at once.
#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class TileServer : public QObject {
public:
    enum class Answer { png, notFound, notPng };
    Answer answer = Answer::png;
    int delayMs = 0;
    QByteArray cacheControl = "max-age=86400";
    QColor colour = QColor(0x3A, 0xA0, 0x5A); // every tile is this colour with a darker frame

    QStringList paths;      // every request, in arrival order
    QStringList userAgents; // the User-Agent of each request
    int open = 0;           // received, not yet answered
    int maxOpen = 0;

    TileServer() {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                sockets_.append(s);
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        listen();
    }
    bool listen(quint16 port = 0) { return server_.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return port_ ? port_ : (port_ = server_.serverPort()); }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(port()); }
    // Stops listening and drops every connection: the address now refuses.
    void stop() {
        server_.close();
        for (const QPointer<QTcpSocket>& s : std::as_const(sockets_))
            if (s) s->abort();
        sockets_.clear();
    }

    static QByteArray png(const QColor& c) {
        QImage img(256, 256, QImage::Format_RGB32);
        img.fill(c);
        QPainter p(&img);
        p.setPen(QPen(c.darker(140), 4));
        p.drawRect(img.rect().adjusted(2, 2, -2, -2));
        p.end();
        QByteArray out;
        QBuffer b(&out);
        b.open(QIODevice::WriteOnly);
        img.save(&b, "PNG");
        return out;
    }

private:
    void read(QTcpSocket* s) {
        QByteArray& buf = pending_[s];
        buf += s->readAll();
        int end;
        while ((end = buf.indexOf("\r\n\r\n")) >= 0) {
            const QByteArray head = buf.left(end);
            buf.remove(0, end + 4);
            const QList<QByteArray> lines = head.split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            paths.append(QString::fromLatin1(first.value(1)));
            QString agent;
            for (const QByteArray& l : lines)
                if (l.toLower().startsWith("user-agent:")) agent = QString::fromLatin1(l.mid(11).trimmed());
            userAgents.append(agent);
            maxOpen = std::max(maxOpen, ++open);
            QPointer<QTcpSocket> socket(s);
            auto reply = [this, socket] {
                --open;
                if (!socket) return;
                QByteArray status = "200 OK", type = "image/png", body;
                switch (answer) {
                case Answer::png:
                    body = png(colour);
                    break;
                case Answer::notFound:
                    status = "404 Not Found";
                    type = "text/plain";
                    body = "no such tile";
                    break;
                case Answer::notPng:
                    type = "text/html";
                    body = "<html>busy</html>";
                    break;
                }
                socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\nCache-Control: " + cacheControl +
                              "\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n\r\n" + body);
            };
            if (delayMs > 0)
                QTimer::singleShot(delayMs, this, reply);
            else
                reply();
        }
    }

    QTcpServer server_;
    mutable quint16 port_ = 0;
    QList<QPointer<QTcpSocket>> sockets_;
    QHash<QTcpSocket*, QByteArray> pending_;
};
