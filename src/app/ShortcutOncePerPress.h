#pragma once
// Shortcuts act once per press of their keys. With the server's detectable auto-repeat on (the space
// bar needs it), a held key arrives as presses alone, which Qt does not flag as repeats: a held
// Ctrl+Shift+M flipped Mini Mode at the repeat rate and a held Ctrl+? asked for help again behind the
// sheet it had opened. A press of a key that is still down is a repeat here, and its shortcut is held
// back by answering the override as a focus widget that wants the key would.
#include <QHash>
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
    // Native scan codes of keys down, with the time of the press that put each down: the one press is
    // handed from view to scene to widget and seen more than once.
    QHash<quint32, quint64> down_;
};
