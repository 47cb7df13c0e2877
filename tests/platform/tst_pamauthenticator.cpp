// The privacy lock's PAM check, driven by PAM configurations written into a temporary folder: only
// a service that cannot start unlocks without a secret, the secret the prompt gives is the one PAM
// checks, and every answer arrives on the thread that asked.
#include "PamAuthenticator.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using Result = Authenticator::Result;
using R = std::optional<Result>;

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
        QTest::qWait(50); // a second answer would show here
        return o;
    }

    PamAuthenticator::SecretPrompt answer(std::optional<QString> secret, QStringList* reasons) {
        return [secret, reasons](const QString& reason, PamAuthenticator::SecretReply reply) {
            reasons->append(reason);
            reply(secret);
        };
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
        PamAuthenticator auth("tessrook-nonexistent", empty.path());
        QStringList asked;
        auth.setSecretPrompt(answer(QString("anything"), &asked));
        const auto o = run(auth);
        QCOMPARE(o.result, R(Result::cannotEvaluate));
        QCOMPARE(o.answers, 1);
        QVERIFY(o.onCallingThread);
        QVERIFY(asked.isEmpty());
    }

    void withoutPromptOrSecretItFails() {
        PamAuthenticator auth("permit", config.path());
        auto o = run(auth); // no prompt anywhere: even a permissive service does not unlock
        QCOMPARE(o.result, R(Result::failed));

        QStringList asked;
        auth.setSecretPrompt(answer(std::nullopt, &asked)); // the user cancelled
        o = run(auth);
        QCOMPARE(o.result, R(Result::failed));
        QCOMPARE(asked, QStringList{"Unlock your private channels"});
    }

    void theServiceDecides() {
        QStringList asked;
        PamAuthenticator permit("permit", config.path());
        permit.setSecretPrompt(answer(QString("x"), &asked));
        auto o = run(permit);
        QCOMPARE(o.result, R(Result::success));
        QCOMPARE(o.answers, 1);
        QVERIFY(o.onCallingThread);

        PamAuthenticator deny("deny", config.path());
        deny.setSecretPrompt(answer(QString("x"), &asked));
        QCOMPARE(run(deny).result, R(Result::failed));
    }

    void theSecretGivenIsTheOneChecked() {
        QStringList asked;
        PamAuthenticator auth("exec", config.path());
        auth.setSecretPrompt(answer(QString("correct horse"), &asked));
        QCOMPARE(run(auth).result, R(Result::success));
        auth.setSecretPrompt(answer(QString("wrong horse"), &asked));
        QCOMPARE(run(auth).result, R(Result::failed));
    }

    void aWrongPasswordFailsAgainstTheUserDatabase() {
        QStringList asked;
        PamAuthenticator auth("unix", config.path());
        auth.setSecretPrompt(
            answer(QString("not the password %1").arg(QRandomGenerator::global()->generate()), &asked));
        QCOMPARE(run(auth).result, R(Result::failed));
    }

    void theDefaultPromptServesAuthenticatorsWithoutTheirOwn() {
        QStringList asked;
        PamAuthenticator::setDefaultSecretPrompt(answer(QString("correct horse"), &asked));
        PamAuthenticator auth("exec", config.path());
        QCOMPARE(run(auth).result, R(Result::success));
        QCOMPARE(asked.size(), 1);
        PamAuthenticator::setDefaultSecretPrompt({});
        QCOMPARE(run(auth).result, R(Result::failed));
    }

    void aPromptReplyingLaterIsWaitedFor() {
        PamAuthenticator auth("exec", config.path());
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
