// Every symbol name the views use draws a tinted icon; an unknown name draws nothing.
#include "Symbols.h"

#include <QGuiApplication>
#include <QPainter>
#include <QtTest>

class SymbolsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void everyNameTheViewsUseHasAnIcon() {
        const QStringList used{"antenna.radiowaves.left.and.right",
                               "arrow.down.left",
                               "arrow.up.right",
                               "arrow.up.message.fill",
                               "arrow.up.left.and.arrow.down.right",
                               "battery.50",
                               "bolt.fill",
                               "checkmark",
                               "checkmark.circle.fill",
                               "checkmark.shield.fill",
                               "clock",
                               "doc.on.doc",
                               "doc.text.magnifyingglass",
                               "dot.radiowaves.left.and.right",
                               "exclamationmark.triangle.fill",
                               "eye.slash.fill",
                               "forward.fill",
                               "info.circle.fill",
                               "lightbulb.fill",
                               "lock.fill",
                               "lock.shield.fill",
                               "message.fill",
                               "mic.fill",
                               "minus",
                               "music.note",
                               "paintpalette.fill",
                               "paperplane.fill",
                               "pencil",
                               "person.badge.minus",
                               "person.badge.plus",
                               "plus",
                               "power",
                               "qrcode",
                               "questionmark.circle",
                               "rectangle.portrait.and.arrow.right",
                               "rectangle.portrait.on.rectangle.portrait",
                               "safari",
                               "scope",
                               "server.rack",
                               "slider.horizontal.3",
                               "sos",
                               "sos.circle.fill",
                               "stop.fill",
                               "timer",
                               "wifi",
                               "wrench.and.screwdriver.fill",
                               "xmark.octagon.fill"};
        for (const QString& name : used) {
            QVERIFY2(Symbols::has(name), qPrintable(name));
            const QImage img = Symbols::pixmap(name, QColor(255, 0, 0), 24).toImage();
            QCOMPARE(img.size(), QSize(24, 24));
            int inked = 0;
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 24; ++x) {
                    const QColor c = img.pixelColor(x, y);
                    if (c.alpha() > 128) {
                        ++inked;
                        // Tinted: every visible pixel is the requested colour.
                        QVERIFY2(c.red() > 200 && c.green() < 40 && c.blue() < 40, qPrintable(name));
                    }
                }
            QVERIFY2(inked > 12, qPrintable(name));
        }
        QCOMPARE(Symbols::names().size(), used.size());
    }

    void drawingFollowsThePaintersScale() {
        QImage canvas(80, 80, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter p(&canvas);
        p.scale(2, 2);
        Symbols::paint(p, QRectF(0, 0, 40, 40), "stop.fill", Qt::white);
        Symbols::paint(p, QRectF(0, 0, 40, 40), "no.such.symbol", Qt::red);
        p.end();
        // The filled square reaches well into the doubled area, drawn sharp at the device scale.
        QCOMPARE(canvas.pixelColor(40, 40), QColor(Qt::white));
        QVERIFY(Symbols::pixmap("no.such.symbol", Qt::red, 16).isNull());
    }
};

QTEST_MAIN(SymbolsTest)
#include "tst_symbols.moc"
