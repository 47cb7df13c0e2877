#pragma once
// A model on the test doubles put into each state the mini panel shows, for the shell's tests, its
// demo program and its benchmark.
#include "Defaults.h"
#include "ModelFixture.h"
#include "TRMute.h"

#include <QStringList>

namespace minirig {

enum class State { noChannel, idle, transmitting, receiving, busy, muted, locked };

inline const QStringList& stateNames() {
    static const QStringList names{"no-channel", "idle",  "transmitting", "receiving",
                                   "busy",       "muted", "locked"};
    return names;
}

inline quint64 otherUnit() {
    return 0x0A11CE5EEDULL;
}

// Makes the rig's model in `state` and makes it the shared model. The channel is called "Harbour".
inline WalkieModel& make(fixture::Rig& rig, State state, const std::optional<Channel>& given = std::nullopt) {
    Defaults::shared().setValue(QStringLiteral("requireUnlock"), state == State::locked);
    WalkieModel& m = rig.make();
    Defaults::shared().remove(QStringLiteral("requireUnlock"));
    WalkieModel::setShared(&m);
    TRMute::shared().setOn(state == State::muted);
    if (state == State::noChannel) return m;
    const Channel ch = given.value_or(fixture::channel(QStringLiteral("Harbour")));
    m.setChannels({ch});
    m.setSelectedID(ch.channelID());
    if (state == State::transmitting) m.pressTalk();
    if (state == State::receiving || state == State::busy || state == State::muted) {
        m.receiveSealed(fixture::sealed(ch, PacketKind::start, 77, 1, otherUnit(), "Ann"));
        m.receiveSealed(fixture::sealed(ch, PacketKind::text, 78, 1, otherUnit(),
                                        R"({"who":"Ann","text":"Back at the dock by six"})"));
    }
    if (state == State::busy) m.pressTalk();
    return m;
}

} // namespace minirig
