#pragma once
// Where this unit is, for SOS records. The system one wraps Qt Positioning's default source, made
// only at the first start() so start-up never waits on the location service.
#include <QObject>
#include <memory>

class Locator : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Locator() override = default;
    virtual void start() = 0; // idempotent
    virtual void stop() = 0;  // idempotent
    virtual bool isRunning() const = 0;

signals:
    // Degrees and metres; delivered on the locator's (main) thread.
    void positionUpdated(double lat, double lon, double accuracy);
};

std::shared_ptr<Locator> makeSystemLocator();

// For tests: delivers only the positions it is told to, and only while started.
class ScriptedLocator : public Locator {
    Q_OBJECT
public:
    using Locator::Locator;
    void start() override;
    void stop() override;
    bool isRunning() const override { return running_; }
    int starts() const { return starts_; }
    void deliver(double lat, double lon, double accuracy); // emits only while running

private:
    bool running_ = false;
    int starts_ = 0;
};
