#pragma once
// The radio's talk state, shown by the talk button, the status screen, the mini panel and the music ducking.
#include <QString>

struct TalkState {
    enum class Kind { receiving, idle, transmitting, busy };
    Kind kind = Kind::idle;
    QString text; // receiving only: "<who> on <channel>"

    static TalkState receiving(const QString& whoOnChannel) { return {Kind::receiving, whoOnChannel}; }
    static TalkState idle() { return {Kind::idle, {}}; }
    static TalkState transmitting() { return {Kind::transmitting, {}}; }
    static TalkState busy() { return {Kind::busy, {}}; }

    bool isReceiving() const { return kind == Kind::receiving; }
    bool isIdle() const { return kind == Kind::idle; }
    bool isTransmitting() const { return kind == Kind::transmitting; }
    bool isBusy() const { return kind == Kind::busy; }
    bool operator==(const TalkState&) const = default;
};
