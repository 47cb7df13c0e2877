// One copy per user: the in-process hand-over (lines, oversized input, idle and surplus callers) and the
// real program started several times, by hand, through the desktop's link handler, with links too long
// to hand over, and with its descriptors exhausted by idle callers; ended by signals as by Quit, and
// started with a settings file it cannot read.
#include "../link/NetworkGuard.h"
#include "Channel.h"
#include "ProgramRun.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

class SingleInstanceTest : public QObject {
    Q_OBJECT

    static QString invite(const QString& name) { return Channel::withRandomKey(name)->inviteLink(); }

    static bool waitFor(const std::function<bool()>& ok, int ms) { return QTest::qWaitFor(ok, ms); }

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void inviteArgumentsAreThoseOfTheLinkScheme() {
        QCOMPARE(SingleInstance::inviteLinks({"--mini", "QMTALK://join?x", "https://example.org/qmtalk:",
                                              "qmtalk:join", "qmtalkx://a", "--opened-at-login"}),
                 (QStringList{"QMTALK://join?x", "qmtalk:join"}));
    }

    // The first copy listens; a second one hands "activate" and each link over and is told to exit; an
    // endless line is cut off.
    void handOverInProcess() {
        QTemporaryDir runtime;
        SingleInstance first;
        QCOMPARE(first.start({}, runtime.path()), SingleInstance::Outcome::primary);
        QCOMPARE(QFileInfo(first.socketPath()).fileName(), QString("qmrl-tessrook.socket"));
        QSignalSpy activated(&first, &SingleInstance::activateRequested);
        QSignalSpy opened(&first, &SingleInstance::openRequested);

        SingleInstance second;
        QCOMPARE(second.start({"qmtalk://join?a=1", "qmtalk://join?b=2\nactivate"}, runtime.path()),
                 SingleInstance::Outcome::forwarded);
        QTRY_COMPARE(opened.size(), 2);
        QCOMPARE(activated.size(), 1); // a line break inside a link cannot forge a second command
        QCOMPARE(opened.at(0).at(0).toString(), QString("qmtalk://join?a=1"));
        QCOMPARE(opened.at(1).at(0).toString(), QString("qmtalk://join?b=2activate"));

        // Only this user may connect.
        QCOMPARE(QFileInfo(first.socketPath()).permissions() & (QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());

        QLocalSocket flood;
        flood.connectToServer(first.socketPath());
        QVERIFY(flood.waitForConnected(1000));
        flood.write(QByteArray(SingleInstance::maxLineBytes * 2, 'x'));
        QTRY_COMPARE(flood.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(opened.size(), 2);

        // Callers that connect and say nothing: past the cap the oldest make room, so a hand-over still
        // gets through, and each is dropped at the deadline.
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < SingleInstance::maxConnections + 4; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(first.socketPath());
            QVERIFY(idle.back()->waitForConnected(1000));
        }
        QTRY_COMPARE(
            std::count_if(idle.begin(), idle.end(),
                          [](const auto& s) { return s->state() == QLocalSocket::UnconnectedState; }),
            4);
        SingleInstance third;
        QCOMPARE(third.start({"qmtalk://join?c=3"}, runtime.path()), SingleInstance::Outcome::forwarded);
        QTRY_COMPARE(opened.size(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(idle.begin(), idle.end(),
                        [](const auto& s) { return s->state() == QLocalSocket::UnconnectedState; }),
            SingleInstance::connectionDeadlineMs + 2000);
    }

    // A lock holder that answers with an endless stream, or a byte now and then, instead of "ok": the
    // later copy reads no more than an answer's worth, gives up by its deadline and says so.
    void aLockHolderThatAnswersNonsenseIsRefused_data() {
        QTest::addColumn<int>("pauseMs");
        QTest::newRow("endless stream") << 0;
        QTest::newRow("a byte a second") << 1000;
    }
    void aLockHolderThatAnswersNonsenseIsRefused() {
        QFETCH(int, pauseMs);
        QTemporaryDir runtime;
        const QByteArray path = QFile::encodeName(runtime.filePath(SingleInstance::socketName()));
        const int lock = ::open((path + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0);
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
        QVERIFY(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(server, 4) == 0);
        std::atomic<bool> stop{false};
        std::thread talker([&] { // every caller, one after the other
            const QByteArray chunk(pauseMs ? 1 : 65536, 'x');
            for (int c; !stop && (c = ::accept(server, nullptr, nullptr)) >= 0; ::close(c)) {
                while (!stop && ::send(c, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL) > 0)
                    if (pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
        });
        QElapsedTimer took;
        took.start();
        SingleInstance later;
        const auto outcome = later.start({"qmtalk://join?a=1"}, runtime.path());
        stop = true;
        ::shutdown(server, SHUT_RDWR);
        talker.join();
        ::close(server);
        ::close(lock);
        QCOMPARE(outcome, SingleInstance::Outcome::refused);
        QCOMPARE(later.exitCode(), 1);
        QVERIFY2(took.elapsed() < SingleInstance::reachLockHolderMs + 4000, qPrintable(QString::number(took.elapsed())));
    }

    // The real program: a second start forwards and leaves at once without starting the radio; the
    // first joins the link once; a copy killed without cleaning up does not block the next start.
    void secondCopyForwardsAndLeaves() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        ProgramRun run;
        QProcess* first = run.start();
        QVERIFY(waitFor([&] { return run.listening() && run.log().contains("Link lan started"); }, 15000));

        const QString link = invite("Kite");
        QElapsedTimer t;
        t.start();
        QProcess* second = run.start({link});
        QVERIFY(second->waitForFinished(5000));
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE(run.count("Joined by invite: Kite"), 1);
        for (const QString& line : run.linesOf(second->processId()))
            QVERIFY2(!line.contains("started") && !line.contains("listening"), qPrintable(line));
        QCOMPARE(first->state(), QProcess::Running);

        // Killed without closing its socket: the next copy clears it and runs.
        first->kill();
        first->waitForFinished(5000);
        QVERIFY(QFileInfo::exists(run.socketPath()));
        QProcess* next = run.start();
        QVERIFY(waitFor([&] { return run.listening(); }, 15000));
        QCOMPARE(next->state(), QProcess::Running);
    }

    // Links too long for a hand-over line: the second start says so on standard error and exits 1, the
    // running copy hears of it (and shows a notice), nothing is joined and no second radio starts.
    void overlongLinksAreRefusedAndToldOf_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("bytes");
        QTest::newRow("one 20 KB link") << 1 << 20 * 1000;
        QTest::newRow("eight 120 KB links") << 8 << 120 * 1000;
    }
    void overlongLinksAreRefusedAndToldOf() {
        QFETCH(int, count);
        QFETCH(int, bytes);
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        ProgramRun run;
        QProcess* first = run.start();
        QVERIFY(waitFor([&] { return run.listening() && run.log().contains("Link lan started"); }, 15000));
        QString link = invite("Lark");
        link += "&pad=" + QString(bytes - link.size() - 5, 'a');
        QProcess* second = run.start(QStringList(count, link), QProcess::SeparateChannels);
        QVERIFY(second->waitForFinished(15000));
        const QString errors = QString::fromLocal8Bit(second->readAllStandardError());
        QCOMPARE(second->exitCode(), 1);
        QCOMPARE(errors.count("too long"), count);
        QVERIFY2(errors.contains("16 KiB"), qPrintable(errors));
        QTRY_COMPARE(run.count("too long to hand over"), count);
        QCOMPARE(run.count("Joined by invite"), 0);
        for (const QString& line : run.linesOf(second->processId()))
            QVERIFY2(!line.contains("started") && !line.contains("listening"), qPrintable(line));
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(run.listening());
    }

    // Idle callers up to the running copy's descriptor limit: it keeps (or makes again) its socket, and
    // a second start hands over instead of becoming a second radio. With room for fewer descriptors than
    // the connection cap, the accept itself fails and the socket has to be made again.
    void descriptorExhaustionLeavesOneRadio_data() {
        QTest::addColumn<int>("room"); // descriptors free above those the running copy has open
        QTest::newRow("room above the cap") << SingleInstance::maxConnections + 16;
        QTest::newRow("room below the cap") << SingleInstance::maxConnections / 2;
    }
    void descriptorExhaustionLeavesOneRadio() {
        QFETCH(int, room);
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        ProgramRun run;
        // Out of descriptors, the undefined-behaviour checker's own probe of an object's type (it needs
        // a pipe) fails and it reports a sound call as a bad one: here its reports do not end the
        // program. Memory errors still do.
        run.env.insert(QStringLiteral("UBSAN_OPTIONS"), QStringLiteral("halt_on_error=0:print_stacktrace=0"));
        QProcess* first = run.start();
        QVERIFY(waitFor([&] { return run.listening() && run.log().contains("Link lan started"); }, 15000));
        const qint64 pid = first->processId();
        // The start's own work (threads, the tray check) done first: GLib aborts when it cannot make a
        // thread's wake-up pipe, which is no fault of the hand-over.
        QTest::qWait(3000); // the other process shows nothing when that work ends
        const int open =
            int(QDir(QString("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::System).size());
        const rlimit limit{rlim_t(open + room), rlim_t(open + room)};
        QVERIFY2(::prlimit(pid_t(pid), RLIMIT_NOFILE, &limit, nullptr) == 0, strerror(errno));

        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 200; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(run.socketPath());
        }
        QTest::qWait(500); // the time callers have to get in
        // The callers that got in stay idle; the rest stop trying, so the running copy has room to write
        // its log once the idle ones are dropped.
        for (const auto& s : idle)
            if (s->state() != QLocalSocket::ConnectedState) s->abort();

        QProcess* second = run.start({invite("Wren")});
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(waitFor([&] { return run.count("Joined by invite: Wren") == 1; }, 10000),
                 qPrintable(run.log().right(4000)));
        for (const QString& line : run.linesOf(second->processId()))
            QVERIFY2(!line.contains("started") && !line.contains("listening"), qPrintable(line));
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(waitFor([&] { return run.listening(); }, 5000));
    }

    // The session, a service manager or a terminal ends the program with a signal: it shuts down as Quit
    // does (its socket closed, its log written) and exits 0.
    void signalsEndTheProgramAsQuitDoes_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalsEndTheProgramAsQuitDoes() {
        QFETCH(int, signal);
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        ProgramRun run;
        QProcess* p = run.start();
        QVERIFY(waitFor([&] { return run.listening() && run.log().contains("Link lan started"); }, 15000));
        QCOMPARE(::kill(pid_t(p->processId()), signal), 0);
        QVERIFY(p->waitForFinished(ProgramRun::stopMs));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QCOMPARE(run.count(QStringLiteral("Quitting on %1").arg(QTest::currentDataTag())), 1);
        QVERIFY(!QFileInfo::exists(run.socketPath()));
    }

    // A settings file the program cannot read (a folder stands in for another user's private file:
    // root reads any file): it runs on its defaults and says once where the file is and why.
    void anUnreadableSettingsFileIsToldOnce() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        // On its defaults the program also tries the relay and nearby links.
        if (const auto refusal = NetworkGuard::refusal()) QSKIP(qPrintable(*refusal));
        ProgramRun run;
        const QString conf = run.dir.path() + "/config/Quillmarsh/QMRL Tessrook.conf";
        QVERIFY(QFile::remove(conf));
        QVERIFY(QDir().mkpath(conf));
        run.start();
        QVERIFY(waitFor([&] { return run.listening() && run.log().contains("Radio start"); }, 15000));
        QTest::qWait(500); // told by now, and no second time may come
        const QString told = "Settings: Your settings can't be read: " + conf + " (";
        QVERIFY2(run.count(told) == 1, qPrintable(run.log()));
        QVERIFY2(run.log().contains(QRegularExpression(QRegularExpression::escape(told) + ".*directory")),
                 qPrintable(run.log()));
    }

    void twoCopiesStartedTogetherLeaveOne() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        ProgramRun run;
        QProcess* a = run.start();
        QProcess* b = run.start();
        QVERIFY(waitFor([&] { return a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning; },
                        15000));
        QProcess* left = a->state() == QProcess::NotRunning ? a : b;
        QProcess* stays = left == a ? b : a;
        QCOMPARE(left->exitCode(), 0);
        QVERIFY(waitFor([&] { return run.listening(); }, 10000));
        QTest::qWait(300); // the one that stays may not end in this time
        QCOMPARE(stays->state(), QProcess::Running);
    }

    // The desktop's way: our entry is the default handler of the link scheme, and opening a link starts
    // a copy that hands it to the running radio.
    void openedLinksThroughTheDesktop() {
        if (ProgramRun::binary().isEmpty()) QSKIP("TESSROOK_BIN not set");
        const QString entry = qEnvironmentVariable("TESSROOK_SOURCE_DIR") + "/src/app/qmrl-tessrook.desktop";
        if (QStandardPaths::findExecutable("xdg-mime").isEmpty() ||
            QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
            QSKIP("xdg-utils or desktop-file-utils missing");
        QProcess validate;
        validate.start("desktop-file-validate", {entry});
        QVERIFY(validate.waitForFinished(10000));
        QCOMPARE(validate.exitCode(), 0);

        ProgramRun run;
        run.env.insert("XDG_DATA_DIRS", run.dir.path() + "/nothing"); // only our entry
        if (run.env.value("DISPLAY").isEmpty()) run.env.insert("DISPLAY", ":99"); // xdg-open wants one named
        QDir(run.dir.path()).mkpath("data/applications");
        QFile in(entry);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray text = in.readAll();
        text.replace("Exec=tessrook %u", "Exec=" + ProgramRun::binary().toLocal8Bit() + " %u");
        QFile out(run.dir.path() + "/data/applications/qmrl-tessrook.desktop");
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();

        auto tool = [&run](const QString& program, const QStringList& args) {
            QProcess p;
            p.setProcessEnvironment(run.env);
            p.start(program, args);
            p.waitForFinished(20000);
            const QString err = QString::fromUtf8(p.readAllStandardError());
            if (p.exitCode() != 0) qWarning().noquote() << program << err;
            return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).trimmed());
        };
        QCOMPARE(tool("xdg-mime", {"default", "qmrl-tessrook.desktop", "x-scheme-handler/qmtalk"}).first, 0);
        QCOMPARE(tool("xdg-mime", {"query", "default", "x-scheme-handler/qmtalk"}).second,
                 QString("qmrl-tessrook.desktop"));

        QProcess* first = run.start();
        QVERIFY(waitFor([&] { return run.listening() && run.log().contains("Link lan started"); }, 15000));
        const auto opened = tool("xdg-open", {invite("Heron")});
        QCOMPARE(opened.first, 0);
        QTRY_COMPARE_WITH_TIMEOUT(run.count("Joined by invite: Heron"), 1, 10000);
        QCOMPARE(first->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
