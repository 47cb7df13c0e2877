// The hardware-look components drawn offscreen: sizes and fills where the look is fixed (lamp and
// button diameters, the tick ring, lit bars, the state colours of the talk button, the cover over the
// SOS button), in two finishes and at two zoom levels. Set TESSROOK_SHOTS to a folder to also get a
// picture of every component in every finish at 85 %, 100 % and 200 %.
#include "Gallery.h"
#include "Mnemonic.h"
#include "Skin.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QtTest>

namespace {

QImage render(QWidget* w, qreal scale = 1.0) {
    w->ensurePolished();
    if (!w->testAttribute(Qt::WA_Resized)) w->resize(w->sizeHint());
    QImage img((QSizeF(w->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(scale, scale);
    w->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

bool reddish(QColor c) {
    return c.red() > c.blue() + 60 && c.red() > c.green() + 40;
}
bool bluish(QColor c) {
    return c.blue() > c.red() + 60;
}

} // namespace

class ComponentsTest : public QObject {
    Q_OBJECT
    const QList<Finish> two{Finish::named("gunmetal-blue"), Finish::named("rose-gold")};

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        WFonts::registerFonts();
    }

    void lampsAreTheirSizeAndGlowOnlyWhenOn() {
        for (qreal scale : {1.0, 2.0}) {
            for (const Finish& f : two) {
                LED on(true, f.tx), off(false, f.tx);
                QCOMPARE(on.sizeHint(), QSize(10 + 2 * 5, 10 + 2 * 5));
                const QImage a = render(&on, scale), b = render(&off, scale);
                const QPoint c(a.width() / 2, a.height() / 2);
                QVERIFY2(reddish(a.pixelColor(c)),
                         qPrintable(a.pixelColor(c).name(QColor::HexArgb) + " " + f.tx.name()));
                QVERIFY(a.pixelColor(c).value() > b.pixelColor(c).value() + 60);
                // Inside the lamp's rim the lens is opaque; the glow outside is only on when lit.
                QVERIFY(a.pixelColor(c + QPoint(int(3 * scale), 0)).alpha() >= 250);
                const QPoint outside = c + QPoint(int(6.5 * scale), 0);
                QVERIFY(a.pixelColor(outside).alpha() > 25);
                QCOMPARE(b.pixelColor(outside).alpha(), 0);
            }
        }
        LED big(true, Qt::green, 12);
        QCOMPARE(big.sizeHint(), QSize(12 + 2 * 6, 12 + 2 * 6));
    }

    void talkButtonDiameterTickRingAndStateColours() {
        for (const Finish& f : two) {
            PTTButton b(f, PTTButton::State::idle);
            QCOMPARE(b.size(), 230.0);
            QCOMPARE(b.sizeHint(), QSize(230 + 2 * 16, 230 + 2 * 16));
            b.resize(b.sizeHint());
            QCOMPARE(b.dialRect().size(), QSizeF(230, 230));
            for (qreal scale : {1.0, 2.0}) {
                const QImage idle = render(&b, scale);
                const QPointF c = b.dialRect().center() * scale;
                // A tick mark stands straight above the centre; the gap beside it is lighter.
                const QPoint onMark = (c + QPointF(0, -0.47 * 230 * scale)).toPoint();
                const QPoint between = (c + QPointF(2.5 * scale, -0.47 * 230 * scale)).toPoint();
                QVERIFY2(idle.pixelColor(onMark).value() + 8 < idle.pixelColor(between).value(),
                         qPrintable(f.id));
                b.setState(PTTButton::State::transmitting);
                QVERIFY(reddish(render(&b, scale).pixelColor(c.toPoint())));
                b.setState(PTTButton::State::receiving);
                QVERIFY(bluish(render(&b, scale).pixelColor(c.toPoint())));
                // The glow reaches past the tick ring only while lit.
                const QPoint halo = (c + QPointF(0.5 * 230 * scale + 4 * scale, 0)).toPoint();
                QVERIFY(render(&b, scale).pixelColor(halo).alpha() > 20);
                b.setState(PTTButton::State::idle);
                QVERIFY(render(&b, scale).pixelColor(halo).alpha() < 20);
            }
        }
        QCOMPARE(PTTButton(Finish::all().first(), PTTButton::State::busy).faceText(), QString("BUSY"));
        // Disabled, the whole button is drawn at half strength: the opaque plate turns half see-through.
        PTTButton mini(two.first(), PTTButton::State::idle, 150);
        mini.resize(mini.sizeHint());
        const QPoint rim = (mini.dialRect().center() + QPointF(0, -0.49 * 150)).toPoint();
        QCOMPARE(render(&mini).pixelColor(rim).alpha(), 255);
        mini.setEnabled(false);
        QVERIFY(qAbs(render(&mini).pixelColor(rim).alpha() - 128) < 8);
    }

    void meterLightsExactlyTheRuleBars() {
        for (const Finish& f : two) {
            LevelMeter m(0.5f, f.lcdText, 18);
            m.resize(m.sizeHint());
            const QImage img = render(&m);
            const qreal step = (m.width() - 2 + LevelMeter::gap) / 18.0;
            int lit = 0;
            for (int i = 0; i < 18; ++i) {
                const QColor px =
                    img.pixelColor(int(1 + i * step + LevelMeter::barWidth / 2.0), m.height() / 2);
                lit += px.alpha() > 200 ? 1 : 0;
            }
            QCOMPARE(lit, 15);
        }
    }

    void screwedPanelInsetsItsContentByThePadding() {
        ScrewedPanel standard(Finish::all().first());
        QCOMPARE(standard.contentsMargins(), QMargins(18, 18, 18, 18));
        ScrewedPanel bank(Finish::all().first(), 16);
        QCOMPARE(bank.contentsMargins(), QMargins(16, 16, 16, 16));
        bank.resize(200, 100);
        const QImage img = render(&bank);
        // Opaque plate everywhere inside the rounded corners.
        QCOMPARE(img.pixelColor(100, 50).alpha(), 255);
        QCOMPARE(img.pixelColor(0, 0).alpha(), 0);
    }

    void lcdGlassCarriesTheFinishColours() {
        for (const Finish& f : two) {
            LCDScreen screen(f);
            screen.resize(200, 60);
            QCOMPARE(screen.palette().color(QPalette::WindowText), f.lcdText);
            const QImage img = render(&screen);
            const QColor glass = img.pixelColor(150, 45);
            // The glass is the finish's dark LCD back, not the panel or the text.
            QVERIFY(qAbs(glass.lightness() - f.lcdBack.lightness()) < 30);
        }
    }

    void sosCoverLiesOverTheButtonUntilLifted() {
        for (const Finish& f : two) {
            GuardedSOSButton b(f, false, false);
            QCOMPARE(b.size(), 120.0);
            b.resize(b.sizeHint());
            QCOMPARE(b.housingRect().size(), QSizeF(120, 120));
            QCOMPARE(b.coverAngle(), 0.0);
            QCOMPARE(b.coverOpacity(), 1.0);
            const QImage closed = render(&b);
            const QPoint above = (b.housingRect().topLeft() + QPointF(60, -20)).toPoint();
            QCOMPARE(closed.pixelColor(above).alpha(), 0);
            QVERIFY(reddish(closed.pixelColor(b.buttonCentre().toPoint())));
            // Lifted (not shown, so without animation): the cover stands above the hinge, see-through.
            b.setActive(false);
            const_cast<SOSHold&>(b.hold()).tapCover();
            QCOMPARE(b.coverAngle(), -108.0);
            QCOMPARE(b.coverOpacity(), 0.55);
            const QImage lifted = render(&b);
            QVERIFY(lifted.pixelColor(above).alpha() > 0);
            // The lifted cover stays inside the widget: nothing of it touches the top or side edges.
            auto clear = [&](QPoint from, QPoint step, int n) {
                for (int i = 0; i < n; ++i, from += step)
                    if (lifted.pixelColor(from).alpha() != 0) return false;
                return true;
            };
            const int hinge = qRound(b.housingRect().top());
            QVERIFY(clear({0, 0}, {1, 0}, lifted.width()));
            QVERIFY(clear({0, 0}, {0, 1}, hinge));
            QVERIFY(clear({lifted.width() - 1, 0}, {0, 1}, hinge));
        }
    }

    void keysSwitchesAndLabelsInTwoFinishesAndTwoZooms() {
        for (const Finish& f : two) {
            for (qreal scale : {1.0, 2.0}) {
                RackButton plain("Setup", f, "slider.horizontal.3"), lit("Open SOS panel", f, "sos", true);
                QCOMPARE(plain.sizeHint().height(), 30);
                const QImage a = render(&plain, scale), b = render(&lit, scale);
                QCOMPARE(a.height(), qRound(30 * scale));
                // The lit key glows in the accent: its face as a whole moves towards that colour.
                auto distanceToAccent = [&](const QImage& img) {
                    double r = 0, g = 0, bl = 0;
                    int n = 0;
                    for (int y = img.height() / 4; y < img.height() * 3 / 4; ++y)
                        for (int x = img.width() / 8; x < img.width() * 7 / 8; ++x) {
                            const QColor c = img.pixelColor(x, y);
                            r += c.redF();
                            g += c.greenF();
                            bl += c.blueF();
                            ++n;
                        }
                    return std::hypot(r / n - f.accent.redF(), g / n - f.accent.greenF(),
                                      bl / n - f.accent.blueF());
                };
                QVERIFY2(distanceToAccent(b) + 0.08 < distanceToAccent(a), qPrintable(f.id));

                // The lever stands up when on and hangs down when off.
                ToggleSwitch on("Relay", true, f), off("Relay", false, f);
                QCOMPARE(on.leverPosition(), 1.0);
                const QImage su = render(&on, scale), sd = render(&off, scale);
                // Sample the polished shaft just off the nut, above and below the pivot.
                const int cx = qRound((on.width() / 2.0 + 2.5) * scale);
                const int upY = qRound((ToggleSwitch::plateHeight / 2.0 - 10) * scale);
                const int downY = qRound((ToggleSwitch::plateHeight / 2.0 + 10) * scale);
                // The shaft covers the plate above the pivot only when on, below it only when off.
                auto differs = [](QColor a, QColor b) { return qAbs(a.lightness() - b.lightness()) > 25; };
                QVERIFY(differs(su.pixelColor(cx, upY), sd.pixelColor(cx, upY)));
                QVERIFY(differs(su.pixelColor(cx, downY), sd.pixelColor(cx, downY)));

                Engraved label("Emergency", f, 10);
                QCOMPARE(label.shownText(), QString("EMERGENCY"));
                const QImage e = render(&label, scale);
                QCOMPARE(e.height(), qRound(label.sizeHint().height() * scale));
                HelpDot dot("SOS", f);
                QCOMPARE(dot.size(), QSize(18, 18));
                QCOMPARE(render(&dot, scale).pixelColor(qRound(9 * scale), qRound(1 * scale)).alpha(), 255);
            }
        }
    }

    void everyComponentInEveryFinish() {
        const QString shots = qEnvironmentVariable("TESSROOK_SHOTS");
        if (!shots.isEmpty()) QDir().mkpath(shots);
        QList<QWidget*> racks;
        QList<ManualTicks*> ticks;
        for (const Finish& f : Finish::all()) {
            ticks << new ManualTicks;
            racks << Gallery::build(f, ticks.last());
        }
        // Let the lifted covers settle: the first paint of six racks can hold up the animations.
        for (QWidget* rack : racks)
            for (GuardedSOSButton* b : rack->findChildren<GuardedSOSButton*>())
                QTRY_COMPARE_WITH_TIMEOUT(b->coverAngle(), b->hold().coverOpen() ? -108.0 : 0.0, 5000);
        for (int i = 0; i < racks.size(); ++i) {
            for (qreal scale : {0.85, 1.0, 2.0}) {
                const QImage img = render(racks[i], scale);
                QVERIFY(!img.isNull());
                QCOMPARE(img.pixelColor(2, 2), Finish::c(0x050607));
                if (!shots.isEmpty())
                    img.save(QStringLiteral("%1/rack-%2-%3.png")
                                 .arg(shots, Finish::all()[i].id)
                                 .arg(qRound(scale * 100)));
            }
        }
        qDeleteAll(racks);
        qDeleteAll(ticks);
    }

    // A widget's own layer stands for drawing straight on only while its key, the pixel ratio and the
    // painter's scale are those it was drawn for: a new key or pixel ratio draws it anew, and a zoomed
    // painter gets the drawing itself, not the layer enlarged.
    void ownLayerIsRedrawnForANewKeyOrPixelRatio() {
        const auto drawText = [](const QString& text) {
            return [text](QPainter& p) {
                p.setRenderHint(QPainter::Antialiasing);
                p.setBrush(QColor(200, 40, 30, 180));
                p.drawRoundedRect(QRectF(2.5, 2.5, 80, 20), 6, 6);
                p.setFont(WFonts::body(13));
                p.drawText(QRectF(6, 2, 120, 22), Qt::AlignLeft | Qt::AlignVCenter, text);
            };
        };
        const auto paint = [](qreal ratio, qreal zoom, const std::function<void(QPainter&)>& draw) {
            QImage img(QSize(140, 30) * ratio * zoom, QImage::Format_ARGB32_Premultiplied);
            img.setDevicePixelRatio(ratio);
            img.fill(Qt::white);
            QPainter p(&img);
            p.translate(3, 2);
            p.scale(zoom, zoom);
            draw(p);
            return img;
        };
        Skin::Layer layer;
        const QSizeF size(130, 26);
        for (const auto& [ratio, zoom, text] :
             std::initializer_list<std::tuple<qreal, qreal, QString>>{{1, 1, "Updated 10:41"},
                                                                      {1, 1, "Updated 10:42"},
                                                                      {2, 1, "Updated 10:42"},
                                                                      {1, 1, "Updated 10:42"},
                                                                      {1, 2, "Updated 10:42"},
                                                                      {1, 0.85, "Updated 10:42"}}) {
            const QImage viaLayer = paint(
                ratio, zoom, [&, text = text](QPainter& p) { layer.paint(p, size, text, drawText(text)); });
            const QImage direct = paint(ratio, zoom, drawText(text));
            QCOMPARE(viaLayer.size(), direct.size());
            // Blending through the layer rounds differently by a level at most.
            int worst = 0;
            for (int y = 0; y < direct.height(); ++y)
                for (int x = 0; x < direct.width(); ++x) {
                    const QRgb a = viaLayer.pixel(x, y), b = direct.pixel(x, y);
                    worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                      std::abs(qBlue(a) - qBlue(b))});
                }
            QVERIFY2(worst <= 2,
                     qPrintable(QStringLiteral("%1 at %2x, zoom %3").arg(text).arg(ratio).arg(zoom)));
        }
    }

    // Menus, group boxes and buttons draw their text with mnemonics shown: an escaped text must come
    // out exactly as written, ampersands included, with nothing underlined.
    void escapedTextsDrawAsWritten() {
        const auto draw = [](const QString& text, int flags) {
            QImage img(360, 40, QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::white);
            QPainter p(&img);
            p.setFont(WFonts::body(14));
            p.drawText(img.rect(), flags | Qt::AlignLeft | Qt::AlignVCenter, text);
            return img;
        };
        for (const QString text : {"Themes & zoom", "Mini mode & open at login", "R&&D", "&", "Trailing &"}) {
            const QImage literal = draw(text, 0);
            QCOMPARE(draw(Mnemonic::literal(text), Qt::TextShowMnemonic), literal);
            // The test would be empty if Qt drew the raw text the same way.
            QVERIFY2(draw(text, Qt::TextShowMnemonic) != literal, qPrintable(text));
        }
    }
};

QTEST_MAIN(ComponentsTest)
#include "tst_components.moc"
