// Help topics by raw value, and how an open-help request travels from a poster to the main window.
#include "HelpTopic.h"
#include "Notifications.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

class HelpTopicTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void everyTopicRoundTripsThroughItsRawValueInChapterOrder() {
        const QStringList expected{"quickStart",  "channels", "invite", "join",    "safety",   "talking",
                                   "connections", "relay",    "sos",    "checkIn", "removing", "privacy",
                                   "trouble",     "controls", "look",   "miniMode"};
        const auto& topics = Help::allTopics();
        QCOMPARE(topics.size(), 16);
        for (int i = 0; i < topics.size(); ++i) {
            QCOMPARE(Help::rawValue(topics[i]), expected[i]);
            QCOMPARE(Help::id(topics[i]), expected[i]);
            QCOMPARE(Help::fromRaw(expected[i]), std::optional(topics[i]));
        }
    }

    void onlyExactRawValuesNameATopic() {
        QVERIFY(!Help::fromRaw("").has_value());
        QVERIFY(!Help::fromRaw("MiniMode").has_value());
        QVERIFY(!Help::fromRaw(" sos").has_value());
        QVERIFY(!Help::fromRaw("manual").has_value());
    }

    void theReceiverFallsBackToQuickStart() {
        QCOMPARE(Help::topicForRequest(QString("miniMode")), HelpTopic::miniMode);
        QCOMPARE(Help::topicForRequest(QString("minimode")), HelpTopic::quickStart);
        QCOMPARE(Help::topicForRequest(QString()), HelpTopic::quickStart);
        QCOMPARE(Help::topicForRequest(QString("anything")), HelpTopic::quickStart);
        QCOMPARE(Help::topicForRequest(QVariant()), HelpTopic::quickStart);
        // A non-string object counts as the empty string, even when it would print as a topic.
        QCOMPARE(Help::topicForRequest(QVariant(QByteArray("sos"))), HelpTopic::quickStart);
        QCOMPARE(Help::topicForRequest(QVariant(8)), HelpTopic::quickStart);
    }

    void openHelpPostsTheRawValueUnderTheOneWordName() {
        QCOMPARE(Help::openHelpName(), QString("TessrookOpenHelp"));
        QSignalSpy spy(&Notifications::shared(), &Notifications::posted);
        openHelp(HelpTopic::checkIn);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toString(), QString("TessrookOpenHelp"));
        QCOMPARE(spy[0][1].toString(), QString("checkIn"));
    }

    void anObserverHearsOnlyOpenHelpRequestsWhileItLives() {
        QList<HelpTopic> heard;
        auto* receiver = new QObject;
        Help::onOpenHelp(receiver, [&](HelpTopic t) { heard << t; });
        openHelp(HelpTopic::look);
        Notifications::shared().post("qmrl.trk.openSelfTest");
        Notifications::shared().post("TessrookOpenHelp", "Look");
        Notifications::shared().post("TessrookOpenHelp"); // no object at all
        delete receiver;
        openHelp(HelpTopic::sos);
        QCOMPARE(heard, (QList<HelpTopic>{HelpTopic::look, HelpTopic::quickStart, HelpTopic::quickStart}));
    }
};

QTEST_GUILESS_MAIN(HelpTopicTest)
#include "tst_helptopic.moc"
