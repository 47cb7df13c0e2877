#pragma once
// The one "mute incoming" switch: silences received voice in the radio model and nothing else. It
// starts off on every launch and is never stored.
#include <QObject>

class TRMute : public QObject {
    Q_OBJECT
public:
    static TRMute& shared();
    explicit TRMute(QObject* parent = nullptr);

    bool on() const { return on_; }
    // Copies the value into WalkieModel::shared() on every assignment, the same value too.
    void setOn(bool on);

signals:
    void onChanged(bool on);

private:
    bool on_ = false;
};
