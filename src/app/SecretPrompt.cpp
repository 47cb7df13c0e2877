#include "SecretPrompt.h"

#include "ShellBridge.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SecretPromptDialog::SecretPromptDialog(const QString& reason, PamAuthenticator::SecretReply reply,
                                       QWidget* parent)
    : QDialog(parent), reply_(std::move(reply)) {
    setObjectName(QStringLiteral("secretPrompt"));
    setWindowTitle(tr("QMRL Tessrook"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    reason_ = new QLabel(reason);
    reason_->setTextFormat(Qt::PlainText);
    reason_->setWordWrap(true);
    layout->addWidget(reason_);
    field_ = new QLineEdit;
    field_->setEchoMode(QLineEdit::Password);
    reason_->setBuddy(field_);
    layout->addWidget(field_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true); // Return in the field answers
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(340);
    field_->setFocus();
}

SecretPromptDialog::~SecretPromptDialog() {
    // Closed with its window (or by any other path that skipped the buttons): no secret.
    answer(std::nullopt);
}

QString SecretPromptDialog::reason() const {
    return reason_->text();
}

void SecretPromptDialog::accept() {
    QString secret = field_->text();
    field_->clear();
    answer(secret);
    secret.fill(QChar(0));
    QDialog::accept();
}

void SecretPromptDialog::reject() {
    field_->clear();
    answer(std::nullopt);
    QDialog::reject();
}

void SecretPromptDialog::answer(std::optional<QString> secret) {
    if (!reply_) return;
    auto reply = std::move(reply_);
    reply_ = nullptr;
    reply(std::move(secret));
}

namespace SecretPrompt {

PamAuthenticator::SecretPrompt make(std::function<QWidget*()> parentFor) {
    if (!parentFor) parentFor = &ShellBridge::firstMainWindow;
    return [parentFor](const QString& reason, PamAuthenticator::SecretReply reply) {
        QWidget* parent = parentFor();
        if (!parent) return reply(std::nullopt); // nothing to ask over: no secret
        auto* dialog = new SecretPromptDialog(reason, std::move(reply), parent);
        dialog->open();
    };
}

void install() {
    PamAuthenticator::setDefaultSecretPrompt(make());
}

} // namespace SecretPrompt
