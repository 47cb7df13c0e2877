#pragma once
// The text-message strip: a field and Send for the selected channel, and the six newest messages of all
// joined channels below, newest on top, each on one painted line. Given less height it shows the newest
// rows that fit whole. No frame or background of its own; colours from the finish.
#include "Finish.h"

#include <QWidget>

class QLineEdit;
class QPushButton;
class WalkieModel;
class MessageRow;

class MessagesPanel : public QWidget {
    Q_OBJECT
public:
    MessagesPanel(WalkieModel& model, const Finish& finish, QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    void refresh();
    // Sends the draft to the selected channel and clears it; with no channel the draft stays.
    void send();

    QLineEdit* field() const { return field_; }
    QPushButton* sendButton() const { return send_; }
    // How many message rows are shown now (at most maxRows, fewer when the height is short).
    int shownRows() const;
    // The row texts as shown, top first (for tests): "who · channel: text".
    QStringList shownTexts() const;

    static constexpr int maxRows = 6;
    static constexpr int rowHeight = 18;
    static constexpr int spacing = 4;

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Escape in the field gives the keyboard back to the window, so the space bar talks again.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutRows();

    WalkieModel& model_;
    Finish finish_;
    QLineEdit* field_;
    QPushButton* send_;
    QList<MessageRow*> rows_;
};
