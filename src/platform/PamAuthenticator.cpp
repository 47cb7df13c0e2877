#include "PamAuthenticator.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QPointer>
#include <QThread>

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

PamAuthenticator::PamAuthenticator(QString service, QString configFolder)
    : service_(std::move(service)), configFolder_(std::move(configFolder)) {}

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

    // Step 1: can a PAM service be started at all? Only when it cannot is the check impossible.
    auto probe = [service, folder, user]() {
        if (user.isEmpty()) return Result::cannotEvaluate;
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

    runOffThread(probe, [reason, prompt, check, done](Result startable) {
        if (startable == Result::cannotEvaluate) return done(Result::cannotEvaluate);
        if (!prompt) return done(Result::failed);
        auto answered = std::make_shared<bool>(false);
        prompt(reason, [check, done, answered](std::optional<QString> secret) {
            if (*answered) return; // a second reply is ignored: done runs exactly once
            *answered = true;
            if (!secret) return done(Result::failed);
            QByteArray bytes = secret->toUtf8();
            secret->fill(QChar(0));
            runOffThread([check, bytes]() mutable { return check(std::move(bytes)); }, done);
        });
    });
}

std::shared_ptr<Authenticator> makeSystemAuthenticator() {
    return std::make_shared<PamAuthenticator>();
}
