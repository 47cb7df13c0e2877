// One copy per user: the in-process hand-over (lines, oversized input) and the real
// program started several times, by hand and through the desktop's link handler.
#include "Channel.h"
#include "ProgramRun.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

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
        QTest::qWait(300);
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
