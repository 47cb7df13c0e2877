// The privacy lock's password prompt with the real PAM check on the test's own PAM configuration: the
// right password unlocks, a wrong one brings the prompt back saying so, Cancel keeps the lock and Unlock
// asks again, closing the window with the prompt open keeps the lock, and every path answers once.
#include "AppTest.h"
#include "PamAuthenticator.h"
#include "SecretPrompt.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QtTest>

class SecretPromptTest : public QObject {
    Q_OBJECT
    QTemporaryDir pam{QDir::tempPath() + "/tessrook-pam-XXXXXX"}; // PAM splits its lines on spaces
    fixture::Rig rig;
    QPointer<QMainWindow> window;

    WalkieModel& lockedModel() {
        Defaults::shared().setValue("requireUnlock", true);
        auto o = rig.options();
        // The account counts as having a password, whatever this machine's account has.
        o.authenticator = std::make_shared<PamAuthenticator>(
            "exec", pam.path(), [](const QString&) { return PamAuthenticator::Password::usable; });
        auto& m = rig.make(o);
        PamAuthenticator::setDefaultSecretPrompt(SecretPrompt::make([this] { return window.data(); }));
        return m;
    }
    SecretPromptDialog* prompt() const { return window ? window->findChild<SecretPromptDialog*>() : nullptr; }
    bool waitPrompt() {
        return QTest::qWaitFor([this] { return prompt() && prompt()->isVisible(); }, 10000);
    }

private slots:
    void initTestCase() {
        if (PamAuthenticator::currentUser().isEmpty()) QSKIP("this user has no account entry to check against");
        QFile script(pam.path() + "/check-secret.sh");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n[ \"$(tr -d '\\000')\" = 'correct horse' ]\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile service(pam.path() + "/exec");
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write("auth required pam_exec.so quiet expose_authtok " + script.fileName().toLocal8Bit() + "\n");
    }
    void init() {
        window = new QMainWindow;
        window->resize(600, 400);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    void cleanup() {
        delete window.data();
        rig.model.reset();
        PamAuthenticator::setDefaultSecretPrompt({});
        Defaults::shared().remove("requireUnlock");
    }

    void wrongThenRightPassword() {
        auto& m = lockedModel();
        QVERIFY(m.locked());
        m.unlock();
        QVERIFY(waitPrompt());
        QCOMPARE(prompt()->reason(), QString("Unlock your private channels"));
        QCOMPARE(prompt()->windowModality(), Qt::WindowModal);
        QCOMPARE(prompt()->field()->echoMode(), QLineEdit::Password);
        apptest::shoot(prompt(), "password-prompt");
        QTest::keyClicks(prompt()->field(), "wrong horse");
        QPointer<SecretPromptDialog> first = prompt();
        QLineEdit* field = first->field();
        first->accept();
        QVERIFY(!first || field->text().isEmpty()); // the secret does not stay in the field
        m.unlock(); // the check is still out: ignored, no second prompt
        QTest::qWait(100); // no second prompt may come in this time
        QVERIFY(window->findChildren<SecretPromptDialog*>().size() <= 1);
        // The failed check (PAM may pause after a failure) brings the prompt back, saying so.
        QVERIFY(QTest::qWaitFor([&] { return !first && prompt() && prompt()->isVisible(); }, 15000));
        QCOMPARE(prompt()->reason(),
                 QString("Unlock your private channels\n") + PamAuthenticator::wrongSecretLine());
        apptest::shoot(prompt(), "password-prompt-retry");
        QVERIFY(m.locked());
        QTest::keyClicks(prompt()->field(), "correct horse");
        QTest::keyClick(prompt()->field(), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!m.locked(), 10000);
    }

    void cancelEscapeAndClosingTheWindowKeepTheLock() {
        auto& m = lockedModel();
        m.unlock();
        QVERIFY(waitPrompt());
        QTest::keyClick(prompt(), Qt::Key_Escape);
        QTRY_VERIFY(!prompt());
        QTest::qWait(50); // the cancel's answer may not unlock in this time
        QVERIFY(m.locked());
        m.unlock(); // the cancel answered: a new attempt asks again
        QVERIFY(waitPrompt());
        QTest::keyClicks(prompt()->field(), "correct horse");
        delete window.data(); // the window goes with the prompt open: no secret, still locked
        QTest::qWait(100);    // the lock may not go in this time
        QVERIFY(m.locked());

        // With no window to ask over, the answer is no secret at once, and the lock holds.
        m.unlock();
        QTest::qWait(300); // the lock may not go in this time
        QVERIFY(m.locked());
        window = new QMainWindow;
        window->show();
        m.unlock(); // every earlier attempt answered: this one asks
        QVERIFY(waitPrompt());
        prompt()->reject();
        QTRY_VERIFY(!prompt());
        QVERIFY(m.locked());
    }

    // The dialog itself answers once, whatever happens to it.
    void repliesExactlyOnce() {
        int replies = 0;
        std::optional<QString> got;
        auto* d = new SecretPromptDialog("Why", [&](std::optional<QString> s) {
            ++replies;
            got = s;
        }, window);
        d->open();
        d->field()->setText("pw");
        d->accept();
        d->reject();
        delete d;
        QCOMPARE(replies, 1);
        QCOMPARE(got, std::optional<QString>(QString("pw")));
    }
};

APP_TEST_MAIN(SecretPromptTest)
#include "tst_secretprompt.moc"
