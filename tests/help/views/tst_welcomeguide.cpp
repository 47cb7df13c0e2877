// The first-run guide on a real model without links: what each page does to the model, that its
// only exits are its buttons, and that Return in a field presses nothing.
#include "ModelFixture.h"
#include "Shots.h"
#include "ViewFixture.h"
#include "WelcomeGuide.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

namespace {

QPushButton* buttonOn(WelcomeGuide& g, int page, const QString& title) {
    for (QPushButton* b : g.pages()->widget(page)->findChildren<QPushButton*>())
        if (b->text() == title) return b;
    return nullptr;
}

void click(WelcomeGuide& g, int page, const QString& title) {
    QPushButton* b = buttonOn(g, page, title);
    QVERIFY2(b && b->isVisible(), qPrintable(title));
    QTest::mouseClick(b, Qt::LeftButton);
}

QStringList channelNames(const WalkieModel& m) {
    QStringList out;
    for (const Channel& c : m.channels())
        out << c.name;
    return out;
}

} // namespace

class WelcomeGuideTest : public QObject {
    Q_OBJECT

    fixture::Rig rig;
    int done = 0, openHelp = 0;
    std::unique_ptr<WelcomeGuide> guide;

    WelcomeGuide& open() {
        guide = std::make_unique<WelcomeGuide>(
            *rig.model, Finish::all().first(), [this] { ++openHelp; }, [this] { ++done; });
        guide->show();
        return *guide;
    }

private slots:
    void init() {
        rig.renew();
        rig.model->setDisplayName(QStringLiteral("Bronco 1"));
        done = openHelp = 0;
    }

    void cleanup() {
        guide.reset();
        rig.model.reset();
    }

    void opensOnTheCallSignWithTheCurrentOne() {
        WelcomeGuide& g = open();
        QCOMPARE(g.stepLabel()->text(), QStringLiteral("Step 1 of 3"));
        QCOMPARE(g.pages()->currentIndex(), 0);
        QCOMPARE(g.nameField()->text(), QStringLiteral("Bronco 1"));
        QCOMPARE(g.channelField()->text(), QStringLiteral("Crew"));
        views::saveShot(g.grab().toImage(), QStringLiteral("welcome-1-callsign"));
    }

    void nextStoresOnlyACallSignThatWasTyped() {
        WelcomeGuide& g = open();
        g.nameField()->clear();
        click(g, 0, "Next");
        QCOMPARE(rig.model->displayName(), QStringLiteral("Bronco 1"));
        QCOMPARE(g.stepLabel()->text(), QStringLiteral("Step 2 of 3"));
        QCOMPARE(g.pages()->currentIndex(), 1);
        views::saveShot(g.grab().toImage(), QStringLiteral("welcome-2-channel"));

        // Typed text goes to the model as typed, spaces and all.
        WelcomeGuide& again = open();
        again.nameField()->setText(QStringLiteral(" Ranger 2 "));
        click(again, 0, "Next");
        QCOMPARE(rig.model->displayName(), QStringLiteral(" Ranger 2 "));
    }

    void createMakesTheChannelAndShowsTheReadyPage() {
        WelcomeGuide& g = open();
        g.setStep(1);
        click(g, 1, "Create");
        QCOMPARE(channelNames(*rig.model), QStringList{"Crew"});
        QCOMPARE(g.stepLabel()->text(), QStringLiteral("Step 3 of 3"));
        QCOMPARE(g.pages()->currentIndex(), 2);
        QCOMPARE(done, 0);
        views::saveShot(g.grab().toImage(), QStringLiteral("welcome-3-ready"));
        // Any step past the channel page is the ready page.
        g.setStep(7);
        QCOMPARE(g.pages()->currentIndex(), 2);
    }

    void joinMovesOnOnlyWhenTheModelTakesTheLink() {
        WelcomeGuide& g = open();
        g.setStep(1);
        click(g, 1, "Join");
        QCOMPARE(g.stepLabel()->text(), QStringLiteral("Step 2 of 3"));
        g.inviteField()->setText(QStringLiteral("qmtalk://join?v=1&n=Crew&k=short"));
        click(g, 1, "Join");
        QCOMPARE(g.stepLabel()->text(), QStringLiteral("Step 2 of 3"));
        QCOMPARE(g.inviteField()->text(), QStringLiteral("qmtalk://join?v=1&n=Crew&k=short"));
        QVERIFY(rig.model->channels().isEmpty());

        const Channel other = fixture::channel(QStringLiteral("Westover Crew"));
        g.inviteField()->setText(other.inviteLink());
        click(g, 1, "Join");
        QCOMPARE(g.stepLabel()->text(), QStringLiteral("Step 3 of 3"));
        QCOMPARE(rig.model->channels().size(), 1);
        QCOMPARE(rig.model->channels().first().channelID(), other.channelID());
        QCOMPARE(done + openHelp, 0);
    }

    // The exits call the presenter's actions and nothing else; the guide never closes itself.
    void exitsAreTheButtonsAlone() {
        WelcomeGuide& g = open();
        g.setStep(1);
        click(g, 1, "Skip for now");
        QCOMPARE(done, 1);
        QCOMPARE(openHelp, 0);
        QVERIFY(rig.model->channels().isEmpty());
        QCOMPARE(rig.model->displayName(), QStringLiteral("Bronco 1"));
        QVERIFY(g.isVisible());

        g.setStep(2);
        click(g, 2, "Open the full manual");
        QCOMPARE(openHelp, 1);
        QCOMPARE(done, 1);
        click(g, 2, "Start");
        QCOMPARE(done, 2);

        QTest::keyClick(&g, Qt::Key_Escape);
        QTest::keyClick(g.nameField(), Qt::Key_Escape);
        shots::windowManagerClose(g);
        QVERIFY(g.isVisible());
        QCOMPARE(done, 2);
        QCOMPARE(openHelp, 1);
        QCOMPARE(g.step(), 2);
        // The presenter closes it.
        QVERIFY(g.close());
        QVERIFY(!g.isVisible());
    }

    void returnInAFieldPressesNothing() {
        WelcomeGuide& g = open();
        for (QPushButton* b : g.findChildren<QPushButton*>()) {
            QVERIFY2(!b->autoDefault() && !b->isDefault(), qPrintable(b->text()));
        }
        g.nameField()->setText(QStringLiteral("Ranger 2"));
        QTest::keyClick(g.nameField(), Qt::Key_Return);
        QCOMPARE(g.step(), 0);
        QCOMPARE(rig.model->displayName(), QStringLiteral("Bronco 1"));

        g.setStep(1);
        for (QLineEdit* field : {g.channelField(), g.inviteField()}) {
            field->setFocus();
            QTest::keyClick(field, Qt::Key_Return);
            QTest::keyClick(field, Qt::Key_Enter);
        }
        QTest::keyClick(&g, Qt::Key_Return);
        QCOMPARE(g.step(), 1);
        QVERIFY(rig.model->channels().isEmpty());
        QCOMPARE(done + openHelp, 0);
    }
};

VIEW_TEST_MAIN(WelcomeGuideTest)

#include "tst_welcomeguide.moc"
