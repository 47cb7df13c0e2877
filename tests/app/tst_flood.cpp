// A member who holds the channel key floods the real program over loopback, first with SOS records
// (each with its own SOS and sender ID, as an attacker chooses them freely), then with texts from
// made-up senders, while another unit keeps asking for radio checks. The program must keep answering,
// stay within a few tens of MB of its start and be idle again within seconds of each flood.
#include "Channel.h"
#include "LANTransport.h"
#include "Packet.h"
#include "ProgramRun.h"
#include "Records.h"
#include "SanitizerRoom.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRandomGenerator>
#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 residentKiB(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// User and system time of the process so far, in seconds.
double cpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray stat = f.readAll();
    // Fields after the command name (which may hold spaces) start at the state, field 3.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

QByteArray seal(const Channel& c, PacketKind kind, quint64 txID, quint64 sender, const QByteArray& payload) {
    Packet p;
    p.kind = kind;
    p.txID = txID;
    p.seq = 1;
    p.sender = sender;
    p.payload = payload;
    return p.seal(c).value_or(QByteArray());
}

// The other units on loopback: one socket that the program answers (its typed peer), and sends to the
// program's home-network port from any thread.
class Units {
public:
    Units() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        const timeval wait{0, 100 * 1000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        reader_ = std::thread([this] {
            QByteArray buffer(maxSealed, Qt::Uninitialized);
            while (!stop_) {
                const ssize_t got = ::recv(fd_, buffer.data(), size_t(buffer.size()), 0);
                if (got <= 0) continue;
                QMutexLocker l(&mutex_);
                got_.append(buffer.left(qsizetype(got)));
            }
        });
    }
    ~Units() {
        stop_ = true;
        reader_.join();
        ::close(fd_);
    }
    quint16 port() const { return port_; }
    static void sendTo(int fd, const QByteArray& packet) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(LANTransport::defaultPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }
    void send(const QByteArray& packet) { sendTo(fd_, packet); }
    bool answered(const Channel& c, quint64 checkID) {
        QMutexLocker l(&mutex_);
        for (; opened_ < got_.size(); ++opened_)
            if (const auto p = Packet::open(got_[opened_], c); p && p->kind == PacketKind::radioCheckReply)
                replies_.insert(p->txID);
        return replies_.contains(checkID);
    }

private:
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    QMutex mutex_;
    QList<QByteArray> got_;
    qsizetype opened_ = 0;
    QSet<quint64> replies_;
};

} // namespace

class FloodTest : public QObject {
    Q_OBJECT

    // Sends radio checks every half second while `running`; returns how many were answered within
    // three seconds, of how many were sent. The program's memory is sampled meanwhile.
    std::pair<int, int> radioChecks(Units& units, const Channel& ch, qint64 pid,
                                    const std::function<bool()>& running, qint64* peakKiB) {
        struct Check {
            quint64 id;
            QElapsedTimer sent;
            bool answered = false;
        };
        QList<Check> checks;
        QElapsedTimer every;
        every.start();
        bool first = true;
        const auto pending = [&] {
            for (Check& c : checks)
                if (!c.answered && c.sent.elapsed() < 3000) return true;
            return false;
        };
        while (running() || first || pending()) {
            if (running() && (first || every.elapsed() >= 500)) {
                first = false;
                every.restart();
                Check c{QRandomGenerator::global()->generate64(), {}};
                c.sent.start();
                units.send(seal(ch, PacketKind::radioCheck, c.id, 0xb0b, "Bob"));
                checks.append(c);
            }
            QTest::qWait(20); // sampling while the flood runs
            *peakKiB = std::max(*peakKiB, residentKiB(pid));
            for (Check& c : checks)
                if (!c.answered && c.sent.elapsed() < 3000) c.answered = units.answered(ch, c.id);
        }
        int answered = 0;
        for (const Check& c : checks)
            answered += c.answered ? 1 : 0;
        return {answered, int(checks.size())};
    }

    // Radio checks one after another, each given three seconds; how many were answered.
    static int checksAnswered(Units& units, const Channel& ch, int count) {
        int answered = 0;
        for (int i = 0; i < count; ++i) {
            const quint64 id = QRandomGenerator::global()->generate64();
            units.send(seal(ch, PacketKind::radioCheck, id, 0xb0b, "Bob"));
            answered += QTest::qWaitFor([&] { return units.answered(ch, id); }, 3000) ? 1 : 0;
        }
        return answered;
    }

    // After a flood: the program settles for three seconds, then its processor use over two seconds,
    // in cores.
    static double cpuAfter(qint64 pid) {
        QTest::qWait(3000); // the settling time itself
        const double before = cpuSeconds(pid);
        QElapsedTimer t;
        t.start();
        QTest::qWait(2000); // the measuring window
        return (cpuSeconds(pid) - before) / (double(t.elapsed()) / 1000.0);
    }

private slots:
    void floodsOfSOSAndTextsLeaveTheRadioAnswering() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        Units units;
        ProgramRun run;
        {
            QSettings s(run.dir.path() + "/config/Quillmarsh/QMRL Tessrook.conf", QSettings::IniFormat);
            s.setValue("directPeers", QStringLiteral("127.0.0.1:%1").arg(units.port()));
            s.setValue("displayName", "Base");
        }
        const Channel ch = *Channel::withRandomKey(QStringLiteral("Crew"));
        QProcess* program = run.start({ch.inviteLink()});
        QVERIFY(QTest::qWaitFor(
            [&] {
                return run.log().contains("Link lan started") && run.log().contains("Joined by invite: Crew");
            },
            20000));
        const qint64 pid = program->processId();
        // Up and answering before anything is measured.
        QVERIFY(QTest::qWaitFor(
            [&] {
                units.send(seal(ch, PacketKind::radioCheck, 1, 0xb0b, "Bob"));
                return QTest::qWaitFor([&] { return units.answered(ch, 1); }, 500);
            },
            20000));
        QTest::qWait(1000); // the program settles before its memory is measured
        const qint64 startKiB = residentKiB(pid);
        const qint64 roomKiB = memoryRoomKiB(40 * 1024);

        // 2,000 SOS records at 200 a second, each a new SOS from a new sender, with a position.
        std::atomic<bool> flooding{true};
        std::atomic<int> sent{0};
        std::thread sos([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < 2000; ++i) {
                while (t.elapsed() < i * 5)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                SOSInfo info;
                info.who = QStringLiteral("Mallory %1").arg(i);
                info.time = QDateTime::currentDateTimeUtc();
                info.lat = 51.5 + i * 1e-4;
                info.lon = -0.12;
                info.accuracy = 5;
                info.battery = 50;
                auto* r = QRandomGenerator::global();
                Units::sendTo(fd, seal(ch, PacketKind::sos, r->generate64(), r->generate64(), info.toJson()));
                ++sent;
            }
            ::close(fd);
            flooding = false;
        });
        qint64 peakKiB = startKiB;
        const auto [sosAnswered, sosChecks] = radioChecks(
            units, ch, pid, [&] { return bool(flooding); }, &peakKiB);
        sos.join();
        const double sosCpu = cpuAfter(pid);
        const qint64 sosKiB = peakKiB;
        const int sosAfter = checksAnswered(units, ch, 3), sosAfterChecks = 3;
        qInfo("SOS flood: %d records; radio checks answered %d of %d during, %d of %d after; memory %lld -> "
              "peak %lld MB; %.0f%% of a core 3 s after",
              int(sent), sosAnswered, sosChecks, sosAfter, sosAfterChecks, startKiB / 1024, sosKiB / 1024,
              sosCpu * 100);

        // Texts from made-up senders, 15,000 a second for six seconds.
        flooding = true;
        sent = 0;
        std::thread texts([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            QJsonObject o{{"who", "Mallory"}, {"text", QString(400, QLatin1Char('x'))}};
            const QByteArray payload = QJsonDocument(o).toJson(QJsonDocument::Compact);
            QElapsedTimer t;
            t.start();
            for (int i = 0; t.elapsed() < 6000; ++i) {
                while (t.elapsed() < i / 15)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                auto* r = QRandomGenerator::global();
                Units::sendTo(fd, seal(ch, PacketKind::text, r->generate64(), r->generate64(), payload));
                ++sent;
            }
            ::close(fd);
            flooding = false;
        });
        qint64 textPeakKiB = startKiB;
        const auto [textAnswered, textChecks] = radioChecks(
            units, ch, pid, [&] { return bool(flooding); }, &textPeakKiB);
        texts.join();
        const double textCpu = cpuAfter(pid);
        const int textAfter = checksAnswered(units, ch, 3), textAfterChecks = 3;
        qInfo("Text flood: %d texts; radio checks answered %d of %d during, %d of %d after; memory %lld -> "
              "peak %lld MB; %.0f%% of a core 3 s after",
              int(sent), textAnswered, textChecks, textAfter, textAfterChecks, startKiB / 1024,
              textPeakKiB / 1024, textCpu * 100);

        QCOMPARE(program->state(), QProcess::Running);
        QVERIFY2(sosAnswered * 10 >= sosChecks * 9, "radio checks went unanswered under the SOS flood");
        QVERIFY2(textAnswered * 10 >= textChecks * 9, "radio checks went unanswered under the text flood");
        QCOMPARE(sosAfter, sosAfterChecks);
        QCOMPARE(textAfter, textAfterChecks);
        QVERIFY2(sosKiB - startKiB < roomKiB, "the SOS flood grew the program by tens of MB");
        QVERIFY2(textPeakKiB - startKiB < roomKiB, "the text flood grew the program by tens of MB");
        QVERIFY2(sosCpu < 0.3, "still busy seconds after the SOS flood");
        QVERIFY2(textCpu < 0.3, "still busy seconds after the text flood");
    }
};

QTEST_GUILESS_MAIN(FloodTest)
#include "tst_flood.moc"
