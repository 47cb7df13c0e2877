#include "LinkTestHarness.h"

#include "LANTransport.h"
#include "LinkTestRules.h"
#include "TRKLog.h"
#include "WalkieModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// One run: the model, what has been seen of the other copy and the output.
class Run {
public:
    explicit Run(LinkTestOptions o) : opt(std::move(o)) {}

    [[noreturn]] void go();

private:
    LinkTestOptions opt;
    std::unique_ptr<WalkieModel> model;
    LinkTestTally tally;
    Channel channel;
    QString callSign;
    QElapsedTimer clock;

    void out(const QString& text) {
        const QByteArray line =
            // Names and texts in it came from the other copy: escaped, so no line can forge a result.
            (TRKLog::escaped(QLatin1Char('[') + callSign + QStringLiteral("] ") + text) + QLatin1Char('\n'))
                .toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }

    double now() const { return double(clock.nsecsElapsed()) / 1e9; }

    // Steps the main loop in slices of 0.1 s until `done` holds or `deadline` (seconds on the run's
    // clock) passes; the links deliver on this loop, so sleeping would hear nothing.
    bool waitUntil(const std::function<bool()>& done, double deadline) {
        for (;;) {
            if (done && done()) return true;
            const double left = deadline - now();
            if (left <= 0) return false;
            QEventLoop loop;
            QTimer::singleShot(int(std::min(left, 0.1) * 1000) + 1, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    void pause(double seconds) { waitUntil({}, now() + seconds); }

    void stats() {
        std::optional<LanFigures> figures;
        if (LANTransport* lan = model->lan()) {
            const auto c = lan->counters();
            figures = LanFigures{c.sent,          c.received,       c.errors,       c.heardAddresses,
                                 c.networkEchoes, c.loopbackEchoes, c.networkPathOK};
        }
        out(LinkTestRules::lanStatsLine(figures));
        out(QStringLiteral("on-screen status line: ") + model->linkReason(channel));
    }

    void sendMine() {
        model->radioCheck(channel);
        waitUntil([this] { return tally.gotReply; }, now() + 5.0);
        out(tally.gotReply ? QStringLiteral("PASS my radio check was answered")
                           : QStringLiteral("FAIL no answer to my radio check"));
        model->sendText(QStringLiteral("Text from ") + callSign + QStringLiteral(": are you there?"),
                        channel);
        out(QStringLiteral("sent encrypted text message"));
        pause(0.5);
        out(QStringLiteral("keying up: 2.0 s encrypted test tone"));
        model->transmitTestTone(2.0, channel);
        pause(2.0);
    }

    // Ends the process with nothing left running: the links are stopped (their threads joined) and
    // the log is written out before the status goes back.
    [[noreturn]] void finish(int status) {
        std::fflush(stdout);
        if (model) {
            model->onEvent = nullptr;
            model->onVoiceFrame = nullptr;
            model.reset();
        }
        TRKLog::flush();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(status);
    }

    bool findChannel();
    [[noreturn]] void linkCheck();
    [[noreturn]] void mismatchCheck();
};

bool Run::findChannel() {
    if (opt.channel && opt.pass) {
        const auto joined = model->joinWithPassphrase(*opt.channel, *opt.pass);
        if (!joined) {
            out(QStringLiteral("FAIL passphrase refused"));
            finish(2);
        }
        channel = *joined;
        out(LinkTestRules::passphraseLine(channel.name, *opt.pass));
        return true;
    }
    const auto invited = Channel::fromInvite(opt.invite.value_or(QString()));
    if (!invited) {
        out(QStringLiteral("FAIL give --channel and --pass, or --invite"));
        finish(2);
    }
    channel = *invited;
    model->setChannels({channel});
    model->setSelectedID(channel.channelID());
    return true;
}

void Run::go() {
    const QString folder =
        LinkTestRules::prepareDataFolder(LinkTestRules::temporaryRoot(), opt.role, qint64(::getpid()));
    TRKLog::setFolderOverride(folder);
    TRKLog::setEcho(opt.verbose);

    // The user's saved channels are neither read nor written; no link runs until the overrides are in.
    WalkieModel::Options mo;
    mo.loadChannels = false;
    mo.allowNearby = opt.links.contains(QStringLiteral("nearby"));
    mo.transports = QSet<QString>{};
    mo.callSign = opt.name;
    model = std::make_unique<WalkieModel>(mo);
    callSign = model->callSign();
    model->setMuteSpeaker(!opt.play);
    model->setLanPortOverride(opt.port);
    model->setDirectPeersOverride(opt.peer);
    model->setTransportsOverride(opt.links);
    model->setUseLAN(true);

    findChannel();
    out(QStringLiteral("data folder ") + folder + QStringLiteral("  (separate from the real app)"));
    LANTransport* lan = model->lan();
    out(LinkTestRules::channelLine(channel.name, channel.channelIDBytes(), channel.safetyCode(), opt.links,
                                   lan ? lan->port() : 0, opt.peer));

    model->onEvent = [this](const QString& text) {
        if (const auto line = LinkTestRules::noteEvent(tally, text)) out(*line);
    };
    model->onVoiceFrame = [this](const Packet& packet) {
        LinkTestRules::noteVoiceFrame(tally, packet.payload);
    };
    clock.start();

    if (opt.expectMismatch) mismatchCheck();
    linkCheck();
}

void Run::linkCheck() {
    if (!waitUntil([this] { return tally.heardHello; }, opt.seconds)) {
        stats();
        out(QStringLiteral("FAIL never heard the other copy on ") + channel.name);
        out(QStringLiteral("RESULT FAIL"));
        finish(1);
    }
    out(QStringLiteral("heard the other copy (encrypted hello decrypted)"));
    const auto complete = [this] { return LinkTestRules::linkComplete(tally); };
    if (opt.talksFirst()) {
        sendMine();
        waitUntil(complete, now() + opt.seconds);
    } else {
        waitUntil(complete, now() + opt.seconds);
        sendMine();
    }
    pause(1.0);
    stats();
    out(LinkTestRules::linkSummary(tally));
    if (LinkTestRules::linkPassed(tally)) {
        out(QStringLiteral("RESULT PASS"));
        finish(0);
    }
    out(QStringLiteral("RESULT FAIL"));
    finish(1);
}

void Run::mismatchCheck() {
    waitUntil([this] { return tally.foreignEvents >= LinkTestRules::foreignWanted; }, opt.seconds);
    model->radioCheck(channel);
    pause(3.0);
    stats();
    const bool passed = LinkTestRules::mismatchPassed(tally, model->linkReason(channel));
    out(LinkTestRules::mismatchSummary(tally));
    if (passed) {
        out(QStringLiteral("RESULT PASS (different passphrase does not connect; shows unknown channel / key "
                           "mismatch)"));
        finish(0);
    }
    out(QStringLiteral("RESULT FAIL"));
    finish(1);
}

} // namespace

void LinkTestHarness::runIfRequested(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    runIfRequested(args);
}

void LinkTestHarness::runIfRequested(const QStringList& args) {
    auto options = LinkTestRules::parse(args);
    if (!options) {
        // "--link-test" with no role after it asks for the test without saying how: explain and leave,
        // rather than start the window.
        if (!args.contains(QStringLiteral("--link-test"))) return;
        const QByteArray text = LinkTestRules::usage().toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
        std::exit(0);
    }
    // Headless: a plain event loop is all the links and the model's timers need.
    static int argc = 1;
    static char name[] = "tessrook";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    Run run(std::move(*options));
    run.go();
}
