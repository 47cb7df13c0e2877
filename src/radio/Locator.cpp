#include "Locator.h"

#include "TRKLog.h"

#include <QGeoPositionInfoSource>

namespace {
class SystemLocator : public Locator {
public:
    void start() override {
        if (running_) return;
        running_ = true;
        // Made here, not at start-up: the default source may wait on a location service.
        if (!source_) {
            source_ = QGeoPositionInfoSource::createDefaultSource(this);
            if (!source_) {
                TRKLog::log(QStringLiteral("SOS: no location source available"));
                return;
            }
            connect(source_, &QGeoPositionInfoSource::positionUpdated, this,
                    [this](const QGeoPositionInfo& info) {
                        if (!running_ || !info.isValid()) return;
                        const QGeoCoordinate c = info.coordinate();
                        const double acc = info.hasAttribute(QGeoPositionInfo::HorizontalAccuracy)
                                               ? info.attribute(QGeoPositionInfo::HorizontalAccuracy)
                                               : 0.0;
                        emit positionUpdated(c.latitude(), c.longitude(), acc);
                    });
            connect(source_, &QGeoPositionInfoSource::errorOccurred, this,
                    [](QGeoPositionInfoSource::Error e) {
                        TRKLog::log(QStringLiteral("SOS: location error %1").arg(int(e)));
                    });
        }
        source_->startUpdates();
    }
    void stop() override {
        if (!running_) return;
        running_ = false;
        if (source_) source_->stopUpdates();
    }
    bool isRunning() const override { return running_; }

private:
    bool running_ = false;
    QGeoPositionInfoSource* source_ = nullptr;
};
} // namespace

std::shared_ptr<Locator> makeSystemLocator() {
    return std::make_shared<SystemLocator>();
}

void ScriptedLocator::start() {
    if (running_) return;
    running_ = true;
    ++starts_;
}

void ScriptedLocator::stop() {
    running_ = false;
}

void ScriptedLocator::deliver(double lat, double lon, double accuracy) {
    if (running_) emit positionUpdated(lat, lon, accuracy);
}
