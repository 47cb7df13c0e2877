#pragma once
// Wall-clock time behind a seam, so tests can drive timers without waiting.
#include <QDateTime>
#include <memory>

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // UTC
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

// A clock that only moves when told to.
class ManualClock : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC))
        : t_(start) {}
    QDateTime now() const override { return t_; }
    void advance(double seconds) { t_ = t_.addMSecs(qint64(seconds * 1000.0)); }
    void set(const QDateTime& t) { t_ = t; }

private:
    QDateTime t_;
};
