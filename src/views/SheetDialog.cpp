#include "SheetDialog.h"

#include <QCloseEvent>
#include <QPushButton>

SheetDialog::SheetDialog(std::function<void()> done, QWidget* parent)
    : QDialog(parent), done_(std::move(done)) {
    setWindowModality(Qt::WindowModal);
}

void SheetDialog::reject() {
    requestDone();
}

void SheetDialog::requestDone() {
    if (done_) {
        // Copied first: the presenter may delete this sheet (and its members) inside the call.
        const auto done = done_;
        done();
        return;
    }
    QDialog::done(QDialog::Rejected);
}

void SheetDialog::closeEvent(QCloseEvent* event) {
    // The window's close button asks the presenter; a close the presenter makes itself goes through.
    if (event->spontaneous() && done_) {
        event->ignore();
        requestDone();
        return;
    }
    // The presenter's own close() just closes: QDialog's handler would call reject() and so `done`
    // again, and keep the sheet open.
    event->accept();
}

void SheetDialog::makeDefault(QPushButton* button) {
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    button->setDefault(true);
}

void SheetDialog::markDestructive(QPushButton* button) {
    QPalette pal = button->palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, QColor(0xff, 0x6b, 0x63));
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, QColor(0xff, 0x6b, 0x63));
    button->setPalette(pal);
}
