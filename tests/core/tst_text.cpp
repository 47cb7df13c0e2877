// Length limits count what a person sees as one character, and trimming and collapsing follow
// Qt's notion of whitespace.
#include "Channel.h"
#include "TextRules.h"

#include <QCoreApplication>
#include <QtTest>

namespace {
const QString family =
    QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"); // ZWJ
const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");       // two regional indicators
const QString eAcute = QString::fromUtf8("e\xCC\x81");                            // e + combining acute
const QString thumbsTone = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"); // skin-tone modifier

bool isValidUtf16(const QString& s) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
            ++i;
        else if (s.at(i).isSurrogate())
            return false;
    }
    return true;
}

// The limits of the paths strangers' text takes: channel names, call signs, station titles, texts.
constexpr int nameLimit = Channel::maxNameCharacters, callSignLimit = 46, titleLimit = 200, textLimit = 500;
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

    // Complex scripts next to emoji: the grapheme finder once cut inside surrogate pairs there and the
    // low half came out twice ("नमस्ते 🙏" plus a lone surrogate, shown as "?").
    void everyScriptKeepsItsEmojiWhole_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("emoji");
        const QList<std::pair<const char*, QString>> scripts = {
            {"Devanagari", QStringLiteral("नमस्ते")}, {"Tamil", QStringLiteral("கா")},
            {"Thai", QStringLiteral("สวัสดี")},     {"Arabic", QStringLiteral("مرحبا")},
            {"Hebrew", QStringLiteral("שלום")},      {"CJK", QStringLiteral("你好")}};
        const QList<std::pair<const char*, QString>> emoji = {
            {"folded hands", QStringLiteral("🙏")},
            {"skin tone", thumbsTone},
            {"family", family},
            {"flag", flag},
            {"keycap", QStringLiteral("1\uFE0F\u20E3")},
            {"grinning", QStringLiteral("😀")}};
        for (const auto& [scriptName, script] : scripts)
            for (const auto& [emojiName, e] : emoji)
                QTest::addRow("%s %s", scriptName, emojiName) << script << e;
    }

    void everyScriptKeepsItsEmojiWhole() {
        QFETCH(QString, script);
        QFETCH(QString, emoji);
        const int scriptCount = TextRules::characterCount(script);
        QVERIFY(scriptCount >= 1 && scriptCount <= script.size());
        for (const QString& s : {script + ' ' + emoji, script + emoji, emoji + script, script + emoji + script,
                                 "Ravi " + script + ' ' + emoji + " team"}) {
            const int count = TextRules::characterCount(s);
            QCOMPARE(count, TextRules::characterCount(s.section(emoji, 0, 0)) + 1 +
                                TextRules::characterCount(s.section(emoji, 1)));
            // Kept as typed through every path that cleans a stranger's text.
            QCOMPARE(TextRules::fromStranger(s, textLimit), s);
            QCOMPARE(TextRules::fromStranger(s, titleLimit), s);
            QCOMPARE(TextRules::nameFromNetwork(s.toUtf8(), callSignLimit), s);
            // Every cut ends at a character: the emoji is kept whole or left out whole.
            for (int n = 1; n <= count; ++n) {
                const QString cut = TextRules::leftCharacters(s, n);
                QVERIFY2(isValidUtf16(cut) && s.startsWith(cut), qPrintable(QString::number(n)));
                QCOMPARE(TextRules::characterCount(cut), n);
                for (qsizetype at = s.indexOf(emoji); at >= 0; at = s.indexOf(emoji, at + 1))
                    QVERIFY(cut.size() <= at || cut.size() >= at + emoji.size());
            }
        }

        // At and across each path's length cut, the emoji right at the limit or just past it.
        const QString fill = QString(QStringLiteral("क")).repeated(textLimit);
        for (int limit : {nameLimit, callSignLimit, titleLimit, textLimit}) {
            const QString head = fill.left(limit - 1) + script.left(1);
            const QString atCut = head.left(limit - 1) + emoji;
            QCOMPARE(TextRules::fromStranger(atCut + script, limit), atCut);
            QCOMPARE(TextRules::fromStranger(head.left(limit) + emoji, limit), head.left(limit));
        }

        // A channel's name comes back whole from its invite link, however often it is shared.
        const QString name = script + ' ' + emoji;
        auto channel = Channel::withRandomKey(name);
        QVERIFY(channel);
        for (int shared = 0; shared < 3; ++shared) {
            auto back = Channel::fromInvite(channel->inviteLink());
            QVERIFY(back);
            QCOMPARE(back->name, name);
            QVERIFY(!channel->inviteLink().contains(QLatin1String("%3F")));
            channel = back;
        }
        const QString atNameCut = fill.left(nameLimit - 1) + emoji;
        QCOMPARE(Channel::fromInvite(Channel::withRandomKey(atNameCut + script)->inviteLink())->name, atNameCut);
    }

    // Half a pair from a stranger (JSON can carry one) never reaches the screen or the store.
    void cleanedTextIsValidUtf16() {
        const QString lone = QString("a") + QChar(0xD83D) + "b" + QChar(0xDE00) + QChar(0xDE00);
        QCOMPARE(TextRules::cleaned(lone), QString("a\uFFFDb\uFFFD\uFFFD"));
        QVERIFY(isValidUtf16(TextRules::fromStranger(QString(QChar(0xD83D)) + QChar(0xD83D), 10)));
    }

    // Characters that show nothing do not make two names that look the same different.
    void namesLoseInvisibleCharacters() {
        const QString tags = QString(QChar(0xDB40)) + QChar(0xDC67) + QChar(0xDB40) + QChar(0xDC7F);
        const QString padded = QString(QChar(0x200B)) + "An" + QChar(0xFEFF) + "n" + tags + QChar(0x200B);
        QCOMPARE(TextRules::nameFromNetwork(padded.toUtf8(), callSignLimit), QString("Ann"));
        QCOMPARE(TextRules::nameFromStranger(QString(QChar(0x200B)) + QChar(0xFEFF) + tags, callSignLimit),
                 QString());
        const QString link = Channel::withRandomKey("x")->inviteLink();
        auto c = Channel::fromInvite(QString(link).replace("n=x", "n=%E2%80%8BOps%EF%BB%BF%F3%A0%81%A7"));
        QVERIFY(c);
        QCOMPARE(c->name, QString("Ops"));
        // Joiners and direction marks stay in names: scripts need them.
        QCOMPARE(TextRules::nameCleaned(family + QChar(0x200C) + QChar(0x200F)),
                 family + QChar(0x200C) + QChar(0x200F));
        // Texts keep them all: they are not compared.
        QCOMPARE(TextRules::fromNetwork(padded.toUtf8(), textLimit), padded);
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

    // What strangers can put in a name or text: terminal escapes, C1 controls, direction overrides,
    // nothing visible at all, or one "character" carrying thousands of marks.
    void strangersTextIsCleanedBeforeAnyLimit() {
        const QString rlo = QString(QChar(0x202E)), lri = QString(QChar(0x2066)),
                      pdi = QString(QChar(0x2069));
        QCOMPARE(TextRules::fromNetwork("\x1b[2K\rRESULT PASS\xc2\x9b"
                                        "1m",
                                        100),
                 QString("[2K RESULT PASS 1m"));
        QCOMPARE(TextRules::fromNetwork((rlo + "txt.exe" + lri + "ab" + pdi).toUtf8(), 100),
                 QString("txt.exeab"));
        // Direction marks and joiners that are not overrides stay: scripts need them.
        QCOMPARE(TextRules::cleaned(QString("a") + QChar(0x200F) + family),
                 QString("a") + QChar(0x200F) + family);

        // At most 8 marks per character, counted before the length limit.
        const QString heavy = "e" + QString(20000, QChar(0x301));
        const QString kept = "e" + QString(TextRules::maxCombiningMarks, QChar(0x301));
        QCOMPARE(TextRules::fromNetwork((heavy + "x" + heavy).toUtf8(), 46), kept + "x" + kept);
        QCOMPARE(TextRules::cleaned(eAcute + thumbsTone + family + flag),
                 eAcute + thumbsTone + family + flag);
        const QString emojiMarks = thumbsTone + QString(12, QChar(0x20E3)); // enclosing keycaps
        QCOMPARE(TextRules::cleaned(emojiMarks), thumbsTone + QString(8, QChar(0x20E3)));

        // Nothing visible is nothing at all, the same as an empty name.
        for (const QString& blank :
             {QString(QChar(0x200B)) + QChar(0x200D) + QChar(0xFEFF), QString(QChar(0x3164)) + QChar(0x115F),
              QString(" ") + QChar(0x2800) + QChar(0x00AD) + "\t" + QChar(0x034F),
              QString(QChar(0x301)).repeated(3),
              QString(QChar(0xDB40)) + QChar(0xDC41) /* a tag character */})
            QCOMPARE(TextRules::fromNetwork(blank.toUtf8(), 46), QString());
        QCOMPARE(TextRules::fromNetwork((QString(QChar(0x200B)) + "Ann").toUtf8(), 46),
                 QString(QChar(0x200B)) + "Ann");
        // What is visible must lie within the limit: marks and NULs that fill it are still blank.
        const QByteArray late = QString(QChar(0x301)).repeated(2).toUtf8() + QByteArray(40, '\0') + "Z";
        QCOMPARE(TextRules::fromNetwork(late, 40), QString());
        QCOMPARE(TextRules::fromNetwork(late, 43), QString(QChar(0x301)).repeated(2) + QString(40, ' ') + "Z");
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
