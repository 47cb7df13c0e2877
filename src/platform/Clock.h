#pragma once
// Wall-clock time behind a seam, so tests can drive timers without waiting.
#include <QDateTime>
#include <memory>

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // UTC
    // The same instant in milliseconds since the epoch, for paths that only compare times.
    virtual qint64 nowMs() const { return now().toMSecsSinceEpoch(); }
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

// A clock that only moves when told to.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC))
        : t_(start), ms_(start.toMSecsSinceEpoch()) {}
    QDateTime now() const override { return t_; }
    qint64 nowMs() const override { return ms_; }
    void advance(double seconds) { set(t_.addMSecs(qint64(seconds * 1000.0))); }
    void set(const QDateTime& t) {
        t_ = t;
        ms_ = t.toMSecsSinceEpoch();
    }

private:
    QDateTime t_;
    qint64 ms_;
};
