#pragma once
// The keyboard's press. The space bar keys the radio everywhere outside text fields, so Return and
// keypad Enter press the focused control instead: they click the focused button, flip the focused
// switch or checkbox and select the focused row. Text fields keep Return for themselves (send, confirm).
#include <QObject>
#include <QTimer>

#include <functional>

class QKeyEvent;

namespace KeyActivation {

// Return or keypad Enter with no modifier but the keypad's own.
bool isActivationKey(const QKeyEvent* event);

// Installs, once, the application-wide rule that Return and Enter click the focused button, once per
// press however long the key is held.
void install();

} // namespace KeyActivation

// Follows Return or Enter held down on one widget (the SOS button's hold). The X server repeats a held
// key as release+press pairs that are not always flagged as repeats, so a release only counts once no
// press follows it within a short grace.
class KeyHold : public QObject {
    Q_OBJECT
public:
    static constexpr int graceMs = 60;
    explicit KeyHold(QObject* parent = nullptr);

    std::function<void()> pressed;  // a new press of the key
    std::function<void()> released; // the key really came up (or the widget lost it)

    bool isDown() const { return down_; }
    // Feed the widget's key events; true when the event was the activation key (and is used up).
    bool keyPress(const QKeyEvent* event);
    bool keyRelease(const QKeyEvent* event);
    // The widget lost focus or went away: a held key ends now.
    void drop();

private:
    void releasedNow();
    QTimer grace_;
    bool down_ = false;
};
