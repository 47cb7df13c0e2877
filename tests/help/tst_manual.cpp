// The manual's table: its shape, the texts that must stand as written or as changed for this
// platform, the keys it names against the menus', and the search the help window lists.
#include "KeyShortcuts.h"
#include "Manual.h"
#include "QMZoomCommands.h"
#include "Symbols.h"

#include <QAction>
#include <QApplication>
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
        QCOMPARE(Manual::chapters(), Manual::chapters());
        QCOMPARE(Manual::appName, QStringLiteral("Tessrook"));
    }

    void tableHasItsShapeInTopicOrder() {
        const auto& chapters = Manual::chapters();
        QCOMPARE(chapters.size(), 16);
        QStringList topicIDs;
        for (HelpTopic t : Help::allTopics()) {
            topicIDs << Help::rawValue(t);
            QCOMPARE(Manual::chapter(t).id, Help::rawValue(t));
        }
        QCOMPARE(ids(chapters), topicIDs);

        int sections = 0, steps = 0, tips = 0, numbered = 0, important = 0;
        QSet<QString> chaptersWithImportant;
        for (const HelpChapter& c : chapters) {
            QVERIFY2(Symbols::has(c.icon), qPrintable(c.icon));
            QSet<QString> headings;
            for (const HelpSection& s : c.sections) {
                ++sections;
                steps += int(s.steps.size());
                tips += s.tip ? 1 : 0;
                numbered += s.numbered ? 1 : 0;
                QVERIFY2(!s.steps.isEmpty(), qPrintable(s.heading));
                QVERIFY2(!headings.contains(s.heading), qPrintable(c.id + ": " + s.heading));
                headings.insert(s.heading);
                for (const QString& step : s.steps)
                    QVERIFY(!step.trimmed().isEmpty());
                if (s.heading == QLatin1String("Important")) {
                    ++important;
                    chaptersWithImportant.insert(c.id);
                }
            }
        }
        QCOMPARE(sections, 45);
        QCOMPARE(steps, 152);
        QCOMPARE(tips, 10);
        QCOMPARE(numbered, 13);
        QCOMPARE(important, 2);
        QCOMPARE(chaptersWithImportant, (QSet<QString>{"invite", "sos"}));
        QVERIFY(Symbols::has(QStringLiteral("lightbulb.fill")));

        const QList<int> perChapter{2, 5, 3, 2, 1, 3, 2, 2, 5, 1, 1, 2, 8, 3, 2, 3};
        for (int i = 0; i < 16; ++i)
            QCOMPARE(int(chapters[i].sections.size()), perChapter[i]);
        QCOMPARE(chapters[15].title, QString::fromUtf8("Mini mode & open at login"));
        QCOMPARE(chapters[15].icon, QStringLiteral("rectangle.portrait.on.rectangle.portrait"));
    }

    // Typography as written: the single-character marks, straight double quotes, never curly ones.
    // (The one "▸" stood in a path of the other platform's settings, which this one does not have.)
    void textsKeepTheirCharacters() {
        const QString all = allTexts().join(QLatin1Char('\n'));
        for (const char* mark : {"›", "…", "\""})
            QVERIFY2(all.contains(QString::fromUtf8(mark)), mark);
        for (const char* curly : {"“", "”", "‘", "’"})
            QVERIFY2(!all.contains(QString::fromUtf8(curly)), curly);
        QCOMPARE(section(HelpTopic::trouble, 2).heading,
                 QStringLiteral("\"Unknown channel / key mismatch\""));
        QCOMPARE(
            section(HelpTopic::channels, 2).steps[3],
            QStringLiteral("Passphrase: at least 8 characters; a few words is best, like \"tin hollow maple "
                           "lane\". Every character matters, including capitals. Tick Show to check what "
                           "you typed."));
        QCOMPARE(section(HelpTopic::checkIn, 1).steps[3],
                 QStringLiteral("If you don't, your SOS is sent automatically, marked \"missed check-in\"."));
        QCOMPARE(
            section(HelpTopic::trouble, 1).steps[2],
            QString::fromUtf8("Help menu › Show Debug Log opens a log of every connection event (no keys, "
                              "no audio)."));
    }

    // What describes the other platform's mechanisms reads as what stands in for them here.
    void mechanismsReadAsThisPlatformHasThem() {
        const QString all = allTexts().join(QLatin1Char('\n'));
        for (const char* gone : {"macOS", "Command", "Face ID", "menu bar icon", "Login Items",
                                 "Applications folder", "System Settings ▸"})
            QVERIFY2(!all.contains(QString::fromUtf8(gone)), gone);
        QCOMPARE(Manual::chapter(HelpTopic::trouble).sections[3].heading,
                 QStringLiteral("What to allow on this computer"));
        QCOMPARE(section(HelpTopic::privacy, 1).steps[5],
                 QStringLiteral("Turn on Require my password to open in Setup so nobody can open the app on "
                                "your unlocked device."));
        QCOMPARE(section(HelpTopic::trouble, 3).steps[0],
                 QStringLiteral("Look at the status under the Channel bank. It says what's wrong: no unit "
                                "heard, key mismatch, or the firewall blocking the app."));
        QCOMPARE(
            section(HelpTopic::miniMode, 2).steps[0],
            QStringLiteral("Click Mini in the top panel, or press Ctrl+Shift+M, or choose Mini Mode in the "
                           "tray icon."));
        // HOME and the settings folder are set by main(): the autostart folder is named with ~.
        QCOMPARE(
            *section(HelpTopic::miniMode, 3).tip,
            QStringLiteral("To stop it opening at login, turn the switch off in Setup, or remove it in your "
                           "desktop's startup applications (~/.config/autostart). It works best when the "
                           "app stays where it was when you turned this on."));
        QVERIFY(section(HelpTopic::miniMode, 3).steps[2].contains(QStringLiteral(" ~/.config/autostart)")));
    }

    // Each named key is what the menus bind, as this platform writes it.
    void keysAreTheMenusKeys() {
        const auto native = [](const QKeySequence& k) { return k.toString(QKeySequence::NativeText); };
        QCOMPARE(native(KeyShortcuts::selfTest()), QStringLiteral("Ctrl+Shift+T"));
        QCOMPARE(
            section(HelpTopic::trouble, 1).steps[0],
            QString::fromUtf8("Help menu › Connection Self-Test… (Ctrl+Shift+T). It checks the channel key, "
                              "microphone, LAN, Nearby, relay and the firewall, and says in plain words what "
                              "to fix."));
        QVERIFY(
            section(HelpTopic::miniMode, 1).steps[2].contains("press " + native(KeyShortcuts::quit()) + ","));
        QVERIFY(section(HelpTopic::miniMode, 2)
                    .steps[0]
                    .contains("press " + native(KeyShortcuts::miniMode()) + ","));

        // The zoom steps name the modifier alone: what the zoom commands' shortcut shows before its key.
        QMZoomCommands zoom;
        const struct {
            QAction* action;
            const char* key;
            const char* expected;
        } rows[] = {
            {zoom.zoomInAction(), "+", "Zoom In: View > Zoom In, or press Ctrl and + (plus)."},
            {zoom.zoomOutAction(), "-", "Zoom Out: View > Zoom Out, or press Ctrl and - (minus)."},
            {zoom.actualSizeAction(), "0",
             "Back to normal: View > Actual Size (100%), or press Ctrl and 0 (zero)."},
        };
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(native(rows[i].action->shortcut()), "Ctrl+" + QLatin1String(rows[i].key));
            QCOMPARE(section(HelpTopic::look, 2).steps[i], QString::fromUtf8(rows[i].expected));
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
