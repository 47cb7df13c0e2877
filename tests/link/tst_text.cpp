// Length limits count what a person sees as one character, and trimming and collapsing follow
// Qt's notion of whitespace.
#include "TextRules.h"

#include <QCoreApplication>
#include <QtTest>

namespace {
const QString family =
    QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"); // ZWJ
const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");       // two regional indicators
const QString eAcute = QString::fromUtf8("e\xCC\x81");                            // e + combining acute
const QString thumbsTone = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"); // skin-tone modifier
} // namespace

class TextTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void countsUserPerceivedCharacters() {
        QCOMPARE(TextRules::characterCount(""), 0);
        QCOMPARE(TextRules::characterCount("abc"), 3);
        QCOMPARE(TextRules::characterCount(family), 1);
        QCOMPARE(TextRules::characterCount(flag + flag), 2);
        QCOMPARE(TextRules::characterCount(eAcute + eAcute + "x"), 3);
        QCOMPARE(TextRules::characterCount(thumbsTone), 1);
        QCOMPARE(TextRules::characterCount("\r\n"), 1);
    }

    void cuttingNeverSplitsACharacter() {
        const QString s = family + eAcute + flag + "ab";
        QCOMPARE(TextRules::leftCharacters(s, 0), QString());
        QCOMPARE(TextRules::leftCharacters(s, 1), family);
        QCOMPARE(TextRules::leftCharacters(s, 2), family + eAcute);
        QCOMPARE(TextRules::leftCharacters(s, 3), family + eAcute + flag);
        QCOMPARE(TextRules::leftCharacters(s, 5), s);
        QCOMPARE(TextRules::leftCharacters(s, 99), s);
        // A 40-character limit over 40 emoji keeps all of them though they take 80+ UTF-16 units.
        QString many;
        for (int i = 0; i < 41; ++i)
            many += thumbsTone;
        QCOMPARE(TextRules::characterCount(TextRules::leftCharacters(many, 40)), 40);
        QCOMPARE(TextRules::leftCharacters(many, 40).size(), 40 * thumbsTone.size());
    }

    void trimsAndCollapsesEveryKindOfWhitespace() {
        const QString nbsp = QString(QChar(0x00a0)), ideographic = QString(QChar(0x3000));
        QCOMPARE(TextRules::trimmed(" \t\n" + nbsp + "a b" + ideographic + "\r\n"), QString("a b"));
        QCOMPARE(TextRules::collapseSpaces("  a \t\n b" + nbsp + ideographic + "c "), QString(" a b c "));
        QCOMPARE(TextRules::collapseSpaces("abc"), QString("abc"));
    }

    void networkTextIsMadeSafeToShow() {
        QCOMPARE(TextRules::fromNetwork("  hello\nthere\x01\x7f  ", 100), QString("hello there"));
        QCOMPARE(TextRules::fromNetwork(QString("a" + QString(QChar(0x2028)) + "b").toUtf8(), 100),
                 QString("a b"));
        // Invalid UTF-8 becomes a replacement character instead of disappearing or failing.
        QCOMPARE(TextRules::fromNetwork("ok\xff", 100), QString("ok") + QChar(0xfffd));
        QCOMPARE(TextRules::fromNetwork((family + family + family).toUtf8(), 2), family + family);
        QCOMPARE(TextRules::fromNetwork("", 10), QString());
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
