// The themed kit's number rules: theme lookup, the shared settings and their zoom steps, the kit's
// type sizes, clock text, the brushed hairlines and the slider and knob mappings.
#include "Defaults.h"
#include "QMContainers.h"
#include "QMKnob.h"
#include "QMPaint.h"
#include "QMSegment.h"
#include "QMSlider.h"
#include "QMText.h"
#include "QMUI.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>

static const double nan_ = std::numeric_limits<double>::quiet_NaN();

// Relative luminance of a colour, as accessibility guidelines define it.
static double luminance(const QColor& c) {
    const auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// Contrast ratio of two opaque colours.
static double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How light a colour looks over black, its transparency counted.
static double lightness(const QColor& c) {
    return luminance(c) * c.alphaF();
}
static const double inf_ = std::numeric_limits<double>::infinity();

class TestKitRules : public QObject {
    Q_OBJECT
    // Settings of its own: tests run in parallel and these keys are shared with other kit tests.
    QTemporaryDir settingsDir;
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QVERIFY(QSettings().fileName().startsWith(settingsDir.path()));
    }
    void init() {
        Defaults::shared().remove(QMUI::themeKey);
        Defaults::shared().remove(QMUI::zoomKey);
    }

    void themesAndLookup() {
        QStringList ids;
        for (const QMTheme& t : QMTheme::all())
            ids << t.id;
        QCOMPARE(ids, (QStringList{"gunmetal-blue", "anodized-red", "rose-gold", "lavender-violet",
                                   "black-chrome", "graphite-gray"}));
        QCOMPARE(QMTheme::named("black-chrome").name, QString("Black Chrome"));
        QCOMPARE(&QMTheme::named("black-chrome"), &QMTheme::all()[4]);
        QCOMPARE(QMTheme::named("").id, QString("gunmetal-blue"));
        QCOMPARE(QMTheme::named("gunmetal").id, QString("gunmetal-blue"));
        // Equality is by id alone.
        QMTheme changed = QMTheme::named("rose-gold");
        changed.accent = Qt::green;
        QVERIFY(changed == QMTheme::named("rose-gold"));
        QVERIFY(!(changed == QMTheme::named("anodized-red")));
    }

    // Every theme's type reads on every surface it is drawn on: primary text at the contrast of body
    // text (4.5:1), secondary text and the lit accents at that of large text and controls (3:1).
    void everyThemesTextReadsOnItsSurfaces() {
        for (const QMTheme& t : QMTheme::all()) {
            const QList<QPair<const char*, QColor>> surfaces{{"deep", t.deep},
                                                             {"base", t.base},
                                                             {"panel", t.panel},
                                                             {"raised", t.raised},
                                                             {"well", t.well}};
            const struct {
                const char* what;
                QColor ink;
                double least;
            } inks[]{{"text", t.text, 4.5}, {"dim", t.dim, 3.0}, {"accent", t.accent, 3.0}};
            for (const auto& [where, surface] : surfaces)
                for (const auto& ink : inks) {
                    const double ratio = contrast(ink.ink, surface);
                    QVERIFY2(ratio >= ink.least, qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                                                .arg(t.id, ink.what, where)
                                                                .arg(ratio, 0, 'f', 2)));
                }
        }
    }

    // Every paint covers its shape from edge to edge, its stops in order from 0 to 1. Faces are lit from
    // above: an anodized face and the window are lighter at the top than at the bottom, and the chrome's
    // darkest band (the horizon a polished surface reflects) sits near its middle.
    void paintsCoverTheirShapeAndAreLitFromAbove() {
        for (const QMTheme& t : QMTheme::all()) {
            const QList<QPair<const char*, QGradientStops>> paints{{"chrome", t.chrome()},
                                                                   {"chromeSoft", t.chromeSoft()},
                                                                   {"anodized", t.anodized()},
                                                                   {"rim", t.rim()},
                                                                   {"background", t.background()}};
            for (const auto& [name, stops] : paints) {
                const QString what = t.id + QLatin1Char(' ') + QLatin1String(name);
                QVERIFY2(stops.size() >= 2, qPrintable(what));
                QVERIFY2(stops.first().first == 0.0 && stops.last().first == 1.0, qPrintable(what));
                for (qsizetype i = 1; i < stops.size(); ++i)
                    QVERIFY2(stops[i - 1].first < stops[i].first, qPrintable(what));
            }
            const QGradientStops chrome = t.chrome();
            const auto darkest =
                std::min_element(chrome.begin(), chrome.end(), [](const auto& a, const auto& b) {
                    return lightness(a.second) < lightness(b.second);
                });
            QVERIFY2(darkest->first > 0.3 && darkest->first < 0.7, qPrintable(t.id));
            for (const QGradientStops& face : {t.anodized(), t.background()})
                QVERIFY2(lightness(face.first().second) > lightness(face.last().second), qPrintable(t.id));
        }
    }

    void zoomSteps() {
        QCOMPARE(QMUI::nextZoom(1.0), 1.1);
        QCOMPARE(QMUI::nextZoom(1.0995), 1.25);
        QCOMPARE(QMUI::nextZoom(1.098), 1.1);
        QCOMPARE(QMUI::nextZoom(2.0), 2.0);
        QCOMPARE(QMUI::previousZoom(1.0), 0.9);
        QCOMPARE(QMUI::previousZoom(0.85), 0.85);
        QCOMPARE(QMUI::previousZoom(1.05), 1.0);
        QCOMPARE(QMUI::clampZoom(1.237), 1.24);
        QCOMPARE(QMUI::clampZoom(0.123), 0.85);
        QCOMPARE(QMUI::clampZoom(9), 2.0);
    }

    void settingsAreReadAtCreationAndWrittenOnEveryChange() {
        {
            QMUI ui;
            QCOMPARE(ui.theme().id, QString("gunmetal-blue"));
            QCOMPARE(ui.zoom(), 1.0);
            QVERIFY(!Defaults::shared().contains(QMUI::zoomKey)); // creation writes nothing back
            QSignalSpy changed(&ui, &QMUI::changed);
            QList<double> walk;
            for (int i = 0; i < 7; ++i) {
                ui.zoomIn();
                walk << ui.zoom();
            }
            QCOMPARE(walk, (QList<double>{1.1, 1.25, 1.4, 1.5, 1.75, 2.0, 2.0}));
            QCOMPARE(changed.count(), 7);
            ui.zoomOut();
            QCOMPARE(ui.zoom(), 1.75);
            ui.zoomReset();
            QCOMPARE(Defaults::shared().doubleValue(QMUI::zoomKey, 0), 1.0);
            ui.setZoom(3.3); // the setter does not limit
            QCOMPARE(ui.zoom(), 3.3);
            QCOMPARE(Defaults::shared().doubleValue(QMUI::zoomKey, 0), 3.3);
            ui.setTheme(QMTheme::named("rose-gold"));
            QCOMPARE(Defaults::shared().stringValue(QMUI::themeKey), QString("rose-gold"));
        }
        {
            QMUI ui;
            QCOMPARE(ui.theme().id, QString("rose-gold"));
            QCOMPARE(ui.zoom(), 2.0);
        }
        const QList<QPair<QVariant, double>> stored{
            {0.123, 0.85}, {1.237, 1.24}, {0.0, 1.0}, {nan_, 1.0}, {inf_, 1.0}};
        for (const auto& [value, expected] : stored) {
            Defaults::shared().setValue(QMUI::zoomKey, value);
            QMUI ui;
            QCOMPARE(ui.zoom(), expected);
        }
        Defaults::shared().setValue(QMUI::themeKey, "no-such-theme");
        QCOMPARE(QMUI().theme().id, QString("gunmetal-blue"));
    }

    void kitTypeFollowsTheZoom() {
        QMUI ui;
        ui.setZoom(1.5);
        QCOMPARE(QMUI::logicalSize(qmFont(12, QFont::Normal, QMUI::Design::Rounded, ui)), 18.0);
        QCOMPARE(ui.font(12).weight(), QFont::Normal);
        QCOMPARE(QMUI::logicalSize(qmMono(11, QFont::Bold, ui)), 16.5);
        QCOMPARE(ui.mono(11).styleHint(), QFont::Monospace);
        QCOMPARE(ui.z(34), 51.0);
        QCOMPARE(ui.font(12).family(), QString("Manrope"));
        QVERIFY(QFontInfo(ui.font(12)).family().contains("Manrope"));
        // Each weight the kit asks of its rounded type is drawn in a face of its own, also where the
        // desktop has no copy of the family: a missing face would quietly fall back to a neighbour.
        const QList<QPair<QFont::Weight, QString>> faces{{QFont::Light, "Light"},
                                                         {QFont::Normal, "Regular"},
                                                         {QFont::DemiBold, "SemiBold"},
                                                         {QFont::Bold, "Bold"},
                                                         {QFont::ExtraBold, "ExtraBold"}};
        for (const auto& [weight, style] : faces)
            QCOMPARE(QFontInfo(ui.font(12, weight)).styleName(), style);
    }

    void clockText_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("tenths");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << false << "0:00";
        QTest::newRow("negative zero") << -0.0 << true << "0:00.0";
        QTest::newRow("5") << 5.0 << false << "0:05";
        QTest::newRow("75") << 75.0 << false << "1:15";
        QTest::newRow("75.36 tenths") << 75.36 << true << "1:15.3";
        QTest::newRow("5 tenths") << 5.0 << true << "0:05.0";
        QTest::newRow("599.99") << 599.99 << false << "9:59";
        QTest::newRow("hour") << 3600.0 << false << "1:00:00";
        QTest::newRow("3725") << 3725.0 << false << "1:02:05";
        QTest::newRow("3725.45 tenths") << 3725.45 << true << "1:02:05.4";
        QTest::newRow("ten hours") << 36000.0 << false << "10:00:00";
        QTest::newRow("59.99 truncates") << 59.99 << false << "0:59";
        QTest::newRow("59.99 tenths") << 59.99 << true << "0:59.9";
        QTest::newRow("3599.95 tenths") << 3599.95 << true << "59:59.9";
        QTest::newRow("3600 tenths") << 3600.0 << true << "1:00:00.0";
        QTest::newRow("negative") << -1.0 << false << "0:00";
        QTest::newRow("nan tenths") << nan_ << true << "0:00.0";
        QTest::newRow("infinity") << inf_ << false << "0:00";
        QTest::newRow("minus infinity tenths") << -inf_ << true << "0:00.0";
        // Counts at and beyond 2^63 seconds saturate at the largest 64-bit count.
        QTest::newRow("2^63") << 9223372036854775808.0 << false << "2562047788015215:30:07";
        QTest::newRow("1e300 tenths") << 1e300 << true << "2562047788015215:30:07.0";
        QTest::newRow("just below 2^63") << 9223372036854774784.0 << false << "2562047788015215:13:04";
    }
    void clockText() {
        QFETCH(double, seconds);
        QFETCH(bool, tenths);
        QFETCH(QString, text);
        QCOMPARE(QMTime::clock(seconds, tenths), text);
    }

    void brushedHairlines() {
        QCOMPARE(BrushedLines::rows(0).size(), 0);
        QCOMPARE(BrushedLines::rows(-3).size(), 0);
        QCOMPARE(BrushedLines::rows(1.6).size(), 1);
        const auto three = BrushedLines::rows(3.3);
        QCOMPARE(three.size(), 3);
        QCOMPARE(three[2].y, 1.6 + 1.6);
        const auto many = BrushedLines::rows(30);
        QList<int> thirteenths;
        for (int i = 0; i < 14; ++i)
            thirteenths << int(std::lround(many[i].opacity * 13));
        QCOMPARE(thirteenths, (QList<int>{0, 2, 4, 6, 8, 10, 12, 1, 3, 5, 7, 9, 11, 0}));
    }

    void continuousCorners() {
        // Radius 200: a circular corner would meet the top edge 200 from the corner; a continuous one
        // leaves the edge earlier and is still curving inwards there, yet crosses the diagonal at
        // nearly the same place.
        const QPainterPath s = QMPaint::rounded(QRectF(0, 0, 1000, 1000), 200);
        QVERIFY(s.contains(QPointF(320, 0.5)));
        QVERIFY(!s.contains(QPointF(200, 1.0)));
        QVERIFY(s.contains(QPointF(200, 2.5)));
        QVERIFY(s.contains(QPointF(60, 60)) && !s.contains(QPointF(56, 56)));
        QVERIFY(!s.contains(QPointF(944, 944)) && s.contains(QPointF(940, 940)));
        // Too short a side for the transition: a circular corner of the full radius.
        const QPainterPath narrow = QMPaint::rounded(QRectF(0, 0, 100, 30), 14);
        QVERIFY(narrow.contains(QPointF(14, 0.2)));
        QCOMPARE(narrow.boundingRect(), QRectF(0, 0, 100, 30));
    }

    void sliderMapping() {
        QCOMPARE(QMSlider::fraction(0.5, 0, 1), 0.5);
        QCOMPARE(QMSlider::fraction(25, 10, 20), 1.0);
        QCOMPARE(QMSlider::fraction(-1, 0, 1), 0.0);
        QCOMPARE(QMSlider::fraction(nan_, 0, 1), 0.0);
        QCOMPARE(QMSlider::fraction(inf_, 0, 1), 1.0);
        QCOMPARE(QMSlider::fraction(5, 5, 5), 0.0);
        QCOMPARE(QMSlider::valueAt(100, 200, 16, 0, 1), 0.5);
        QCOMPARE(QMSlider::valueAt(4, 200, 16, 0, 1), 0.0);
        QCOMPARE(QMSlider::valueAt(250, 200, 16, 0, 1), 1.0);
        QCOMPARE(QMSlider::valueAt(100, 200, 16, 10, 20), 15.0);
        QCOMPARE(QMSlider::valueAt(77, 200, 16, 5, 5), 5.0);
        // Narrower than the thumb plus a point: the whole range lies within one point.
        QCOMPARE(QMSlider::valueAt(8.5, 10, 16, 0, 1), 0.5);
        QCOMPARE(QMSlider::valueAt(9, 10, 16, 0, 1), 1.0);
    }

    void knobMapping() {
        QCOMPARE(QMKnob::fraction(50, 0, 100), 0.5);
        QCOMPARE(QMKnob::fraction(150, 0, 100), 1.0);
        QCOMPARE(QMKnob::fraction(-5, 0, 100), 0.0);
        QCOMPARE(QMKnob::fraction(10, 10, 10), 0.0); // 0 / 0
        QCOMPARE(QMKnob::fraction(11, 10, 10), 1.0); // +infinity
        QCOMPARE(QMKnob::fraction(9, 10, 10), 0.0);  // -infinity
        QCOMPARE(QMKnob::indicatorAngle(0), -135.0);
        QCOMPARE(QMKnob::indicatorAngle(0.5), 0.0);
        QCOMPARE(QMKnob::indicatorAngle(1), 135.0);
        QCOMPARE(QMKnob::dragValue(50, -45, 0, 100), 75.0);
        QCOMPARE(QMKnob::dragValue(50, -90, 0, 100), 100.0);
        QCOMPARE(QMKnob::dragValue(100, 270, 0, 100), 0.0);
        QCOMPARE(QMKnob::dragValue(150, 0, 0, 100), 100.0);
        QCOMPARE(QMKnob::dragValue(10, -500, 10, 10), 10.0);
        QCOMPARE(QMKnob::dragValue(nan_, 0, 0, 100), 0.0);
        QCOMPARE(QMKnob::defaultFormat(63.6), QString("64"));
        QCOMPARE(QMKnob::defaultFormat(7), QString("7"));
        // Halves go to the even neighbour, as printf's %.0f does.
        const QList<std::pair<double, QString>> halves{{0.5, "0"}, {1.5, "2"},   {2.5, "2"},
                                                       {3.5, "4"}, {62.5, "62"}, {-2.5, "-2"}};
        for (const auto& [v, shown] : halves)
            QCOMPARE(QMKnob::defaultFormat(v), shown);
    }

    void segmentWidthSharing() {
        QCOMPARE(QMSegment::shareWidths({20, 30, 40}, 150), (QList<double>{50, 50, 50}));
        QCOMPARE(QMSegment::shareWidths({20, 100, 20}, 150), (QList<double>{25, 100, 25}));
        // Too narrow for all: each keeps its natural width.
        QCOMPARE(QMSegment::shareWidths({20, 100, 40}, 150), (QList<double>{20, 100, 40}));
        QCOMPARE(QMSegment::shareWidths({}, 150), QList<double>{});
    }
};

QTEST_MAIN(TestKitRules)
#include "tst_kit_rules.moc"
