#pragma once
// The channel bank: the joined channels as rows to choose from, the chosen channel's link explanation
// and packet line, and the keys that create, join, edit and invite. Rows are kept per channel ID and
// updated in place, so a publish never rebuilds them.
#include "Channel.h"
#include "MetalPanel.h"

#include <QAbstractButton>
#include <QHash>

#include <functional>

class Engraved;
class HelpDot;
class QLabel;
class QMenu;
class QScrollArea;
class QVBoxLayout;
class RackButton;
class WalkieModel;

// One channel row: number, name, status line and the selection lamp, the whole row one click target.
class ChannelRow : public QAbstractButton {
    Q_OBJECT
public:
    ChannelRow(const Channel& channel, const Finish& finish, QWidget* parent = nullptr);
    const Channel& channel() const { return channel_; }
    void set(const Channel& channel, int index, bool selected, const QString& status);
    void setFinish(const Finish& finish);
    bool isSelectedRow() const { return selected_; }
    QString numberText() const { return number_; }
    QString statusText() const { return status_; }
    // The number as the row shows it: "01", "02", ... and three digits from 100 on.
    static QString number(int index);
    QSize sizeHint() const override { return {200, 46}; }
    QSize minimumSizeHint() const override { return {80, 46}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The two lines as they fit the row now, and where they go.
    struct Texts {
        QString name, status;
        bool nameCut = false, statusCut = false;
        qreal numberWidth = 0, lampLeft = 0, left = 0, width = 0;
    };
    Texts texts() const;
    static QFont numberFont();
    static QFont nameFont();
    static QFont statusFont();
    Channel channel_;
    Finish finish_;
    QString number_;
    QString status_;
    bool selected_ = false;
};

class ChannelBank : public ScrewedPanel {
    Q_OBJECT
public:
    using ChannelAction = std::function<void(const Channel&)>;
    ChannelBank(WalkieModel& model, const Finish& finish, std::function<void()> add, ChannelAction invite,
                ChannelAction edit = {}, QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    void refresh();

    // The rows in list order.
    QList<ChannelRow*> rows() const;
    // The secondary-click menu of a row; its actions hold the row's channel, not the row.
    QMenu* contextMenu(const Channel& channel);
    QLabel* linkLine() const { return link_; }
    QLabel* packetLine() const { return packet_; }
    QLabel* emptyText() const { return empty_; }
    RackButton* button(const QString& title) const;

    // The time text of the packet line: the standard time style, or "none yet".
    static QString packetText(const QDateTime& lastGood, int lanUnits);

private:
    void refreshRows();
    void refreshDetail();
    void styleTexts();

    WalkieModel& model_;
    std::function<void()> add_;
    ChannelAction invite_;
    ChannelAction edit_;
    Engraved* header_;
    HelpDot* help_;
    QLabel* empty_;
    QScrollArea* scroll_;
    QVBoxLayout* rowLayout_;
    QHash<QString, ChannelRow*> rows_;
    QList<ChannelRow*> order_;
    QWidget* detail_;
    QLabel* link_;
    QLabel* packet_;
    bool linkUp_ = false;
    RackButton* addKey_;
    RackButton* editKey_;
    RackButton* inviteKey_;
};
