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

    // One reception per key (sender and transmission); several may play at once.
    void beginReception(quint64 key);                       // squelch burst when radio sound is on
    void playFrame(quint64 key, const QByteArray& pcm16le); // jitter-buffered
    void endReception(quint64 key);                         // roger beep, squelch tail
    void playTone(Tone tone);
    void startSiren(); // loops until stopSiren()
    void stopSiren();
    bool sirenPlaying() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
