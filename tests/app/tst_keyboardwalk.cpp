// A keyboard-only user on the real X display, in the program's own event loop, with real key presses
// (the X server's auto-repeat left on): from the first start through the welcome guide to a channel,
// Tab round the rack, a second channel through New / Join, a row chosen, a switch flipped, the space
// bar talking while a button has focus, the call sign changed in Setup, an SOS raised by holding Return
// and cancelled, and a message sent. Run again while the desktop's screen reader listens to keys
// (with-orca.sh), where at each step a reader's client hears the focused control named in its window.
#include "AppTest.h"
#include "ChannelBank.h"
#include "GuardedSOSButton.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "QMZoom.h"
#include "QMZoomHost.h"
#include "RackButton.h"
#include "SOSModule.h"
#include "SpaceBarTalk.h"
#include "TalkModule.h"
#include "TessrookMac.h"
#include "ToggleSwitch.h"
#include "TopRack.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QScrollArea>
#include <QStandardPaths>
#include <QtTest>

namespace {

using apptest::xdotool;

QWidget* focused() {
    return SpaceBarTalk::effectiveFocus(QApplication::focusWidget());
}

QString describe(QWidget* w) {
    if (!w) return "nothing";
    QString name = w->accessibleName();
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && name.isEmpty()) name = b->text();
    return QString::fromLatin1(w->metaObject()->className()) + " '" + name + "'";
}

using Want = std::function<bool(QWidget*)>;

Want button(const QString& text) {
    return [text](QWidget* w) {
        auto* b = qobject_cast<QAbstractButton*>(w);
        return b && b->text() == text;
    };
}

Want field(const QString& accessibleName) {
    return [accessibleName](QWidget* w) {
        return qobject_cast<QLineEdit*>(w) && w->accessibleName() == accessibleName;
    };
}

// Presses and releases as they reach the focused widget, counted by key. Under the desktop's screen
// reader its bridge holds every key until the reader has answered (a tenth of a second and more on a busy
// machine), so the walk waits for its own key to land before it looks at the focus: a button's click comes
// a moment after its key and moves the focus too, and taking that for a Tab's landing sent the next key
// one stop too far.
class Arrivals : public QObject {
public:
    QHash<int, int> presses, releases;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        // At the focused widget only: not at the window before the bridge, nor again at each parent.
        if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && watched == QApplication::focusWidget())
            ++(type == QEvent::KeyPress ? presses : releases)[static_cast<QKeyEvent*>(event)->key()];
        return false;
    }
};

// The key Qt reports for an xdotool key name or a typed character (the keys the walk uses).
int qtKey(const QString& name) {
    static const QHash<QString, int> named{{"Tab", Qt::Key_Tab},       {"Return", Qt::Key_Return},
                                           {"KP_Enter", Qt::Key_Enter}, {"Escape", Qt::Key_Escape},
                                           {"space", Qt::Key_Space}};
    const QString last = name.section('+', -1);
    if (named.contains(last)) return named[last];
    return last.size() == 1 ? last.at(0).toUpper().unicode() : int(Qt::Key_unknown);
}

} // namespace

class KeyboardWalkTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;
    std::unique_ptr<TessrookMac> program;
    Arrivals arrivals;

    // Real presses of Tab until the focus is where `want` says, waiting for each to land; under the
    // screen reader, until the reader has heard of it too.
    bool tabTo(const Want& want, int limit = 60) {
        for (int i = 0; i < limit; ++i) {
            if (want(focused())) return named(focused());
            if (!tab()) return false;
        }
        qWarning() << "never reached; focus on" << describe(focused());
        return want(focused()) && named(focused());
    }

    // What the screen reader hears of the focus, from another process over the accessibility bus.
    std::unique_ptr<QProcess> reader;
    QList<QJsonObject> heard;
    qsizetype heardUpTo = 0;
    bool listen() {
        if (!underReader()) return true;
        reader = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("AT_SPI_BUS_ADDRESS", env.value("TESSROOK_AT_SPI_BUS"));
        reader->setProcessEnvironment(env);
        reader->start("/usr/bin/python3", {qEnvironmentVariable("TESSROOK_SOURCE_DIR") + "/tests/support/atspi-focus.py",
                                           QString::number(QCoreApplication::applicationPid()), "600"});
        return QTest::qWaitFor([&] { return reader->canReadLine() && reader->readLine().startsWith("ready"); },
                               30000);
    }
    // Under the screen reader: it heard the focus come to `control`, by the control's name, inside its
    // window, by the window's name (as it says them when the focus moves).
    bool named(QWidget* control) {
        if (!reader || !control) return true;
        const auto nameOf = [](QObject* o) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
            return a ? a->text(QAccessible::Name) : QString();
        };
        // The window it is drawn in: through the zoom view for the rack, which is shown in a scene.
        QWidget* top = control->window();
        while (QGraphicsProxyWidget* proxy = top->graphicsProxyWidget()) {
            if (!proxy->scene() || proxy->scene()->views().isEmpty()) break;
            top = proxy->scene()->views().first()->window();
        }
        const QString name = nameOf(control), window = nameOf(top);
        if (name.isEmpty() || window.isEmpty()) {
            qWarning() << describe(control) << "has no name for the reader, or its window has none:" << window;
            return false;
        }
        const bool ok = QTest::qWaitFor([&] {
            while (reader->canReadLine()) heard << QJsonDocument::fromJson(reader->readLine()).object();
            for (qsizetype i = heardUpTo; i < heard.size(); ++i)
                if (heard[i]["name"].toString() == name && heard[i]["window"].toString().section(':', 1) == window) {
                    heardUpTo = i + 1;
                    return true;
                }
            return false;
        }, 15000);
        if (!ok) {
            QStringList lines;
            for (qsizetype i = heardUpTo; i < heard.size(); ++i)
                lines << QString::fromUtf8(QJsonDocument(heard[i]).toJson(QJsonDocument::Compact));
            qWarning().noquote() << "the reader never heard" << name << "in" << window << "; it heard:" << lines;
        }
        return ok;
    }
    bool tab() { return key("Tab"); }
    // One real key press and release; true once the press has reached the focused widget.
    bool key(const QString& name) { return send({"key", name}, arrivals.presses, qtKey(name)); }
    bool keyDown(const QString& name) { return send({"keydown", name}, arrivals.presses, qtKey(name)); }
    bool keyUp(const QString& name) { return send({"keyup", name}, arrivals.releases, qtKey(name)); }
    bool send(const QStringList& args, const QHash<int, int>& seen, int key, int times = 1) {
        const int wanted = seen.value(key) + times;
        // In front of the program's own filters, installed since, which may take the key.
        qApp->installEventFilter(&arrivals);
        if (!xdotool(args)) return false;
        QDeadlineTimer deadline(15000); // the reader's round trip for each key, on a busy machine
        while (seen.value(key) < wanted && !deadline.hasExpired()) QTest::qWait(10);
        if (seen.value(key) >= wanted) return true;
        qWarning() << args << "never reached the focus; it is on" << describe(focused());
        return false;
    }
    // A window manager gives a new window the keyboard; the bare test display does not.
    bool activate(QWidget* window) {
        if (!QTest::qWaitForWindowExposed(window)) return false;
        QTest::qWait(200); // the window that opened it may still be taking the keyboard back
        if (!window->isActiveWindow()) xdotool({"windowfocus", "--sync", QString::number(window->winId())});
        return QTest::qWaitForWindowActive(window);
    }
    // Typed text; true once its last key has reached the focused widget as often as the text has it.
    bool type(const QString& text) {
        const QChar last = text.back().toUpper();
        return send({"type", "--delay", "20", text}, arrivals.presses, qtKey(QString(last)),
                    int(text.toUpper().count(last)));
    }
    // Keypad Enter, except under the desktop's screen reader, which keeps it for itself ("where am I")
    // whenever it follows the program: there the walk presses Return.
    static bool underReader() { return qEnvironmentVariableIsSet("TESSROOK_AT_SPI_BUS"); }
    static QString keypadEnter() { return underReader() ? QStringLiteral("Return") : QStringLiteral("KP_Enter"); }

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != "xcb") QSKIP("no test display (TESSROOK_TEST_DISPLAY)");
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("xdotool missing");
    }
    void cleanup() {
        xdotool({"keyup", "space", "Return"});
        if (reader) {
            reader->kill();
            reader->waitForFinished();
            reader.reset();
        }
        program.reset();
        rig.model.reset();
    }

    void fromFirstStartToAMessage() {
        fixture::resetSettings();
        QMZoom::reset();
        Defaults::shared().setValue("welcomed", false);
        QVERIFY(listen()); // before the first window, whose first focus the reader hears
        program = std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(rig.options()),
                                                false);
        program->launch();
        WalkieModel& m = program->model();
        MainWindow* w = program->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        MacRoot* root = w->root();

        // The welcome guide: a call sign, "Next", "Create" with the offered name, "Start".
        QTRY_VERIFY(root->openSheet());
        QVERIFY(activate(root->openSheet()));
        QVERIFY(tabTo(field("Call sign")));
        QVERIFY(type("Ranger 2"));
        QVERIFY(tabTo(button("Next")));
        QVERIFY(key("Return"));
        // The button clicks a moment after its key: the next page is up before the next Tab.
        const auto shownField = [&](const QString& name) {
            for (auto* f : root->openSheet()->findChildren<QLineEdit*>())
                if (f->accessibleName() == name && f->isVisible()) return true;
            return false;
        };
        QTRY_VERIFY(shownField("Channel name"));
        QVERIFY(tabTo(button("Create")));
        QVERIFY(key(keypadEnter()));
        QTRY_COMPARE(m.channels().size(), 1);
        QVERIFY(tabTo(button("Start")));
        QVERIFY(key("Return"));
        QTRY_VERIFY(!root->openSheet());
        QCOMPARE(m.displayName(), QString("Ranger 2"));
        QCOMPARE(m.channels().first().name, QString("Crew"));

        // One round of Tab over the rack: it visits the sections in reading order, each stop shown
        // on screen, the row between the bank's help dot and its keys, and comes back round.
        QVERIFY(activate(w));
        const QList<QWidget*> sections{root->topRack(), root->channelBank(), root->talkModule(),
                                       root->sosModule(), root->logPanel()};
        const auto section = [&](QWidget* x) {
            for (int i = 0; i < sections.size(); ++i)
                if (sections[i]->isAncestorOf(x)) return i;
            return -1;
        };
        QWidget* picker = root->topRack()->findChild<QComboBox*>();
        QVERIFY(tabTo([&](QWidget* x) { return x == picker; }));
        QWidget* first = focused();
        QList<QWidget*> round{first};
        for (int i = 0; i < 60; ++i) {
            QVERIFY(tab());
            if (focused() == first) break;
            round << focused();
        }
        QCOMPARE(focused(), first);
        QStringList seen;
        int last = 0;
        for (QWidget* x : round) {
            seen << describe(x);
            QVERIFY2(x->isVisible() && !qobject_cast<QAbstractScrollArea*>(x), qPrintable(seen.join(", ")));
            QVERIFY2(section(x) >= last, qPrintable(seen.join(", ")));
            last = section(x);
        }
        QCOMPARE(last, 4);
        const auto at = [&](const Want& want) {
            for (int i = 0; i < round.size(); ++i)
                if (want(round[i])) return i;
            return -1;
        };
        const int row = at([](QWidget* x) { return qobject_cast<ChannelRow*>(x) != nullptr; });
        QVERIFY(at([](QWidget* x) { return x && x->accessibleName() == "Help: Channels"; }) < row);
        QVERIFY(row < at(button("New / Join")));

        // A second channel through New / Join: Return in the passphrase field confirms the sheet.
        QVERIFY(tabTo(button("New / Join")));
        QVERIFY(key("Return"));
        QTRY_VERIFY(root->openSheet());
        QVERIFY(activate(root->openSheet()));
        QVERIFY(tabTo([](QWidget* x) { return x && x->objectName() == "name"; }));
        QVERIFY(type("Base"));
        QVERIFY(tabTo([](QWidget* x) { return x && x->objectName() == "passphrase"; }));
        QVERIFY(type("correct horse battery"));
        QVERIFY(key("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(m.channels().size() == 2, 10000);
        QTRY_VERIFY(!root->openSheet());

        // The Crew row chosen with keypad Enter.
        QVERIFY(activate(w));
        QVERIFY(tabTo([](QWidget* x) {
            auto* r = qobject_cast<ChannelRow*>(x);
            return r && r->channel().name == "Crew";
        }));
        QVERIFY(key(keypadEnter()));
        QTRY_COMPARE(m.selected()->name, QString("Crew"));

        // A switch flipped with Return; the space bar on it talks and flips nothing.
        const bool beep = m.rogerBeep();
        QVERIFY(tabTo(button("Roger beep")));
        QVERIFY(key("Return"));
        QTRY_COMPARE(m.rogerBeep(), !beep);
        // The space bar talks wherever the focus is, taken at the window: the air shows it arrived.
        QVERIFY(xdotool({"keydown", "space"}));
        QTRY_VERIFY(m.talk().isTransmitting());
        QVERIFY(xdotool({"keyup", "space"}));
        QTRY_VERIFY(m.talk().isIdle());
        QCOMPARE(m.rogerBeep(), !beep);

        // Setup: the call sign field edited; Escape closes the sheet.
        QVERIFY(tabTo(button("Setup")));
        QVERIFY(key("Return"));
        QTRY_VERIFY(root->openSheet());
        QVERIFY(activate(root->openSheet()));
        QVERIFY(tabTo(field("Your call sign (shown to others)")));
        {
            // Every field focused in the scrolling sheet is in view, reached by Tab from anywhere.
            QWidget* sign = focused();
            auto* area = qobject_cast<QScrollArea*>(root->openSheet()->findChild<QScrollArea*>());
            QVERIFY(area);
            const QRect shown(sign->mapTo(area->viewport(), QPoint(0, 0)), sign->size());
            QVERIFY2(area->viewport()->rect().contains(shown), qPrintable(QString::number(shown.y())));
        }
        QVERIFY(key("ctrl+a"));
        QVERIFY(type("Bronco 9"));
        QTRY_COMPARE(m.displayName(), QString("Bronco 9"));
        QVERIFY(key("Escape"));
        QTRY_VERIFY(!root->openSheet());
        // The focus is back where the sheet was opened, once the window has the keyboard back, and the
        // reader says so.
        QVERIFY(activate(w));
        QTRY_VERIFY2(button("Setup")(focused()), qPrintable(describe(focused())));
        QVERIFY(named(focused()));

        // SOS: Return lifts the cover; Return held on for two seconds fires, through the X server's
        // auto-repeat; "Cancel SOS" is pressed with Return.
        auto* sos = root->sosModule()->findChild<GuardedSOSButton*>();
        QVERIFY(tabTo([sos](QWidget* x) { return x == sos; }));
        QVERIFY(key("Return"));
        QTRY_VERIFY(sos->hold().coverOpen());
        QTest::qWait(300);
        QVERIFY(!sos->hold().holding()); // a tap lifts; it does not start the hold
        QVERIFY(keyDown("Return"));
        QTRY_VERIFY(sos->hold().holding());
        QTest::qWait(1000);
        QVERIFY(!m.sosActive());
        QTRY_VERIFY_WITH_TIMEOUT(m.sosActive(), 4000);
        QVERIFY(keyUp("Return"));
        if (QDialog* panel = root->sosSheet()) { // the SOS panel may come up over the rack
            QVERIFY(activate(panel));
            QVERIFY(key("Escape"));
            QTRY_VERIFY(!root->sosSheet());
            QVERIFY(activate(w));
        }
        QVERIFY(tabTo(button("Cancel SOS")));
        QVERIFY(key("Return"));
        QTRY_VERIFY(!m.sosActive());
        // The key went with the SOS: the focus is on the cover, and Return lifts it again.
        QTRY_COMPARE(focused(), sos);
        QVERIFY(named(sos));
        QVERIFY(key("Return"));
        QTRY_VERIFY(sos->hold().coverOpen());

        // A message: the field is scrolled into view when it takes the focus.
        QVERIFY(tabTo([](QWidget* x) { return x && x->objectName() == "draft"; }));
        QMZoomHost* host = w->zoomHost();
        QWidget* draft = focused();
        const QRectF inScene(QPointF(draft->mapTo(host->content(), QPoint(0, 0))), QSizeF(draft->size()));
        QVERIFY(host->mapToScene(host->viewport()->rect()).boundingRect().contains(inScene));
        QVERIFY(type("hello crew"));
        QVERIFY(key("Return"));
        QTRY_VERIFY(!m.messages().isEmpty());
        QCOMPARE(m.messages().first().text, QString("hello crew"));
    }
};

APP_DISPLAY_TEST_MAIN(KeyboardWalkTest)
#include "tst_keyboardwalk.moc"
