// The invite sheet on a real model: the QR code decodes back to the link, copying, the new-key
// confirmation, leaving, the help order, and a channel without a link.
#include "ViewFixture.h"

#include "Clipboard.h"
#include "HelpTopic.h"
#include "InviteView.h"

#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace fixture;
using views::child;

class InviteViewTest : public QObject {
    Q_OBJECT
    Rig rig;
    QStringList calls;
    std::unique_ptr<InviteView> make(const Channel& c, const Finish& f = Finish::all().first()) {
        calls.clear();
        return std::make_unique<InviteView>(*rig.model, c, f, [this] { calls << "done"; });
    }

private slots:
    void init() { rig.renew(); }
    void cleanup() { rig.model.reset(); }

    void qrCodeReadsBackAsTheLink() {
        rig.model->createChannel(QStringLiteral("Crew"));
        const Channel crew = rig.model->channels().first();
        auto sheet = make(crew);
        QWidget* qr = sheet->qrCode();
        QVERIFY(qr);
        const QImage img = views::render(qr);
        // The white margin and the rounded corner (nothing painted in the very corner).
        QCOMPARE(img.pixelColor(105, 3), QColor(Qt::white));
        QCOMPARE(img.pixelColor(0, 0), Finish::c(0x050607));
        if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
            QSKIP("zbarimg is not installed");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("qr.png"));
        QVERIFY(img.save(file));
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--raw"), file});
        QVERIFY(zbar.waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(zbar.readAllStandardOutput()).trimmed(), crew.inviteLink());
    }

    void copyRotateLeaveAndHelp() {
        rig.model->createChannel(QStringLiteral("Crew"));
        rig.model->createChannel(QStringLiteral("Other"));
        const Channel crew = rig.model->channels().first();
        auto sheet = make(crew);
        sheet->show();
        auto* copy = child(sheet.get(), "copy");
        QCOMPARE(copy->text(), QStringLiteral("Copy invite link"));
        QGuiApplication::clipboard()->setImage(QImage(2, 2, QImage::Format_RGB32));
        copy->click();
        copy->click();
        QCOMPARE(copy->text(), QStringLiteral("Link copied"));
        QCOMPARE(Clipboard::text(), std::optional<QString>(crew.inviteLink()));
        QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasImage());

        // The new key asks first; cancelled, nothing changes.
        child(sheet.get(), "rotate")->click();
        QMessageBox* box = sheet->rotateConfirmation();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Make a new key for Crew?"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
        QCOMPARE(box->escapeButton(), box->button(QMessageBox::Cancel));
        box->button(QMessageBox::Cancel)->click();
        QTRY_VERIFY(!sheet->rotateConfirmation());
        QCOMPARE(rig.model->channels().first().channelID(), crew.channelID());
        QVERIFY(calls.isEmpty());
        QVERIFY(sheet->copied());

        // Confirmed: one new key for this channel, then done.
        QSignalSpy changes(rig.model.get(), &WalkieModel::channelsChanged);
        child(sheet.get(), "rotate")->click();
        child(sheet->rotateConfirmation(), "confirmRotate")->click();
        QTRY_COMPARE(calls, QStringList{"done"});
        QCOMPARE(changes.size(), 1);
        const Channel rotated = rig.model->channels().first();
        QCOMPARE(rotated.name, QStringLiteral("Crew"));
        QVERIFY(rotated.channelID() != crew.channelID());

        // Leave: no question, then done.
        sheet = make(rotated);
        child(sheet.get(), "leave")->click();
        QCOMPARE(calls, QStringList{"done"});
        QCOMPARE(rig.model->channels().size(), 1);

        // Help buttons: done first, then the chapter. Return presses Done; Escape too calls done.
        QObject context;
        Help::onOpenHelp(&context, [this](HelpTopic t) { calls << Help::rawValue(t); });
        sheet = make(rig.model->channels().first());
        child(sheet.get(), "whatsThis")->click();
        QCOMPARE(calls, QStringList({"done", "safety"}));
        calls.clear();
        child(sheet.get(), "howInvites")->click();
        QCOMPARE(calls, QStringList({"done", "invite"}));
        calls.clear();
        sheet->show();
        QTest::keyClick(sheet.get(), Qt::Key_Return);
        QCOMPARE(calls, QStringList{"done"});
        QTest::keyClick(sheet.get(), Qt::Key_Escape);
        QCOMPARE(calls, QStringList({"done", "done"}));
        QVERIFY(sheet->isVisible());
    }

    void noLinkNoCopyNoCode() {
        // A channel whose link cannot be built (no valid key): no QR, and Copy cannot claim a copy.
        Channel broken(QStringLiteral("Broken"), QByteArray(3, 'x'), rig.clock->now());
        QVERIFY(broken.inviteLink().isEmpty());
        auto sheet = make(broken);
        QVERIFY(!sheet->qrCode());
        auto* copy = child(sheet.get(), "copy");
        QVERIFY(!copy->isEnabled());
        Clipboard::copy(QStringLiteral("kept"));
        copy->click();
        QCOMPARE(Clipboard::text(), std::optional<QString>(QStringLiteral("kept")));
        QCOMPARE(copy->text(), QStringLiteral("Copy invite link"));
    }

    void pictures() {
        rig.model->createChannel(QStringLiteral("Westover Crew"));
        for (const Finish& f : views::twoFinishes()) {
            auto sheet = make(rig.model->channels().first(), f);
            sheet->adjustSize();
            views::shots(sheet.get(), QStringLiteral("invite-sheet-") + f.id,
                         QApplication::palette().color(QPalette::Window));
        }
    }
};

VIEW_TEST_MAIN(InviteViewTest)
#include "tst_inviteview.moc"
