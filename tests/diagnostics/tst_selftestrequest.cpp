// The open-self-test request: a post with no object, and a receiver that hears only it while
// its context lives.
#include "HelpTopic.h"
#include "Notifications.h"
#include "SelfTestRequest.h"

#include <QSignalSpy>
#include <QtTest>

class SelfTestRequestTest : public QObject {
    Q_OBJECT
private slots:
    void postedWithoutObjectAndHeardOnlyWhileTheReceiverLives() {
        QSignalSpy spy(&Notifications::shared(), &Notifications::posted);
        int heard = 0;
        auto* receiver = new QObject;
        SelfTest::onOpenSelfTest(receiver, [&] { ++heard; });
        openSelfTest();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toString(), "qmrl.trk.openSelfTest");
        QCOMPARE(spy[0][1].toString(), "");
        openHelp(HelpTopic::trouble);
        Notifications::shared().post("qmrl.trk.openSelfTest.later");
        Notifications::shared().post("qmrl.trk.openSelfTest", "anything"); // an object changes nothing
        QCOMPARE(heard, 2);
        delete receiver;
        openSelfTest();
        QCOMPARE(heard, 2);
    }
};

QTEST_GUILESS_MAIN(SelfTestRequestTest)
#include "tst_selftestrequest.moc"
