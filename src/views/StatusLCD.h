#pragma once
// The radio's status screen: the selected channel, what the radio is doing (standby, the talk clock,
// who is talking, channel busy), the input level, the safety code, the three links, SOS and the
// check-in countdown. Built once; every model change updates the rows in place.
#include "Finish.h"
#include "TalkState.h"

#include <QDateTime>
#include <QWidget>

#include <optional>

class LCDLabel;
class LCDScreen;
class LevelMeter;
class WalkieModel;

class StatusLCD : public QWidget {
    Q_OBJECT
public:
    StatusLCD(WalkieModel& model, const Finish& finish, bool compact = false, QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    const Finish& finish() const { return finish_; }
    bool compact() const { return compact_; }
    void refresh();

    // ---- what the rows say, from the model's values -------------------------------------------------
    // The big status line: "TX  mm:ss", "RX  " + text upper-cased, "CHANNEL BUSY", "STANDBY", "NO CHANNEL".
    static QString line1(const TalkState& talk, double talkSeconds, bool hasChannels);
    // "CHECK-IN m:ss" for the time left (whole seconds, never below 0; minutes go past 59); "" without
    // a deadline.
    static QString checkInText(const QDateTime& deadline, const QDateTime& now);
    // The meter: the live level while transmitting, half while receiving or busy, nothing while idle.
    static float meterLevel(const TalkState& talk, float level);
    // "ON CH n" when the relay reported a count for the channel, else none.
    static std::optional<QString> onChannelText(const std::optional<QString>& channelID,
                                                const QHash<QString, int>& peerCounts);
    QString line1() const;

    // The rows' labels, for tests and pictures.
    LCDLabel* channelLabel() const { return name_; }
    LCDLabel* line1Label() const { return line1_; }
    LCDLabel* safetyLabel() const { return safety_; }
    LCDLabel* netLabel() const { return net_; }
    LCDLabel* nearLabel() const { return near_; }
    LCDLabel* onChannelLabel() const { return onCh_; }
    LCDLabel* sosLabel() const { return sos_; }
    LCDLabel* checkInLabel() const { return checkIn_; }
    LevelMeter* meter() const { return meter_; }
    // The status line's font size now (it shrinks to at most half to fit).
    qreal line1FontSize() const { return line1Size_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitLine1();
    void applyFinish();

    WalkieModel& model_;
    Finish finish_;
    bool compact_;
    LCDScreen* screen_;
    LCDLabel* ch_;
    LCDLabel* name_;
    QWidget* lock_;
    LCDLabel* bits_;
    LCDLabel* line1_;
    LevelMeter* meter_;
    LCDLabel* safety_;
    LCDLabel* net_;
    LCDLabel* near_;
    LCDLabel* onCh_;
    LCDLabel* sos_;
    LCDLabel* checkIn_;
    qreal line1Size_ = 0;
};
