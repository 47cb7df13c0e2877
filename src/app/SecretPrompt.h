#pragma once
// The privacy lock's password prompt: a small window-modal dialog over the main window, opened with
// open() (a nested event loop would run timers and the Mini-start closes inside it). Whatever happens
// to it (OK, Cancel, Escape, closing it or its window), it replies exactly once.
#include "PamAuthenticator.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

class SecretPromptDialog : public QDialog {
    Q_OBJECT
public:
    SecretPromptDialog(const QString& reason, PamAuthenticator::SecretReply reply, QWidget* parent);
    ~SecretPromptDialog() override;

    QLineEdit* field() const { return field_; }
    QString reason() const;

    void accept() override;
    void reject() override;

private:
    void answer(std::optional<QString> secret);

    QLabel* reason_;
    QLineEdit* field_;
    PamAuthenticator::SecretReply reply_;
};

namespace SecretPrompt {
// The prompt for every PAM authenticator: over the window `parentFor` returns, or no secret at once
// when it returns none. The default finds the main window.
PamAuthenticator::SecretPrompt make(std::function<QWidget*()> parentFor = {});
void install(); // PamAuthenticator::setDefaultSecretPrompt(make())
} // namespace SecretPrompt
