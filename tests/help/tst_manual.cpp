// The manual's table: one chapter per topic, texts fit for this platform, the keys it names against the
// menus', and the search the help window lists.
#include "KeyShortcuts.h"
#include "Manual.h"
#include "QMZoomCommands.h"
#include "Symbols.h"

#include <QAction>
#include <QApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

namespace {

QStringList ids(const QList<HelpChapter>& chapters) {
    QStringList out;
    for (const HelpChapter& c : chapters)
        out.append(c.id);
    return out;
}

const HelpSection& section(HelpTopic topic, int n) {
    return Manual::chapter(topic).sections.at(n - 1);
}

// Every text of the table a reader sees, tips included.
QStringList allTexts() {
    QStringList out;
    for (const HelpChapter& c : Manual::chapters()) {
        out << c.title;
        for (const HelpSection& s : c.sections) {
            out << s.heading << s.steps;
            if (s.tip) out << *s.tip;
        }
    }
    return out;
}

} // namespace

class ManualTest : public QObject {
    Q_OBJECT

private slots:
    // First, so it really races the one-time construction.
    void concurrentFirstAccessesShareOneTable() {
        const QList<const QList<HelpChapter>*> seen = QtConcurrent::blockingMapped(
            QList<int>{0, 1, 2, 3, 4, 5, 6, 7}, [](int) { return &Manual::chapters(); });
        for (const auto* t : seen)
            QCOMPARE(t, &Manual::chapters());
    }

    // One chapter per topic in topic order, each drawable and with no empty or repeated parts.
    void tableFollowsTheTopics() {
        QStringList topicIDs;
        for (HelpTopic t : Help::allTopics()) {
            topicIDs << Help::rawValue(t);
            QCOMPARE(Manual::chapter(t).id, Help::rawValue(t));
        }
        QCOMPARE(ids(Manual::chapters()), topicIDs);
        for (const HelpChapter& c : Manual::chapters()) {
            QVERIFY2(Symbols::has(c.icon), qPrintable(c.icon));
            QSet<QString> headings;
            for (const HelpSection& s : c.sections) {
                QVERIFY2(!s.steps.isEmpty(), qPrintable(s.heading));
                QVERIFY2(!headings.contains(s.heading), qPrintable(c.id + ": " + s.heading));
                headings.insert(s.heading);
                for (const QString& step : s.steps)
                    QVERIFY(!step.trimmed().isEmpty());
            }
        }
        QVERIFY(Symbols::has(QStringLiteral("lightbulb.fill")));
    }

    // Straight double quotes, never curly ones; nothing names the other platform's mechanisms; the
    // autostart folder is named from HOME (set by main()) with ~.
    void textsSuitThisPlatform() {
        const QString all = allTexts().join(QLatin1Char('\n'));
        for (const char* curly : {"“", "”", "‘", "’"})
            QVERIFY2(!all.contains(QString::fromUtf8(curly)), curly);
        for (const char* gone : {"macOS", "Command", "Face ID", "menu bar icon", "Login Items",
                                 "Applications folder", "System Settings ▸"})
            QVERIFY2(!all.contains(QString::fromUtf8(gone)), gone);
        // The computer is a computer here, not the other platform's machine.
        QVERIFY(!all.contains(QRegularExpression(QStringLiteral("\\bMacs?\\b"))));
        QVERIFY(section(HelpTopic::miniMode, 3).tip->contains(QStringLiteral("(~/.config/autostart)")));
        QVERIFY(section(HelpTopic::miniMode, 3).steps[2].contains(QStringLiteral(" ~/.config/autostart)")));
    }

    // Each named key is what the menus bind, as this platform writes it.
    void keysAreTheMenusKeys() {
        const auto native = [](const QKeySequence& k) { return k.toString(QKeySequence::NativeText); };
        QVERIFY(
            section(HelpTopic::trouble, 1).steps[0].contains("(" + native(KeyShortcuts::selfTest()) + ")"));
        QVERIFY(
            section(HelpTopic::miniMode, 1).steps[2].contains("press " + native(KeyShortcuts::quit()) + ","));
        QVERIFY(section(HelpTopic::miniMode, 2)
                    .steps[0]
                    .contains("press " + native(KeyShortcuts::miniMode()) + ","));

        // The zoom steps name the modifier alone: what the zoom commands' shortcut shows before its key.
        QMZoomCommands zoom;
        const QList<QAction*> actions{zoom.zoomInAction(), zoom.zoomOutAction(), zoom.actualSizeAction()};
        for (int i = 0; i < actions.size(); ++i) {
            const QString keys = native(actions[i]->shortcut());
            const qsizetype plus = keys.indexOf('+');
            QVERIFY2(section(HelpTopic::look, 2)
                         .steps[i]
                         .contains("press " + keys.left(plus) + " and " + keys.mid(plus + 1) + " ("),
                     qPrintable(section(HelpTopic::look, 2).steps[i]));
        }
    }

    void searchListsChaptersByTitleHeadingOrStep() {
        QCOMPARE(ids(Manual::search(QString())), ids(Manual::chapters()));
        QCOMPARE(ids(Manual::search("passphrase")), (QStringList{"quickStart", "channels", "trouble"}));
        QCOMPARE(ids(Manual::search("PassPhrase")), (QStringList{"quickStart", "channels", "trouble"}));
        QCOMPARE(ids(Manual::search("zoom")), (QStringList{"controls", "look"}));
        const QStringList beep = ids(Manual::search("beep"));
        QVERIFY(beep.size() >= 3);
        QCOMPARE(ids(Manual::search("BEEP")), beep);
        // Only in tips: never listed.
        QCOMPARE(ids(Manual::search("hikes")), QStringList());
        QCOMPARE(ids(Manual::search("applications folder")), QStringList());
        // A heading alone lists its chapter; a title alone too.
        QCOMPARE(ids(Manual::search("radio etiquette")), QStringList{"talking"});
        QCOMPARE(ids(Manual::search("removing someone")), (QStringList{"invite", "removing"}));
        // Spaces count: a title's first word found untrimmed only where a space stands before it.
        QCOMPARE(ids(Manual::search("troubleshooting")), QStringList{"trouble"});
        QCOMPARE(ids(Manual::search(" troubleshooting")), QStringList());
        // A word in many places lists each chapter once, in table order.
        const QStringList the = ids(Manual::search("the"));
        QCOMPARE(the, ids(Manual::chapters()));
    }
};

int main(int argc, char** argv) {
    // A home folder of our own, so the autostart folder is known and named with ~.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QApplication app(argc, argv);
    ManualTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_manual.moc"
