// The bundled faces register under their family names, and sizes are logical pixels whatever the
// desktop's font DPI.
#include "WFonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QtTest>

class FontsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void bothFamiliesRegisterOnce() {
        QCOMPARE(WFonts::registerFonts(), 5);
        QCOMPARE(WFonts::registerFonts(), 5); // a second call adds nothing
        const QStringList families = QFontDatabase::families();
        QVERIFY(families.contains("Manrope"));
        QVERIFY(families.contains("Unbounded"));
    }

    void facesResolveToTheBundledFamiliesAndWeights() {
        WFonts::registerFonts();
        QCOMPARE(QFontInfo(WFonts::display(17)).family(), QString("Unbounded"));
        QCOMPARE(QFontInfo(WFonts::body(13)).family(), QString("Manrope"));
        QCOMPARE(WFonts::display(17).weight(), QFont::ExtraBold);
        QCOMPARE(WFonts::body(13).weight(), QFont::Normal);
        QCOMPARE(WFonts::body(9.5, QFont::ExtraBold).weight(), QFont::ExtraBold);
        // Monospaced as drawn: some monospace families (Noto Sans Mono) do not say so in their metadata.
        const QFontMetricsF lcd(WFonts::lcd(15));
        QCOMPARE(lcd.horizontalAdvance(QLatin1Char('i')), lcd.horizontalAdvance(QLatin1Char('W')));
        QCOMPARE(lcd.horizontalAdvance(QLatin1Char('1')), lcd.horizontalAdvance(QLatin1Char('8')));
        QCOMPARE(WFonts::lcd(15).weight(), QFont::Bold);
    }

    void sizesAreLogicalPixelsAndFractionsStayExact() {
        QCOMPARE(WFonts::body(12).pointSizeF(), 9.0);
        QCOMPARE(WFonts::body(13.5).pointSizeF(), 10.125);
        QCOMPARE(WFonts::display(24).pointSizeF(), 18.0);
        QCOMPARE(WFonts::lcd(32).pointSizeF(), 24.0);
    }
};

QTEST_MAIN(FontsTest)
#include "tst_fonts.moc"
