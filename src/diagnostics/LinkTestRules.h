#pragma once
// The pure parts of the two-unit link test: reading the command line, counting what the other copy
// sent, the two verdicts and the texts the test prints. No model, no network, no clock.
#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

struct LinkTestOptions {
    QString role;          // "talk" sends first; any other role answers
    bool verbose = false;  // the debug log echoes to standard error
    double seconds = 40.0; // length of each waiting phase
    QString name;          // this copy's call sign
    bool expectMismatch = false;
    QSet<QString> links{QStringLiteral("lan")};
    bool play = false; // received voice is played, not muted
    std::optional<quint16> port;
    std::optional<QString> peer;
    std::optional<QString> channel;
    std::optional<QString> pass;
    std::optional<QString> invite;

    bool talksFirst() const { return role == QLatin1String("talk"); }
};

// What one run has seen of the other copy.
struct LinkTestTally {
    int foreignEvents = 0;   // packets of a channel this copy holds no key for
    int framesDecrypted = 0; // voice frames opened
    int exactToneFrames = 0; // frames whose level matches the test tone
    bool heardHello = false;
    bool voiceStart = false;
    bool voiceEnd = false;
    bool gotRadioCheck = false;
    bool gotReply = false;
    QString lastText;
};

struct LanFigures {
    int sent = 0;
    int received = 0;
    int errors = 0;
    QStringList heard;
    int networkEchoes = 0;
    int loopbackEchoes = 0;
    std::optional<bool> pathOK;
};

namespace LinkTestRules {
inline constexpr double toneLevel = 4243.0; // root mean square of the 6000-amplitude sine
inline constexpr double toneTolerance = 300.0;
inline constexpr int framesNeeded = 18; // of the 20 a 2-second tone sends
inline constexpr int foreignWanted = 5;

// The value after the first occurrence of `option`; nothing when absent or given last.
std::optional<QString> value(const QStringList& args, const QString& option);
// Nothing when the arguments do not ask for the test ("--link-test" absent or last).
std::optional<LinkTestOptions> parse(const QStringList& args);
QString sanitizedRole(const QString& role); // safe as part of one file name

// Counts one event text and returns the line to print for it, if any.
std::optional<QString> noteEvent(LinkTestTally& tally, const QString& text);
// Root mean square of a payload read as signed 16-bit little-endian samples.
double frameLevel(const QByteArray& payload);
void noteVoiceFrame(LinkTestTally& tally, const QByteArray& payload);

bool linkComplete(const LinkTestTally& tally);
bool linkPassed(const LinkTestTally& tally);
bool mismatchPassed(const LinkTestTally& tally, const QString& linkReason);

QString passphraseLine(const QString& channelName, const QString& passphrase);
QString channelLine(const QString& channelName, const QByteArray& channelIDBytes, const QString& safetyCode,
                    const QSet<QString>& links, quint16 udpPort, const std::optional<QString>& peer);
QString lanStatsLine(const std::optional<LanFigures>& lan); // nothing: no home-network link
QString linkSummary(const LinkTestTally& tally);
QString mismatchSummary(const LinkTestTally& tally);

// The system's temporary folder: TMPDIR, else /tmp, also when it does not exist yet (the data
// folder is then made with the folders leading to it, never beside the working directory).
QString temporaryRoot();
// The run's own data folder under `tempRoot`, mode 0700. A folder of that name that is not a plain
// folder of this user (a symlink, someone else's) is left alone and a fresh one is made instead.
QString prepareDataFolder(const QString& tempRoot, const QString& role, qint64 pid);

QString usage(); // what the program can do from the command line
} // namespace LinkTestRules
