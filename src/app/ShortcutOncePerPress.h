#pragma once
// Shortcuts act once per press of their keys. With the server's detectable auto-repeat on, a held key
// arrives as presses alone, which Qt does not flag as repeats: a held Ctrl+Shift+M flipped Mini Mode at
// the repeat rate and a held Ctrl+? asked for help again behind the sheet it had opened. A press of a key
// that is still down (the program's one record of keys down says so) is a repeat here, and its shortcut
// is held back by answering the override as a focus widget that wants the key would.
#include <QObject>

class ShortcutOncePerPress : public QObject {
    Q_OBJECT
public:
    explicit ShortcutOncePerPress(QObject* parent = nullptr);
    ~ShortcutOncePerPress() override;
    void install(); // on the application, once

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool installed_ = false;
};
