#pragma once
// The voice scrambler: disguises the speaker's voice before it is sent. Every call returns as many
// samples as it was given, so frames keep their length; the processing state carries over from
// frame to frame so nothing clicks at frame edges, and flush() returns what is still inside at the
// end of a transmission.
#include "Records.h"

#include <QByteArray>
#include <QList>
#include <memory>
#include <vector>

class Scrambler {
public:
    explicit Scrambler(ScrambleMode mode);
    ~Scrambler();
    Scrambler(const Scrambler&) = delete;
    Scrambler& operator=(const Scrambler&) = delete;

    ScrambleMode mode() const { return mode_; }
    void reset();
    // 16-bit little-endian in; exactly as many samples out. A shortfall of the pitch shifter at the
    // start of a transmission comes out as silence.
    QByteArray process(const QByteArray& pcm16le);
    // The rest held inside, as frames of at most `maxBytes`.
    QList<QByteArray> flush(int maxBytes = 3200);

    // Settings per mode, exposed so tests can check what each voice does.
    struct Voice {
        double pitchSemitones = 0;  // SoundTouch, tempo kept
        double wobbleSemitones = 0; // pitch swing around pitchSemitones
        double wobbleHz = 0;
        double ringHz = 0; // ring-modulation carrier
        float ringMix = 0; // 0 = dry, 1 = fully ring-modulated
        int combDelay = 0; // samples; 0 = no comb
        float combFeedback = 0;
        float drive = 0; // soft-clip drive; 0 = none
    };
    static Voice voice(ScrambleMode mode);

private:
    void shape(float* s, std::size_t n);

    ScrambleMode mode_;
    Voice v_;
    struct Shifter;
    std::unique_ptr<Shifter> shifter_;
    double ringPhase_ = 0;
    double wobblePhase_ = 0;
    std::vector<float> comb_;
    std::size_t combPos_ = 0;
};
