#pragma once

#include "PTTButton.h"
#include "TalkState.h"

// The talk button shows the kind of the radio's talk state; the rack's and the mini panel's alike.
inline PTTButton::State talkButtonState(const TalkState& talk) {
    switch (talk.kind) {
    case TalkState::Kind::transmitting:
        return PTTButton::State::transmitting;
    case TalkState::Kind::receiving:
        return PTTButton::State::receiving;
    case TalkState::Kind::busy:
        return PTTButton::State::busy;
    case TalkState::Kind::idle:
        break;
    }
    return PTTButton::State::idle;
}
