// The relay link against the real relay program on 127.0.0.1: joins and peer counts, routing within a
// channel, drops, reconnecting on the backoff schedule, ping timeouts, the write backlog, and the exact
// JSON forms both sides put on the wire.
#include "Packet.h"
#include "RelayProtocol.h"
#include "RelayTestSupport.h"
#include "RelayTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
const QString chA = QStringLiteral("00112233445566778899aabbccddeeff");
const QString chB = QStringLiteral("ffeeddccbbaa99887766554433221100");
const QString chC = QStringLiteral("0123456789abcdef0123456789abcdef");

QString hexID(int i) {
    return QStringLiteral("%1").arg(i, 32, 16, QChar(u'0'));
}

QHash<QString, int> counts(std::initializer_list<std::pair<QString, int>> l) {
    QHash<QString, int> h;
    for (const auto& [k, v] : l)
        h.insert(k, v);
    return h;
}

quint16 closedPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed again when s goes
}
} // namespace

class RelayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void joinsReportPeerCountsThatCountTheClientItself() {
        RelayProcess relay;
        QVERIFY(relay.start());
        Unit one(relay.url(), {chA, chB});
        QTRY_VERIFY(one.link.status().up);
        QCOMPARE(one.rec.texts().value(0), QStringLiteral("Relay: connecting to %1\u2026").arg(relay.url()));
        QCOMPARE(one.link.status().text, QStringLiteral("Relay: connected to 127.0.0.1:%1").arg(relay.port));
        QTRY_COMPARE(one.counts(), counts({{chA, 1}, {chB, 1}}));

        Unit two(relay.url(), {chA});
        QTRY_COMPARE(two.counts(), counts({{chA, 2}}));
        QTRY_COMPARE(one.counts(), counts({{chA, 2}, {chB, 1}}));

        // A new channel list goes out as a join on the open connection, replacing the old set.
        two.link.setChannels({chB, chC});
        QTRY_COMPARE(two.counts(), counts({{chB, 2}, {chC, 1}}));
        QTRY_COMPARE(one.counts(), counts({{chA, 1}, {chB, 2}}));
        QCOMPARE(two.rec.texts().filter(QStringLiteral("Relay: connecting")).size(), 1);

        // A client that leaves is no longer counted; its own counts are gone.
        two.link.stop();
        QTRY_COMPARE(one.counts(), counts({{chA, 1}, {chB, 1}}));
        QVERIFY(two.counts().isEmpty());
        QVERIFY(!two.link.status().up);
        QTRY_VERIFY(relay.log().contains(QStringLiteral("join ")));
        QTRY_VERIFY(relay.log().contains(QStringLiteral("leave ")));

        // A unit with more channels than one join may carry keeps the first ones, rather than sending
        // a join too long for the relay to read.
        QStringList many;
        for (int i = 0; i < 300; ++i)
            many << hexID(i);
        QTemporaryDir logDir;
        TRKLog::setFolderOverride(logDir.path());
        Unit crowded(relay.url(), many);
        QTRY_COMPARE(crowded.counts().size(), RelayProtocol::maxChannelsPerJoin);
        QVERIFY(crowded.counts().contains(hexID(63)) && !crowded.counts().contains(hexID(64)));
        // The rest are not lost silently: the status counts them and the log says so once.
        const QString connected = QStringLiteral("Relay: connected to 127.0.0.1:%1").arg(relay.port);
        QCOMPARE(crowded.link.status().text, connected + QStringLiteral(" (236 channels not relayed)"));
        many.removeLast();
        crowded.link.setChannels(many);
        QTRY_COMPARE(crowded.link.status().text, connected + QStringLiteral(" (235 channels not relayed)"));
        crowded.link.setChannels(many.mid(1) << hexID(1000)); // as many again: no second line
        QTRY_COMPARE(crowded.counts().contains(hexID(64)), true);
        // Packets for the channels left out are not sent: the relay would only drop them.
        Unit listener(relay.url(), {hexID(5), hexID(65)});
        QTRY_COMPARE(crowded.counts().value(hexID(5)), 2);
        const QByteArray left = sealedFor(hexID(65), 100, 'l'), joined = sealedFor(hexID(5), 100, 'j');
        crowded.link.send(left);
        crowded.link.send(joined); // after the other on the same connection: a marker
        QTRY_COMPARE(listener.rec.packets(), QList<QByteArray>{joined});
        // No complaint may come: the relay's log of the first, if it came, has reached us by now.
        QTest::qWait(200);
        QVERIFY2(!relay.log().contains(QStringLiteral("not joined")), qPrintable(relay.log()));
        crowded.link.stop();
        const QByteArray log = logText();
        QCOMPARE(log.count("Relay: 236 channel(s) not relayed; the relay takes the first 64"), 1);
        QCOMPARE(log.count("Relay: 235 channel(s) not relayed"), 1);
        TRKLog::setFolderOverride(std::nullopt);
    }

    // Both ends of a relay connection send each frame at once (no Nagle wait for the peer's delayed
    // acknowledgement). The link's socket is this process's own; the relay's are borrowed from it.
    void bothEndsOfARelayConnectionSendWithoutDelay() {
        RelayProcess relay;
        QVERIFY(relay.start());
        Unit one(relay.url(), {chA});
        QTRY_COMPARE(one.counts(), counts({{chA, 1}}));
        auto noDelayOn = [&](qint64 pid, bool peerIsRelay) {
            QList<int> found;
            const int pidfd = pid ? int(::syscall(SYS_pidfd_open, pid_t(pid), 0)) : -1;
            const QString dir =
                pid ? QStringLiteral("/proc/%1/fd").arg(pid) : QStringLiteral("/proc/self/fd");
            for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::System)) {
                const int fd = pid ? int(::syscall(SYS_pidfd_getfd, pidfd, name.toInt(), 0)) : name.toInt();
                if (fd < 0) continue;
                sockaddr_in self{}, peer{};
                socklen_t l1 = sizeof self, l2 = sizeof peer;
                int on = 0, type = 0;
                socklen_t lo = sizeof on, lt = sizeof type;
                if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &lt) == 0 && type == SOCK_STREAM &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &l1) == 0 &&
                    ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &l2) == 0 &&
                    self.sin_family == AF_INET &&
                    ntohs(peerIsRelay ? peer.sin_port : self.sin_port) == relay.port &&
                    ::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &lo) == 0)
                    found << on;
                if (pid) ::close(fd);
            }
            if (pidfd >= 0) ::close(pidfd);
            return found;
        };
        QCOMPARE(noDelayOn(0, true), QList<int>{1});
        const QList<int> relaySide = noDelayOn(relay.pid(), false);
        if (relaySide.isEmpty()) QSKIP("may not borrow the relay's sockets here");
        QCOMPARE(relaySide, QList<int>{1});
    }

    void packetsGoOnlyToOthersOnTheirChannel() {
        RelayProcess relay;
        QVERIFY(relay.start());
        Unit a1(relay.url(), {chA}), a2(relay.url(), {chA}), b(relay.url(), {chB}),
            ab(relay.url(), {chA, chB});
        QTRY_COMPARE(a1.counts(), counts({{chA, 3}}));
        QTRY_COMPARE(b.counts(), counts({{chB, 2}}));

        const QByteArray onA = sealedFor(chA, 3269, 'a');
        a1.link.send(onA);
        QTRY_COMPARE(a2.rec.packets(), QList<QByteArray>{onA});
        QTRY_COMPARE(ab.rec.packets(), QList<QByteArray>{onA});
        QCOMPARE(a2.rec.threads(), QStringList{QStringLiteral("walkie.relay")});

        // A client that has not joined B: the relay drops its packet for B. b's own packet then reaches
        // ab only.
        RawClient stranger(relay.url());
        QVERIFY(stranger.waitConnected());
        stranger.socket.sendTextMessage(RelayProtocol::joinMessage({chA}));
        QTRY_COMPARE(a1.counts(), counts({{chA, 4}}));
        stranger.socket.sendBinaryMessage(sealedFor(chB, 100, 'n'));
        const QByteArray onB = sealedFor(chB, 200, 'b');
        b.link.send(onB);
        QTRY_COMPARE(ab.rec.packets(), (QList<QByteArray>{onA, onB}));
        a2.link.send(sealedFor(chA, 69, 'z')); // a marker: everything before it has been routed
        QTRY_COMPARE(a1.rec.packets().size(), 1);
        QCOMPARE(a1.rec.packets(), QList<QByteArray>{sealedFor(chA, 69, 'z')});
        QCOMPARE(b.rec.packets(), QList<QByteArray>{});
        QTRY_COMPARE(ab.rec.packets().size(), 3);
        QCOMPARE(a2.rec.packets(), QList<QByteArray>{onA});
        QTRY_VERIFY(relay.log().contains(QStringLiteral("not joined")));
    }

    void framesThatAreNotSealedPacketsAreDropped() {
        RelayProcess relay;
        QVERIFY(relay.start());
        RawClient raw(relay.url());
        QVERIFY(raw.waitConnected());
        raw.socket.sendTextMessage(RelayProtocol::joinMessage({chA}));
        QTRY_COMPARE(raw.texts.size(), 1);
        Unit listener(relay.url(), {chA});
        QTRY_COMPARE(listener.counts(), counts({{chA, 2}}));

        QByteArray noMagic = sealedFor(chA, 100);
        noMagic[0] = 'X';
        const QByteArray smallest = sealedFor(chA, sealedOverhead), largest = sealedFor(chA, maxSealed);
        for (const auto& frame :
             {sealedFor(chA, sealedOverhead - 1), noMagic, sealedFor(chA, maxSealed + 1), smallest, largest})
            raw.socket.sendBinaryMessage(frame);
        QTRY_COMPARE(listener.rec.packets().size(), 2);
        QCOMPARE(listener.rec.packets(), (QList<QByteArray>{smallest, largest}));
        QVERIFY(raw.frames.isEmpty()); // never back to the sender
    }

    // The relay's side of the protocol, byte for byte.
    void relayProtocolForms() {
        RelayProcess relay;
        QVERIFY(relay.start());
        RawClient one(relay.url()), two(relay.url());
        QVERIFY(one.waitConnected() && two.waitConnected());

        one.socket.sendTextMessage(
            QStringLiteral(R"({"type":"join","v":1,"channels":["%1","%2"]})").arg(chB, chA));
        QTRY_COMPARE(
            one.texts,
            QStringList{QStringLiteral(R"({"type":"peers","counts":{"%1":1,"%2":1}})").arg(chA, chB)});
        two.socket.sendTextMessage(QStringLiteral(R"({"type":"join","v":1,"channels":["%1"]})").arg(chA));
        QTRY_COMPARE(two.texts,
                     QStringList{QStringLiteral(R"({"type":"peers","counts":{"%1":2}})").arg(chA)});
        QTRY_COMPARE(one.texts.size(), 2);
        QCOMPARE(one.texts.last(),
                 QStringLiteral(R"({"type":"peers","counts":{"%1":2,"%2":1}})").arg(chA, chB));

        // Ignored without a reply: other versions and types, non-JSON, oversized texts. The join that
        // follows is answered first, so none of them was.
        const QString bigJoin = QStringLiteral(R"({"type":"join","v":1,"channels":["%1"],"pad":"%2"})")
                                    .arg(chC, QString(8 * 1024, u'p'));
        for (const auto& t :
             {QStringLiteral(R"({"type":"join","v":2,"channels":["%1"]})").arg(chC),
              QStringLiteral(R"({"type":"join","v":"1","channels":["%1"]})").arg(chC),
              QStringLiteral(R"({"type":"join","channels":["%1"]})").arg(chC),
              QStringLiteral(R"({"type":"hello","v":1})"), QStringLiteral("not json"), bigJoin})
            two.socket.sendTextMessage(t);
        // Only well-formed IDs count, each once; the join replaces the whole set (A is left).
        two.socket.sendTextMessage(
            QStringLiteral(R"({"type":"join","v":1,"channels":["%1","%2","%3","abc",7,"%3"]})")
                .arg(chC.toUpper(), chC + "0", chB));
        QTRY_COMPARE(two.texts.size(), 2);
        QCOMPARE(two.texts.last(), QStringLiteral(R"({"type":"peers","counts":{"%1":2}})").arg(chB));
        QTRY_COMPARE(one.texts.size(), 3);
        QCOMPARE(one.texts.last(),
                 QStringLiteral(R"({"type":"peers","counts":{"%1":1,"%2":2}})").arg(chA, chB));

        // At most 64 IDs per join.
        QStringList many;
        for (int i = 0; i < 70; ++i)
            many << hexID(i);
        two.socket.sendTextMessage(RelayProtocol::joinMessage(many));
        QTRY_COMPARE(two.texts.size(), 3);
        const auto reported = RelayProtocol::parsePeers(two.texts.last());
        QVERIFY(reported);
        QCOMPARE(reported->size(), 64);
        QVERIFY(reported->contains(hexID(63)) && !reported->contains(hexID(64)));

        // A disconnect is a leave for everyone still there.
        QTRY_COMPARE(one.texts.size(), 4); // B lost two's membership
        two.socket.close();
        QTRY_COMPARE(one.texts.size(), 4);
        one.socket.sendTextMessage(RelayProtocol::joinMessage({chA, chB}));
        QTRY_COMPARE(one.texts.size(), 5);
        QCOMPARE(one.texts.last(),
                 QStringLiteral(R"({"type":"peers","counts":{"%1":1,"%2":1}})").arg(chA, chB));
    }

    // The link's side of the protocol, seen by a server of the test's own.
    void linkProtocolForms() {
        QWebSocketServer server(QStringLiteral("test"), QWebSocketServer::NonSecureMode);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QList<QWebSocket*> accepted;
        QStringList joins;
        connect(&server, &QWebSocketServer::newConnection, this, [&] {
            auto* s = server.nextPendingConnection();
            accepted << s;
            connect(s, &QWebSocket::textMessageReceived, this, [&](const QString& t) { joins << t; });
        });
        Unit unit(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()), {chA, chB});
        QTRY_COMPARE(
            joins,
            QStringList{QStringLiteral(R"({"type":"join","v":1,"channels":["%1","%2"]})").arg(chA, chB)});
        QTRY_VERIFY(unit.link.status().up);
        unit.link.setChannels({});
        QTRY_COMPARE(joins.size(), 2);
        QCOMPARE(joins.last(), QStringLiteral(R"({"type":"join","v":1,"channels":[]})"));
        QCOMPARE(accepted.size(), 1);

        QWebSocket* s = accepted.first();
        s->sendTextMessage(QStringLiteral(R"({"type":"peers","counts":{"%1":3,"%2":1}})").arg(chA, chB));
        QTRY_COMPARE(unit.counts(), counts({{chA, 3}, {chB, 1}}));
        // Each report replaces the last; unknown messages and junk entries change nothing.
        s->sendTextMessage(QStringLiteral(R"({"type":"news","counts":{"%1":9}})").arg(chA));
        s->sendTextMessage(
            QStringLiteral(R"({"type":"peers","counts":{"%1":2,"nothex":4,"%2":"x"}})").arg(chB, chA));
        QTRY_COMPARE(unit.counts(), counts({{chB, 2}}));

        // Only binary messages shaped like sealed packets are handed on.
        s->sendBinaryMessage(QByteArray(100, 'q'));
        s->sendTextMessage(sealedFor(chA, 80));
        const QByteArray good = sealedFor(chA, 80);
        s->sendBinaryMessage(good);
        QTRY_COMPARE(unit.rec.packets(), QList<QByteArray>{good});
        qDeleteAll(accepted);
    }

    void addressesWithoutAWebSocketSchemeAreNotStarted() {
        for (const QString& url : {QStringLiteral("http://127.0.0.1:8787"), QStringLiteral("localhost:8787"),
                                   QString(), QStringLiteral("wsx://127.0.0.1:1"), QStringLiteral("ws:/x")}) {
            Recorder rec;
            RelayTransport link(url);
            rec.attach(link);
            link.start();
            QCOMPARE(link.status().text,
                     QStringLiteral("Relay: the address must begin with ws:// or wss://"));
            QCOMPARE(rec.texts(), QStringList{link.status().text}); // told at once, on this thread
            QVERIFY(!link.running());
            QVERIFY(!link.status().up);
            link.send(sealedFor(chA, 100)); // harmless
            link.stop();
        }
        // A half-typed address with the scheme is started and simply cannot connect yet.
        {
            Recorder rec;
            RelayTransport link(QStringLiteral("ws://"), RelayTransport::Options{10ms});
            rec.attach(link);
            link.start();
            QTRY_VERIFY(!rec.retries().isEmpty());
            QVERIFY2(rec.texts().join('\n').contains(QStringLiteral("Relay: can't reach ws:// (")),
                     qPrintable(rec.texts().join('\n')));
        }
        // The scheme is not case-sensitive, and surrounding blanks from a typed field do not matter.
        RelayProcess relay;
        QVERIFY(relay.start());
        Unit unit(QStringLiteral("  WS://127.0.0.1:%1 ").arg(relay.port), {chA});
        QTRY_VERIFY(unit.link.status().up);
    }

    // A restart must never read "off" in between: callers show status() right after start().
    void aStartedLinkReadsConnectingFromTheMomentStartReturns() {
        QTcpServer silent; // takes the connection and never answers the handshake
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        const QString url = QStringLiteral("ws://127.0.0.1:%1").arg(silent.serverPort());
        const QString connecting = QStringLiteral("Relay: connecting to %1\u2026").arg(url);
        Recorder rec;
        RelayTransport link(url);
        rec.attach(link);
        QCOMPARE(link.status().text, QStringLiteral("Relay: off"));
        for (int round = 1; round <= 3; ++round) {
            link.start();
            QCOMPARE(link.status().text, connecting);
            QVERIFY(!link.status().up);
            // The handler is still told, once per start, from the link's thread.
            QTRY_COMPARE(rec.texts().size(), round);
            QCOMPARE(rec.texts().last(), connecting);
            link.stop();
            QCOMPARE(link.status().text, QStringLiteral("Relay: off"));
        }
    }

    void reconnectsAfterTheRelayRestartsAndClearsCountsMeanwhile() {
        RelayProcess relay;
        QVERIFY(relay.start());
        const quint16 port = relay.port;
        const RelayTransport::Options fast{20ms};
        Unit one(relay.url(), {chA}, fast), two(relay.url(), {chA}, fast);
        QTRY_COMPARE(one.counts(), counts({{chA, 2}}));

        relay.kill();
        QTRY_VERIFY(!one.link.status().up);
        const TransportStatus down = one.link.status();
        QVERIFY(down.peerCounts.isEmpty());
        QString firstDown;
        for (const auto& t : one.rec.texts())
            if (firstDown.isEmpty() && t.contains(QStringLiteral("can't reach"))) firstDown = t;
        const QRegularExpression expected(
            QStringLiteral("^Relay: can't reach ws://127\\.0\\.0\\.1:%1 \\(.+\\)\\. Retrying in 1 s$")
                .arg(port));
        QVERIFY2(expected.match(firstDown).hasMatch(), qPrintable(firstDown));

        QVERIFY(relay.start(port));
        QTRY_COMPARE(one.counts(), counts({{chA, 2}}));
        QTRY_COMPARE(two.counts(), counts({{chA, 2}}));
        const QByteArray p = sealedFor(chA, 500);
        one.link.send(p);
        QTRY_COMPARE(two.rec.packets(), QList<QByteArray>{p});
    }

    // Writing into a connection the relay has just dropped fails inside the link's own flush; the
    // link must take that as an ordinary loss and come back.
    void aRelayKilledMidTransmissionIsRetried() {
        RelayProcess relay;
        QVERIFY(relay.start());
        const quint16 port = relay.port;
        const RelayTransport::Options fast{20ms};
        Unit talker(relay.url(), {chA}, fast), listener(relay.url(), {chA}, fast);
        QTRY_COMPARE(talker.counts(), counts({{chA, 2}}));
        std::atomic<bool> keepTalking{true};
        QThread* chatter = QThread::create([&] {
            while (keepTalking) {
                talker.link.send(sealedFor(chA, 3269));
                QThread::usleep(200);
            }
        });
        chatter->start();
        QTRY_VERIFY(listener.rec.packets().size() > 50);
        relay.pause(); // bytes pile up in the link, so it is writing when the connection is reset
        QTest::qWait(200); // the chatter fills the buffers meanwhile
        relay.kill();
        QTRY_VERIFY(!talker.link.status().up);
        QVERIFY(relay.start(port));
        QTRY_VERIFY(talker.link.status().up);
        const qsizetype before = listener.rec.packets().size();
        QTRY_VERIFY(listener.rec.packets().size() > before);
        keepTalking = false;
        chatter->wait();
        delete chatter;
    }

    void backoffFollowsItsScheduleAndResetsAfterAStableConnection() {
        const quint16 port = closedPort();
        const QString url = QStringLiteral("ws://127.0.0.1:%1").arg(port);
        {
            Unit unit(url, {chA}, RelayTransport::Options{10ms});
            QTRY_VERIFY_WITH_TIMEOUT(unit.rec.retries().size() >= 8, 10000);
            QCOMPARE(unit.rec.retries().mid(0, 8), (QList<int>{1, 2, 4, 8, 16, 30, 30, 30}));
            QVERIFY(unit.rec.texts().first().startsWith(QStringLiteral("Relay: connecting to ")));
        }

        // A connection that drops quickly continues the schedule; one that held resets it.
        Unit unit(url, {chA}, RelayTransport::Options{40ms});
        QTRY_VERIFY(unit.rec.retries().size() >= 2);
        RelayProcess relay;
        QVERIFY(relay.start(port));
        QTRY_VERIFY(unit.link.status().up);
        const QList<int> before = unit.rec.retries();
        relay.kill();
        QTRY_VERIFY(unit.rec.retries().size() > before.size());
        const int step = int(before.size()); // schedule index of the next wait
        QCOMPARE(unit.rec.retries().at(step), RelayTransport::backoffSeconds[std::min(step, 5)]);

        QVERIFY(relay.start(port));
        QTRY_VERIFY_WITH_TIMEOUT(unit.link.status().up, 10000);
        QTest::qWait(int(RelayTransport::stableSeconds * 40 * 1.3)); // the connection holds past "stable"
        QVERIFY(unit.link.status().up);
        const qsizetype seen = unit.rec.retries().size();
        relay.kill();
        QTRY_VERIFY(unit.rec.retries().size() > seen);
        QCOMPARE(unit.rec.retries().at(seen), 1);
    }

    void aRelayThatStopsAnsweringIsLeftAndRetried() {
        RelayProcess relay;
        QVERIFY(relay.start());
        Unit unit(relay.url(), {chA}, RelayTransport::Options{20ms});
        QTRY_VERIFY(unit.link.status().up);
        relay.pause();
        // Ping every 400 ms, 200 ms for the pong: then the handshake of the retry gets no answer either.
        QTRY_VERIFY(unit.rec.texts().join('\n').contains(QStringLiteral("(no answer to ping within 10 s)")));
        QVERIFY(!unit.link.status().up);
        QTRY_VERIFY(unit.rec.texts().join('\n').contains(QStringLiteral("(no answer within 10 s)")));
        relay.resume();
        QTRY_VERIFY_WITH_TIMEOUT(unit.link.status().up, 10000);
        QTRY_COMPARE(unit.counts(), counts({{chA, 1}}));
    }

    void packetsAreDroppedWhileTooMuchWaitsToBeWritten() {
        RelayProcess relay;
        QVERIFY(relay.start());
        RelayTransport::Options o;
        o.maxBacklog = 64 * 1024;
        Unit sender(relay.url(), {chA}, o), receiver(relay.url(), {chA});
        QTRY_COMPARE(sender.counts(), counts({{chA, 2}}));
        relay.pause();
        // Far more than the kernel's buffers hold: the link must shed packets instead of queueing them.
        const QByteArray big = sealedFor(chA, 60000);
        for (int i = 0; i < 600; ++i) {
            sender.link.send(big);
            if (i % 50 == 0) QTest::qWait(20); // the link's writer runs between bursts
        }
        QTRY_VERIFY(sender.link.droppedPackets() > 0);
        const qint64 dropped = sender.link.droppedPackets();
        QVERIFY2(dropped >= 300, qPrintable(QString::number(dropped)));
        relay.resume();
        // Everything the link took is delivered once the relay reads again, with nothing more sent
        // to wake the link up, except what the relay itself shed for a receiver that fell behind.
        const auto shedByRelay = [&] {
            qint64 n = 0;
            static const QRegularExpression re(QStringLiteral("caught up; (\\d+) frame"));
            for (auto it = re.globalMatch(relay.log()); it.hasNext();)
                n += it.next().captured(1).toLongLong();
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            receiver.rec.packets().size() + shedByRelay() == 600 - sender.link.droppedPackets(), 10000);
        // Once drained, packets flow again.
        const QByteArray after = sealedFor(chA, 100, 'k');
        QElapsedTimer t;
        t.start();
        while (!receiver.rec.packets().contains(after) && t.elapsed() < 5000) {
            sender.link.send(after);
            QTest::qWait(50);
        }
        QVERIFY(receiver.rec.packets().contains(after));
        QVERIFY(sender.link.status().up);
    }

    void stopIsIdempotentCheapAndFinal() {
        RelayProcess relay;
        QVERIFY(relay.start());
        Unit talker(relay.url(), {chA});
        QTRY_VERIFY(talker.link.status().up);
        std::atomic<bool> keepTalking{true};
        QThread* chatter = QThread::create([&] {
            while (keepTalking) {
                talker.link.send(sealedFor(chA, 300));
                QThread::msleep(2);
            }
        });
        chatter->start();

        std::atomic<int> lateCalls{0}, packets{0};
        for (int i = 0; i < 60; ++i) {
            std::atomic<bool> stopped{false};
            RelayTransport link(relay.url());
            link.setPacketHandler([&](const QByteArray&) {
                ++packets;
                if (stopped) ++lateCalls;
            });
            link.setStatusHandler([&](const TransportStatus&) {
                if (stopped) ++lateCalls;
            });
            link.setChannels({chA});
            link.start();
            link.start(); // already running: no second thread
            if (i % 3 == 0) QTRY_VERIFY(link.status().up);
            if (i % 6 == 0) QTRY_VERIFY(packets > 0);
            link.stop();
            stopped = true;
            link.stop();
            QVERIFY(!link.running());
            QVERIFY(!link.status().up);
            QVERIFY(link.status().peerCounts.isEmpty());
            link.send(sealedFor(chA, 100)); // after stop: dropped, no crash
        }
        keepTalking = false;
        chatter->wait();
        delete chatter;
        QCOMPARE(lateCalls.load(), 0);

        // Restartable after a stop.
        talker.link.stop();
        talker.link.start();
        QTRY_VERIFY(talker.link.status().up);
    }

    void theRelayProgramRefusesBadListenAddresses() {
        for (const QString& where : {QStringLiteral("nonsense"), QStringLiteral("127.0.0.1"),
                                     QStringLiteral("127.0.0.1:99999"), QStringLiteral("::1:8787")}) {
            QProcess p;
            p.start(QStringLiteral(RELAY_BINARY), {QStringLiteral("--listen"), where});
            QVERIFY(p.waitForFinished(5000));
            QCOMPARE(p.exitCode(), 2);
        }
        RelayProcess first;
        QVERIFY(first.start());
        QProcess second;
        second.start(QStringLiteral(RELAY_BINARY),
                     {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(first.port)});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("can't listen"));
    }
};

QTEST_GUILESS_MAIN(RelayTest)
#include "tst_relay.moc"
