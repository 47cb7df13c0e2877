// Every kit control in one window, in every theme and at the kit's smallest and largest zoom, and
// the same window inside the window zoom host at 85 % and 200 %. With TESSROOK_SHOTS set the
// pictures are written to shots/ for a person to look at.
#include "Defaults.h"
#include "QMButtons.h"
#include "QMContainers.h"
#include "QMCredit.h"
#include "QMKnob.h"
#include "QMLCD.h"
#include "QMRoot.h"
#include "QMSegment.h"
#include "QMSlider.h"
#include "QMSwitch.h"
#include "QMText.h"
#include "QMZoom.h"
#include "QMZoomHost.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {
QWidget* gallery(QMUI* ui) {
    auto* page = new QWidget;
    auto* col = new QVBoxLayout(page);
    col->setContentsMargins(18, 18, 18, 18);
    col->setSpacing(14);
    col->addWidget(new QMChromeTitle("Tessrook", "Kit", ui), 0, Qt::AlignLeft);

    auto* controls = new QWidget;
    auto* grid = new QGridLayout(controls);
    grid->setSpacing(10);
    grid->addWidget(new QMCaption("Buttons", ui), 0, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QMChromeButton("Join channel", false, false, ui));
    buttons->addWidget(new QMChromeButton("Send", true, false, ui));
    buttons->addWidget(new QMChromeButton("Copy", false, true, ui));
    auto* held = new QMChromeButton("Held", false, false, ui);
    held->setDown(true);
    buttons->addWidget(held);
    buttons->addWidget(new QMOrbButton("plus", 34, false, "Add", {}, ui));
    buttons->addWidget(new QMOrbButton("mic.fill", 34, true, "Talk", {}, ui));
    buttons->addWidget(new QMOrbButton("lock.fill", 44, false, {}, {}, ui));
    buttons->addStretch();
    grid->addLayout(buttons, 0, 1);

    grid->addWidget(new QMCaption("Selector", ui), 1, 0);
    grid->addWidget(new QMSegment({{1, "Low"}, {2, "Mid"}, {3, "High"}}, 2, ui), 1, 1);
    grid->addWidget(new QMCaption("Slider", ui), 2, 0);
    grid->addWidget(new QMSlider(0.62, 0, 1, {}, ui), 2, 1);
    grid->addWidget(new QMCaption("Readout", ui), 3, 0);
    auto* lcds = new QHBoxLayout;
    lcds->addWidget(new QMLCD(QMTime::clock(75.36, true), 18, ui));
    lcds->addWidget(new QMLCD(QMTime::clock(3725, false), 14, ui));
    lcds->addWidget(new QMLCD("CH 07", 18, ui));
    lcds->addStretch();
    grid->addLayout(lcds, 3, 1);
    grid->addWidget(new QMCaption("Knobs", ui), 4, 0);
    auto* knobs = new QHBoxLayout;
    knobs->addWidget(new QMKnob(0, 0, 100, 64, "min", {}, ui));
    knobs->addWidget(new QMKnob(50, 0, 100, 64, "gain", {}, ui));
    knobs->addWidget(new QMKnob(100, 0, 100, 64, {}, {}, ui));
    knobs->addWidget(new QMKnob(
        0.4, 0, 1, 48, "squelch", [](double v) { return QString::asprintf("%.2f", v); }, ui));
    knobs->addStretch();
    grid->addLayout(knobs, 4, 1);
    grid->addWidget(new QMCaption("Switches", ui), 5, 0);
    auto* switches = new QHBoxLayout;
    switches->addWidget(new QMSwitch("Scrambler", true, ui));
    switches->addWidget(new QMSwitch("Listen to all", false, ui));
    switches->addStretch();
    grid->addLayout(switches, 5, 1);

    col->addWidget(new QMPanel(controls, 20, 12, ui));

    auto* wellContent = new QWidget;
    auto* wellRow = new QVBoxLayout(wellContent);
    wellRow->setContentsMargins(14, 10, 14, 10);
    auto* wellText = new QMLCD("WELL 14", 16, ui);
    wellRow->addWidget(wellText, 0, Qt::AlignLeft);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QMWell(wellContent, 14, ui), 1);
    bottom->addStretch();
    bottom->addWidget(new QMRLCreditLink(ui), 0, Qt::AlignBottom);
    col->addLayout(bottom);
    col->addStretch();
    return qmrlRoot(page, ui);
}

// Widgets that got less room than they ask for would be drawn cut off.
QStringList clipped(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible() || (!w->inherits("QMKitWidget") && !w->inherits("QAbstractButton"))) continue;
        const QSize hint = w->sizeHint();
        if (w->width() < hint.width() || w->height() < hint.height())
            out << QString("%1 %2x%3 < %4x%5")
                       .arg(w->metaObject()->className())
                       .arg(w->width())
                       .arg(w->height())
                       .arg(hint.width())
                       .arg(hint.height());
    }
    return out;
}

void save(const QImage& image, const QString& name) {
    if (qEnvironmentVariableIsEmpty("TESSROOK_SHOTS")) return;
    const QString dir = qEnvironmentVariable("TESSROOK_SOURCE_DIR", QDir::currentPath()) + "/shots";
    QDir().mkpath(dir);
    QVERIFY(image.save(dir + "/" + name + ".png"));
}
} // namespace

class TestKitGallery : public QObject {
    Q_OBJECT
    // Settings of its own: tests run in parallel and these keys are shared with other kit tests.
    QTemporaryDir settingsDir;
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        Defaults::shared().remove(QMUI::themeKey);
        Defaults::shared().remove(QMUI::zoomKey);
        Defaults::shared().remove(QMZoom::key);
    }

    void everyThemeAtTheKitZoomLimits_data() {
        QTest::addColumn<QString>("theme");
        QTest::addColumn<double>("zoom");
        for (const QMTheme& t : QMTheme::all()) {
            QTest::newRow(qPrintable(t.id)) << t.id << 1.0;
        }
        QTest::newRow("gunmetal-blue at 0.85") << QString("gunmetal-blue") << 0.85;
        QTest::newRow("lavender-violet at 2") << QString("lavender-violet") << 2.0;
    }
    void everyThemeAtTheKitZoomLimits() {
        QFETCH(QString, theme);
        QFETCH(double, zoom);
        QMUI ui;
        ui.setTheme(QMTheme::named(theme));
        ui.setZoom(zoom);
        QWidget* root = gallery(&ui);
        root->resize(root->sizeHint());
        root->show();
        QVERIFY(QTest::qWaitForWindowExposed(root));
        QCOMPARE(clipped(root), QStringList());
        const QImage shot = root->grab().toImage();
        QVERIFY(!shot.isNull());
        // The window ground is the theme's own colour at the top.
        const QColor top = shot.pixelColor(2, 2);
        const QColor base = QMTheme::named(theme).base;
        QVERIFY(std::abs(top.red() - base.red()) < 3 && std::abs(top.blue() - base.blue()) < 3);
        const QString suffix = zoom == 1.0 ? QString() : QString("-zoom%1").arg(int(zoom * 100));
        save(shot, "kit-gallery-" + theme + suffix);
        delete root;
    }

    void insideTheWindowZoomHost_data() {
        QTest::addColumn<double>("windowZoom");
        QTest::newRow("85%") << 0.85;
        QTest::newRow("200%") << 2.0;
    }
    void insideTheWindowZoomHost() {
        QFETCH(double, windowZoom);
        Defaults::shared().remove(QMUI::themeKey);
        Defaults::shared().remove(QMUI::zoomKey);
        QMZoom::setValue(windowZoom);
        QMUI ui;
        QWidget* root = gallery(&ui);
        const QSize logical = root->sizeHint();
        QMZoomHost host(root, QSizeF(logical));
        host.resize(QSize(int(logical.width() * windowZoom), int(logical.height() * windowZoom)));
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QCOMPARE(root->size(), logical);
        QCOMPARE(clipped(root), QStringList());
        const QImage shot = host.grab().toImage();
        save(shot, QString("kit-gallery-window-zoom%1").arg(int(windowZoom * 100)));
        Defaults::shared().remove(QMZoom::key);
    }
};

QTEST_MAIN(TestKitGallery)
#include "tst_kit_gallery.moc"
