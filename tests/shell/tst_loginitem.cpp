// The open-at-login switch over a login-item service that counts its calls, and the settings section
// that shows it.
#include "UrlCatcher.h"
#include "Defaults.h"
#include "ShellTest.h"
#include "TRBackgroundSettings.h"
#include "TRLoginItem.h"
#include "TRMiniPanel.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <stdexcept>

using Status = TRLoginItemService::Status;
Q_DECLARE_METATYPE(Status)

namespace {

class CountingService : public TRLoginItemService {
public:
    Status now = Status::notRegistered;
    int registers = 0;
    int unregisters = 0;
    QString refusal; // thrown by the next calls while set
    Status status() const override { return now; }
    void registerItem() override {
        ++registers;
        if (!refusal.isEmpty()) throw std::runtime_error(refusal.toStdString());
        now = Status::enabled;
    }
    void unregisterItem() override {
        ++unregisters;
        if (!refusal.isEmpty()) throw std::runtime_error(refusal.toStdString());
        now = Status::notRegistered;
    }
};

void clearKeys() {
    Defaults::shared().remove(TRLoginItem::wantKey());
    Defaults::shared().remove(TRLoginItem::miniKey());
}

} // namespace

class TestLoginItem : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() {
        // A home of our own with the settings folder inside, so the folder reads with "~".
        qputenv("HOME", home_.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_.path() + "/.config").toUtf8());
    }
    void init() { clearKeys(); }

    void switchCallsOnlyWhatTheStatusNeeds_data() {
        QTest::addColumn<Status>("start");
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("registers");
        QTest::addColumn<int>("unregisters");
        QTest::newRow("on while enabled") << Status::enabled << true << 0 << 0;
        QTest::newRow("on while not registered") << Status::notRegistered << true << 1 << 0;
        QTest::newRow("on while awaiting approval") << Status::requiresApproval << true << 1 << 0;
        QTest::newRow("on while not found") << Status::notFound << true << 1 << 0;
        QTest::newRow("off while not registered") << Status::notRegistered << false << 0 << 0;
        QTest::newRow("off while not found") << Status::notFound << false << 0 << 0;
        QTest::newRow("off while enabled") << Status::enabled << false << 0 << 1;
        QTest::newRow("off while awaiting approval") << Status::requiresApproval << false << 0 << 1;
    }
    void switchCallsOnlyWhatTheStatusNeeds() {
        QFETCH(Status, start);
        QFETCH(bool, on);
        QFETCH(int, registers);
        QFETCH(int, unregisters);
        auto service = std::make_shared<CountingService>();
        service->now = start;
        TRLoginItem item(service);
        QSignalSpy changed(&item, &TRLoginItem::changed);
        item.setEnabled(on);
        QCOMPARE(service->registers, registers);
        QCOMPARE(service->unregisters, unregisters);
        QCOMPARE(item.wanted(), on);
        QCOMPARE(Defaults::shared().boolValue(TRLoginItem::wantKey(), !on), on);
        QCOMPARE(changed.count(), 1);
        QVERIFY(item.lastError().isEmpty());
    }

    void refusalKeepsTheWishAndTheNextChangeClearsTheError() {
        auto service = std::make_shared<CountingService>();
        service->refusal = QStringLiteral("permission denied");
        TRLoginItem item(service);
        item.setEnabled(true);
        QCOMPARE(item.lastError(),
                 QStringLiteral("Couldn't add the login item (permission denied). Try again, or add the app "
                                "yourself in your desktop's startup applications (~/.config/autostart)."));
        QVERIFY(item.wanted());
        QVERIFY(Defaults::shared().boolValue(TRLoginItem::wantKey(), false));
        QCOMPARE(item.status(), Status::notRegistered);
        QCOMPARE(item.statusText(),
                 QStringLiteral("Not added yet. Turn the switch off and on again, or check "
                                "your desktop's startup applications (~/.config/autostart)."));

        service->refusal.clear();
        item.setEnabled(true);
        QVERIFY(item.lastError().isEmpty());
        QCOMPARE(item.status(), Status::enabled);

        service->refusal = QStringLiteral("read-only file system");
        item.setEnabled(false);
        QCOMPARE(item.lastError(),
                 QStringLiteral("Couldn't remove the login item (read-only file system). You "
                                "can remove it in your desktop's startup applications "
                                "(~/.config/autostart)."));
        QVERIFY(!item.wanted());
        QVERIFY(!Defaults::shared().boolValue(TRLoginItem::wantKey(), true));
    }

    void aDescriptionHoldingPlaceholdersIsShownAsItIs() {
        auto service = std::make_shared<CountingService>();
        service->refusal = QStringLiteral("%1 %2 disk full");
        TRLoginItem item(service);
        item.setEnabled(true);
        QVERIFY(
            item.lastError().startsWith(QStringLiteral("Couldn't add the login item (%1 %2 disk full).")));
    }

    void startMiniReadsABooleanOrItsSpellingElseTrue_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("startMini");
        QTest::newRow("absent") << QVariant() << true;
        QTest::newRow("garbage") << QVariant(QStringLiteral("garbage")) << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("\"false\"") << QVariant(QStringLiteral("false")) << false;
        QTest::newRow("\"0\"") << QVariant(QStringLiteral("0")) << false;
        QTest::newRow("true") << QVariant(true) << true;
    }
    void startMiniReadsABooleanOrItsSpellingElseTrue() {
        QFETCH(QVariant, stored);
        QFETCH(bool, startMini);
        if (stored.isValid()) Defaults::shared().setValue(TRLoginItem::miniKey(), stored);
        TRLoginItem item(std::make_shared<CountingService>());
        QCOMPARE(item.startMini(), startMini);
        QVERIFY(!item.wanted());
        item.setStartMini(!startMini);
        QCOMPARE(TRLoginItem(std::make_shared<CountingService>()).startMini(), !startMini);
    }

    void sectionFollowsTheItem() {
        auto service = std::make_shared<CountingService>();
        TRLoginItem item(service);
        TRMiniPanel mini;
        TRBackgroundSettings section(&item, &mini);
        section.show();
        QVERIFY(!section.openAtLoginToggle()->isChecked());
        QVERIFY(!section.startMiniToggle()->isEnabled());
        QVERIFY(section.startMiniToggle()->isChecked()); // keeps its stored value while it can't change
        QVERIFY(!section.approvalButton()->isVisibleTo(&section));
        QVERIFY(!section.errorLabel()->isVisibleTo(&section));

        // A refused registration: the switch still shows the wish, the red line tells why.
        service->refusal = QStringLiteral("no space left");
        section.openAtLoginToggle()->click();
        QCOMPARE(service->registers, 1);
        QVERIFY(section.openAtLoginToggle()->isChecked());
        QVERIFY(section.errorLabel()->isVisibleTo(&section));
        QVERIFY(section.errorLabel()->text().startsWith(
            QStringLiteral("Couldn't add the login item (no space left)")));
        QVERIFY(section.startMiniToggle()->isEnabled());

        // The user switched the entry off behind our back: the next showing reads it again.
        service->refusal.clear();
        service->now = Status::requiresApproval;
        section.hide();
        section.show();
        QVERIFY(section.approvalButton()->isVisibleTo(&section));
        // It opens the autostart folder, made when missing, in the file manager.
        UrlCatcher catcher(QStringLiteral("file"));
        section.approvalButton()->click();
        const QString folder = home_.path() + "/.config/autostart";
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(section.statusLabel()->palette().color(QPalette::WindowText), QColor(0xFF, 0x95, 0x00));
        QVERIFY(section.errorLabel()->isVisibleTo(&section)); // refresh changes nothing else

        // The next change clears the error before it tries again.
        section.openAtLoginToggle()->click(); // off: removes the entry
        QCOMPARE(service->unregisters, 1);
        QVERIFY(!section.errorLabel()->isVisibleTo(&section));
        QVERIFY(!section.approvalButton()->isVisibleTo(&section));
        QVERIFY(!section.startMiniToggle()->isEnabled());
        QVERIFY(section.statusLabel()->palette().color(QPalette::WindowText) != QColor(0xFF, 0x95, 0x00));

        // The Mini-mode choice is stored by the section.
        section.openAtLoginToggle()->click();
        section.startMiniToggle()->click();
        QVERIFY(!item.startMini());
        QVERIFY(!Defaults::shared().boolValue(TRLoginItem::miniKey(), true));
        QVERIFY(section.noteLabel()->text().contains(QStringLiteral("antenna icon in the system tray")));
        QVERIFY(section.noteLabel()->text().contains(
            QStringLiteral("(Ctrl+Q, or Quit in the tray icon or the Mini panel)")));
    }
};

SHELL_TEST_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
