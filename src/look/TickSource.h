#pragma once
// A repeating tick for control gestures (the SOS hold). The real one is a timer on the main thread;
// tests drive their own.
#include <QObject>
#include <QTimer>

class TickSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void tick();
};

class TimerTickSource : public TickSource {
    Q_OBJECT
public:
    explicit TimerTickSource(QObject* parent = nullptr) : TickSource(parent) {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, &TickSource::tick);
    }
    void start(int intervalMs) override { timer_.start(intervalMs); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};
