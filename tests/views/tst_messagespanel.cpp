// The messages panel on a real model: the six newest messages of every channel, newest on top, whole
// rows only in a short frame, one line per message, and the composer's placeholder, Send and Return.
#include "ViewFixture.h"

#include "MessagesPanel.h"

#include <QLineEdit>
#include <QPushButton>

using namespace fixture;

namespace {
bool reddish(QColor c) {
    return c.red() > c.blue() + 60 && c.red() > c.green() + 30;
}
bool bluish(QColor c) {
    return c.blue() > c.red() + 40;
}
} // namespace

class MessagesPanelTest : public QObject {
    Q_OBJECT
    Rig rig;

private slots:
    void init() { rig.renew(); }
    void cleanup() { rig.model.reset(); }

    void composer() {
        WalkieModel& m = *rig.model;
        MessagesPanel panel(m, Finish::all().first());
        QLineEdit* field = panel.field();
        QPushButton* send = panel.sendButton();
        QCOMPARE(field->placeholderText(), QStringLiteral("Join a channel to send messages"));
        field->setText(QStringLiteral("hello"));
        QVERIFY(!send->isEnabled());
        QTest::keyClick(field, Qt::Key_Return); // no channel: the text stays
        QCOMPARE(field->text(), QStringLiteral("hello"));
        QVERIFY(m.messages().isEmpty());

        m.createChannel(QStringLiteral("Crew"));
        QCOMPARE(field->placeholderText(), QStringLiteral("Text message to Crew (encrypted)"));
        QVERIFY(send->isEnabled());
        field->setText(QStringLiteral(" \t "));
        QVERIFY(!send->isEnabled());
        QTest::keyClick(field, Qt::Key_Return); // Return still sends: nothing goes, the field empties
        QCOMPARE(field->text(), QString());
        QVERIFY(m.messages().isEmpty());
        field->setText(QStringLiteral("on my way"));
        send->click();
        QCOMPARE(field->text(), QString());
        QCOMPARE(m.messages().size(), 1);
        QCOMPARE(panel.shownTexts(), QStringList{QStringLiteral("You · Crew: on my way")});

        // The placeholder follows the selection and a rename of the selected channel.
        m.createChannel(QStringLiteral("Base"));
        QCOMPARE(field->placeholderText(), QStringLiteral("Text message to Base (encrypted)"));
        m.editChannel(m.channels().last(), QStringLiteral("Base two"), std::nullopt);
        QCOMPARE(field->placeholderText(), QStringLiteral("Text message to Base two (encrypted)"));
    }

    void newestRowsThatFit() {
        WalkieModel& m = *rig.model;
        m.createChannel(QStringLiteral("Crew"));
        m.createChannel(QStringLiteral("Base"));
        const Channel crew = m.channels().first(), base = m.channels().last();
        const quint64 ann = 0xA11A11;
        for (int i = 0; i < 4; ++i)
            m.receiveSealed(
                sealed(crew, PacketKind::text, 100 + i, 1, ann, textPayload("Ann", QString::number(i))));
        m.sendText(QStringLiteral("line one\nline two"), base);
        m.receiveSealed(sealed(base, PacketKind::text, 200, 1, ann, textPayload("Ann", "five")));
        m.sendText(QStringLiteral("six"), crew);

        MessagesPanel panel(m, Finish::all().first());
        panel.resize(430, panel.sizeHint().height());
        panel.show();
        const QStringList six{QStringLiteral("You · Crew: six"),
                              QStringLiteral("Ann · Base: five"),
                              QStringLiteral("You · Base: line one line two"),
                              QStringLiteral("Ann · Crew: 3"),
                              QStringLiteral("Ann · Crew: 2"),
                              QStringLiteral("Ann · Crew: 1")};
        QCOMPARE(panel.shownTexts(), six);

        // Direction marks in the finish's colours: sent red (transmit), received blue (receive).
        const QImage img = views::render(&panel);
        auto markColour = [&](int row) {
            const int composer = panel.field()->height();
            const int y = composer + MessagesPanel::spacing +
                          row * (MessagesPanel::rowHeight + MessagesPanel::spacing) +
                          MessagesPanel::rowHeight / 2;
            QColor best = Qt::black;
            for (int x = 0; x < 12; ++x)
                for (int dy = -3; dy <= 3; ++dy) {
                    const QColor c = img.pixelColor(x, y + dy);
                    if (c.saturation() > best.saturation()) best = c;
                }
            return best;
        };
        QVERIFY(reddish(markColour(0)));
        QVERIFY(bluish(markColour(1)));

        // The 430 x 110 frame: the newest rows that fit whole, never half a row.
        panel.resize(430, 110);
        const int n = panel.shownRows();
        const int used = panel.field()->height() + n * (MessagesPanel::rowHeight + MessagesPanel::spacing);
        QVERIFY(n >= 2);
        QVERIFY(used <= 110);
        QVERIFY(used + MessagesPanel::rowHeight + MessagesPanel::spacing > 110);
        QCOMPARE(panel.shownTexts(), six.mid(0, n));
        for (const Finish& f : views::twoFinishes()) {
            panel.setFinish(f);
            views::shots(&panel, QStringLiteral("messages-110-") + f.id);
        }
        panel.resize(430, panel.sizeHint().height());
        views::shots(&panel, QStringLiteral("messages-six"));
    }
};

VIEW_TEST_MAIN(MessagesPanelTest)
#include "tst_messagespanel.moc"
