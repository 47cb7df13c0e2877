// QR images decode back to their exact text with a real reader, with crisp modules and a white quiet
// zone; text that cannot be encoded gives no image.
#include "QR.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class QRTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString decode(const QImage& image) {
        const QString file = dir.filePath(QStringLiteral("code-%1.png").arg(++count));
        if (!image.save(file)) return QStringLiteral("<not saved>");
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), {"-q", "--raw", file});
        zbar.waitForFinished(10000);
        QString out = QString::fromUtf8(zbar.readAllStandardOutput());
        if (out.endsWith('\n')) out.chop(1);
        return out;
    }
    int count = 0;

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        if (QStandardPaths::findExecutable("zbarimg").isEmpty())
            QSKIP("zbarimg (zbar-tools) is not installed");
    }

    void inviteLinkRoundTripsAtLevelM() {
        const QString link = "qmtalk://join?v=1&n=Test&k=abc";
        const auto image = QR::cgImage(link);
        QVERIFY(image.has_value());
        // Version 3 at level M: 29 modules plus two quiet modules each side, 10 pixels a module.
        QCOMPARE(image->size(), QSize((29 + 4) * 10, (29 + 4) * 10));
        QCOMPARE(decode(*image), link);
    }

    void modulesAreCrispSquaresInsideAWhiteQuietZone() {
        const auto image = QR::cgImage("qmtalk://join?v=1&n=Test&k=abc", 3);
        QVERIFY(image.has_value());
        QCOMPARE(image->width(), 33 * 3);
        for (int y = 0; y < image->height(); ++y) {
            for (int x = 0; x < image->width(); ++x) {
                const QRgb px = image->pixel(x, y) & 0xFFFFFF;
                QVERIFY(px == 0xFFFFFF || px == 0);
                if (x < 6 || y < 6 || x >= image->width() - 6 || y >= image->height() - 6)
                    QCOMPARE(px, QRgb(0xFFFFFF));
                // Nearest neighbour: each 3 x 3 block is one colour.
                QCOMPARE(px, image->pixel(x - x % 3, y - y % 3) & 0xFFFFFF);
            }
        }
        // The finder pattern's corner module sits right after the quiet zone.
        QCOMPARE(image->pixel(6, 6) & 0xFFFFFF, QRgb(0));
    }

    void longInviteWithAWideKeyRoundTrips() {
        const QString link = "qmtalk://join?v=1&n=Family%20Caf%C3%A9&k=" + QString(43, 'Q') + "_-x";
        const auto image = QR::cgImage(link, 4);
        QVERIFY(image.has_value());
        QCOMPARE(decode(*image), link);
    }

    void unencodableTextGivesNoImage() {
        QVERIFY(!QR::cgImage("").has_value());
        QVERIFY(!QR::cgImage(QString(3000, 'x')).has_value()); // beyond version 40 at level M
        QVERIFY(!QR::cgImage("abc", 0).has_value());
    }
};

QTEST_GUILESS_MAIN(QRTest)
#include "tst_qr.moc"
