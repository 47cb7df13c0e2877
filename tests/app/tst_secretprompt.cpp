// The privacy lock's password prompt with the real PAM check on the test's own PAM configuration: the
// right password unlocks, a wrong one or Cancel keeps the lock and Unlock asks again, closing the window
// with the prompt open keeps the lock, and every path answers exactly once.
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
        o.authenticator = std::make_shared<PamAuthenticator>("exec", pam.path());
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
        QLineEdit* field = prompt()->field();
        prompt()->accept();
        QVERIFY(!prompt() || field->text().isEmpty()); // the secret does not stay in the field
        m.unlock(); // the check is still out: ignored, no second prompt
        QTest::qWait(100);
        QVERIFY(window->findChildren<SecretPromptDialog*>().size() <= 1);
        QVERIFY(QTest::qWaitFor([&] { return !prompt(); }, 10000));
        // The failed check answers (PAM may pause after a failure); then Unlock asks again.
        QVERIFY(QTest::qWaitFor([&] {
            m.unlock();
            return prompt() != nullptr;
        }, 15000));
        QVERIFY(m.locked());
        QVERIFY(waitPrompt());
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
        QTest::qWait(50);
        QVERIFY(m.locked());
        m.unlock(); // the cancel answered: a new attempt asks again
        QVERIFY(waitPrompt());
        QTest::keyClicks(prompt()->field(), "correct horse");
        delete window.data(); // the window goes with the prompt open: no secret, still locked
        QTest::qWait(100);
        QVERIFY(m.locked());

        // With no window to ask over, the answer is no secret at once, and the lock holds.
        m.unlock();
        QTest::qWait(300);
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
