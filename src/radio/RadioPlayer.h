#pragma once
// Playback: received voice through the two-way-radio effect with squelch and roger beep, the tones
// and the siren, mixed into one output stream that is open only while something plays.
#include "AudioDevice.h"

#include <QObject>

enum class Tone { talkPermit, busy, roger, squelchBurst, squelchTail };

class RadioPlayer : public QObject {
    Q_OBJECT
public:
    // Without an output, the system speaker.
    explicit RadioPlayer(std::shared_ptr<AudioOutput> output = {}, QObject* parent = nullptr);
    ~RadioPlayer() override;

    void setRadioSound(bool on);
    bool radioSound() const;
    void setRogerBeep(bool on);
    bool rogerBeep() const;

    // One reception per key (sender and transmission); several may play at once. `route` names the
    // path the voice comes by (the channel): the jitter buffer learns the spread of arrival times per
    // route, so the next transmission on it starts with the margin the last ones needed.
    void beginReception(quint64 key, quint64 route = 0); // squelch burst when radio sound is on
    // Jitter-buffered. `seq` is the frame's sequence number: a gap before it plays as silence of the
    // missing frames' length, so later frames keep their timing. Without it, frames follow on.
    void playFrame(quint64 key, quint32 seq, const QByteArray& pcm16le);
    void playFrame(quint64 key, const QByteArray& pcm16le);
    void endReception(quint64 key); // roger beep, squelch tail
    void playTone(Tone tone);
    void startSiren(); // loops until stopSiren()
    void stopSiren();
    bool sirenPlaying() const;

    // Gaps inside receptions since the player was made: voice ran out before its next frame came.
    int underruns() const;
    // The margin the jitter buffer holds for a reception starting now on `route`, in milliseconds; its
    // start waits 5 ms beyond it.
    double marginMs(quint64 route = 0) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
