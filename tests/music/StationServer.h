#pragma once
// A small HTTP/1.1 server on 127.0.0.1 standing in for the music station's web service: fixed answers by
// path (Content-Length, Connection: close), every request remembered, and generated WAV tones.
#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QtEndian>
#include <cmath>

class StationServer : public QObject {
public:
    struct Answer {
        int status = 200; // 0: never answers
        QByteArray type = "application/json";
        QByteArray body;
    };

    StationServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                serve(s);
        });
    }

    QUrl base() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/vellmoor/").arg(server_.serverPort()));
    }
    QString address(const QString& path) const { return base().resolved(QUrl(path)).toString(); }

    // Answers for a path beneath /vellmoor/ ("api/public-tracks.php", "music/a.wav").
    void answer(const QString& path, const Answer& a) { answers_[QStringLiteral("/vellmoor/") + path] = a; }
    void json(const QString& path, const QByteArray& body, int status = 200) {
        answer(path, {status, "application/json", body});
    }
    void wav(const QString& path, double hz, double seconds, double amplitude = 0.5) {
        answer(path, {200, "audio/wav", tone(hz, seconds, amplitude)});
    }

    // Every request's path and query, in arrival order.
    QStringList requests() const { return requests_; }
    int count(const QString& pathPart) const {
        int n = 0;
        for (const QString& r : requests_)
            n += r.contains(pathPart);
        return n;
    }

    // 16-bit mono PCM in a RIFF/WAVE file.
    static QByteArray tone(double hz, double seconds, double amplitude, int rate = 16000) {
        const int n = int(seconds * rate);
        QByteArray pcm(n * 2, '\0');
        for (int i = 0; i < n; ++i)
            qToLittleEndian<qint16>(
                qint16(std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * i / rate))),
                pcm.data() + 2 * i);
        QByteArray out;
        auto u32 = [&](quint32 v) {
            char b[4];
            qToLittleEndian(v, b);
            out.append(b, 4);
        };
        auto u16 = [&](quint16 v) {
            char b[2];
            qToLittleEndian(v, b);
            out.append(b, 2);
        };
        out += "RIFF";
        u32(quint32(36 + pcm.size()));
        out += "WAVEfmt ";
        u32(16);
        u16(1);
        u16(1);
        u32(quint32(rate));
        u32(quint32(rate * 2));
        u16(2);
        u16(16);
        out += "data";
        u32(quint32(pcm.size()));
        return out + pcm;
    }

private:
    void serve(QTcpSocket* s) {
        auto* buffer = new QByteArray;
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        QObject::connect(s, &QObject::destroyed, [buffer] { delete buffer; });
        QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, buffer] {
            *buffer += s->readAll();
            if (!buffer->contains("\r\n\r\n")) return;
            const QList<QByteArray> line = buffer->left(buffer->indexOf("\r\n")).split(' ');
            buffer->clear();
            const QString target = line.size() > 1 ? QString::fromLatin1(line[1]) : QString();
            requests_ << target;
            const QString path = target.section('?', 0, 0);
            const bool known = answers_.contains(path);
            const Answer a = known ? answers_.value(path)
                                   : Answer{404, "text/html", "<html><body>Not Found</body></html>"};
            QByteArray reply = "HTTP/1.1 " + QByteArray::number(a.status) +
                               (a.status == 200 ? " OK" : " Error") + "\r\nContent-Type: " + a.type +
                               "\r\nContent-Length: " + QByteArray::number(a.body.size()) +
                               "\r\nConnection: close\r\n\r\n";
            if (line.value(0) != "HEAD") reply += a.body;
            s->write(reply);
            s->disconnectFromHost();
        });
    }

    QTcpServer server_;
    QHash<QString, Answer> answers_;
    QStringList requests_;
};
