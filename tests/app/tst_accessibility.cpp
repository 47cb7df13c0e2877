// What a screen reader is told about the main window, asked through Qt's own accessibility interface:
// every control's role, name and state in one table, the fields of the sheets, and the actions that
// select and flip.
#include "ActivityTape.h"
#include "AppTest.h"
#include "ChannelBank.h"
#include "LED.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "SOSModule.h"
#include "TalkModule.h"
#include "TessrookMac.h"
#include "ToggleSwitch.h"
#include "TopRack.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLineEdit>
#include <QtTest>

namespace {

QAccessibleInterface* iface(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
}

// The widget whose interface carries `name`, searched among `root`'s descendants.
QWidget* named(QWidget* root, const QString& name) {
    for (QWidget* w : root->findChildren<QWidget*>())
        if (QAccessibleInterface* i = iface(w); i && i->text(QAccessible::Name) == name) return w;
    return nullptr;
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

private slots:
    void init() { fixture::resetSettings(); }

    // Roles, names and states across the rack: switches are checkable and say whether they are on,
    // rows say which is selected and carry their safety code, lamps read their state, painted lines
    // read as text, fields carry their visible label, help dots the chapter they open.
    void namesAndStatesOfTheRack() {
        Defaults::shared().setValue("welcomed", true);
        TessrookMac program({}, std::make_unique<WalkieModel>(rig.options()), false);
        WalkieModel& m = program.model();
        MainWindow w(m);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MacRoot* root = w.root();
        m.createChannel("Crew");
        m.createChannel("Base");
        const Channel crew = m.channels().first();
        m.setSelectedID(crew.channelID());
        m.setRogerBeep(true);
        m.setRadioSound(false);
        m.sendText("over and out", crew);

        struct Row {
            QWidget* widget;
            QAccessible::Role role;
            QString name;
            std::function<bool(QAccessible::State)> state;
        };
        const auto checked = [](QAccessible::State s) { return s.checkable && s.checked; };
        const auto unchecked = [](QAccessible::State s) { return s.checkable && !s.checked; };
        const auto selected = [](QAccessible::State s) { return s.selectable && s.selected; };
        const auto unselected = [](QAccessible::State s) { return s.selectable && !s.selected; };
        const auto any = [](QAccessible::State) { return true; };
        TalkModule* talk = root->talkModule();
        const QList<ChannelRow*> rows = root->channelBank()->rows();
        QCOMPARE(rows.size(), 2);
        const QList<Row> table{
            {talk->toggle("Roger beep"), QAccessible::CheckBox, "Roger beep", checked},
            {talk->toggle("Radio FX"), QAccessible::CheckBox, "Radio FX", unchecked},
            {named(root->sosModule(), "Silent"), QAccessible::CheckBox, "Silent", unchecked},
            {rows[0], QAccessible::ListItem, "Crew", selected},
            {rows[1], QAccessible::ListItem, "Base", unselected},
            {root->topRack()->lamp("Relay"), QAccessible::StaticText, "Relay: off", any},
            {root->topRack()->lamp("Encrypted"), QAccessible::StaticText, "Encrypted: on", any},
            {named(root->channelBank(), "Help: Channels"), QAccessible::Button, "Help: Channels", any},
            {named(root->sosModule(), "Help: SOS"), QAccessible::Button, "Help: SOS", any},
            {root->findChild<QLineEdit*>("draft"), QAccessible::EditableText, "Text message to Crew (encrypted)",
             any},
            {named(root, "Push to talk"), QAccessible::Button, "Push to talk", any},
        };
        for (const Row& r : table) {
            QVERIFY2(r.widget, qPrintable(r.name));
            QAccessibleInterface* i = iface(r.widget);
            QVERIFY2(i, qPrintable(r.name));
            QCOMPARE(i->text(QAccessible::Name), r.name);
            QCOMPARE(i->role(), r.role);
            QVERIFY2(r.state(i->state()), qPrintable(r.name));
        }
        // The row's description is its status line, which carries the safety code.
        QVERIFY(iface(rows[0])->text(QAccessible::Description).contains(crew.safetyCode()));
        // The sent message and the empty log read as text.
        bool messageRead = false;
        for (QWidget* wdg : root->findChildren<QWidget*>()) {
            QAccessibleInterface* i = iface(wdg);
            if (i->role() == QAccessible::StaticText && i->text(QAccessible::Name).endsWith("Crew: over and out"))
                messageRead = true;
        }
        QVERIFY(messageRead);
        QAccessibleInterface* tape = iface(root->findChild<ActivityTape*>());
        QCOMPARE(tape->role(), QAccessible::StaticText);
        QVERIFY(tape->text(QAccessible::Name).startsWith("No transmissions yet."));

        // Sheets: each field by its visible label (a label tied to it, else its only visible text, never
        // the group box round it); the invite's code is a picture.
        const QList<std::pair<std::function<void()>, QStringList>> sheets{
            {[&] { root->openJoin(); }, {"Your call sign", "Channel name, e.g. Westover Crew"}},
            {[&] { root->openSettings(); }, {"Your call sign (shown to others)", "Relay address"}},
            {[&] { root->openEdit(crew); }, {"Channel name", "New passphrase (leave empty to keep the key)"}},
        };
        for (const auto& [open, fields] : sheets) {
            open();
            QTRY_VERIFY(root->openSheet());
            QStringList names;
            for (QLineEdit* f : root->openSheet()->findChildren<QLineEdit*>())
                names << iface(f)->text(QAccessible::Name);
            for (const QString& f : fields)
                QVERIFY2(names.contains(f), qPrintable(names.join(" | ")));
            QMetaObject::invokeMethod(root->openSheet(), "reject");
            QTRY_VERIFY(!root->openSheet());
        }
        root->openInvite(crew);
        QTRY_VERIFY(root->openSheet());
        QWidget* code = named(root->openSheet(), "QR code invite");
        QVERIFY(code);
        QCOMPARE(iface(code)->role(), QAccessible::Graphic);
        QMetaObject::invokeMethod(root->openSheet(), "reject");
        QTRY_VERIFY(!root->openSheet());

        // States follow: a lamp lights, a row is chosen, a switch is flipped through its action.
        m.receiveStatus("relay", [] {
            TransportStatus s;
            s.up = true;
            return s;
        }());
        QCOMPARE(iface(root->topRack()->lamp("Relay"))->text(QAccessible::Name), QString("Relay: on"));
        QAccessibleActionInterface* select = iface(rows[1])->actionInterface();
        QVERIFY(select);
        select->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(m.selected()->name, QString("Base"));
        QVERIFY(iface(rows[1])->state().selected);
        QVERIFY(!iface(rows[0])->state().selected);
        QAccessibleActionInterface* flip = iface(talk->toggle("Radio FX"))->actionInterface();
        QVERIFY(flip);
        flip->doAction(flip->actionNames().first());
        QVERIFY(m.radioSound());
        QVERIFY(iface(talk->toggle("Radio FX"))->state().checked);
    }
};

APP_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
