// The help window: where it opens, how the sidebar's search and selection keep the chapter shown,
// how a chapter is laid out, and its one way out.
#include "ChapterView.h"
#include "HelpView.h"
#include "Shots.h"
#include "ViewFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest>

namespace {

QStringList rowIDs(const HelpView& v) {
    QStringList out;
    for (int i = 0; i < v.sidebar()->count(); ++i)
        out << v.sidebar()->item(i)->data(Qt::UserRole).toString();
    return out;
}

QString currentID(const HelpView& v) {
    const QListWidgetItem* item = v.sidebar()->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toString() : QString();
}

QPoint rowCentre(const HelpView& v, const QString& id) {
    const int row = int(rowIDs(v).indexOf(id));
    return v.sidebar()->visualItemRect(v.sidebar()->item(row)).center();
}

} // namespace

class HelpViewTest : public QObject {
    Q_OBJECT

private slots:
    void opensAtTheStartTopicWithItsRowSelected() {
        int done = 0;
        HelpView v(HelpTopic::sos, [&] { ++done; });
        // Until it appears it holds the quick start.
        QCOMPARE(v.selected(), QStringLiteral("quickStart"));
        QCOMPARE(v.chapterView()->chapter().id, QStringLiteral("quickStart"));
        v.show();
        QCOMPARE(v.selected(), QStringLiteral("sos"));
        QCOMPARE(v.chapterView()->chapter(), Manual::chapter(HelpTopic::sos));
        QCOMPARE(currentID(v), QStringLiteral("sos"));
        QCOMPARE(rowIDs(v).size(), 16);
        QCOMPARE(done, 0);

        // A click on another row shows that chapter.
        QTest::mouseClick(v.sidebar()->viewport(), Qt::LeftButton, {}, rowCentre(v, "talking"));
        QCOMPARE(v.selected(), QStringLiteral("talking"));
        QCOMPARE(v.chapterView()->chapter().id, QStringLiteral("talking"));
    }

    void searchAndDeselectionNeverChangeTheChapterShown() {
        HelpView v(HelpTopic::sos, [] {});
        v.show();
        ChapterView* shown = v.chapterView();

        // The search hides the selected row: the detail stays, no row is current.
        QTest::keyClicks(v.searchField(), "PASSPHRASE");
        QCOMPARE(v.search(), QStringLiteral("PASSPHRASE"));
        QCOMPARE(rowIDs(v), (QStringList{"quickStart", "channels", "trouble"}));
        QCOMPARE(v.chapterView(), shown);
        QCOMPARE(v.selected(), QStringLiteral("sos"));
        QCOMPARE(currentID(v), QString());
        // Focus entering the list makes a row current without choosing it.
        v.sidebar()->selectionModel()->setCurrentIndex(v.sidebar()->model()->index(0, 0),
                                                       QItemSelectionModel::NoUpdate);
        QCOMPARE(v.chapterView(), shown);
        // An arrow key chooses.
        QTest::keyClick(v.sidebar(), Qt::Key_Down);
        QCOMPARE(v.selected(), QStringLiteral("channels"));
        QTest::keyClick(v.sidebar(), Qt::Key_Up);
        QCOMPARE(v.selected(), QStringLiteral("quickStart"));
        v.searchField()->clear();
        QTest::mouseClick(v.sidebar()->viewport(), Qt::LeftButton, {}, rowCentre(v, "sos"));
        shown = v.chapterView();
        QCOMPARE(shown->chapter().id, QStringLiteral("sos"));
        v.searchField()->setText("passphrase");

        // Nothing matches: an empty list, the same detail.
        v.searchField()->setText("no such words anywhere");
        QCOMPARE(rowIDs(v), QStringList());
        QCOMPARE(v.chapterView(), shown);

        // Back to all: the row comes back selected, and the detail was never rebuilt.
        v.searchField()->clear();
        QCOMPARE(rowIDs(v).size(), 16);
        QCOMPARE(currentID(v), QStringLiteral("sos"));
        QCOMPARE(v.chapterView(), shown);

        // A search that keeps the selected row keeps it selected.
        v.searchField()->setText("SOS");
        QVERIFY(rowIDs(v).contains("sos"));
        QCOMPARE(currentID(v), QStringLiteral("sos"));
        v.searchField()->clear();

        // Deselecting the row (Ctrl-click, or clearing the selection) keeps the chapter and its row.
        QTest::mouseClick(v.sidebar()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(v, "sos"));
        QCOMPARE(v.selected(), QStringLiteral("sos"));
        QCOMPARE(v.chapterView(), shown);
        QCOMPARE(currentID(v), QStringLiteral("sos"));
        v.sidebar()->clearSelection();
        v.sidebar()->setCurrentRow(-1);
        QCOMPARE(v.selected(), QStringLiteral("sos"));
        QCOMPARE(v.chapterView(), shown);
    }

    // Every chapter as written: markers, plain selectable steps, a box for each tip and none without.
    void everyChapterIsLaidOutAsWritten() {
        for (const HelpChapter& chapter : Manual::chapters()) {
            ChapterView view(chapter);
            const auto title = view.findChild<QLabel*>("title");
            QCOMPARE(title->text(), chapter.title);
            QCOMPARE(title->textFormat(), Qt::PlainText);
            QVERIFY(!view.findChild<QLabel*>("icon")->pixmap().isNull());

            const auto headings = view.findChildren<QLabel*>("heading");
            const auto markers = view.findChildren<QLabel*>("marker");
            const auto steps = view.findChildren<QLabel*>("step");
            const auto tips = view.findChildren<TipBox*>();
            QCOMPARE(headings.size(), chapter.sections.size());
            int m = 0, t = 0;
            for (int s = 0; s < chapter.sections.size(); ++s) {
                const HelpSection& section = chapter.sections[s];
                QCOMPARE(headings[s]->text(), section.heading);
                for (int i = 0; i < section.steps.size(); ++i, ++m) {
                    QCOMPARE(markers[m]->text(),
                             section.numbered ? QString::number(i + 1) + "." : QString::fromUtf8("•"));
                    QCOMPARE(steps[m]->text(), section.steps[i]);
                    QCOMPARE(steps[m]->textFormat(), Qt::PlainText);
                    QVERIFY(steps[m]->textInteractionFlags() & Qt::TextSelectableByMouse);
                }
                if (section.tip) QCOMPARE(tips[t++]->text()->text(), *section.tip);
            }
            QCOMPARE(m, steps.size());
            QCOMPARE(t, tips.size());
        }
    }

    // Text that looks like markup stays text.
    void stepsAreNeverReadAsRichText() {
        HelpChapter c{"x", "<b>Bold?</b>", "sos", {{"<i>h</i>", {"a <b>b</b> &amp; c"}, true, "<u>tip</u>"}}};
        ChapterView view(c);
        view.resize(600, 400);
        view.show();
        QCOMPARE(view.findChild<QLabel*>("step")->text(), QStringLiteral("a <b>b</b> &amp; c"));
        QCOMPARE(view.findChild<QLabel*>("step")->textFormat(), Qt::PlainText);
        QCOMPARE(view.findChild<QLabel*>("heading")->textFormat(), Qt::PlainText);
        QCOMPARE(view.findChild<TipBox*>()->text()->textFormat(), Qt::PlainText);
        // Selected and copied as written.
        QLabel* step = view.findChild<QLabel*>("step");
        step->setSelection(0, int(step->text().size()));
        QCOMPARE(step->selectedText(), step->text());
    }

    void doneAndEscapeAskThePresenterAndNeverCloseTheSheet() {
        int done = 0;
        HelpView v(HelpTopic::quickStart, [&] { ++done; });
        v.show();
        QTest::mouseClick(v.doneButton(), Qt::LeftButton);
        QCOMPARE(done, 1);
        QTest::keyClick(&v, Qt::Key_Escape);
        QCOMPARE(done, 2);
        QVERIFY(v.isVisible());
        // The window's close button asks too.
        shots::windowManagerClose(v);
        QCOMPARE(done, 3);
        QVERIFY(v.isVisible());
        // Done sits at the top right.
        const QPoint at = v.doneButton()->mapTo(&v, QPoint(0, 0));
        QVERIFY(at.y() < 40);
        QVERIFY(at.x() > v.width() / 2);
        // The presenter's own close closes without asking again.
        QVERIFY(v.close());
        QVERIFY(!v.isVisible());
        QCOMPARE(done, 3);
    }

    // The detail column: at most 720 wide with its padding, wrapping rather than cutting.
    void theLongestChapterWrapsInsideItsColumn() {
        HelpView v(HelpTopic::trouble, [] {});
        v.resize(1200, 800);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        ChapterView* c = v.chapterView();
        QTRY_VERIFY(c->width() > 0);
        QVERIFY(c->width() <= 720 - 56);
        for (QLabel* step : c->findChildren<QLabel*>("step"))
            QVERIFY2(step->height() >= step->heightForWidth(step->width()), qPrintable(step->text()));
    }

    // Every chapter and a search, drawn (and saved when TESSROOK_SHOTS names a folder).
    void pictures() {
        HelpView v(HelpTopic::quickStart, [] {});
        v.resize(980, 760);
        v.show();
        int n = 0;
        for (HelpTopic t : Help::allTopics()) {
            v.sidebar()->setCurrentRow(n);
            QCOMPARE(v.selected(), Help::rawValue(t));
            QCoreApplication::processEvents();
            const QString name =
                QStringLiteral("%1-%2").arg(n++, 2, 10, QLatin1Char('0')).arg(Help::rawValue(t));
            views::saveShot(v.grab().toImage(), "help-" + name);
            // The whole chapter, also what lies below the window's fold.
            views::saveShot(v.chapterView()->parentWidget()->grab().toImage(), "chapter-" + name);
        }
        v.searchField()->setText("passphrase");
        QCoreApplication::processEvents();
        views::saveShot(v.grab().toImage(), QStringLiteral("help-search-passphrase"));
    }
};

VIEW_TEST_MAIN(HelpViewTest)
#include "tst_helpview.moc"
