#pragma once
// Device-owner authentication through PAM for the current user. PAM runs on a worker thread; the
// answer comes back on the thread that asked. The secret comes from a prompt the GUI installs: with
// no prompt there is nothing to check, so authentication fails (it never unlocks by default).
#include "Authenticator.h"

#include <QString>
#include <functional>
#include <optional>

class PamAuthenticator : public Authenticator {
public:
    // The prompt receives the reason and must call `reply` exactly once, on the thread that asked,
    // with the secret or nothing (cancelled). It may reply later (a non-modal dialog).
    using SecretReply = std::function<void(std::optional<QString> secret)>;
    using SecretPrompt = std::function<void(const QString& reason, SecretReply reply)>;

    // The PAM service this program authenticates with. Without a file of that name in /etc/pam.d,
    // PAM uses its "other" service.
    static constexpr const char* defaultService = "qmrl-tessrook";

    // `configFolder` empty: the system's PAM configuration; otherwise PAM reads only that folder.
    explicit PamAuthenticator(QString service = QString::fromLatin1(defaultService),
                              QString configFolder = {});

    void setSecretPrompt(SecretPrompt prompt) { prompt_ = std::move(prompt); }
    // The prompt every authenticator without its own uses (the GUI sets it once at start-up).
    static void setDefaultSecretPrompt(SecretPrompt prompt);

    void authenticate(const QString& reason, std::function<void(Result)> done) override;

    static QString currentUser(); // the real user's login name, "" when it has none

private:
    QString service_;
    QString configFolder_;
    SecretPrompt prompt_;
};
