#include "PamAuthenticator.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <memory>

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

namespace {

QMutex defaultPromptLock;
PamAuthenticator::SecretPrompt& defaultPrompt() {
    static PamAuthenticator::SecretPrompt prompt;
    return prompt;
}

struct Conversation {
    QByteArray user;
    QByteArray secret;
};

// Answers password prompts with the secret and name prompts with the user; messages need no answer.
int converse(int count, const struct pam_message** messages, struct pam_response** responses, void* data) {
    if (count <= 0 || count > PAM_MAX_NUM_MSG || !responses) return PAM_CONV_ERR;
    auto* conv = static_cast<Conversation*>(data);
    auto* out = static_cast<pam_response*>(std::calloc(size_t(count), sizeof(pam_response)));
    if (!out) return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const char* answer = nullptr;
        switch (messages[i]->msg_style) {
        case PAM_PROMPT_ECHO_OFF:
            answer = conv->secret.constData();
            break;
        case PAM_PROMPT_ECHO_ON:
            answer = conv->user.constData();
            break;
        default:
            break;
        }
        if (answer) {
            out[i].resp = strdup(answer);
            if (!out[i].resp) {
                for (int j = 0; j < i; ++j) {
                    if (out[j].resp) {
                        explicit_bzero(out[j].resp, std::strlen(out[j].resp));
                        std::free(out[j].resp);
                    }
                }
                std::free(out);
                return PAM_BUF_ERR;
            }
        }
    }
    *responses = out;
    return PAM_SUCCESS;
}

int startPam(const QByteArray& service, const QByteArray& folder, const QByteArray& user, pam_conv* conv,
             pam_handle_t** handle) {
    if (folder.isEmpty()) return pam_start(service.constData(), user.constData(), conv, handle);
    return pam_start_confdir(service.constData(), user.constData(), conv, folder.constData(), handle);
}

// Runs `work` on a thread of its own and hands its result to `deliver` on the thread that called this.
void runOffThread(std::function<Authenticator::Result()> work,
                  std::function<void(Authenticator::Result)> deliver) {
    auto* home = new QObject; // lives on the calling thread; carries the answer back
    QThread* worker = QThread::create([work = std::move(work), deliver = std::move(deliver), home]() mutable {
        const auto result = work();
        QMetaObject::invokeMethod(
            home,
            [deliver = std::move(deliver), result, home] {
                home->deleteLater();
                deliver(result);
            },
            Qt::QueuedConnection);
    });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

} // namespace

PamAuthenticator::PamAuthenticator(QString service, QString configFolder, PasswordLookup lookup)
    : service_(std::move(service)), configFolder_(std::move(configFolder)), lookup_(std::move(lookup)) {
    if (!lookup_) lookup_ = &PamAuthenticator::passwordOf;
}

PamAuthenticator::Password PamAuthenticator::passwordOf(const QString& user) {
    if (user.isEmpty() || user.startsWith(u'-')) return Password::unknown;
    // Not on a user's PATH everywhere: look where Debian puts it too.
    QString tool = QStandardPaths::findExecutable(QStringLiteral("passwd"));
    if (tool.isEmpty())
        tool = QStandardPaths::findExecutable(QStringLiteral("passwd"),
                                              {QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
    if (tool.isEmpty()) return Password::unknown;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.start(tool, {QStringLiteral("-S"), user});
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(1000);
        return Password::unknown;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return Password::unknown;
    // "name STATUS date min max warn inactive"; only the first line of our own account counts.
    const QByteArray out = p.readAllStandardOutput().left(4096);
    const QList<QByteArray> fields = out.split('\n').value(0).simplified().split(' ');
    if (fields.size() < 2 || QString::fromLocal8Bit(fields.at(0)) != user) return Password::unknown;
    if (fields.at(1) == "P") return Password::usable;
    if (fields.at(1) == "L" || fields.at(1) == "NP") return Password::none;
    return Password::unknown;
}

void PamAuthenticator::setDefaultSecretPrompt(SecretPrompt prompt) {
    QMutexLocker l(&defaultPromptLock);
    defaultPrompt() = std::move(prompt);
}

QString PamAuthenticator::currentUser() {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found || !found->pw_name)
        return {};
    return QString::fromLocal8Bit(found->pw_name);
}

void PamAuthenticator::authenticate(const QString& reason, std::function<void(Result)> done) {
    const QByteArray service = service_.toUtf8();
    const QByteArray folder = configFolder_.toLocal8Bit();
    const QByteArray user = currentUser().toLocal8Bit();
    SecretPrompt prompt = prompt_;
    if (!prompt) {
        QMutexLocker l(&defaultPromptLock);
        prompt = defaultPrompt();
    }

    // Step 1: can a PAM service be started at all, and has the account a password that could pass?
    // Only when one of them fails is the check impossible.
    auto probe = [service, folder, user, lookup = lookup_]() {
        if (user.isEmpty()) return Result::cannotEvaluate;
        if (lookup(QString::fromLocal8Bit(user)) == Password::none) return Result::cannotEvaluate;
        Conversation nothing;
        pam_conv conv{converse, &nothing};
        pam_handle_t* handle = nullptr;
        const int rc = startPam(service, folder, user, &conv, &handle);
        if (rc != PAM_SUCCESS) {
            if (handle) pam_end(handle, rc);
            return Result::cannotEvaluate;
        }
        pam_end(handle, PAM_SUCCESS);
        return Result::success;
    };

    // Step 2: ask for the secret on this thread, then check it with PAM off the thread.
    auto check = [service, folder, user](QByteArray secret) {
        Conversation c{user, secret};
        secret.fill('\0');
        pam_conv conv{converse, &c};
        pam_handle_t* handle = nullptr;
        int rc = startPam(service, folder, user, &conv, &handle);
        Result result = Result::failed;
        if (rc == PAM_SUCCESS) {
            rc = pam_authenticate(handle, 0);
            result = rc == PAM_SUCCESS ? Result::success : Result::failed;
            pam_end(handle, rc);
        } else if (handle) {
            pam_end(handle, rc);
        }
        c.secret.fill('\0');
        return result;
    };

    // One prompt after another until the right secret or a cancel; each check runs off the thread.
    struct Attempts : std::enable_shared_from_this<Attempts> {
        QString reason;
        SecretPrompt prompt;
        std::function<Result(QByteArray)> check;
        std::function<void(Result)> done;

        void ask(const QString& text) {
            auto self = shared_from_this();
            auto answered = std::make_shared<bool>(false);
            prompt(text, [self, answered](std::optional<QString> secret) {
                if (*answered) return; // a second reply is ignored: done runs exactly once
                *answered = true;
                if (!secret) return self->done(Result::failed);
                QByteArray bytes = secret->toUtf8();
                secret->fill(QChar(0));
                runOffThread([check = self->check, bytes]() mutable { return check(std::move(bytes)); },
                             [self](Result r) {
                                 if (r == Result::success) return self->done(r);
                                 self->ask(self->reason + u'\n' + wrongSecretLine());
                             });
            });
        }
    };

    runOffThread(probe, [reason, prompt, check, done](Result startable) {
        if (startable == Result::cannotEvaluate) return done(Result::cannotEvaluate);
        if (!prompt) return done(Result::failed);
        auto attempts = std::make_shared<Attempts>();
        attempts->reason = reason;
        attempts->prompt = prompt;
        attempts->check = check;
        attempts->done = done;
        attempts->ask(reason);
    });
}

std::shared_ptr<Authenticator> makeSystemAuthenticator() {
    return std::make_shared<PamAuthenticator>();
}
