#include "SheetDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
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

QHBoxLayout* SheetDialog::passphraseRow(const QString& placeholder, QLineEdit*& field) {
    auto* row = new QHBoxLayout;
    field = new QLineEdit;
    field->setObjectName(QStringLiteral("passphrase"));
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(placeholder); // its only visible label
    field->setEchoMode(QLineEdit::Password);
    auto* show = new QCheckBox(tr("Show"));
    show->setObjectName(QStringLiteral("showPassphrase"));
    row->addWidget(field, 1);
    row->addWidget(show);
    QLineEdit* f = field;
    connect(show, &QCheckBox::toggled, f,
            [f](bool on) { f->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password); });
    return row;
}

void SheetDialog::markDestructive(QPushButton* button) {
    QPalette pal = button->palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, QColor(0xff, 0x6b, 0x63));
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, QColor(0xff, 0x6b, 0x63));
    button->setPalette(pal);
}

void SheetDialog::askToConfirm(const QString& title, const QString& detail, const QString& action,
                               const QString& actionName, std::function<void()> confirmed) {
    if (confirm_) return;
    confirm_ = new QMessageBox(this);
    confirm_->setIcon(QMessageBox::Warning);
    confirm_->setTextFormat(Qt::PlainText);
    confirm_->setWindowTitle(title);
    confirm_->setText(title);
    confirm_->setInformativeText(detail);
    QPushButton* yes = confirm_->addButton(action, QMessageBox::DestructiveRole);
    yes->setObjectName(actionName);
    QPushButton* cancel = confirm_->addButton(QMessageBox::Cancel);
    confirm_->setDefaultButton(cancel);
    confirm_->setEscapeButton(cancel);
    confirm_->setWindowModality(Qt::WindowModal);
    QPointer<QMessageBox> box = confirm_;
    connect(confirm_, &QMessageBox::finished, this, [this, box, yes, confirmed = std::move(confirmed)] {
        const bool ok = box && box->clickedButton() == yes;
        confirm_ = nullptr;
        if (box) box->deleteLater();
        if (ok) confirmed();
    });
    confirm_->open();
}
