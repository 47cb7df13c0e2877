#pragma once
// The first-run guide, shown as a sheet of the main window: a call sign, then a channel made or
// joined, then what to do next. It only drives the model and calls the presenter's two actions; its
// only ways out are its buttons (no Escape, and Return presses nothing).
#include "Finish.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class WalkieModel;

class WelcomeGuide : public QDialog {
    Q_OBJECT
public:
    WelcomeGuide(WalkieModel& model, const Finish& finish, std::function<void()> openHelp,
                 std::function<void()> done, QWidget* parent = nullptr);

    int step() const { return step_; }
    // Any value but 0 and 1 shows the ready page.
    void setStep(int step);

    QLabel* stepLabel() const { return stepLabel_; }
    QLineEdit* nameField() const { return nameField_; }
    QLineEdit* channelField() const { return channelField_; }
    QLineEdit* inviteField() const { return inviteField_; }
    QStackedWidget* pages() const { return pages_; }

public slots:
    void reject() override {} // Escape does nothing: the buttons are the exits

protected:
    void showEvent(QShowEvent* event) override;
    // The window's own close button does nothing either; a close by the presenter closes.
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* callSignPage();
    QWidget* channelPage();
    QWidget* readyPage();
    QPushButton* button(const QString& text, bool prominent, QWidget* parent);

    WalkieModel& model_;
    Finish finish_;
    const std::function<void()> openHelp_;
    const std::function<void()> done_;
    int step_ = 0;
    QLabel* stepLabel_;
    QStackedWidget* pages_;
    QLineEdit* nameField_ = nullptr;
    QLineEdit* channelField_ = nullptr;
    QLineEdit* inviteField_ = nullptr;
};
