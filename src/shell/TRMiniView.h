#pragma once
// What the mini panel shows: the whole radio in 300 x 492 points. A header with three round keys (back
// to the full window, hide, quit), a small status screen (channel, who is online, link lights, mute),
// the push-to-talk button, a talk line with a lamp, the last text message, a one-line message field
// with a send key and a hint line. It drives the model only through push-to-talk and sending texts.
#include "Finish.h"
#include "TRTalk.h"
#include "TalkState.h"

#include <QConicalGradient>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QAbstractButton;
class QLineEdit;
class LCDLabel;
class LED;
class PTTButton;
class TRMiniPanel;
class TRMute;
class WalkieModel;

class TRMiniView : public QWidget {
    Q_OBJECT
public:
    TRMiniView(WalkieModel* model, TRMiniPanel* panel, TRMute* mute, QWidget* parent = nullptr);
    ~TRMiniView() override;

    // What the texts read of the model.
    struct Snapshot {
        bool hasChannel = false;
        QString channelName;
        bool locked = false;
        TalkState talk;
        std::optional<int> online; // the model's online count for the selected channel
        int lanUnits = 0;
        int nearbyPeers = 0;
        bool relayUp = false;
        static Snapshot of(const WalkieModel& model);
    };
    static QString talkText(const Snapshot& s, bool muted);
    static QString onlineText(const Snapshot& s);
    static QString footer(bool typing);
    // The one-line status of the tray menu's first item.
    static QString statusLine(const Snapshot& s);
    static QString statusLine(const WalkieModel& model);
    // Push-to-talk actions holding the target weakly.
    static TRTalk::Actions ptt(TRTalkTarget* target) { return TRTalk::actions(target); }
    // The polished ring's gradient, centred on `centre`.
    static QConicalGradient chrome(const QPointF& centre);

    Finish finish() const;
    bool talkReady() const; // not locked and a channel selected
    QString draft() const;
    void setDraft(const QString& text);
    bool typing() const; // the message field has the keyboard focus
    // Sends the trimmed draft on the selected channel, empties the field and drops its focus.
    void sendDraft();

    // The parts, for the panel and for tests.
    PTTButton* talkButton() const { return ptt_; }
    QLineEdit* messageField() const { return field_; }
    QAbstractButton* sendKey() const { return send_; }
    QAbstractButton* expandKey() const { return expandKey_; }
    QAbstractButton* hideKey() const { return hideKey_; }
    QAbstractButton* powerKey() const { return powerKey_; }
    QString channelLine() const;
    QString onlineLine() const;
    QString talkLine() const;
    QString footerLine() const;
    QString lastMessageLine() const; // "No messages yet" or "who: text"
    bool lastMessageOutgoing() const;
    bool mutedShown() const;
    bool talkLampOn() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Parts;
    void build();
    void refresh();
    void applyFinish();
    QPointer<WalkieModel> model_;
    QPointer<TRMiniPanel> panel_;
    TRMute& mute_;
    Finish finish_;
    PTTButton* ptt_ = nullptr;
    QLineEdit* field_ = nullptr;
    QAbstractButton* send_ = nullptr;
    QAbstractButton* expandKey_ = nullptr;
    QAbstractButton* hideKey_ = nullptr;
    QAbstractButton* powerKey_ = nullptr;
    std::unique_ptr<Parts> parts_;
};
