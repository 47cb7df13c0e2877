// The join sheet on a real model: the debounced safety-code preview (stale and orphaned derivations
// included), the join, invite and random-key flows, the keys, the call sign and the help request.
#include "ViewFixture.h"

#include "Clipboard.h"
#include "HelpTopic.h"
#include "JoinView.h"
#include "SafetyPreview.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMutex>
#include <QSemaphore>
#include <QThreadPool>

#include <atomic>

using namespace fixture;
using views::child;

namespace {
const QString tooShort = QStringLiteral("Use at least 8 characters (a few words is best).");
QString codeOf(const QString& name, const QString& pass) {
    return Channel::fromPassphrase(name, pass)->safetyCode();
}

// A derivation that waits at a gate and records what it was asked; shared with the worker by value.
struct Gate {
    QSemaphore open;
    std::atomic<int> calls{0};
    std::atomic<int> started{0};
    SafetyPreview::Derive derive(std::shared_ptr<Gate> self) {
        return [self](const QString& n, const QString& p) -> std::optional<QString> {
            ++self->calls;
            ++self->started;
            self->open.acquire();
            return QStringLiteral("CODE-%1-%2").arg(n, p);
        };
    }
};
} // namespace

class JoinViewTest : public QObject {
    Q_OBJECT
    Rig rig;
    int done = 0;
    std::unique_ptr<JoinView> make(std::function<void()> scan = {}) {
        done = 0;
        return std::make_unique<JoinView>(
            *rig.model, [this] { ++done; }, scan);
    }

private slots:
    void init() { rig.renew(); }
    void cleanup() { rig.model.reset(); }

    void previewFollowsTheFields() {
        auto sheet = make();
        auto* name = child<QLineEdit>(sheet.get(), "name");
        auto* pass = child<QLineEdit>(sheet.get(), "passphrase");
        auto* button = child(sheet.get(), "joinCreate");
        QCOMPARE(sheet->codeText(), tooShort);
        QVERIFY(!button->isEnabled());

        name->setText(QStringLiteral("Crew"));
        pass->setText(QStringLiteral("blue kettle"));
        QCOMPARE(sheet->codeText(), QStringLiteral("…")); // at once, before the pause
        QVERIFY(button->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(sheet->codeText(), codeOf("Crew", "blue kettle"), 10000);

        // Any edit clears the code at once; joining keys the passphrase as typed, and so does the preview.
        pass->setText(QStringLiteral(" blue kettle"));
        QCOMPARE(sheet->codeText(), QStringLiteral("…"));
        QTRY_COMPARE_WITH_TIMEOUT(sheet->codeText(), codeOf("Crew", " blue kettle"), 10000);

        // Eight characters inside spaces count as eight; seven do not.
        pass->setText(QStringLiteral("  1234567  "));
        QCOMPARE(sheet->codeText(), tooShort);
        QVERIFY(!button->isEnabled());
        pass->setText(QStringLiteral("  12345678  "));
        QVERIFY(button->isEnabled());
        // A name of spaces only: nothing derived, the button off.
        name->setText(QStringLiteral("  \t "));
        QVERIFY(!button->isEnabled());
        QVERIFY(!sheet->preview().pending());
        QCOMPARE(sheet->codeText(), QStringLiteral("…"));
    }

    void staleAndOrphanedDerivations() {
        auto gate = std::make_shared<Gate>();
        auto sheet = make();
        sheet->preview().setDerive(gate->derive(gate));
        auto* name = child<QLineEdit>(sheet.get(), "name");
        auto* pass = child<QLineEdit>(sheet.get(), "passphrase");
        name->setText(QStringLiteral("Crew"));
        // Typing within the pause restarts it: one derivation for the whole burst.
        for (const char* p : {"abcdefgh", "abcdefghi", "abcdefghij"})
            pass->setText(QString::fromLatin1(p));
        QTRY_COMPARE(gate->started.load(), 1);
        // The fields move on while the first derivation runs: its result must be dropped.
        pass->setText(QStringLiteral("abcdefghijk"));
        gate->open.release();
        QTRY_COMPARE(gate->started.load(), 2);
        QTest::qWait(50); // the dropped result may not show in this time
        QVERIFY(!sheet->preview().code());
        QCOMPARE(sheet->codeText(), QStringLiteral("…"));
        gate->open.release();
        QTRY_COMPARE(sheet->codeText(), QStringLiteral("CODE-Crew-abcdefghijk"));
        QCOMPARE(gate->calls.load(), 2);

        // The sheet closed while a derivation runs: the result reaches nobody.
        pass->setText(QStringLiteral("zyxwvutsr"));
        QTRY_COMPARE(gate->started.load(), 3);
        sheet.reset();
        gate->open.release();
        QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
        QCoreApplication::processEvents();
    }

    void joinCreateAndInviteFlows() {
        auto sheet = make();
        auto* name = child<QLineEdit>(sheet.get(), "name");
        auto* pass = child<QLineEdit>(sheet.get(), "passphrase");
        auto* button = child(sheet.get(), "joinCreate");
        // A name that is a line break passes the sheet's trim but not the model's: the sheet stays.
        name->setText(QStringLiteral("\n"));
        pass->setText(QStringLiteral("blue kettle"));
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Working…"));
        QVERIFY(!button->isEnabled());
        QTRY_VERIFY(!sheet->working());
        QCOMPARE(done, 0);
        QCOMPARE(rig.model->notice(), QStringLiteral("Type a channel name."));
        QCOMPARE(name->text(), QStringLiteral("\n"));
        QCOMPARE(pass->text(), QStringLiteral("blue kettle"));
        QCOMPARE(button->text(), QStringLiteral("Join / Create channel"));

        name->setText(QStringLiteral("Crew"));
        button->click();
        QTRY_COMPARE(done, 1);
        QVERIFY(!sheet->working());
        QCOMPARE(rig.model->channels().size(), 1);
        const Channel crew = rig.model->channels().first();

        // Joined already: the model selects it and the sheet is done again.
        rig.model->createChannel(QStringLiteral("Other"));
        sheet = make();
        child<QLineEdit>(sheet.get(), "name")->setText(QStringLiteral("  crew "));
        child<QLineEdit>(sheet.get(), "passphrase")->setText(QStringLiteral("blue kettle"));
        child(sheet.get(), "joinCreate")->click();
        QTRY_COMPARE(done, 1);
        QCOMPARE(rig.model->channels().size(), 2);
        QCOMPARE(rig.model->selectedID(), crew.channelID());

        // Random key with an empty name: "New channel", the passphrase ignored.
        sheet = make();
        child<QLineEdit>(sheet.get(), "passphrase")->setText(QStringLiteral("ignored words"));
        child(sheet.get(), "randomKey")->click();
        QCOMPARE(done, 1);
        QCOMPARE(rig.model->channels().last().name, QStringLiteral("New channel"));
        QVERIFY(!rig.model->channels().last().origin);

        // A link of spaces enables Join; the model refuses it and the sheet keeps it.
        sheet = make();
        auto* link = child<QLineEdit>(sheet.get(), "link");
        auto* joinLink = child(sheet.get(), "joinLink");
        QVERIFY(!joinLink->isEnabled());
        link->setText(QStringLiteral("   "));
        QVERIFY(joinLink->isEnabled());
        joinLink->click();
        QCOMPARE(done, 0);
        QCOMPARE(link->text(), QStringLiteral("   "));
        QCOMPARE(rig.model->notice(), QStringLiteral("That invite didn't work. Ask for a fresh one."));

        // Paste: an empty clipboard clears the field; a link with a trailing line break joins.
        QGuiApplication::clipboard()->clear();
        child(sheet.get(), "paste")->click();
        QCOMPARE(link->text(), QString());
        const Channel far = channel(QStringLiteral("Far"));
        Clipboard::copy(far.inviteLink() + QStringLiteral("\n"));
        child(sheet.get(), "paste")->click();
        QCOMPARE(done, 0); // pasting joins nothing
        joinLink->click();
        QCOMPARE(done, 1);
        QCOMPARE(rig.model->selectedID(), far.channelID());
    }

    void keysScanAndHelp() {
        auto sheet = make();
        sheet->show();
        auto* name = child<QLineEdit>(sheet.get(), "name");
        auto* pass = child<QLineEdit>(sheet.get(), "passphrase");
        // No scan action: no scan button.
        QVERIFY(!sheet->findChild<QPushButton*>(QStringLiteral("scan")));
        for (QPushButton* b : sheet->findChildren<QPushButton*>())
            QCOMPARE(b->autoDefault(), false);
        // Return fires Join / Create only while it is enabled.
        name->setText(QStringLiteral("Crew"));
        pass->setText(QStringLiteral("short"));
        QTest::keyClick(pass, Qt::Key_Return);
        QTest::qWait(20); // nothing may be joined in this time
        QCOMPARE(done, 0);
        QVERIFY(rig.model->channels().isEmpty());
        pass->setText(QStringLiteral("long enough"));
        QTest::keyClick(pass, Qt::Key_Return);
        QTRY_COMPARE(done, 1);
        QCOMPARE(rig.model->channels().size(), 1);

        // "Show" keeps the text and the cursor.
        pass->setText(QStringLiteral("secret words"));
        pass->setCursorPosition(3);
        child<QCheckBox>(sheet.get(), "showPassphrase")->setChecked(true);
        QCOMPARE(pass->echoMode(), QLineEdit::Normal);
        QCOMPARE(pass->text(), QStringLiteral("secret words"));
        QCOMPARE(pass->cursorPosition(), 3);

        // Help: done first, then the request for the channels chapter.
        QStringList order;
        sheet = std::make_unique<JoinView>(*rig.model, [&order] { order << "done"; });
        QObject context;
        Help::onOpenHelp(&context, [&order](HelpTopic t) { order << Help::rawValue(t); });
        child(sheet.get(), "help")->click();
        QCOMPARE(order, QStringList({"done", "channels"}));

        int scans = 0;
        sheet = make([&scans] { ++scans; });
        child(sheet.get(), "scan")->click();
        QCOMPARE(scans, 1);
        QCOMPARE(done, 0);
    }

    void presenterClosesTheSheet() {
        // A presenter whose done closes the sheet: closed once, by the presenter, on Cancel and on Escape.
        JoinView* sheet = nullptr;
        int closes = 0;
        auto close = [&] {
            ++closes;
            sheet->close();
        };
        for (int escape = 0; escape < 2; ++escape) {
            JoinView view(*rig.model, close);
            sheet = &view;
            view.open();
            closes = 0;
            if (escape)
                QTest::keyClick(&view, Qt::Key_Escape);
            else
                child(&view, "cancel")->click();
            QCOMPARE(closes, 1);
            QVERIFY(!view.isVisible());
        }
    }

    void callSignIsTheModels() {
        auto sheet = make();
        auto* sign = child<QLineEdit>(sheet.get(), "callSign");
        QTest::keyClicks(sign, QStringLiteral("Bronco"));
        QCOMPARE(rig.model->displayName(), QStringLiteral("Bronco"));
        sign->setCursorPosition(2);
        rig.model->setDisplayName(QStringLiteral("Bronco")); // the same text: the cursor stays
        QCOMPARE(sign->cursorPosition(), 2);
        rig.model->setDisplayName(QStringLiteral("Base"));
        QCOMPARE(sign->text(), QStringLiteral("Base"));
    }

    void pictures() {
        auto sheet = make();
        rig.model->setDisplayName(QStringLiteral("Bronco 1"));
        child<QLineEdit>(sheet.get(), "name")->setText(QStringLiteral("Westover Crew"));
        child<QLineEdit>(sheet.get(), "passphrase")->setText(QStringLiteral("blue kettle sings"));
        QTRY_VERIFY_WITH_TIMEOUT(sheet->preview().code(), 10000);
        sheet->resize(sheet->sizeHint().expandedTo(QSize(520, 700)));
        views::shots(sheet.get(), QStringLiteral("join-sheet"),
                     QApplication::palette().color(QPalette::Window));
    }
};

VIEW_TEST_MAIN(JoinViewTest)
#include "tst_joinview.moc"
