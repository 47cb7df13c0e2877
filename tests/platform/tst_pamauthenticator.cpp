// The privacy lock's PAM check, driven by PAM configurations written into a temporary folder: only
// a service that cannot start or an account without a usable password unlocks without a secret, the
// secret the prompt gives is the one PAM checks, a wrong one brings the prompt back saying so, and
// every answer arrives on the thread that asked.
#include "PamAuthenticator.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <unistd.h>

using Result = Authenticator::Result;
using R = std::optional<Result>;
using Password = PamAuthenticator::Password;

namespace {
// The account's password as the tests want it, whatever the machine's account really has.
PamAuthenticator::PasswordLookup usable = [](const QString&) { return Password::usable; };
} // namespace

class PamAuthenticatorTest : public QObject {
    Q_OBJECT
    QTemporaryDir config;

    void service(const QString& name, const QByteArray& lines) {
        QFile f(config.path() + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(lines);
    }

    // Runs one authentication and waits for its single answer.
    struct Outcome {
        std::optional<Result> result;
        int answers = 0;
        bool onCallingThread = false;
        QStringList reasonsAsked;
    };
    Outcome run(Authenticator& auth, int timeoutMs = 10000) {
        Outcome o;
        QThread* me = QThread::currentThread();
        auth.authenticate("Unlock your private channels", [&o, me](Result r) {
            o.result = r;
            ++o.answers;
            o.onCallingThread = QThread::currentThread() == me;
        });
        (void)QTest::qWaitFor([&o] { return o.result.has_value(); }, timeoutMs);
        QTest::qWait(50); // no second answer may come in this time
        return o;
    }

    // Gives the secrets in turn, then cancels.
    PamAuthenticator::SecretPrompt answer(QStringList secrets, QStringList* reasons) {
        auto left = std::make_shared<QStringList>(std::move(secrets));
        return [left, reasons](const QString& reason, PamAuthenticator::SecretReply reply) {
            reasons->append(reason);
            reply(left->isEmpty() ? std::nullopt : std::optional<QString>(left->takeFirst()));
        };
    }
    static QString retry() {
        return QStringLiteral("Unlock your private channels\n") + PamAuthenticator::wrongSecretLine();
    }

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        if (PamAuthenticator::currentUser().isEmpty()) QSKIP("this user has no account entry to check against");
        service("permit", "auth required pam_permit.so\n");
        service("deny", "auth required pam_deny.so\n");
        service("unix", "auth required pam_unix.so nodelay\n");
        // pam_exec hands the secret to the script on standard input (NUL-terminated).
        QFile script(config.path() + "/check-secret.sh");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n[ \"$(tr -d '\\000')\" = 'correct horse' ]\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        service("exec",
                "auth required pam_exec.so quiet expose_authtok " + script.fileName().toLocal8Bit() + "\n");
    }

    void aServiceThatCannotStartUnlocksWithoutAsking() {
        QTemporaryDir empty; // no service and no "other" in here: PAM cannot start
        PamAuthenticator auth("tessrook-nonexistent", empty.path(), usable);
        QStringList asked;
        auth.setSecretPrompt(answer({"anything"}, &asked));
        const auto o = run(auth);
        QCOMPARE(o.result, R(Result::cannotEvaluate));
        QCOMPARE(o.answers, 1);
        QVERIFY(o.onCallingThread);
        QVERIFY(asked.isEmpty());
    }

    void withoutPromptOrSecretItFails() {
        PamAuthenticator auth("permit", config.path(), usable);
        auto o = run(auth); // no prompt anywhere: even a permissive service does not unlock
        QCOMPARE(o.result, R(Result::failed));

        QStringList asked;
        auth.setSecretPrompt(answer({}, &asked)); // the user cancelled
        o = run(auth);
        QCOMPARE(o.result, R(Result::failed));
        QCOMPARE(asked, QStringList{"Unlock your private channels"});
    }

    void theServiceDecides() {
        QStringList asked;
        PamAuthenticator permit("permit", config.path(), usable);
        permit.setSecretPrompt(answer({"x"}, &asked));
        auto o = run(permit);
        QCOMPARE(o.result, R(Result::success));
        QCOMPARE(o.answers, 1);
        QVERIFY(o.onCallingThread);

        asked.clear();
        PamAuthenticator deny("deny", config.path(), usable);
        deny.setSecretPrompt(answer({"x"}, &asked));
        QCOMPARE(run(deny).result, R(Result::failed));
        QCOMPARE(asked, QStringList({"Unlock your private channels", retry()}));
    }

    // The prompt comes back after a wrong secret, saying so, and the next right one unlocks.
    void aWrongSecretAsksAgainUntilRightOrCancelled() {
        QStringList asked;
        PamAuthenticator auth("exec", config.path(), usable);
        auth.setSecretPrompt(answer({"wrong horse", "correct horse"}, &asked));
        auto o = run(auth);
        QCOMPARE(o.result, R(Result::success));
        QCOMPARE(o.answers, 1);
        QCOMPARE(asked, QStringList({"Unlock your private channels", retry()}));

        asked.clear();
        PamAuthenticator users("unix", config.path(), usable); // the real user database
        users.setSecretPrompt(
            answer({QString("not the password %1").arg(QRandomGenerator::global()->generate())}, &asked));
        QCOMPARE(run(users).result, R(Result::failed));
        QCOMPARE(asked.size(), 2);
    }

    // Locked or unset, no password could pass: the lock opens without asking, whatever the service.
    void anAccountWithoutAUsablePasswordUnlocksWithoutAsking() {
        QStringList asked;
        QString looked;
        PamAuthenticator auth("deny", config.path(), [&looked](const QString& user) {
            looked = user;
            return Password::none;
        });
        auth.setSecretPrompt(answer({"x"}, &asked));
        const auto o = run(auth);
        QCOMPARE(o.result, R(Result::cannotEvaluate));
        QVERIFY(o.onCallingThread);
        QVERIFY(asked.isEmpty());
        QCOMPARE(looked, PamAuthenticator::currentUser());

        // Not knowing is not "none": PAM decides.
        PamAuthenticator unknown("deny", config.path(), [](const QString&) { return Password::unknown; });
        unknown.setSecretPrompt(answer({}, &asked));
        QCOMPARE(run(unknown).result, R(Result::failed));
        QCOMPARE(asked.size(), 1);
    }

    // The real lookup on real accounts: system accounts are locked on Debian; our own account's status
    // agrees with the password tool, and with the default lookup a locked account unlocks at once.
    void theRealLookupReadsLockedAccounts() {
        QCOMPARE(PamAuthenticator::passwordOf(""), Password::unknown);
        QCOMPARE(PamAuthenticator::passwordOf("-S"), Password::unknown);
        QCOMPARE(PamAuthenticator::passwordOf("tessrook-no-such-user"), Password::unknown);
        const QString me = PamAuthenticator::currentUser();
        const Password mine = PamAuthenticator::passwordOf(me);
        if (geteuid() == 0) {
            QCOMPARE(PamAuthenticator::passwordOf("daemon"), Password::none); // "*" in the shadow file
        }
        if (mine != Password::none) QSKIP("this account has a usable password: nothing locked to open");
        QStringList asked;
        PamAuthenticator auth("deny", config.path()); // the default lookup
        auth.setSecretPrompt(answer({"x"}, &asked));
        QCOMPARE(run(auth).result, R(Result::cannotEvaluate));
        QVERIFY(asked.isEmpty());
    }

    void theDefaultPromptServesAuthenticatorsWithoutTheirOwn() {
        QStringList asked;
        PamAuthenticator::setDefaultSecretPrompt(answer({"correct horse"}, &asked));
        PamAuthenticator auth("exec", config.path(), usable);
        QCOMPARE(run(auth).result, R(Result::success));
        QCOMPARE(asked.size(), 1);
        PamAuthenticator::setDefaultSecretPrompt({});
        QCOMPARE(run(auth).result, R(Result::failed));
    }

    void aPromptReplyingLaterIsWaitedFor() {
        PamAuthenticator auth("exec", config.path(), usable);
        auth.setSecretPrompt([](const QString&, PamAuthenticator::SecretReply reply) {
            QTimer::singleShot(200, [reply] {
                reply(QString("correct horse"));
                reply(QString("wrong horse")); // a stray second reply changes nothing
            });
        });
        const auto o = run(auth);
        QCOMPARE(o.result, R(Result::success));
        QCOMPARE(o.answers, 1);
    }
};

QTEST_GUILESS_MAIN(PamAuthenticatorTest)
#include "tst_pamauthenticator.moc"
