#pragma once
// The program's start-up and background behaviour: login-launch detection before any window shows,
// the space bar as push-to-talk, the start in Mini mode, reopening the main window when another copy
// is started, and invite links handed to the program.
#include <QObject>
#include <QStringList>
#include <functional>

class SpaceBarTalk;
class WalkieModel;

class MacDelegate : public QObject {
    Q_OBJECT
public:
    // Where the delegate reaches the shell; the defaults are the real shell. Tests replace them.
    struct Shell {
        std::function<void()> detectLaunch;
        std::function<bool()> openedAtLogin;
        std::function<bool()> loginWanted;
        std::function<bool()> loginStartsMini;
        std::function<void()> showMini;
        std::function<void()> closeMain;
        std::function<void()> showMain;
    };
    static Shell realShell();

    explicit MacDelegate(QStringList arguments, Shell shell = realShell(), QObject* parent = nullptr);
    ~MacDelegate() override;

    void applicationWillFinishLaunching(); // before any window shows
    void applicationDidFinishLaunching();  // the key filter, then background listening
    void reopen();                         // another copy was started ("activate")
    void openLinks(const QStringList& links);

    SpaceBarTalk* spaceBar() const { return spaceBar_; }
    // The Mini-start log line, or "" when this launch starts normally.
    QString miniStartLine() const;

    static constexpr int firstCloseMs = 200;
    static constexpr int secondCloseMs = 800;

private:
    void startBackgroundListening();

    QStringList arguments_;
    Shell shell_;
    SpaceBarTalk* spaceBar_ = nullptr;
};
