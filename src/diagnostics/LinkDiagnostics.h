#pragma once
// The connection report: plain lines that say why two units do or do not hear each other. A snapshot of
// the model, its home-network link, the microphone and the firewall is taken on the main thread; the
// lines are a pure function of it, so tests build them from values alone.
#include "DiagLine.h"
#include "FirewallProbe.h"
#include "VoiceCapture.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class WalkieModel;

struct DiagSnapshot {
    struct SelectedChannel {
        QString name;
        QString safetyCode;
        QByteArray idBytes;
    };
    // The running home-network link's figures, each read under its lock.
    struct Lan {
        std::optional<bool> pathOK;
        int errors = 0;
        int sent = 0;
        int received = 0;
        std::optional<QString> lastError;
        QStringList heard;
    };

    QDateTime now;
    std::optional<SelectedChannel> selected;
    QStringList unitsHeard;        // call signs in the selected channel's roster, in any order
    QList<QDateTime> foreignHeard; // when each channel this unit holds no key for was last heard
    std::optional<Lan> lan;
    quint16 port = 0; // the link's port, else the default one
    QString lanStatus;
    int lanUnits = 0;
    QString nearbyStatus;
    int nearbyPeers = 0;
    QDateTime lastGoodPacket; // invalid before any
    QString directPeers;
    QString relayURL;
    bool useRelay = false;
    bool relayUp = false;
    QString relayStatus;
    QStringList radioCheckReplies;
    VoiceCapture::MicStatus mic = VoiceCapture::MicStatus::notDetermined;
    FirewallState firewall;
};

namespace LinkDiagnostics {

inline constexpr double mismatchSeconds = 60.0;

// Reads the model (on the main thread) and the firewall probe.
DiagSnapshot snapshot(const WalkieModel& model, FirewallProbe& probe);
// The report's lines, in their fixed order.
QList<DiagLine> build(const DiagSnapshot& snapshot);
// snapshot + build, with the process-wide firewall probe unless another is given.
QList<DiagLine> report(const WalkieModel& model, FirewallProbe& probe = FirewallProbe::shared());
// "[level] title - detail" per line, joined by line feeds, no trailing one.
QString copiedText(const QList<DiagLine>& lines);

} // namespace LinkDiagnostics
