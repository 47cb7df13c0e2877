// Row text helpers: line and paragraph breaks become spaces, the sheets' trim keeps line breaks, and
// digits take equal cells so a changing time or length keeps its width.
#include "ViewText.h"
#include "WFonts.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

class ViewTextTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WFonts::registerFonts(); }

    void oneLineAndTrim() {
        QCOMPARE(ViewText::oneLine(QStringLiteral("a\r\nb\nc") + QChar(0x2028) + u'd' + QChar(0x2029) + u'e'),
                 QStringLiteral("a  b c d e"));
        QCOMPARE(ViewText::oneLine(QStringLiteral("tab\tstays")), QStringLiteral("tab\tstays"));
        QCOMPARE(ViewText::trimSpacesTabs(QStringLiteral(" \t name \t")), QStringLiteral("name"));
        QCOMPARE(ViewText::trimSpacesTabs(QStringLiteral("\nname\n")), QStringLiteral("\nname\n"));
        QCOMPARE(ViewText::trimSpacesTabs(QStringLiteral(" \t ")), QString());
    }

    void digitsKeepTheirWidth() {
        for (const QFont& font : {WFonts::body(12), WFonts::body(12.5, QFont::Bold)}) {
            const qreal narrow = ViewText::tabularWidth(QStringLiteral("11:11:11"), font);
            QCOMPARE(narrow, ViewText::tabularWidth(QStringLiteral("08:48:00"), font));
            QCOMPARE(ViewText::tabularWidth(QStringLiteral("1s"), font),
                     ViewText::tabularWidth(QStringLiteral("0s"), font));
            // What is drawn is as wide as what was measured, and lands in the rectangle.
            QImage img(200, 30, QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::transparent);
            QPainter p(&img);
            p.setPen(Qt::white);
            const qreal drawn =
                ViewText::drawTabular(p, 10, QRectF(0, 0, 200, 30), QStringLiteral("11:11:11"), font);
            p.end();
            QCOMPARE(drawn, narrow);
            int left = 200, right = -1;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 200; ++x)
                    if (qAlpha(img.pixel(x, y)) > 0) {
                        left = qMin(left, x);
                        right = qMax(right, x);
                    }
            QVERIFY(left >= 10);
            QVERIFY(right <= 10 + narrow + 1);
        }
    }
};

QTEST_MAIN(ViewTextTest)
#include "tst_viewtext.moc"
