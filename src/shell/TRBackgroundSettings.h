#pragma once
// The settings section "Open at login & Mini mode": the open-at-login switch with its status, approval
// button and error line, the start-in-Mini choice, how the program behaves with its window closed, and
// a button that shows or hides the mini panel.
#include <QGroupBox>

class QCheckBox;
class QLabel;
class QPushButton;
class TRLoginItem;
class TRMiniPanel;

class TRBackgroundSettings : public QGroupBox {
    Q_OBJECT
public:
    explicit TRBackgroundSettings(TRLoginItem* login = nullptr, TRMiniPanel* mini = nullptr,
                                  QWidget* parent = nullptr);

    QCheckBox* openAtLoginToggle() const { return wanted_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* approvalButton() const { return approval_; }
    QLabel* errorLabel() const { return error_; }
    QCheckBox* startMiniToggle() const { return startMini_; }
    QLabel* noteLabel() const { return note_; }
    QPushButton* miniButton() const { return miniButton_; }

    static QString note();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void sync();
    TRLoginItem& login_;
    TRMiniPanel& mini_;
    QCheckBox* wanted_;
    QLabel* status_;
    QPushButton* approval_;
    QLabel* error_;
    QCheckBox* startMini_;
    QLabel* note_;
    QPushButton* miniButton_;
};
