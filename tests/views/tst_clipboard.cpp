// The clipboard as the sheets use it: plain text in and out, a copy replaces every other format, an
// empty text reads back as empty, and an image alone reads as no text.
#include "Clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QTest>

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    void roundTripsAndFormats() {
        QClipboard* cb = QGuiApplication::clipboard();
        Clipboard::copy(QStringLiteral("qmtalk://join?v=1&n=Crew&k=abc"));
        QCOMPARE(Clipboard::text(), std::optional<QString>(QStringLiteral("qmtalk://join?v=1&n=Crew&k=abc")));

        // An image alone is no text at all.
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        cb->setImage(image);
        QCOMPARE(Clipboard::text(), std::nullopt);

        // A copy replaces the image (and any other format) with the text alone.
        auto* mixed = new QMimeData;
        mixed->setImageData(image);
        mixed->setHtml(QStringLiteral("<b>old</b>"));
        cb->setMimeData(mixed);
        Clipboard::copy(QStringLiteral("new"));
        const QMimeData* now = cb->mimeData();
        QVERIFY(!now->hasImage());
        QVERIFY(!now->hasHtml());
        QCOMPARE(Clipboard::text(), std::optional<QString>(QStringLiteral("new")));

        // An empty text is still a text.
        Clipboard::copy(QString());
        QCOMPARE(Clipboard::text(), std::optional<QString>(QString()));
        cb->clear();
        QCOMPARE(Clipboard::text(), std::nullopt);
    }
};

QTEST_MAIN(ClipboardTest)
#include "tst_clipboard.moc"
