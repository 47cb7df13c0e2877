// Relay fan-out at 16, 64 and 256 clients through the relay program on loopback. Clients sit in channels
// of 16 and each sends a voice-sized sealed packet (3,269 bytes) ten times a second for --seconds
// (default 5). Each client connects from a loopback address of its own (127.0.x.y), as units on a real
// network do, so the relay's per-address limit does not cap the run. Printed per size: delivered /
// expected (every packet should reach the 15 others; goal 1.0), the relay's CPU time (from
// /proc/<pid>/schedstat, in nanoseconds) per second and per forwarded megabyte, and the delay from a
// client's send to another client's receipt through the relay (p50 / p99).
//   --relay=PATH   another relay program, e.g. an older build, to compare against
//   --nagle        clients leave TCP_NODELAY off, as the relay link did before it set it
#include "Packet.h"
#include "RelayProtocol.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int perChannel = 16;
constexpr int perSecond = 10;
constexpr int packetSize = 3269;
double seconds = 5.0;
QString relayProgram = QStringLiteral(RELAY_BINARY);
bool nagle = false;

qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// CPU nanoseconds the process has run so far (the scheduler's own count, not 10 ms ticks).
qint64 cpuNs(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().split(' ').value(0).toLongLong();
}

QString channelOf(int group) {
    return QStringLiteral("5a5a5a5a5a5a5a5a5a5a5a5a5a5a%1").arg(group, 4, 16, QChar(u'0'));
}

// A masked client frame (zero mask, so the payload goes as it is).
QByteArray clientFrame(int opcode, const QByteArray& payload) {
    QByteArray h(1, char(0x80 | opcode));
    const quint64 n = quint64(payload.size());
    if (n < 126) {
        h.append(char(0x80 | n));
    } else {
        h.append(char(0x80 | 126));
        h.append(char(n >> 8)).append(char(n));
    }
    return h.append(QByteArray(4, '\0')).append(payload);
}

struct Client {
    int fd = -1;
    int group = 0;
    QByteArray in;  // bytes read, not yet parsed
    QByteArray out; // bytes the kernel has not taken yet
    int peers = 0;  // the relay's last count for the client's channel
};

bool writeAll(Client& c) {
    while (!c.out.isEmpty()) {
        const ssize_t n = ::send(c.fd, c.out.constData(), size_t(c.out.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        c.out.remove(0, n);
    }
    return true;
}

// Connects from a loopback address of its own and completes the upgrade; -1 when it could not.
int connectClient(int index, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{}, to{};
    local.sin_family = to.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl((127u << 24) | (quint32(1 + index / 250) << 8) | quint32(1 + index % 250));
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = nagle ? 0 : 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const QByteArray request =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    QByteArray response;
    char ch;
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
        ::close(fd);
        return -1;
    }
    while (!response.endsWith("\r\n\r\n") && response.size() < 4096 && ::recv(fd, &ch, 1, 0) == 1)
        response.append(ch);
    if (!response.startsWith("HTTP/1.1 101")) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Takes whole server frames out of the client's input: peer counts, and the send time carried by each
// packet, whose delay is recorded. Read in place and cut once, so the bench's own cost stays small.
void parse(Client& c, std::vector<qint64>& delaysNs, qint64& delivered) {
    const qint64 now = nowNs();
    const char* d = c.in.constData();
    const qsizetype size = c.in.size();
    qsizetype at = 0;
    for (;;) {
        if (size - at < 2) break;
        const int opcode = quint8(d[at]) & 0x0f;
        qsizetype header = 2;
        quint64 length = quint8(d[at + 1]) & 0x7f;
        if (length == 126) {
            if (size - at < 4) break;
            length = quint64(quint8(d[at + 2])) << 8 | quint8(d[at + 3]);
            header = 4;
        } else if (length == 127) {
            if (size - at < 10) break;
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = length << 8 | quint8(d[at + 2 + i]);
            header = 10;
        }
        if (size - at < header + qsizetype(length)) break;
        const char* payload = d + at + header;
        if (opcode == 0x1) {
            if (const auto counts = RelayProtocol::parsePeers(QString::fromUtf8(payload, qsizetype(length))))
                c.peers = counts->value(channelOf(c.group));
        } else if (opcode == 0x2 && length == packetSize) {
            qint64 sent = 0;
            std::memcpy(&sent, payload + packetSize - 16, 8);
            delaysNs.push_back(now - sent);
            ++delivered;
        }
        at += header + qsizetype(length);
    }
    c.in.remove(0, at);
}

// Reads what has come to every client, waiting at most `waitMs` for the first bytes.
bool pump(std::vector<Client>& clients, int waitMs, std::vector<qint64>& delaysNs, qint64& delivered) {
    std::vector<pollfd> fds(clients.size());
    for (size_t i = 0; i < clients.size(); ++i)
        fds[i] = {clients[i].fd, short(POLLIN | (clients[i].out.isEmpty() ? 0 : POLLOUT)), 0};
    if (::poll(fds.data(), fds.size(), waitMs) < 0 && errno != EINTR) return false;
    char buffer[65536];
    for (size_t i = 0; i < clients.size(); ++i) {
        if (fds[i].revents & POLLOUT) writeAll(clients[i]);
        if (!(fds[i].revents & (POLLIN | POLLERR | POLLHUP))) continue;
        for (;;) {
            const ssize_t n = ::recv(clients[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) break;
            clients[i].in.append(buffer, n);
        }
        parse(clients[i], delaysNs, delivered);
    }
    return true;
}

double percentileMs(std::vector<qint64> v, double p) {
    if (v.empty()) return 0;
    const size_t k = std::min(v.size() - 1, size_t(p * double(v.size())));
    std::nth_element(v.begin(), v.begin() + qsizetype(k), v.end());
    return double(v[k]) / 1e6;
}

void relayFanOut(benchmark::State& state) {
    const int count = int(state.range(0));
    const int groups = count / perChannel;
    for (auto _ : state) {
        QProcess relay;
        relay.setProgram(relayProgram);
        relay.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
        relay.setStandardErrorFile(QProcess::nullDevice());
        relay.start();
        relay.waitForStarted();
        while (!relay.canReadLine() && relay.waitForReadyRead(5000)) {
        }
        const auto m =
            QRegularExpression(QStringLiteral(":(\\d+)\\s*$")).match(QString::fromUtf8(relay.readLine()));
        if (!m.hasMatch()) {
            state.SkipWithError("the relay did not start");
            return;
        }
        const quint16 port = quint16(m.captured(1).toUInt());

        std::vector<Client> clients(static_cast<size_t>(count));
        std::vector<qint64> delaysNs;
        qint64 delivered = 0;
        for (int i = 0; i < count; ++i) {
            Client& c = clients[size_t(i)];
            c.group = i % groups;
            c.fd = connectClient(i, port);
            if (c.fd < 0) {
                state.SkipWithError("a client could not connect");
                return;
            }
            c.out = clientFrame(0x1, RelayProtocol::joinMessage({channelOf(c.group)}).toUtf8());
            writeAll(c);
        }
        const auto joinBy = Clock::now() + std::chrono::seconds(10);
        auto allJoined = [&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](const Client& c) { return c.peers == perChannel; });
        };
        while (!allJoined() && Clock::now() < joinBy)
            pump(clients, 20, delaysNs, delivered);
        if (!allJoined()) {
            state.SkipWithError("the clients did not all join");
            return;
        }

        QByteArray packet = clientFrame(0x2, QByteArray(packetSize, 'v'));
        const qsizetype body = packet.size() - packetSize;
        const qint64 cpuBefore = cpuNs(relay.processId());
        const auto start = Clock::now();
        const qint64 total = qint64(seconds * count * perSecond);
        // One send every 1 / (count x perSecond) s, taking the clients in turn.
        for (qint64 n = 0; n < total; ++n) {
            const auto due = start + std::chrono::microseconds(n * 1000000 / (count * perSecond));
            while (Clock::now() < due) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
                pump(clients, int(std::max<qint64>(0, left.count())), delaysNs, delivered);
            }
            Client& c = clients[size_t(n % count)];
            const QByteArray id = QByteArray::fromHex(channelOf(c.group).toLatin1());
            std::memcpy(packet.data() + body, packetMagic.constData(), size_t(packetMagic.size()));
            std::memcpy(packet.data() + body + packetMagic.size(), id.constData(), size_t(id.size()));
            const qint64 t = nowNs();
            std::memcpy(packet.data() + packet.size() - 16, &t, 8);
            std::memcpy(packet.data() + packet.size() - 8, &n, 8);
            c.out.append(packet);
            writeAll(c);
        }
        const qint64 expected = total * (perChannel - 1);
        const auto tailBy = Clock::now() + std::chrono::seconds(2);
        while (delivered < expected && Clock::now() < tailBy)
            pump(clients, 10, delaysNs, delivered);
        const double cpu = double(cpuNs(relay.processId()) - cpuBefore) / 1e9;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double megabytes = double(delivered) * packetSize / 1e6;
        const double ratio = double(delivered) / double(expected);
        const double cpuMsPerMB = megabytes > 0 ? cpu * 1000.0 / megabytes : 0;
        const double p50 = percentileMs(delaysNs, 0.5), p99 = percentileMs(delaysNs, 0.99);
        state.SetIterationTime(seconds);
        state.counters["delivered_over_expected"] = ratio;
        state.counters["relay_cpu_ms_per_MB"] = cpuMsPerMB;
        state.counters["relay_cpu_percent"] = 100.0 * cpu / wall;
        state.counters["delay_p50_ms"] = p50;
        state.counters["delay_p99_ms"] = p99;
        std::printf(
            "relay fan-out, %d clients in channels of %d, %d packets/s each, %.1f s%s: delivered %lld of "
            "%lld (%.4f, goal 1.0); relay CPU %.3f s = %.1f %% of a core, %.2f ms per MB; "
            "send to receipt p50 %.2f ms, p99 %.2f ms\n",
            count, perChannel, perSecond, seconds, nagle ? " (clients without TCP_NODELAY)" : "",
            static_cast<long long>(delivered), static_cast<long long>(expected), ratio, cpu,
            100.0 * cpu / wall, cpuMsPerMB, p50, p99);
        for (auto& c : clients)
            ::close(c.fd);
        relay.kill();
        relay.waitForFinished();
    }
}
} // namespace

BENCHMARK(relayFanOut)->Arg(16)->Arg(64)->Arg(256)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            seconds = std::atof(argv[i] + 10);
        else if (std::strncmp(argv[i], "--relay=", 8) == 0)
            relayProgram = QString::fromLocal8Bit(argv[i] + 8);
        else if (std::strcmp(argv[i], "--nagle") == 0)
            nagle = true;
        else
            rest.push_back(argv[i]);
    }
    int restCount = int(rest.size());
    QCoreApplication app(restCount, rest.data());
    benchmark::Initialize(&restCount, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
