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
    QDialog::closeEvent(event);
}

void SheetDialog::makeDefault(QPushButton* button) {
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    button->setDefault(true);
}
