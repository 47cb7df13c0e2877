// The kit's widgets offscreen: the geometry and fills their looks fix, clicks and drags, and
// following the shared theme and zoom.
#include "UrlCatcher.h"
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

#include <QDesktopServices>
#include <QHelpEvent>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

namespace {
// Colour distance in 0..255 units, largest channel.
int distance(const QColor& a, const QColor& b) {
    return std::max(
        {std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}
QColor pixel(QWidget& w, QPointF at) {
    return w.grab().toImage().pixelColor(at.toPoint());
}

void press(QWidget* w, QPointF at) {
    QTest::mousePress(w, Qt::LeftButton, {}, at.toPoint());
}
void move(QWidget* w, QPointF at) {
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(w, &e);
}
void release(QWidget* w, QPointF at) {
    QTest::mouseRelease(w, Qt::LeftButton, {}, at.toPoint());
}

} // namespace

class TestKitWidgets : public QObject {
    Q_OBJECT
    // Settings of its own: tests run in parallel and these keys are shared with other kit tests.
    QTemporaryDir settingsDir;
    QMUI* ui = nullptr;

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() {
        Defaults::shared().remove(QMUI::themeKey);
        Defaults::shared().remove(QMUI::zoomKey);
        ui = new QMUI(this);
    }
    void cleanup() {
        delete ui;
        ui = nullptr;
    }

    void panelMarginsShadowAndFill() {
        auto* content = new QLabel("content");
        QMPanel panel(content, 20, 12, ui);
        panel.resize(panel.sizeHint() + QSize(60, 40));
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QRectF f = panel.face();
        QCOMPARE(QRectF(content->geometry()).left() - f.left(), 12.0);
        QCOMPARE(f.bottom() + 1 - QRectF(content->geometry()).bottom() - 1, 12.0);
        QCOMPARE(panel.shadowBlur(), 8.0);
        QCOMPARE(panel.shadowOffset(), 3.0);
        QCOMPARE(QMPanel::rimWidth, 1.2);
        // Below the vertical centre the face is the bare anodised gradient at that height.
        const QPointF low(f.left() + 30, f.top() + f.height() * 0.9);
        QVERIFY(distance(pixel(panel, low), ui->theme().panel) < 40);
        // The shadow darkens below the panel, not above it.
        const QColor under = pixel(panel, QPointF(f.center().x(), f.bottom() + 3));
        const QColor over = pixel(panel, QPointF(f.center().x(), f.top() - 3));
        QVERIFY(under.alpha() > over.alpha());

        ui->setZoom(2);
        QTRY_COMPARE(QRectF(content->geometry()).left() - panel.face().left(), 24.0);
        QCOMPARE(panel.shadowBlur(), 16.0);
        QCOMPARE(panel.shadowOffset(), 6.0);

        // A theme change recolours the panel at once.
        const QColor before = pixel(panel, low);
        ui->setTheme(QMTheme::named("anodized-red"));
        QVERIFY(distance(pixel(panel, low), before) > 10);
    }

    void wellClipsItsContentToTheOutline() {
        auto* content = new QWidget;
        content->setAutoFillBackground(true);
        QPalette pal;
        pal.setColor(QPalette::Window, Qt::green);
        content->setPalette(pal);
        QMWell well(content, 14, ui);
        well.resize(200, 100);
        well.show();
        QVERIFY(QTest::qWaitForWindowExposed(&well));
        const QImage img = well.grab().toImage();
        // The very corner lies outside the 14-point rounding: not green.
        QVERIFY(img.pixelColor(1, 1) != QColor(Qt::green));
        // The middle shows the content.
        QCOMPARE(img.pixelColor(100, 50), QColor(Qt::green));
        // The rim is drawn above the content at the top edge.
        QVERIFY(img.pixelColor(100, 0) != QColor(Qt::green));
        QCOMPARE(well.rimWidth(), 2.0);
        ui->setZoom(2);
        QCOMPARE(well.rimWidth(), 4.0);
    }

    void chromeButtonLooksAndHits() {
        QMChromeButton plain("Save", false, false, ui);
        QMChromeButton compact("Go", false, true, ui);
        plain.resize(plain.sizeHint());
        compact.resize(compact.sizeHint());
        QCOMPARE(plain.margins(), QSizeF(16, 7));
        QCOMPARE(compact.margins(), QSizeF(10, 4));
        QCOMPARE(QMUI::logicalSize(compact.labelFont()), 11.0);
        QCOMPARE(QMUI::logicalSize(plain.labelFont()), 12.5);
        QCOMPARE(QMChromeButton::shadowFor(false), QPointF(3, 2));
        QCOMPARE(QMChromeButton::shadowFor(true), QPointF(1, 0.5));
        ui->setZoom(2);
        QCOMPARE(compact.margins(), QSizeF(20, 8));
        QCOMPARE(QMUI::logicalSize(compact.labelFont()), 22.0);
        ui->setZoom(1);

        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QSignalSpy clicked(&plain, &QAbstractButton::clicked);
        const QRectF c = plain.capsuleRect();
        // An empty part of the capsule, left of the text, takes the click; the bleed margin does not.
        QTest::mouseClick(&plain, Qt::LeftButton, {},
                          QPoint(int(c.left() + c.height() / 2 + 2), int(c.center().y())));
        QCOMPARE(clicked.count(), 1);
        QTest::mouseClick(&plain, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(clicked.count(), 1);

        // Pressed: the chrome look, drawn smaller (the shadow edge moves inwards).
        const QPointF probe(c.center().x(), c.top() + c.height() * 0.7);
        const QColor rest = pixel(plain, probe);
        plain.setDown(true);
        const QColor held = pixel(plain, probe);
        QVERIFY(distance(rest, held) > 5);
        plain.setDown(false);
        QCOMPARE(pixel(plain, probe), rest);
    }

    void prominentButtonGlowsInTheAccent() {
        QMChromeButton b("Join", true, false, ui);
        b.resize(b.sizeHint());
        const QRectF c = b.capsuleRect();
        const QColor mid = pixel(b, QPointF(c.left() + c.height() / 2, c.center().y() + c.height() * 0.3));
        QVERIFY(distance(mid, ui->theme().accent) < 60);
        // The glow reaches beyond the capsule.
        QVERIFY(pixel(b, QPointF(c.center().x(), c.top() - 2)).alpha() > 0);
    }

    void orbSizesLabelAndLitLook() {
        int actions = 0;
        QMOrbButton orb(
            "plus", 34, false, {}, [&] { ++actions; }, ui);
        orb.resize(orb.sizeHint());
        QCOMPARE(orb.diameter(), 34.0);
        QCOMPARE(orb.accessibleName(), QString("plus"));
        QMOrbButton helped("plus", 34, false, "Add a channel", {}, ui);
        QCOMPARE(helped.accessibleName(), QString("Add a channel"));
        QCOMPARE(helped.toolTip(), QString("Add a channel"));
        ui->setZoom(1.5);
        QCOMPARE(orb.diameter(), 51.0);
        ui->setZoom(1);

        orb.show();
        QVERIFY(QTest::qWaitForWindowExposed(&orb));
        const QRectF o = orb.orbRect();
        // The lens below the symbol: unlit it is the dark raised-to-deep glass, lit the accent.
        const QPointF lens(o.center().x(), o.center().y() + 0.3 * o.height());
        QVERIFY(distance(pixel(orb, lens), ui->theme().accent) > 80);
        const QPointF bezel(o.left() + 2.5, o.center().y());
        const QColor bezelUnlit = pixel(orb, bezel);
        orb.setLit(true);
        QVERIFY(distance(pixel(orb, lens), ui->theme().accent) < 80);
        QCOMPARE(pixel(orb, bezel), bezelUnlit);

        QSignalSpy clicked(&orb, &QAbstractButton::clicked);
        // The highlight above the centre still belongs to the button; the square's corner does not.
        QTest::mouseClick(&orb, Qt::LeftButton, {},
                          QPoint(int(o.center().x()), int(o.center().y() - 0.22 * o.height())));
        QTest::mouseClick(&orb, Qt::LeftButton, {}, QPoint(int(o.left() + 1), int(o.top() + 1)));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(actions, 1);
    }

    void segmentSelectsByClick() {
        QMSegment seg({{1, "Low"}, {2, "Mid"}, {3, "High"}}, 2, ui);
        seg.resize(seg.sizeHint() + QSize(90, 0));
        seg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seg));
        const auto rects = seg.segmentRects();
        QCOMPARE(rects.size(), 3);
        QCOMPARE(rects[1].left() - rects[0].right(), 3.0);
        QCOMPARE(rects[0].left() - seg.trackRect().left(), 3.0);
        QCOMPARE(rects[0].width(), rects[2].width()); // stretched segments share the width
        QVERIFY(seg.isSelected(1) && !seg.isSelected(0));
        // The selected capsule carries the accent gradient; the others show the well.
        QVERIFY(distance(pixel(seg, QPointF(rects[1].left() + rects[1].height() / 2, rects[1].bottom() - 3)),
                         ui->theme().accent) < 60);
        QVERIFY(distance(pixel(seg, QPointF(rects[0].left() + rects[0].height() / 2, rects[0].center().y())),
                         ui->theme().well) < 10);

        QSignalSpy written(&seg, &QMSegment::selectionWritten);
        // Clicked beside its text, in the capsule's clear part.
        QTest::mouseClick(
            &seg, Qt::LeftButton, {},
            QPoint(int(rects[2].left() + rects[2].height() / 2 + 1), int(rects[2].center().y())));
        QCOMPARE(written.count(), 1);
        QCOMPARE(written.last().first().toInt(), 3);
        QVERIFY(seg.isSelected(2));
        QTest::mouseClick(&seg, Qt::LeftButton, {}, rects[2].center().toPoint());
        QCOMPARE(written.count(), 2); // written again though already chosen

        QMSegment empty({}, 1, ui);
        QCOMPARE(empty.segmentRects().size(), 0);
        QMSegment twins({{7, "A"}, {7, "B"}}, 7, ui);
        QVERIFY(twins.isSelected(0) && twins.isSelected(1));
        QMSegment none({{1, "A"}}, 9, ui);
        QVERIFY(!none.isSelected(0));
    }

    void sliderGeometryAndDrag() {
        int endedCalls = 0;
        QMSlider slider(
            0.5, 0, 1, [&] { ++endedCalls; }, ui);
        slider.resize(200 + 2 * int(slider.bleed()), slider.sizeHint().height());
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QCOMPARE(slider.face().width(), 200.0);
        QCOMPARE(slider.face().height(), 20.0);
        QCOMPARE(slider.thumbOffset(), 92.0);
        QCOMPARE(slider.fillRect().width(), 100.0);
        slider.setValue(1);
        QCOMPARE(slider.thumbOffset(), 184.0);
        QCOMPARE(slider.fillRect().width(), 192.0);
        slider.setValue(0);
        QCOMPARE(slider.fillRect().width(), 8.0);

        QSignalSpy written(&slider, &QMSlider::valueWritten);
        QSignalSpy ended(&slider, &QMSlider::editingEnded);
        const double x0 = slider.face().left();
        // Pressed in the clear space above the track: it counts.
        press(&slider, QPointF(x0 + 100, slider.face().top() + 1));
        QCOMPARE(slider.value(), 0.5);
        move(&slider, QPointF(x0 + 4, 10));
        QCOMPARE(slider.value(), 0.0);
        move(&slider, QPointF(x0 + 250, 10));
        QCOMPARE(slider.value(), 1.0);
        release(&slider, QPointF(x0 + 250, 10));
        QCOMPARE(written.count(), 3);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(endedCalls, 1);

        QMSlider outside(25, 10, 20, {}, ui);
        outside.resize(200 + 2 * int(outside.bleed()), outside.sizeHint().height());
        QCOMPARE(outside.thumbOffset(), 184.0);
        QCOMPARE(outside.value(), 25.0);

        ui->setZoom(1.5);
        QCOMPARE(slider.thumbDiameter(), 24.0);
        QCOMPARE(slider.trackRect().height(), 9.0);
        QCOMPARE(slider.sizeHint().height() - 2 * int(slider.bleed()), 30);
    }

    void lcdWindowMargins() {
        QMLCD lcd("12:34", 18, ui);
        lcd.resize(lcd.sizeHint());
        QCOMPARE(QMUI::logicalSize(lcd.lcdFont()), 18.0);
        QCOMPARE(lcd.margins(), QSizeF(12, 5));
        const int wide = lcd.sizeHint().width();
        lcd.setText("98:76");
        QCOMPARE(lcd.sizeHint().width(), wide); // digits share one width
        ui->setZoom(1.5);
        QCOMPARE(QMUI::logicalSize(lcd.lcdFont()), 27.0);
        QCOMPARE(lcd.margins(), QSizeF(18, 7.5));
        QCOMPARE(lcd.glowRadius(), 6.0);
        ui->setZoom(1);
        QMLCD empty("", 18, ui);
        QVERIFY(empty.sizeHint().width() >= 24);
        empty.resize(empty.sizeHint());
        QVERIFY(distance(pixel(empty, empty.windowRect().center()), ui->theme().well) < 2);
    }

    void knobDragAndTooltip() {
        QMKnob knob(50, 0, 100, 64, "gain", {}, ui);
        knob.resize(knob.sizeHint());
        knob.show();
        QVERIFY(QTest::qWaitForWindowExposed(&knob));
        QCOMPARE(knob.dialRect().width(), 64.0);
        QCOMPARE(knob.readout(), QString("50"));
        const QPointF c = knob.dialRect().center();
        QSignalSpy written(&knob, &QMKnob::valueWritten);
        press(&knob, c);
        move(&knob, c + QPointF(0, -0.5)); // under a point: not yet a drag
        QCOMPARE(written.count(), 0);
        move(&knob, c + QPointF(0, -45));
        QCOMPARE(knob.value(), 75.0);
        move(&knob, c + QPointF(0, 30));
        move(&knob, c);
        QCOMPARE(knob.value(), 50.0);
        move(&knob, c + QPointF(40, 0)); // sideways only
        QCOMPARE(knob.value(), 50.0);
        release(&knob, c);
        QVERIFY(!knob.dragging());

        // A drag from a corner of the dial's square, outside its circle, changes nothing.
        const QPointF corner = knob.dialRect().topLeft() + QPointF(2, 2);
        press(&knob, corner);
        move(&knob, corner + QPointF(0, -60));
        release(&knob, corner + QPointF(0, -60));
        QCOMPARE(knob.value(), 50.0);

        knob.setValue(150);
        QCOMPARE(knob.readout(), QString("150"));
        press(&knob, c);
        move(&knob, c + QPointF(0, 2));
        QVERIFY(knob.value() <= 100.0);
        release(&knob, c);

        QHelpEvent onDial(QEvent::ToolTip, c.toPoint(), knob.mapToGlobal(c.toPoint()));
        QApplication::sendEvent(&knob, &onDial);
        QTRY_COMPARE(QToolTip::text(), QString("Drag up or down to change"));
        QToolTip::hideText();
        const QPoint below = knob.readoutRect().center().toPoint();
        QHelpEvent onReadout(QEvent::ToolTip, below, knob.mapToGlobal(below));
        QApplication::sendEvent(&knob, &onReadout);
        QTRY_VERIFY(QToolTip::text().isEmpty() || !QToolTip::isVisible());

        ui->setZoom(1.5);
        QCOMPARE(knob.dialRect().width(), 96.0);
    }

    void switchFlipsAndSlides() {
        QMSwitch sw("Scrambler", false, ui);
        sw.resize(sw.sizeHint());
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        QCOMPARE(sw.trackRect().size(), QSizeF(34, 18));
        QCOMPARE(sw.thumbRect().left() - sw.trackRect().left(), 1.5);
        QVERIFY(distance(pixel(sw, sw.trackRect().center() + QPointF(8, 0)), ui->theme().well) < 8);
        QCOMPARE(QMSwitch::slideMs, 150);
        QCOMPARE(QMSwitch::slideCurve().valueForProgress(0.5),
                 QEasingCurve(QMSwitch::slideCurve()).valueForProgress(0.5));
        QVERIFY(QMSwitch::slideCurve().valueForProgress(0.3) > 0.3); // ease-out: fast start

        QSignalSpy toggled(&sw, &QMSwitch::toggled);
        // Between track and title counts.
        const QPoint gap(int(sw.trackRect().right() + 4), int(sw.trackRect().center().y()));
        QTest::mouseClick(&sw, Qt::LeftButton, {}, gap);
        QCOMPARE(toggled.count(), 1);
        QVERIFY(sw.isOn());
        QVERIFY(sw.position() < 1.0); // still sliding
        QTRY_COMPARE(sw.position(), 1.0);
        QCOMPARE(sw.trackRect().right() - sw.thumbRect().right(), 1.5);
        QVERIFY(distance(pixel(sw, sw.trackRect().center() + QPointF(-8, 0)), ui->theme().well) > 40);
        QTest::mouseClick(&sw, Qt::LeftButton, {}, sw.titleRect().center().toPoint());
        QVERIFY(!sw.isOn());
        QTRY_COMPARE(sw.position(), 0.0);
        sw.setOn(true); // from the owner: slides too
        QVERIFY(sw.position() < 1.0);
        QTRY_COMPARE(sw.position(), 1.0);
        QCOMPARE(toggled.count(), 2);

        ui->setZoom(1.5);
        QCOMPARE(sw.trackRect().size(), QSizeF(51, 27));
        QCOMPARE(sw.thumbRect().width(), 22.5);
    }

    void creditBadgeAndLink() {
        QMRLCreditLink credit(ui);
        credit.resize(credit.sizeHint());
        credit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&credit));
        QMRLBadge* badge = credit.badge();
        QCOMPARE(badge->padding(), QSizeF(8, 3));
        QCOMPARE(badge->badgeText(), QString("QMRL"));
        QCOMPARE(badge->toolTip(), QString("Quillmarsh"));
        QCOMPARE(credit.link()->toolTip(), QMRLCreditLink::address().toString());
        const QUrl address = QMRLCreditLink::address();
        QCOMPARE(address.scheme(), QString("https"));
        QVERIFY(address.path().isEmpty());
        QVERIFY(!address.toString().endsWith('/'));

        UrlCatcher catcher(QStringLiteral("https"));
        QTest::mouseClick(credit.link(), Qt::LeftButton, {}, credit.link()->rect().center());
        QTest::mouseClick(badge, Qt::LeftButton, {}, badge->rect().center());
        QCOMPARE(catcher.opened, QList<QUrl>{address});

        ui->setZoom(2);
        QCOMPARE(badge->padding(), QSizeF(16, 6));
        QCOMPARE(QMUI::logicalSize(badge->badgeFont()), 20.0);
        QCOMPARE(QMRLBadge::borderWidth, 1.2);
    }

    void captionAndTitle() {
        QMCaption caption("Channel bank", ui);
        QCOMPARE(caption.shownText(), QString("CHANNEL BANK"));
        QCOMPARE(QMUI::logicalSize(caption.captionFont()), 9.5);
        QVERIFY(std::abs(caption.captionFont().letterSpacing() - 1.4) < 0.02);
        QMChromeTitle title("Tess", "rook", ui);
        QCOMPARE(title.spacing(), 5.0);
        ui->setZoom(2);
        QCOMPARE(title.spacing(), 10.0);
        QCOMPARE(QMUI::logicalSize(title.firstFont()), 38.0);
        QCOMPARE(title.secondFont().weight(), QFont::Light);
    }

    void rootPaintsTheBackgroundAndTint() {
        QMRootModifier* root = qmrlRoot(new QWidget, ui);
        root->resize(100, 200);
        QVERIFY(distance(pixel(*root, QPointF(50, 0)), ui->theme().base) < 2);
        QVERIFY(distance(pixel(*root, QPointF(50, 199)), ui->theme().deep) < 3);
        QCOMPARE(root->palette().color(QPalette::Highlight), ui->theme().accent);
        ui->setTheme(QMTheme::named("rose-gold"));
        QCOMPARE(root->palette().color(QPalette::Highlight), QMTheme::named("rose-gold").accent);
        delete root;
    }
};

QTEST_MAIN(TestKitWidgets)
#include "tst_kit_widgets.moc"
