// What a screen reader is told about the main window, asked through Qt's own accessibility interface:
// every control's role, name and state in one table, and the actions that press, flip and select.
#include "AppTest.h"
#include "ChannelBank.h"
#include "GuardedSOSButton.h"
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

QAccessibleInterface* child(QAccessibleInterface* parent, const QString& name) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(QAccessible::Name) == name) return parent->child(i);
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

    // The covered SOS button as two parts: the cover's press lifts it, the button's press runs the
    // same two-second hold as a finger (a second press before the end stops it unfired), and the
    // button names itself active once it fired.
    void sosCoverAndButtonActions() {
        auto& m = rig.make();
        m.createChannel("Crew");
        SOSModule sos(m, Finish::all().first());
        sos.show();
        GuardedSOSButton* b = sos.findChild<GuardedSOSButton*>();
        QAccessibleInterface* group = iface(b);
        QAccessibleInterface* cover = child(group, "SOS safety cover. Tap to lift");
        QAccessibleInterface* button = child(group, "SOS. Hold for two seconds");
        QVERIFY(cover && button);
        QVERIFY(button->actionInterface()->actionNames().isEmpty()); // covered: nothing to press
        cover->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(b->hold().coverOpen());
        QVERIFY(cover->actionInterface()->actionNames().isEmpty());

        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(b->hold().ticks() > 10);
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(!b->hold().holding());
        QTest::qWait(300);
        QVERIFY(!m.sosActive());

        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY_WITH_TIMEOUT(m.sosActive(), 5000);
        QCOMPARE(button->text(QAccessible::Name), QString("SOS active"));
        QVERIFY(!b->hold().coverOpen());
    }
};

APP_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
