// The edit sheet on a real model: the new code shown is the code Save makes, the edit paths through the
// sheet, a channel with a long key name, a channel left meanwhile, and the leave confirmation.
#include "ViewFixture.h"

#include "EditChannelView.h"
#include "SafetyPreview.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

using namespace fixture;
using views::child;

namespace {
const QString tooShort = QStringLiteral("Use at least 8 characters (a few words is best).");
const QString nameIsKey =
    QStringLiteral("The channel name is part of the key. Type the passphrase too to change the name.");
} // namespace

class EditChannelViewTest : public QObject {
    Q_OBJECT
    Rig rig;
    int done = 0;
    std::unique_ptr<EditChannelView> make(const Channel& c) {
        done = 0;
        return std::make_unique<EditChannelView>(*rig.model, c, [this] { ++done; });
    }

private slots:
    void init() { rig.renew(); }
    void cleanup() { rig.model.reset(); }

    void previewIsTheCodeSaveMakes() {
        const Channel crew =
            *rig.model->joinWithPassphrase(QStringLiteral("Crew"), QStringLiteral("blue kettle"));
        auto sheet = make(crew);
        auto* name = child<QLineEdit>(sheet.get(), "name");
        auto* pass = child<QLineEdit>(sheet.get(), "passphrase");
        QCOMPARE(name->text(), QStringLiteral("Crew"));
        QVERIFY(!sheet->preview().pending()); // the prefilled name alone derives nothing
        QCOMPARE(sheet->newCodeText(), QString());

        pass->setText(QStringLiteral("  red door opens "));
        QCOMPARE(sheet->newCodeText(), QStringLiteral("…"));
        QTRY_VERIFY_WITH_TIMEOUT(sheet->preview().code(), 10000);
        const QString shown = sheet->newCodeText();
        child(sheet.get(), "save")->click();
        QCOMPARE(done, 1);
        const Channel saved = rig.model->channels().first();
        QCOMPARE(shown, saved.safetyCode());
        QCOMPARE(rig.model->notice(),
                 QStringLiteral("Crew now uses the new passphrase. Safety code %1.").arg(shown));
    }

    void editPaths() {
        rig.model->createChannel(QStringLiteral("Random"));
        const Channel random = rig.model->channels().first();
        const Channel crew =
            *rig.model->joinWithPassphrase(QStringLiteral("Crew"), QStringLiteral("blue kettle"));
        const Channel hikers =
            *rig.model->joinWithPassphrase(QStringLiteral("Hikers"), QStringLiteral("green tent"));

        // A random-key channel with no passphrase: the label only; the key and code stay; no notice.
        auto sheet = make(random);
        QCOMPARE(child<QLabel>(sheet.get(), "newSafetyCode")->isVisibleTo(sheet.get()), false);
        child<QLineEdit>(sheet.get(), "name")->setText(QStringLiteral("Base"));
        QString notice = rig.model->notice();
        child(sheet.get(), "save")->click();
        QCOMPARE(done, 1);
        QCOMPARE(rig.model->channels().first().name, QStringLiteral("Base"));
        QCOMPARE(rig.model->channels().first().safetyCode(), random.safetyCode());
        QCOMPARE(rig.model->notice(), notice);

        // A passphrase channel: case and spaces are a rename, another name is refused and the sheet stays.
        sheet = make(crew);
        auto* name = child<QLineEdit>(sheet.get(), "name");
        auto* pass = child<QLineEdit>(sheet.get(), "passphrase");
        auto* save = child(sheet.get(), "save");
        name->setText(QStringLiteral("Crew 2"));
        save->click();
        QCOMPARE(done, 0);
        QCOMPARE(rig.model->notice(), nameIsKey);
        QCOMPARE(name->text(), QStringLiteral("Crew 2"));
        // A short new passphrase: the row shows the problem and Save is off; cleared, the row goes.
        pass->setText(QStringLiteral("1234567"));
        QCOMPARE(sheet->newCodeText(), tooShort);
        QVERIFY(!save->isEnabled());
        pass->clear();
        QVERIFY(!child<QLabel>(sheet.get(), "newSafetyCode")->isVisibleTo(sheet.get()));
        QVERIFY(save->isEnabled());
        // A good passphrase but a blank name: Save off, the row waits at "…".
        pass->setText(QStringLiteral("green tent"));
        name->setText(QStringLiteral("   "));
        QVERIFY(!save->isEnabled());
        QCOMPARE(sheet->newCodeText(), QStringLiteral("…"));
        QVERIFY(!sheet->preview().pending());
        // Re-keying to the name and passphrase of another joined channel: this one goes, that one is used.
        name->setText(QStringLiteral(" hikers "));
        pass->setText(QStringLiteral("green tent"));
        save->click();
        QCOMPARE(done, 1);
        QCOMPARE(rig.model->channels().size(), 2);
        QCOMPARE(rig.model->selectedID(), hikers.channelID());
        QCOMPARE(rig.model->notice(),
                 QStringLiteral("That name and passphrase is already in your list. Using it."));

        sheet = make(hikers);
        child<QLineEdit>(sheet.get(), "name")->setText(QStringLiteral("  HIKERS "));
        child(sheet.get(), "save")->click();
        QCOMPARE(done, 1);
        QCOMPARE(rig.model->channels().last().name, QStringLiteral("HIKERS"));
    }

    void longKeyNameAndStaleChannel() {
        const QString words = QStringLiteral("The Long Valley Search And Rescue Volunteers North");
        const Channel lengthy = *rig.model->joinWithPassphrase(words, QStringLiteral("orange kite flies"));
        // Saved as prefilled (the shortened label) with no passphrase: kept, done.
        auto sheet = make(lengthy);
        child(sheet.get(), "save")->click();
        QCOMPARE(done, 1);
        QCOMPARE(rig.model->channels().first().channelID(), lengthy.channelID());

        // The channel was left elsewhere while the sheet was open: Save changes nothing, says nothing.
        sheet = make(lengthy);
        rig.model->leave(lengthy);
        const QString notice = rig.model->notice();
        child<QLineEdit>(sheet.get(), "passphrase")->setText(QStringLiteral("new words here"));
        child(sheet.get(), "save")->click();
        QCOMPARE(done, 0);
        QCOMPARE(rig.model->notice(), notice);
        QVERIFY(rig.model->channels().isEmpty());
    }

    void leaveAsksFirst() {
        rig.model->createChannel(QStringLiteral("Base"));
        const Channel base = rig.model->channels().first();
        auto sheet = make(base);
        sheet->show();
        child(sheet.get(), "leave")->click();
        QMessageBox* box = sheet->leaveConfirmation();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Leave Base?"));
        box->button(QMessageBox::Cancel)->click();
        QTRY_VERIFY(!sheet->leaveConfirmation());
        QCOMPARE(done, 0);
        QCOMPARE(rig.model->channels().size(), 1);

        child(sheet.get(), "leave")->click();
        box = sheet->leaveConfirmation();
        QVERIFY(box);
        child(box, "confirmLeave")->click();
        QTRY_COMPARE(done, 1);
        QVERIFY(rig.model->channels().isEmpty());
    }

    void pictures() {
        const Channel crew =
            *rig.model->joinWithPassphrase(QStringLiteral("Crew"), QStringLiteral("blue kettle"));
        auto sheet = make(crew);
        child<QLineEdit>(sheet.get(), "passphrase")->setText(QStringLiteral("red door opens"));
        sheet->show(); // at the size it takes itself, as the presenter shows it
        QTRY_VERIFY_WITH_TIMEOUT(sheet->preview().code(), 10000);
        QCoreApplication::processEvents();
        views::shots(sheet.get(), QStringLiteral("edit-sheet"),
                     QApplication::palette().color(QPalette::Window));
        QVERIFY(sheet->width() >= 520);
    }
};

VIEW_TEST_MAIN(EditChannelViewTest)
#include "tst_editchannelview.moc"
