// One of two hosts in the two-host check: runs the home-network link with no typed peer, sends a
// packet every 200 ms and watches, beside the link, which destination each datagram from the other
// host was sent to. Passes once the other host was heard by multicast and by broadcast, the link
// delivered its packets, and the link reports the network path as open.
#include "LANTransport.h"
#include "LinkTestSupport.h"
#include "NetInterfaces.h"
#include "NetworkGuard.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
QString role = QStringLiteral("?");

void say(const QString& line) {
    std::printf("[%s] %s\n", qPrintable(role), qPrintable(line));
    std::fflush(stdout);
}

// A second socket on the link's port that also reads each datagram's destination address.
struct Observer {
    int fd = -1;
    QList<quint32> own;
    quint32 broadcast = 0;
    bool multicastSeen = false, broadcastSeen = false;

    bool open(quint16 port) {
        QString error;
        fd = NetInterfaces::openUdp(port, nullptr, &error);
        return fd >= 0 && NetInterfaces::wantArrivalInfo(fd);
    }
    void drain() {
        static char data[70000];
        while (const auto got = NetInterfaces::receive(fd, data, sizeof data)) {
            if (own.contains(got->from) || got->interfaceIndex < 0) continue;
            multicastSeen = multicastSeen || got->to == LANTransport::group;
            broadcastSeen = broadcastSeen || (broadcast && got->to == broadcast);
        }
    }
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Quillmarsh");
    QCoreApplication::setApplicationName("QMRL Tessrook");
    const QStringList args = app.arguments();
    auto option = [&](const QString& name, const QString& fallback) {
        const qsizetype i = args.indexOf(name);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    role = option("--role", "?");
    const int seconds = option("--seconds", "20").toInt();

    if (auto why = NetworkGuard::refusal()) {
        say("FAIL refusing to send multicast: " + *why);
        return 1;
    }
    QTemporaryDir logs;
    TRKLog::setFolderOverride(logs.path());

    const QList<NetInterface> interfaces = NetInterfaces::usable(std::nullopt);
    if (interfaces.size() != 1) {
        say(QStringLiteral("FAIL expected one usable interface, found %1").arg(interfaces.size()));
        return 1;
    }
    Observer observer;
    observer.own = {interfaces[0].address};
    observer.broadcast = interfaces[0].broadcast.value_or(0);
    say(QStringLiteral("interface %1 %2, broadcast %3")
            .arg(interfaces[0].name, NetInterfaces::addressText(interfaces[0].address),
                 NetInterfaces::addressText(observer.broadcast)));

    LANTransport lan; // the real defaults: every usable interface, the standard port, no typed peer
    std::atomic<int> delivered{0};
    lan.setPacketHandler([&](const QByteArray&) { ++delivered; });
    lan.start();
    if (!observer.open(lan.port())) {
        say("FAIL cannot open the observing socket");
        return 1;
    }

    quint32 seq = 0;
    qint64 passedAt = -1;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    int result = 1;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        lan.send(sealedLike(++seq, 3269)); // a voice-sized datagram, fragmented on the veth
        observer.drain();
        const bool ok = observer.multicastSeen && observer.broadcastSeen && delivered > 0 &&
                        lan.counters().networkPathOK == std::optional<bool>(true) &&
                        !lan.counters().heardAddresses.isEmpty();
        if (ok && passedAt < 0) {
            passedAt = clock.elapsed();
            say(QStringLiteral("heard %1 by multicast and broadcast, %2 packets delivered, network path open")
                    .arg(lan.counters().heardAddresses.join(","))
                    .arg(delivered.load()));
        }
        // Keep sending a little longer so the other host can finish too.
        if ((passedAt >= 0 && clock.elapsed() - passedAt > 2000) || clock.elapsed() > seconds * 1000) {
            say(QStringLiteral("sent %1, received %2, errors %3, network echoes %4, loopback echoes %5, "
                               "multicast seen %6, broadcast seen %7, path %8, status \"%9\"")
                    .arg(lan.counters().sent)
                    .arg(lan.counters().received)
                    .arg(lan.counters().errors)
                    .arg(lan.counters().networkEchoes)
                    .arg(lan.counters().loopbackEchoes)
                    .arg(observer.multicastSeen)
                    .arg(observer.broadcastSeen)
                    .arg(lan.counters().networkPathOK ? (*lan.counters().networkPathOK ? "open" : "BLOCKED")
                                                      : "unknown")
                    .arg(lan.status().text));
            result = passedAt >= 0 ? 0 : 1;
            say(result == 0 ? "PASS" : "FAIL");
            app.quit();
        }
    });
    timer.start(200);
    app.exec();
    lan.stop();
    ::close(observer.fd);
    return result;
}
