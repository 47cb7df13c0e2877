#pragma once
// The main window's content: the rack of hardware on a near-black background (or the lock screen while
// the model is locked), the notice banner over it, and the host of every sheet of the main window. It
// is the one receiver of the open-help and open-self-test requests while it lives.
#include "Channel.h"
#include "Finish.h"
#include "HelpTopic.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class ChannelBank;
class LockScreen;
class NoticeBanner;
class QAction;
class QHBoxLayout;
class QStackedLayout;
class ScrewedPanel;
class SOSModule;
class TalkModule;
class TopRack;
class WalkieModel;

class MacRoot : public QWidget {
    Q_OBJECT
public:
    using Done = std::function<void()>;
    // Sheets made by units outside the rack; each returns a new QDialog child of `parent` that calls
    // `done` when it wants to close. The host opens it window-modal with open() and deletes it after done.
    struct Sheets {
        std::function<QDialog*(QWidget* parent, Done done)> settings;
        std::function<QDialog*(QWidget* parent, Done done)> selfTest;
        std::function<QDialog*(QWidget* parent, HelpTopic start, Done done)> help;
        std::function<QDialog*(QWidget* parent, Done openHelp, Done done)> welcome;
    };
    explicit MacRoot(WalkieModel& model, Sheets sheets = {}, QWidget* parent = nullptr);
    ~MacRoot() override;

    void appeared();                      // the main window's non-spontaneous show ("on appear")
    void setMusicModule(QWidget* module); // put into the slot at the right of the transmission-log row
    QList<QAction*> sheetActions;         // menu actions the host adds to every sheet
    void setSheetActions(const QList<QAction*>& actions);

    // The sheets, in the order the host takes waiting requests.
    enum class Sheet { join, invite, edit, settings, help, welcome, sos, selfTest };

    // What the rack's keys and the receivers ask for.
    void openJoin();
    void openInvite(const Channel& channel);
    void openEdit(const Channel& channel);
    void openSettings();
    void openHelpAt(HelpTopic topic);

    // What is on screen.
    QDialog* openSheet() const { return sheet_; } // the one sheet, the SOS panel aside
    std::optional<Sheet> openSheetKind() const;
    QDialog* sosSheet() const { return sos_; }
    std::optional<HelpTopic> helpShownAt() const { return sheet_ ? shownTopic_ : std::nullopt; }
    bool waiting(Sheet sheet) const; // requested, not yet shown

    bool rackBuilt() const { return rack_ != nullptr; }
    // The height the rack needs at 100 %, also while the lock screen stands in its place.
    int rackHeightHint() const;
    LockScreen* lockScreen() const { return lock_; }
    TopRack* topRack() const { return top_; }
    ChannelBank* channelBank() const { return bank_; }
    TalkModule* talkModule() const { return talk_; }
    SOSModule* sosModule() const { return sosModule_; }
    ScrewedPanel* logPanel() const { return log_; }
    NoticeBanner* banner() const { return banner_; }
    const Finish& finish() const { return finish_; }
    // The part of the root the user sees: the zoom host's view when the root sits in one.
    QRect visibleArea() const;

    static QString welcomedKey() { return QStringLiteral("welcomed"); }
    static QString finishKey() { return QStringLiteral("finish"); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Probe {
        int musicHeight = 0; // the music module's, when there is one
    };
    MacRoot(WalkieModel& model, Probe probe); // the rack alone, to be measured
    void buildRack();
    void orderFocus();
    void unlocked();
    void applyFinish();
    void placeBanner();
    void watchView();

    bool wanted(Sheet s) const;
    void clear(Sheet s);
    QDialog* make(Sheet s, QWidget* parent);
    void present(Sheet s, QDialog* dialog);
    void retire(QDialog* dialog);
    void sync();
    QWidget* sheetParent() const;
    // Whether the window can take a sheet now: a sheet mapped before its window is not kept above it
    // by a window manager. Until then it watches for the window's first exposure.
    bool windowReady();
    void bringSheetForward(); // the topmost sheet above its window, with the keyboard
    void welcomeDone();
    void welcomeOpenHelp();

    WalkieModel& model_;
    Sheets sheets_;
    QString finishID_;
    Finish finish_;

    QStackedLayout* stack_;
    QWidget* lockPage_ = nullptr;
    LockScreen* lock_ = nullptr;
    QWidget* rack_ = nullptr;
    TopRack* top_ = nullptr;
    ChannelBank* bank_ = nullptr;
    TalkModule* talk_ = nullptr;
    SOSModule* sosModule_ = nullptr;
    ScrewedPanel* log_ = nullptr;
    QList<QWidget*> logParts_; // the engraved title, the tape and the messages panel
    QHBoxLayout* musicSlot_ = nullptr;
    QPointer<QWidget> music_;
    NoticeBanner* banner_;
    QPointer<QObject> watchedView_;
    QPointer<QObject> watchedWindow_; // the sheets' window: exposure and activation

    // Sheet requests (the flags start closed with every new window).
    bool showJoin_ = false;
    std::optional<Channel> showInvite_;
    std::optional<Channel> showEdit_;
    bool showSettings_ = false;
    std::optional<HelpTopic> helpTopic_;
    bool showWelcome_ = false;
    bool showSelfTest_ = false;

    QPointer<QDialog> sheet_;
    Sheet sheetKind_ = Sheet::join;
    std::optional<HelpTopic> shownTopic_;
    QPointer<QDialog> sos_;
    bool appeared_ = false;
    bool syncing_ = false;
    bool again_ = false;
};
