#pragma once
// Device-owner authentication through PAM for the current user. PAM runs on a worker thread; the
// answer comes back on the thread that asked. The secret comes from a prompt the GUI installs: with
// no prompt there is nothing to check, so authentication fails (it never unlocks by default).
// An account without a usable password (locked or unset) cannot be checked at all: no password could
// ever pass, so that counts as "cannot evaluate" and the lock opens. A wrong password brings the
// prompt back with a line saying so, until the right one or a cancel.
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

    // Whether an account's password can be used to log in, read without asking for it.
    enum class Password { usable, none, unknown };
    using PasswordLookup = std::function<Password(const QString& user)>;

    // `configFolder` empty: the system's PAM configuration; otherwise PAM reads only that folder.
    // `lookup` empty: passwordOf().
    explicit PamAuthenticator(QString service = QString::fromLatin1(defaultService),
                              QString configFolder = {}, PasswordLookup lookup = {});

    void setSecretPrompt(SecretPrompt prompt) { prompt_ = std::move(prompt); }
    // The prompt every authenticator without its own uses (the GUI sets it once at start-up).
    static void setDefaultSecretPrompt(SecretPrompt prompt);

    void authenticate(const QString& reason, std::function<void(Result)> done) override;

    static QString currentUser(); // the real user's login name, "" when it has none
    // What the password tool's status tells of `user` (L: locked, NP: none), without root for one's
    // own account; unknown when the tool is missing or may not say.
    static Password passwordOf(const QString& user);
    // The line added to the prompt after a wrong password.
    static QString wrongSecretLine() { return QStringLiteral("That password didn't work. Try again."); }

private:
    QString service_;
    QString configFolder_;
    PasswordLookup lookup_;
    SecretPrompt prompt_;
};
