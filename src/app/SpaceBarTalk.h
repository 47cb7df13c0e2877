#pragma once
// The space bar as a push-to-talk key in every window of the program (main window, sheets, mini
// panel). One application-wide filter acts on each key event once, at the window stage, before any
// widget (a focused button never sees the space). It stands aside while text is being typed, while a
// popup is open, while the privacy lock holds and when there is no model.
// A hold is one press and one release whatever the repeat flags say: X is asked (at launch, for every
// key) to send repeats as presses alone, presses while held are ignored, and a release that a press of
// the key follows within one event-loop turn is taken for a repeat the toolkit missed (X sends both
// together).
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;
class WalkieModel;

class SpaceBarTalk : public QObject {
    Q_OBJECT
public:
    // `model` returns the live model or null; the default is WalkieModel::shared().
    explicit SpaceBarTalk(std::function<WalkieModel*()> model = {}, QObject* parent = nullptr);
    ~SpaceBarTalk() override;

    void install();   // as the application's event filter
    bool held() const { return held_; }

    // Whether typing in `focus` takes a space: text fields, spin boxes, editable combo boxes and key
    // sequence editors, looked for through zoom hosts to the widget focused inside them.
    static bool editsText(QWidget* focus);
    static QWidget* effectiveFocus(QWidget* focus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applicationStateChanged(Qt::ApplicationState state);
    void settleRelease(); // the release waited one turn and no press followed: it was real
    void endHold();

    std::function<WalkieModel*()> model_;
    bool held_ = false; // our press keyed the radio and no real release has come
    bool installed_ = false;
    bool releasePending_ = false;
};
