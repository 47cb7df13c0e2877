// The two-unit link test: its command line, its tallies and verdicts, the texts it prints, its data
// folder, and the program's behaviour when a run is asked for without a usable channel.
#include "Channel.h"
#include "LinkTestRules.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

using namespace LinkTestRules;

namespace {

QByteArray toneFrame(double amplitude, int samples = 1600, double hz = 660, int rate = 16000) {
    QByteArray out(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        const auto s = qint16(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
        out[2 * i] = char(quint16(s) & 0xff);
        out[2 * i + 1] = char(quint16(s) >> 8);
    }
    return out;
}

LinkTestTally everythingArrived() {
    LinkTestTally t;
    t.heardHello = t.voiceStart = t.voiceEnd = t.gotRadioCheck = t.gotReply = true;
    t.lastText = "TEXT from Unit A on Base: Text from Unit A: are you there?";
    t.framesDecrypted = 20;
    t.exactToneFrames = 20;
    return t;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

// The program's home-network link sends multicast: only where nothing but loopback is up.
bool onlyLoopbackUp() {
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        if (i.flags().testFlag(QNetworkInterface::IsUp) && !i.flags().testFlag(QNetworkInterface::IsLoopBack))
            return false;
    return true;
}

} // namespace

class LinkTestTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void runsOnlyWhenARoleFollowsTheOption() {
        QVERIFY(!parse({}));
        QVERIFY(!parse({"--channel", "Base", "--pass", "correct horse"}));
        QVERIFY(!parse({"--channel", "Base", "--link-test"}));
        const auto o = parse({"--link-test", "talk", "--link-test", "other"});
        QVERIFY(o);
        QCOMPARE(o->role, QString("talk")); // the first occurrence counts
        QVERIFY(o->talksFirst());
        QCOMPARE(o->name, QString("Unit A"));
        const auto b = parse({"--link-test", "listen"});
        QVERIFY(!b->talksFirst());
        QCOMPARE(b->name, QString("Unit B"));
        QCOMPARE(b->seconds, 40.0);
        QCOMPARE(b->links, QSet<QString>{"lan"});
        QVERIFY(!b->port && !b->peer && !b->channel && !b->pass && !b->invite);
        QVERIFY(!b->verbose && !b->play && !b->expectMismatch);
    }

    void valuesFollowTheirOptionAndFlagsCountAnywhere() {
        const auto o =
            parse({"--relay", "--name", "Base camp", "--link-test", "b", "--channel", "Ops", "--pass",
                   "a b c d e f", "--peer", "10.0.0.2,10.0.0.3:4000", "--invite", "qmtalk://x", "--play",
                   "--nearby", "--expect-mismatch", "--verbose", "--name", "ignored"});
        QVERIFY(o);
        QCOMPARE(o->name, QString("Base camp"));
        QCOMPARE(o->channel, std::optional<QString>("Ops"));
        QCOMPARE(o->pass, std::optional<QString>("a b c d e f"));
        QCOMPARE(o->peer, std::optional<QString>("10.0.0.2,10.0.0.3:4000"));
        QCOMPARE(o->invite, std::optional<QString>("qmtalk://x"));
        QCOMPARE(o->links, (QSet<QString>{"lan", "relay", "nearby"}));
        QVERIFY(o->play && o->verbose && o->expectMismatch);
        // An option given last has no value.
        const auto last = parse({"--link-test", "talk", "--channel", "Ops", "--pass"});
        QCOMPARE(last->channel, std::optional<QString>("Ops"));
        QVERIFY(!last->pass);
        QCOMPARE(value({"--name"}, "--name"), std::nullopt);
        QCOMPARE(value({"--name", ""}, "--name"), std::optional<QString>(""));
    }

    void secondsThatAreNotANumberCountAsAbsent() {
        const auto seconds = [](const QString& v) {
            return parse({"--link-test", "b", "--seconds", v})->seconds;
        };
        QCOMPARE(seconds("abc"), 40.0);
        QCOMPARE(seconds(""), 40.0);
        QCOMPARE(seconds("2.5"), 2.5);
        QCOMPARE(seconds("15"), 15.0);
        QCOMPARE(seconds("0"), 0.0);
        // Lengths no wait can honour are refused as well.
        QCOMPARE(seconds("inf"), 40.0);
        QCOMPARE(seconds("nan"), 40.0);
        QCOMPARE(seconds("-3"), 40.0);
        QCOMPARE(parse({"--link-test", "b", "--seconds"})->seconds, 40.0);
    }

    void portsOutsideTheRangeCountAsAbsent() {
        const auto port = [](const QString& v) { return parse({"--link-test", "b", "--port", v})->port; };
        QCOMPARE(port("65536"), std::nullopt);
        QCOMPARE(port("99999999999"), std::nullopt);
        QCOMPARE(port("-1"), std::nullopt);
        QCOMPARE(port("abc"), std::nullopt);
        QCOMPARE(port("12ab"), std::nullopt);
        QCOMPARE(port(""), std::nullopt);
        QCOMPARE(port("0x50"), std::nullopt);
        QCOMPARE(port("65535"), std::optional<quint16>(65535));
        QCOMPARE(port("48788"), std::optional<quint16>(48788));
        QCOMPARE(port("0"), std::optional<quint16>(0));
    }

    void eventsSetTheirFlagsAndForeignOnesPrintOnce() {
        LinkTestTally t;
        QCOMPARE(noteEvent(t, "UNKNOWN CHANNEL 0a1b2c3d (not one of your channels)"),
                 std::optional<QString>("EVENT UNKNOWN CHANNEL 0a1b2c3d (not one of your channels)"));
        QCOMPARE(noteEvent(t, "UNKNOWN CHANNEL 0a1b2c3d (not one of your channels)"), std::nullopt);
        QCOMPARE(noteEvent(t, "UNKNOWN CHANNEL ffffffff (not one of your channels)"), std::nullopt);
        QCOMPARE(t.foreignEvents, 3);
        QVERIFY(!t.heardHello);

        QCOMPARE(noteEvent(t, "RADIO CHECK REPLY from Unit B on Ops"),
                 std::optional<QString>("EVENT RADIO CHECK REPLY from Unit B on Ops"));
        QVERIFY(t.gotReply);
        QVERIFY(!t.gotRadioCheck); // a reply is not a check
        noteEvent(t, "RADIO CHECK from Unit B on Ops");
        QVERIFY(t.gotRadioCheck);
        noteEvent(t, "HELLO from Unit B on Ops");
        noteEvent(t, "VOICE START from Test unit on Ops");
        QVERIFY(t.heardHello && t.voiceStart && !t.voiceEnd);
        noteEvent(t, "VOICE END from Test unit on Ops, 20 frames");
        QVERIFY(t.voiceEnd);
        noteEvent(t, "TEXT from Unit B on Ops: first");
        noteEvent(t, "TEXT from Unit B on Ops: second");
        QCOMPARE(t.lastText, QString("TEXT from Unit B on Ops: second"));
        QCOMPARE(t.foreignEvents, 3);
        // Lower case is not an event of the model: printed, nothing counted.
        LinkTestTally other;
        QCOMPARE(noteEvent(other, "hello from x"), std::optional<QString>("EVENT hello from x"));
        QVERIFY(!other.heardHello);
    }

    void onlyFramesAtTheToneLevelCountAsExact() {
        QVERIFY(std::abs(frameLevel(toneFrame(6000)) - 4243.0) < 5);
        QCOMPARE(frameLevel(QByteArray()), 0.0);
        QCOMPARE(frameLevel(QByteArray(1, '\x7f')), 0.0);
        // An odd trailing byte is not a sample.
        QCOMPARE(frameLevel(QByteArray::fromHex("e803"
                                                "ff")),
                 1000.0);
        QCOMPARE(frameLevel(QByteArray::fromHex("18fc")), 1000.0); // -1000, little-endian

        LinkTestTally t;
        noteVoiceFrame(t, toneFrame(6000));
        noteVoiceFrame(t, toneFrame(6350)); // rms ~4490: still within 300
        noteVoiceFrame(t, toneFrame(6500)); // rms ~4596: off
        noteVoiceFrame(t, toneFrame(0));
        noteVoiceFrame(t, QByteArray());
        QCOMPARE(t.framesDecrypted, 5);
        QCOMPARE(t.exactToneFrames, 2);
    }

    void theLinkCheckNeedsEveryPieceAndEighteenToneFrames() {
        QVERIFY(linkComplete(everythingArrived()));
        QVERIFY(linkPassed(everythingArrived()));

        auto t = everythingArrived();
        t.framesDecrypted = t.exactToneFrames = 18;
        QVERIFY(linkPassed(t));
        t.exactToneFrames = 17; // 17 matching frames fail even with all else there
        QVERIFY(!linkComplete(t));
        QVERIFY(!linkPassed(t));

        t = everythingArrived();
        t.framesDecrypted = 17;
        QVERIFY(!linkPassed(t));

        t = everythingArrived();
        t.gotReply = false; // complete, yet my own check went unanswered
        QVERIFY(linkComplete(t));
        QVERIFY(!linkPassed(t));

        for (auto drop :
             {&LinkTestTally::voiceStart, &LinkTestTally::voiceEnd, &LinkTestTally::gotRadioCheck}) {
            t = everythingArrived();
            t.*drop = false;
            QVERIFY(!linkPassed(t));
        }
        t = everythingArrived();
        t.lastText.clear();
        QVERIFY(!linkPassed(t));
    }

    void theMismatchCheckFailsOnAnythingOpened() {
        const QString reason =
            "Unknown channel / key mismatch: another unit is heard, but on a different key. "
            "Check the channel name and passphrase (safety codes must match).";
        LinkTestTally t;
        t.foreignEvents = 5;
        QVERIFY(mismatchPassed(t, reason));
        QVERIFY(!mismatchPassed(t, "No other unit heard on the network yet."));
        QVERIFY(!mismatchPassed(LinkTestTally{}, reason)); // nothing heard at all proves nothing

        auto one = t;
        one.heardHello = true; // a single decrypted hello fails it
        QVERIFY(!mismatchPassed(one, reason));
        one = t;
        one.gotReply = true;
        QVERIFY(!mismatchPassed(one, reason));
        one = t;
        one.gotRadioCheck = true;
        QVERIFY(!mismatchPassed(one, reason));
        one = t;
        one.framesDecrypted = 1;
        QVERIFY(!mismatchPassed(one, reason));
    }

    void printedLines() {
        QCOMPARE(
            passphraseLine("Ops", "p\u00e4ssw\u00f6rd \U0001F642"),
            QString("typed channel name \"Ops\" + passphrase (10 characters) -> key derived with PBKDF2"));
        const QByteArray id = QByteArray::fromHex("0a1b2c3d4e5f60718293a4b5c6d7e8f9");
        QCOMPARE(channelLine("Ops", id, "OTTER-1234-MAPLE", {"relay", "lan", "nearby"}, 48787, std::nullopt),
                 QString("channel Ops, fingerprint 0a1b2c3d, safety code OTTER-1234-MAPLE, links "
                         "lan+nearby+relay, UDP port 48787, typed peer none"));
        QCOMPARE(channelLine("Ops", id, "X", {"relay"}, 0, QString("10.0.0.2")),
                 QString("channel Ops, fingerprint 0a1b2c3d, safety code X, links relay, UDP port 0, "
                         "typed peer 10.0.0.2"));

        QCOMPARE(
            lanStatsLine(std::nullopt),
            QString("LAN stats: sent 0, received 0, send errors 0, heard -, own echoes via Wi-Fi/Ethernet 0, "
                    "via loopback 0 -> home-network path: unknown"));
        LanFigures f{12, 30, 1, {"169.254.77.2", "169.254.77.3"}, 4, 0, true};
        QCOMPARE(lanStatsLine(f), QString("LAN stats: sent 12, received 30, send errors 1, heard "
                                          "169.254.77.2,169.254.77.3, own echoes via Wi-Fi/Ethernet 4, via "
                                          "loopback 0 -> home-network path: open"));
        f.pathOK = false;
        QVERIFY(lanStatsLine(f).endsWith("path: BLOCKED"));
        f.pathOK = std::nullopt;
        QVERIFY(lanStatsLine(f).endsWith("path: unknown"));

        QCOMPARE(
            linkSummary(everythingArrived()),
            QString("from the other copy: radio check received+answered, text \"TEXT from Unit A on Base: "
                    "Text from Unit A: are you there?\", voice frames decrypted 20 (expected 20), exact "
                    "test tone 20"));
        QCOMPARE(linkSummary(LinkTestTally{}),
                 QString("from the other copy: radio check MISSING, text MISSING, voice frames decrypted 0 "
                         "(expected 20), exact test tone 0"));
        LinkTestTally m;
        m.foreignEvents = 7;
        QCOMPARE(mismatchSummary(m),
                 QString("packets from the other copy that could NOT be opened (other key): "
                         "7; hellos decrypted: 0; radio check answered: no"));
        m.heardHello = m.gotReply = true;
        QVERIFY(mismatchSummary(m).endsWith("hellos decrypted: YES; radio check answered: YES"));
    }

    void theDataFolderIsPrivateAndOurOwn() {
        QTemporaryDir tmp;
        QCOMPARE(sanitizedRole("talk"), QString("talk"));
        QCOMPARE(sanitizedRole("../etc/x y"), QString(".._etc_x_y"));
        QCOMPARE(sanitizedRole(QString(300, 'a')).size(), 40);

        const QString root = tmp.path() + "/nested/tmp"; // intermediate folders are made
        const QString made = prepareDataFolder(root, "../up", 4242);
        QCOMPARE(made, root + "/qmrl-trk-linktest-.._up-4242");
        QVERIFY(QFileInfo(made).isDir());
        QCOMPARE(modeOf(made), mode_t(0700));

        // Our own folder from an earlier run of that process ID is taken again, closed up.
        QVERIFY(::chmod(QFile::encodeName(made).constData(), 0755) == 0);
        QCOMPARE(prepareDataFolder(root, "../up", 4242), made);
        QCOMPARE(modeOf(made), mode_t(0700));

        // A link planted under the name is left alone; the run gets a fresh folder.
        QDir(tmp.path()).mkdir("target");
        QVERIFY(QFile::link(tmp.path() + "/target", root + "/qmrl-trk-linktest-talk-7"));
        const QString fresh = prepareDataFolder(root, "talk", 7);
        QVERIFY(fresh != root + "/qmrl-trk-linktest-talk-7");
        QVERIFY(fresh.startsWith(root + "/qmrl-trk-linktest-talk-7-"));
        QVERIFY(QFileInfo(fresh).isDir() && !QFileInfo(fresh).isSymLink());
        QCOMPARE(modeOf(fresh), mode_t(0700));
        QVERIFY(QDir(tmp.path() + "/target").isEmpty());

        // So is a plain file of that name.
        QFile plain(root + "/qmrl-trk-linktest-b-8");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(prepareDataFolder(root, "b", 8).startsWith(root + "/qmrl-trk-linktest-b-8-"));

        // And someone else's folder (only root can hand one over).
        if (::geteuid() == 0) {
            const QString theirs = root + "/qmrl-trk-linktest-b-9";
            QVERIFY(QDir().mkdir(theirs));
            QVERIFY(::chown(QFile::encodeName(theirs).constData(), 65534, 65534) == 0);
            QVERIFY(prepareDataFolder(root, "b", 9).startsWith(theirs + "-"));
        }
    }

#ifdef TESSROOK_BINARY
    // The program itself: asked for the test without a role it explains itself and leaves nothing behind;
    // with a request but no channel it ends with status 2 and the matching line.
    void theProgramWithoutAUsableChannel() {
        QTemporaryDir tmp, config, data;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("XDG_DATA_HOME", data.path());
        const auto run = [&](const QStringList& args) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(TESSROOK_BINARY, args);
            if (!p.waitForFinished(20000)) p.kill();
            return std::make_tuple(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                                   QString::fromUtf8(p.readAllStandardOutput()));
        };

        for (const QStringList& args :
             {QStringList{"--link-test"}, QStringList{"--channel", "Ops", "--link-test"}}) {
            const auto [status, output] = run(args);
            QCOMPARE(status, 0);
            QVERIFY2(output.contains("--link-test ROLE"), qPrintable(output));
            QVERIFY2(output.contains("Without --link-test it opens its window."), qPrintable(output));
            QVERIFY(QDir(tmp.path()).isEmpty());
            QVERIFY(QDir(data.path()).isEmpty());
        }

        auto [status, output] = run({"--link-test", "b", "--channel", "Ops", "--seconds", "1"});
        QCOMPARE(status, 2);
        QVERIFY2(output.endsWith("[Unit B] FAIL give --channel and --pass, or --invite\n"),
                 qPrintable(output));
        const QStringList folders = QDir(tmp.path()).entryList({"qmrl-trk-linktest-b-*"}, QDir::Dirs);
        QCOMPARE(folders.size(), 1);
        QCOMPARE(modeOf(tmp.path() + "/" + folders.first()), mode_t(0700));

        std::tie(status, output) =
            run({"--link-test", "talk", "--name", "Rig 7", "--channel", "Ops", "--pass", "short"});
        QCOMPARE(status, 2);
        QVERIFY2(output.endsWith("[Rig 7] FAIL passphrase refused\n"), qPrintable(output));

        std::tie(status, output) = run({"--link-test", "b", "--invite", "qmtalk://join?v=1&n=Ops&k=broken"});
        QCOMPARE(status, 2);
        QVERIFY2(output.endsWith("FAIL give --channel and --pass, or --invite\n"), qPrintable(output));
        // The user's real folders were never touched.
        QVERIFY(QDir(data.path()).isEmpty());

        // A temporary folder that does not exist yet is made, folders leading to it included; nothing
        // lands in the working directory.
        QTemporaryDir work;
        const QString missing = tmp.path() + "/not/yet";
        env.insert("TMPDIR", missing);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work.path());
        p.start(TESSROOK_BINARY, {"--link-test", "talk", "--channel", "Ops"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 2);
        const QString printed = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(printed.contains("] FAIL give --channel and --pass, or --invite"), qPrintable(printed));
        QCOMPARE(QDir(missing).entryList({"qmrl-trk-linktest-talk-*"}, QDir::Dirs).size(), 1);
        QVERIFY(QDir(work.path()).isEmpty());
    }

    // A channel from an invite, and nobody on the other end: the lines before the wait, the
    // statistics, the named failure and status 1.
    void theProgramThatNeverHearsTheOtherCopy() {
        if (!onlyLoopbackUp())
            QSKIP("the home-network link would reach a real network; run it in a namespace");
        QTemporaryDir tmp, config, data;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("XDG_DATA_HOME", data.path());
        const auto channel = Channel::withRandomKey("Ops");
        QVERIFY(channel);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(TESSROOK_BINARY, {"--link-test", "talk", "--invite", channel->inviteLink(), "--seconds",
                                  "0.3", "--port", "0", "--name", "Rig 7", "--peer", "127.0.0.1:9"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString output = QString::fromUtf8(p.readAllStandardOutput());
        QStringList lines = output.split('\n');
        QCOMPARE(lines.takeLast(), QString()); // every line ends
        for (QString& line : lines) {
            QVERIFY2(line.startsWith("[Rig 7] "), qPrintable(output));
            line.remove(0, 8);
        }
        QCOMPARE(lines.size(), 6);
        const QStringList folders = QDir(tmp.path()).entryList({"qmrl-trk-linktest-talk-*"}, QDir::Dirs);
        QCOMPARE(folders.size(), 1);
        QCOMPARE(lines[0],
                 "data folder " + tmp.path() + "/" + folders.first() + "  (separate from the real app)");
        const QRegularExpression channelLine(
            "^channel Ops, fingerprint " + TRKLog::shortHex(channel->channelIDBytes()) + ", safety code " +
            QRegularExpression::escape(channel->safetyCode()) +
            ", links lan, UDP port [1-9][0-9]*, typed peer 127\\.0\\.0\\.1:9$");
        QVERIFY2(channelLine.match(lines[1]).hasMatch(), qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith("LAN stats: sent "), qPrintable(lines[2]));
        QVERIFY2(lines[3].startsWith("on-screen status line: "), qPrintable(lines[3]));
        QCOMPARE(lines[4], QString("FAIL never heard the other copy on Ops"));
        QCOMPARE(lines[5], QString("RESULT FAIL"));
        // The user's channel store was left alone.
        QVERIFY(QDir(data.path()).isEmpty());
    }
#endif
};

QTEST_GUILESS_MAIN(LinkTestTest)
#include "tst_linktest.moc"
