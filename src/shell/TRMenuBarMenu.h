#pragma once
// The tray icon's menu: the radio's status line, the main window, the mini panel, the incoming-audio
// mute, the manual, the maker's web site and Quit. Its titles follow the model, the panel and the
// mute switch as they change, not only when the menu opens.
#include <QMenu>
#include <QPointer>

class QAction;
class TRMiniPanel;
class TRMute;
class WalkieModel;

class TRMenuBarMenu : public QMenu {
    Q_OBJECT
public:
    explicit TRMenuBarMenu(WalkieModel* model, TRMiniPanel* mini = nullptr, TRMute* mute = nullptr,
                           QWidget* parent = nullptr);

    QAction* statusAction() const { return status_; }
    QAction* showMainAction() const { return showMain_; }
    QAction* miniAction() const { return mini_; }
    QAction* muteAction() const { return mute_; }
    QAction* helpAction() const { return help_; }
    QAction* websiteAction() const { return website_; }
    QAction* quitAction() const { return quit_; }

    // How long after bringing the main window forward the help item asks for the manual.
    static constexpr int helpDelayMs = 300;
    // Ends the program at once, whatever windows are shown: every Quit (tray menu, power key, menus,
    // shortcut) comes here.
    static void quitApplication();
    static bool quitting(); // quitApplication() was called in this process

private:
    void updateStatus();
    void updateMini();
    QPointer<WalkieModel> model_;
    TRMiniPanel& panel_;
    TRMute& muteSwitch_;
    QAction* status_ = nullptr;
    QAction* showMain_ = nullptr;
    QAction* mini_ = nullptr;
    QAction* mute_ = nullptr;
    QAction* help_ = nullptr;
    QAction* website_ = nullptr;
    QAction* quit_ = nullptr;
};
