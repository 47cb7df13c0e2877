// Short and standard times in a few locales, the C locale among them: seconds only in the standard style,
// never a time zone.
#include "TimeText.h"

#include <QTest>

class TimeTextTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void stylesPerLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shortText");
        QTest::addColumn<QString>("standardText");
        // The C locale's own short format has seconds (LANG=C.UTF-8 on minimal systems).
        QTest::newRow("C") << "C"
                           << "14:05"
                           << "14:05:09";
        QTest::newRow("en_US") << "en_US"
                               << "2:05 PM"
                               << "2:05:09 PM";
        QTest::newRow("en_GB") << "en_GB"
                               << "14:05"
                               << "14:05:09";
        QTest::newRow("de_DE") << "de_DE"
                               << "14:05"
                               << "14:05:09";
    }
    void stylesPerLocale() {
        QFETCH(QString, locale);
        QFETCH(QString, shortText);
        QFETCH(QString, standardText);
        QLocale::setDefault(QLocale(locale));
        const QDateTime t(QDate(2026, 3, 4), QTime(14, 5, 9), Qt::LocalTime);
        // Qt may use a narrow no-break space before AM/PM; compare with ordinary spaces.
        auto plain = [](QString s) { return s.replace(QChar(0x202F), ' ').replace(QChar(0x00A0), ' '); };
        QCOMPARE(plain(TimeText::shortTime(t)), shortText);
        QCOMPARE(plain(TimeText::standardTime(t)), standardText);
    }
};

QTEST_GUILESS_MAIN(TimeTextTest)
#include "tst_timetext.moc"
