#pragma once
// The two-way-radio sound for received voice: band-limited to a handheld's speaker (high-pass near
// 300 Hz, low-pass near 3 kHz), a presence lift, a soft-clipping drive, and a make-up gain so that
// switching the effect does not jump in loudness.
#include <QByteArray>
#include <cstddef>

// One second-order section (RBJ cookbook), direct form I, float state.
struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    static Biquad highPass(double rate, double freq, double q);
    static Biquad lowPass(double rate, double freq, double q);
    static Biquad bandPass(double rate, double freq, double q);
    static Biquad peaking(double rate, double freq, double q, double gainDb);

    float step(float x) {
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void clear() { x1 = x2 = y1 = y2 = 0; }
};

// Soft clip that is linear for small signals and approaches +-1 smoothly: tanh, within 1e-4.
float softClip(float x);
// Float in -1..1 to 16-bit with rounding and saturation (never wraps around); the inverse of
// sample / 32768.
qint16 toPcm16(float x);

class RadioEffect {
public:
    explicit RadioEffect(double sampleRate = 16000);
    void reset();
    void process(float* samples, std::size_t count); // in place, -1..1
    QByteArray process(const QByteArray& pcm16le);   // 16-bit little-endian in, same length out

    static constexpr double highPassHz = 300;
    static constexpr double lowPassHz = 3000;
    static constexpr double presenceHz = 1800;
    static constexpr double presenceDb = 5;
    static constexpr float drive = 2.5f;
    static constexpr float makeUp = 1.8f; // what the band limits take out of ordinary speech

private:
    Biquad hp1_, hp2_, lp1_, lp2_, presence_;
};
