#pragma once
// The SOS sheet: raise and cancel this unit's SOS, arm and clear the check-in timer, and follow the
// alerts of other units, one card each. The presenter opens it window-modal with open(); Close,
// Escape and the window's close button call the presenter's `done`, and it never closes itself.
// Every action is one model call; the panel keeps no state of the radio's.
#include "Finish.h"
#include "SheetDialog.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPointer>

#include <optional>

class AlertCard;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class WalkieModel;

class SOSPanel : public SheetDialog {
    Q_OBJECT
public:
    // The model stays the caller's; the panel only reads it and calls its operations.
    SOSPanel(WalkieModel* model, const Finish& finish, std::function<void()> done = {},
             QWidget* parent = nullptr);
    ~SOSPanel() override;

    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish); // re-skins in place, hands the finish to every card
    // Brings every text, enabled and visible state and the card list up to the model's values.
    void refresh();

    // The check-in choices in minutes, in the order of their buttons.
    static constexpr int checkInChoices[4] = {15, 30, 60, 120};
    // "15 min", "1 hr": minutes below an hour, whole hours from an hour on.
    static QString choiceLabel(int minutes);
    // "Waiting for someone to respond…" or "Responding: " and the names joined by ", ".
    static QString responderLine(const QStringList& responders);

    // The alert cards in the order shown (newest alert first).
    QList<AlertCard*> cards() const;

private:
    void build();
    void refreshOwnSOS();
    void refreshCheckIn();
    void refreshAlerts();
    void applyFinish();

    QPointer<WalkieModel> model_;
    Finish finish_;
    std::optional<QDateTime> shownDeadline_; // none until the first refresh

    QLabel* icon_ = nullptr;
    QGroupBox* ownBox_ = nullptr;
    QLabel* ownTitle_ = nullptr;
    QLabel* responders_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* silent_ = nullptr;
    QWidget* deadlineForm_ = nullptr;
    QLabel* deadlineText_ = nullptr;
    QWidget* choicesForm_ = nullptr;
    QLabel* noAlerts_ = nullptr;
    QVBoxLayout* cardList_ = nullptr;
    QList<AlertCard*> order_;
    QHash<quint64, AlertCard*> byID_;
};
