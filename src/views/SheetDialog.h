#pragma once
// The base of the channel sheets: a dialog its presenter opens with open() and closes when the sheet
// calls `done`. The sheet never closes itself: Escape and the window's close button call `done` too.
// After `done` a handler must not touch the sheet again (the presenter may have deleted it).
// The presenter closes it with close(), hide(), accept() or deleteLater(); reject() is the Escape key.
#include <QDialog>

#include <functional>

class QHBoxLayout;
class QLineEdit;
class QMessageBox;
class QPushButton;

class SheetDialog : public QDialog {
    Q_OBJECT
public:
    explicit SheetDialog(std::function<void()> done, QWidget* parent = nullptr);

    // Escape: asks the presenter to close the sheet.
    void reject() override;

protected:
    // Calls the presenter's `done`; without one the sheet hides itself.
    void requestDone();
    void closeEvent(QCloseEvent* event) override;
    // Return presses `button` only while it is enabled; every other button gives up auto-default.
    void makeDefault(QPushButton* button);
    // A hidden passphrase field ("passphrase") beside its "Show" check box ("showPassphrase"), which
    // switches the echo mode of the one field, so its text and cursor stay.
    QHBoxLayout* passphraseRow(const QString& placeholder, QLineEdit*& field);
    // A button whose action deletes or locks out: its label in red.
    static void markDestructive(QPushButton* button);
    // A window-modal warning titled `title` (plain text: it may hold a channel name) with `action` and
    // Cancel, which Return and Escape press; `confirmed` runs only after `action` was clicked. While one
    // is open a second request does nothing.
    void askToConfirm(const QString& title, const QString& detail, const QString& action,
                      const QString& actionName, std::function<void()> confirmed);
    // The open warning, or null.
    QMessageBox* confirmation() const { return confirm_; }

private:
    std::function<void()> done_;
    QMessageBox* confirm_ = nullptr;
};
