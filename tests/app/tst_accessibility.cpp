// What a screen reader reads of the program, read as one does: from another process over the desktop's
// accessibility bus (at-spi2, on private buses), with the real main window on the test X server. One
// table of roles, names and states over the main window, the mini panel and every sheet; where the
// rack's controls are at 100 % and 190 %; which control holds the focus; and the changes the reader
// is told of. Qt's own interfaces, asked inside the process, looked right while the desktop saw the
// rack as unnamed fillers beside the window at unzoomed places.
#include "AppTest.h"
#include "ChannelBank.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "QMRLCredit.h"
#include "QMZoom.h"
#include "QMZoomHost.h"
#include "RackButton.h"
#include "SOSModule.h"
#include "TopRack.h"
#include "TRMiniPanel.h"
#include "TessrookMac.h"

#include <QComboBox>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <unistd.h>

namespace {

struct Element {
    QString path; // "frame:QMRL Tessrook/filler:/push button:Setup": role:name of each element down
    QString role;
    QString name;
    QStringList states;
    QRect extents;
    int children = 0;
    bool has(const QString& state) const { return states.contains(state); }
};

QString support(const QString& file) {
    return qEnvironmentVariable("TESSROOK_SOURCE_DIR") + "/tests/support/" + file;
}

// A reader's client in its own process; this process keeps its event loop running so the bridge answers.
QProcess* startClient(const QString& script, const QStringList& args) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("AT_SPI_BUS_ADDRESS", env.value("TESSROOK_AT_SPI_BUS")); // never another bus's on the X root
    p->setProcessEnvironment(env);
    p->start("/usr/bin/python3", QStringList{support(script)} + args);
    return p;
}

// The tree as the reader walks it; only the window `window` ("dialog:Help") when given.
QList<Element> readTree(const QString& window = {}) {
    QStringList args{QString::number(getpid())};
    if (!window.isEmpty()) args << window;
    std::unique_ptr<QProcess> p(startClient("atspi-tree.py", args));
    if (!QTest::qWaitFor([&] { return p->state() == QProcess::NotRunning; }, 90000)) p->kill();
    QList<Element> out;
    for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty() || o.contains("error")) continue;
        Element e;
        e.path = o["path"].toString();
        e.role = o["role"].toString();
        e.name = o["name"].toString();
        for (const auto& s : o["states"].toArray()) e.states << s.toString();
        const QJsonArray x = o["extents"].toArray();
        if (x.size() == 4) e.extents = QRect(x[0].toInt(), x[1].toInt(), x[2].toInt(), x[3].toInt());
        e.children = o["children"].toInt();
        out << e;
    }
    if (out.isEmpty()) qWarning() << "no tree:" << p->readAllStandardError();
    return out;
}

// The one element below `under` (a path prefix) with that role and name.
std::optional<Element> find(const QList<Element>& tree, const QString& under, const QString& role,
                            const QString& name) {
    std::optional<Element> found;
    for (const Element& e : tree)
        if (e.path.startsWith(under + "/") && e.role == role && e.name == name) {
            if (found) return std::nullopt; // two of them: the reader cannot tell them apart
            found = e;
        }
    return found;
}

QString listing(const QList<Element>& tree) {
    QStringList lines;
    for (const Element& e : tree) lines << e.path + " [" + e.states.join(',') + "]";
    return lines.join('\n');
}

// Where a widget inside the zoom host is drawn on the screen.
QRect drawn(QWidget* w) {
    QWidget* top = w->window();
    QGraphicsProxyWidget* proxy = top->graphicsProxyWidget();
    if (!proxy) return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    QGraphicsView* view = proxy->scene()->views().first();
    const QRectF inScene = proxy->mapRectToScene(QRectF(QPointF(w->mapTo(top, QPoint(0, 0))), QSizeF(w->size())));
    const QRect inView = view->mapFromScene(inScene).boundingRect();
    return QRect(view->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

bool near(const QRect& a, const QRect& b) {
    return qAbs(a.x() - b.x()) <= 2 && qAbs(a.y() - b.y()) <= 2 && qAbs(a.width() - b.width()) <= 2 &&
           qAbs(a.height() - b.height()) <= 2;
}

const QString frame = "application:QMRL Tessrook/frame:QMRL Tessrook";

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != "xcb") QSKIP("no test display (TESSROOK_TEST_DISPLAY)");
        if (qEnvironmentVariableIsEmpty("TESSROOK_AT_SPI_BUS")) QSKIP("no accessibility bus");
    }
    void init() {
        fixture::resetSettings();
        Defaults::shared().remove(MacRoot::welcomedKey());
        Defaults::shared().remove(QMZoom::key);
    }

    // The rack inside its window: every control is there under the window's frame, by role, name and
    // state, the channels as a list, and none of it beside the window as the application's own. Each
    // control reports where it is drawn, at 100 % and at 190 %, and the zoom view is never a focus.
    void theRackInsideItsWindow() {
        Defaults::shared().setValue(MacRoot::welcomedKey(), true);
        TessrookMac program({}, std::make_unique<WalkieModel>(rig.options()), false);
        WalkieModel& m = program.model();
        m.createChannel("Crew");
        m.createChannel("Base");
        m.setSelectedID(m.channels().first().channelID());
        m.setRogerBeep(true);
        m.setRadioSound(false);
        MainWindow w(m);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MacRoot* root = w.root();
        for (double zoom : {1.0, 1.9}) {
            Defaults::shared().setValue(QMZoom::key, zoom);
            QTRY_COMPARE(w.zoomHost()->currentLayout().zoom, zoom);
            w.zoomHost()->ensureVisible(0, 0, 1, 1); // scrolled to the top left
            QTest::qWait(50); // the outside reader learns of the scroll over the bus: nothing here shows when
            const QList<Element> tree = readTree("frame:QMRL Tessrook");
            QVERIFY(!tree.isEmpty());
            // The application holds its windows only.
            for (const Element& e : tree)
                if (e.path.count('/') == 1)
                    QVERIFY2(QStringList({"frame", "window", "dialog"}).contains(e.role) && !e.name.isEmpty(),
                             qPrintable(e.path));

            struct Row {
                QString role, name;
                QStringList states, absent;
            };
            const QList<Row> table{
                {"push button", "Setup", {"focusable"}, {}},
                {"combo box", "Theme", {"focusable"}, {}},
                {"label", "Relay: off", {}, {}},
                {"label", "Encrypted: on", {}, {}},
                {"label", "Channel bank", {}, {}},
                {"label", "Emergency", {}, {}},
                {"list", "Channels", {}, {}},
                {"list item", "Crew", {"selectable", "selected", "focusable"}, {}},
                {"list item", "Base", {"selectable", "focusable"}, {"selected"}},
                {"check box", "Roger beep", {"checked"}, {}},
                {"check box", "Radio FX", {}, {"checked"}},
                {"check box", "Silent", {"focusable"}, {"checked"}},
                {"push button", "Push to talk", {}, {}},
                {"label", "STANDBY", {}, {}},
                {"label", "ALERTS 0", {}, {}},
                {"label", "CHECK-IN OFF", {}, {}},
                {"panel", "SOS", {}, {}},
                {"push button", "Open SOS panel", {"focusable"}, {}},
                {"push button", "Help: SOS", {"focusable"}, {}},
            };
            for (const Row& r : table) {
                const std::optional<Element> e = find(tree, frame, r.role, r.name);
            if (!e) qWarning().noquote() << listing(tree);
                QVERIFY2(e, qPrintable(r.role + ":" + r.name + "\n" + listing(tree)));
                for (const QString& s : r.states) QVERIFY2(e->has(s), qPrintable(e->path + " not " + s));
                for (const QString& s : r.absent) QVERIFY2(!e->has(s), qPrintable(e->path + " " + s));
            }
            // The rows sit in the list, so the reader counts them ("1 of 2").
            const Element list = *find(tree, frame, "list", "Channels");
            QCOMPARE(list.children, 2);
            QVERIFY(find(tree, list.path, "list item", "Crew"));
            QVERIFY(find(tree, list.path, "list item", "Base"));

            // Drawn places: the SOS panel key, a row and a switch.
            const QList<std::pair<QWidget*, Element>> placed{
                {root->sosModule()->panelKey(), *find(tree, frame, "push button", "Open SOS panel")},
                {root->channelBank()->rows().first(), *find(tree, frame, "list item", "Crew")},
                {root->topRack()->findChild<QComboBox*>(), *find(tree, frame, "combo box", "Theme")},
            };
            for (const auto& [widget, e] : placed)
                QVERIFY2(near(e.extents, drawn(widget)),
                         qPrintable(QString("%1 at %2: %3,%4 %5x%6, drawn %7x%8")
                                        .arg(e.name)
                                        .arg(zoom)
                                        .arg(e.extents.x())
                                        .arg(e.extents.y())
                                        .arg(e.extents.width())
                                        .arg(e.extents.height())
                                        .arg(drawn(widget).width())
                                        .arg(drawn(widget).height())));
            const QSize key = root->sosModule()->panelKey()->size();
            const Element keyElement = *find(tree, frame, "push button", "Open SOS panel");
            QVERIFY(qAbs(keyElement.extents.width() - key.width() * zoom) <= 2);
            QVERIFY(qAbs(keyElement.extents.height() - key.height() * zoom) <= 2);

            // The view and the unnamed containers are never a focus; one control at most is focused.
            QStringList focused;
            for (const Element& e : tree) {
                if ((e.role == "filler" || e.role == "panel") && e.name.isEmpty())
                    QVERIFY2(!e.has("focusable") && !e.has("focused"), qPrintable(e.path));
                if (e.has("focused")) focused << e.path;
            }
            QVERIFY2(focused.size() <= 1, qPrintable(focused.join('\n')));
        }
    }

    // Every sheet is a dialog named by its title, and its fields by their labels; the welcome guide
    // gives the focus back to a control of the rack, never to the view.
    void sheetsAndTheFocusAfterThem() {
        TessrookMac program({}, std::make_unique<WalkieModel>(rig.options()), false);
        WalkieModel& m = program.model();
        MainWindow w(m);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MacRoot* root = w.root();
        QTRY_VERIFY(root->openSheet());
        {
            const QString title = root->openSheet()->windowTitle();
            QCOMPARE(title, QString("Welcome to Tessrook"));
            const QList<Element> tree = readTree("dialog:" + title);
            QVERIFY2(find(tree, "application:QMRL Tessrook", "dialog", title), qPrintable(listing(tree)));
        }
        // Finished: the rack's first control has the focus (and so its mark), not the view.
        for (QPushButton* b : root->openSheet()->findChildren<QPushButton*>())
            if (b->text().remove('&') == "Skip for now") b->click();
        QTRY_VERIFY(!root->openSheet());
        QTRY_VERIFY_WITH_TIMEOUT(root->focusWidget() && root->focusWidget()->hasFocus(), 20000);
        {
            const QList<Element> tree = readTree("frame:QMRL Tessrook");
            QStringList focused;
            for (const Element& e : tree)
                if (e.has("focused")) focused << e.path;
            QCOMPARE(focused.size(), 1);
            QVERIFY2(focused.first().startsWith(frame + "/") && !focused.first().endsWith(":"),
                     qPrintable(focused.first()));
        }

        m.createChannel("Crew");
        const Channel crew = m.channels().first();
        struct Sheet {
            std::function<void()> open;
            QList<std::pair<QString, QString>> parts; // role, name
        };
        const QList<Sheet> sheets{
            {[&] { root->openJoin(); },
             {{"text", "Your call sign"}, {"text", "Channel name, e.g. Westover Crew"}}},
            {[&] { root->openSettings(); },
             {{"text", "Your call sign (shown to others)"}, {"text", "Relay address"},
              {"combo box", "Scrambler voice"}}},
            {[&] { root->openEdit(crew); },
             {{"text", "Channel name"}, {"password text", "New passphrase (leave empty to keep the key)"}}},
            {[&] { root->openInvite(crew); }, {{"image", "QR code invite"}}},
            {[&] { root->openHelpAt(HelpTopic::quickStart); }, {{"list", "Chapters"}}},
            {[&] { w.command("selfTest")->trigger(); }, {}},
        };
        for (const Sheet& s : sheets) {
            s.open();
            QTRY_VERIFY(root->openSheet() && root->openSheet()->isVisible());
            const QString title = root->openSheet()->windowTitle();
            QVERIFY(!title.isEmpty());
            const QList<Element> tree = readTree("dialog:" + title);
            const std::optional<Element> dialog = find(tree, "application:QMRL Tessrook", "dialog", title);
            QVERIFY2(dialog, qPrintable(title + "\n" + listing(tree)));
            for (const auto& [role, name] : s.parts)
                if (!find(tree, dialog->path, role, name)) qWarning().noquote() << listing(tree);
            for (const auto& [role, name] : s.parts)
                QVERIFY2(find(tree, dialog->path, role, name), qPrintable(title + ": " + role + ":" + name));
            QMetaObject::invokeMethod(root->openSheet(), "reject");
            QTRY_VERIFY(!root->openSheet());
        }
        m.setShowSOSPanel(true);
        QTRY_VERIFY(root->sosSheet() && root->sosSheet()->isVisible());
        const QString sos = root->sosSheet()->windowTitle();
        QVERIFY(find(readTree("dialog:" + sos), "application:QMRL Tessrook", "dialog", sos));
        m.setShowSOSPanel(false);
        QTRY_VERIFY(!root->sosSheet());

        // About: the maker's site is a link.
        QWidget* about = QMRLCredit::showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        const QList<Element> tree = readTree("dialog:" + about->windowTitle());
        const std::optional<Element> link = find(tree, "application:QMRL Tessrook", "link", QMRLCredit::website().host());
        QVERIFY2(link && link->path.contains(about->windowTitle()) && link->has("focusable"), qPrintable(listing(tree)));
        about->close();
    }

    // The mini panel is a window of its own, named, with its lamps and last message as text.
    void miniPanel() {
        Defaults::shared().setValue(MacRoot::welcomedKey(), true);
        TessrookMac program({}, std::make_unique<WalkieModel>(rig.options()), false);
        WalkieModel& m = program.model();
        m.createChannel("Crew");
        m.sendText("over and out", m.channels().first());
        m.receiveStatus("relay", [] {
            TransportStatus s;
            s.up = true;
            return s;
        }());
        TRMiniPanel::shared().show();
        QWidget* panel = TRMiniPanel::shared().panel();
        QVERIFY(panel && QTest::qWaitForWindowExposed(panel));
        const QList<Element> tree = readTree("frame:Tessrook Mini");
        const QString window = "application:QMRL Tessrook/frame:Tessrook Mini";
        QVERIFY2(std::any_of(tree.begin(), tree.end(), [&](const Element& e) { return e.path == window; }),
                 qPrintable(listing(tree)));
        for (const QString& lamp : {"LAN: off", "RELAY: on", "NEARBY: off"})
            QVERIFY2(find(tree, window, "label", lamp), qPrintable(lamp + "\n" + listing(tree)));
        bool message = false;
        for (const Element& e : tree)
            message |= e.path.startsWith(window + "/") && e.role == "label" && e.name.contains("over and out");
        QVERIFY2(message, qPrintable(listing(tree)));
        TRMiniPanel::shared().hide();
    }

    // Going on air, a reception and an SOS raised or heard reach the reader as name changes of what
    // the screens show; a row's menu opens from the keyboard.
    void changesAndTheRowMenu() {
        Defaults::shared().setValue(MacRoot::welcomedKey(), true);
        TessrookMac program({}, std::make_unique<WalkieModel>(rig.options()), false);
        WalkieModel& m = program.model();
        const Channel a = fixture::channel("A");
        m.setChannels({a});
        m.setSelectedID(a.channelID());
        MainWindow w(m);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        std::unique_ptr<QProcess> events(startClient("atspi-events.py", {QString::number(getpid()), "60"}));
        QByteArray heard;
        QVERIFY(QTest::qWaitFor([&] { return (heard += events->readAllStandardOutput()).contains("ready"); }, 30000));
        const auto hears = [&](const QString& name) {
            return QTest::qWaitFor([&] {
                heard += events->readAllStandardOutput();
                return heard.contains(("\"name\": \"" + name).toUtf8());
            }, 15000);
        };
        // The program learns of a new listener from the registry a moment after it listens: a lamp
        // goes on and off until it is heard.
        bool relay = false;
        QVERIFY(QTest::qWaitFor([&] {
            relay = !relay;
            TransportStatus s;
            s.up = relay;
            m.receiveStatus("relay", s);
            heard += events->readAllStandardOutput();
            return heard.contains("\"name\": \"Relay: on");
        }, 30000));
        m.receiveStatus("relay", TransportStatus{});
        m.receiveSealed(fixture::sealed(a, PacketKind::start, 77, 1, 0xB0B, "Bob"));
        QVERIFY2(hears("RX"), heard.constData());
        m.receiveSealed(fixture::sealed(a, PacketKind::end, 77, 2, 0xB0B));
        QTRY_VERIFY(m.talk().isIdle());
        m.pressTalk(false);
        QVERIFY2(hears("TX"), heard.constData());
        QVERIFY2(hears("On air: on"), heard.constData());
        m.releaseTalk();
        m.receiveSealed(fixture::sealed(a, PacketKind::sos, 900, 1, 0xA, apptest::sosRecord("Ann")));
        QVERIFY2(hears("ALERTS 1"), heard.constData());
        QVERIFY2(hears("SOS: on"), heard.constData());
        events->kill();
        events->waitForFinished();
        m.setShowSOSPanel(false);
        QTRY_VERIFY(!w.root()->sosSheet());

        // The row's menu: Edit, Invite, Leave, from the menu key and from Shift+F10.
        ChannelRow* row = w.root()->channelBank()->rows().first();
        for (const auto& [key, mods] : {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
            row->setFocus(Qt::TabFocusReason);
            QTest::keyClick(row, key, mods);
            QMenu* menu = nullptr;
            QTRY_VERIFY((menu = w.root()->channelBank()->findChild<QMenu*>()) && menu->isVisible());
            QStringList titles;
            for (QAction* act : menu->actions()) titles << act->text();
            QCOMPARE(titles, (QStringList{"Edit channel / passphrase…", "Invite…", "Leave"}));
            menu->close();
            QTRY_VERIFY(!w.root()->channelBank()->findChild<QMenu*>()); // deleted on close
        }
    }
};

// Runs itself again on a private session bus and accessibility bus, then as the display tests do.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("TESSROOK_AT_SPI_BUS") && !qEnvironmentVariableIsEmpty("TESSROOK_SOURCE_DIR")) {
        QByteArray launcher = qgetenv("TESSROOK_SOURCE_DIR") + "/tests/support/with-atspi.sh";
        std::vector<char*> args{launcher.data()};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(launcher.constData(), args.data());
        perror("with-atspi.sh");
        return 1;
    }
    fixture::privateFolders();
    const QByteArray display = qgetenv("TESSROOK_TEST_DISPLAY");
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    TRLaunch::useProgramNames();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TessrookMac::applyLook(app);
    WFonts::registerFonts();
    AccessibilityTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_accessibility.moc"
