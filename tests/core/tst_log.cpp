// The debug log: whole, one-line entries from any thread, owner-only files, one old generation, and the
// pacing of lines a flood could repeat.
#include "TRKLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList linesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QString messageOf(const QString& line) {
    return line.section(QLatin1Char(' '), 3);
}

// True once a thread of this process waits in the kernel for the other end of a pipe to open.
bool someThreadWaitsForAPipe() {
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& t : tasks) {
        QFile f(QStringLiteral("/proc/self/task/%1/wchan").arg(t));
        if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "wait_for_partner") return true;
    }
    return false;
}
} // namespace

class LogTest : public QObject {
    Q_OBJECT
    QTemporaryDir data;
    QTemporaryDir dir;
    QString folder;
    int counter = 0;

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    // Each case writes into a folder of its own.
    void init() {
        TRKLog::flush();
        folder = dir.filePath(QString::number(++counter));
        TRKLog::setFolderOverride(folder);
    }

    void cleanupTestCase() {
        TRKLog::flush();
        TRKLog::setFolderOverride(std::nullopt);
    }

    void defaultsToTheApplicationSupportFolder() {
        TRKLog::setFolderOverride(std::nullopt);
        QCOMPARE(TRKLog::folderOverride(), std::nullopt);
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(expected.startsWith(data.path()));
        QCOMPARE(TRKLog::folder(), expected);
        QCOMPARE(TRKLog::file(), QDir(expected).filePath("debug.log"));
        QVERIFY(QDir(expected).exists()); // made on asking for the file
        QCOMPARE(modeOf(expected), 0700);
        TRKLog::log("to the default folder");
        TRKLog::flush();
        QCOMPARE(messageOf(linesOf(TRKLog::file()).value(0)), QString("to the default folder"));
        TRKLog::setFolderOverride(folder);
        QCOMPARE(TRKLog::folderOverride(), std::optional<QString>(folder));
        QCOMPARE(TRKLog::file(), QDir(folder).filePath("debug.log"));
    }

    void lineFormatAndEscaping() {
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        TRKLog::log("plain message");
        TRKLog::log(QStringLiteral("two\nlines\r\tand\x01 bell\x7f, \u2028 sep, ünïcode, back\\slash"));
        TRKLog::log(QString());
        TRKLog::flush();
        const QStringList lines = linesOf(QDir(folder).filePath("debug.log"));
        QCOMPARE(lines.size(), 3);
        const QRegularExpression shape(
            QStringLiteral(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \[(\d+)\] (.*)$)"));
        const auto m = shape.match(lines[0]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[0]));
        QCOMPARE(m.captured(2).toLongLong(), QCoreApplication::applicationPid());
        const QDateTime stamp = QDateTime::fromString(m.captured(1), "yyyy-MM-dd HH:mm:ss.zzz");
        QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime()); // local time
        QCOMPARE(m.captured(3), QString("plain message"));
        QCOMPARE(
            messageOf(lines[1]),
            QStringLiteral("two\\nlines\\r\\tand\\u0001 bell\\u007f, \\u2028 sep, ünïcode, back\\slash"));
        QVERIFY(shape.match(lines[2]).hasMatch());
        QCOMPARE(messageOf(lines[2]), QString());
    }

    void filesAreOwnerOnlyEvenWhenTheyExisted() {
        QVERIFY(QDir().mkpath(folder));
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        const QString path = QDir(folder).filePath("debug.log");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier line\n");
        f.close();
        ::chmod(QFile::encodeName(path).constData(), 0644);
        TRKLog::log("after");
        TRKLog::flush();
        QCOMPARE(modeOf(folder), 0700);
        QCOMPARE(modeOf(path), 0600);
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 2); // appended, not replaced
        QCOMPARE(lines[0], QString("earlier line"));
    }

    void rotatesToOneOldGeneration() {
        const QString current = QDir(folder).filePath("debug.log"),
                      old = QDir(folder).filePath("debug.old.log");
        const QString filler(960, QLatin1Char('x'));
        // A few huge messages (an address of megabytes) among them are cut to one line's size.
        const QString huge = QString(3'000'000, QChar(0x00e9));
        const int total = 2300; // a little over two rotations' worth
        for (int i = 0; i < total; ++i)
            TRKLog::log(QStringLiteral("%1 %2").arg(i, 5, 10, QLatin1Char('0')).arg(i % 700 == 1 ? huge : filler));
        TRKLog::flush();
        QVERIFY(QFile::exists(old));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
        QVERIFY(QFileInfo(old).size() >= TRKLog::rotateBytes);
        QVERIFY(QFileInfo(old).size() <= TRKLog::rotateBytes + TRKLog::lineBytes); // one line past at most
        QVERIFY(QFileInfo(current).size() <= TRKLog::rotateBytes + TRKLog::lineBytes);
        int cut = 0;
        for (const QString& line : linesOf(old) + linesOf(current)) {
            QVERIFY(line.toUtf8().size() < TRKLog::lineBytes);
            if (line.contains(QChar(0x00e9))) {
                // Cut whole characters only, and marked as cut.
                QVERIFY2(line.endsWith(QString(QChar(0x00e9)) + "..."), qPrintable(line.right(20)));
                ++cut;
            }
        }
        QVERIFY(cut >= 2);
        QCOMPARE(modeOf(old), 0600);
        QCOMPARE(modeOf(current), 0600);
        // The two files hold the newest lines without a gap; the first generation is gone.
        const QStringList lines = linesOf(old) + linesOf(current);
        QVERIFY(lines.size() > 1000 && lines.size() < 2 * 1100);
        const int first = messageOf(lines.first()).left(5).toInt();
        QVERIFY(first > 0);
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(messageOf(lines[i]).left(5).toInt(), first + i);
        QCOMPARE(first + int(lines.size()), total);

        // A folder where the old generation goes: the log cannot rotate, and stays bounded all the same.
        TRKLog::setFolderOverride(folder + "-blocked");
        QVERIFY(QDir().mkpath(folder + "-blocked/debug.old.log"));
        for (int i = 0; i < 1200; ++i)
            TRKLog::log(filler);
        TRKLog::log("after the blocked rotation");
        TRKLog::flush();
        const QString blocked = folder + "-blocked/debug.log";
        QVERIFY(QFileInfo(blocked).size() <= TRKLog::rotateBytes + TRKLog::lineBytes);
        QCOMPARE(messageOf(linesOf(blocked).last()), QString("after the blocked rotation"));
    }

    void linesFromManyThreadsArriveWhole() {
        constexpr int threads = 8, perThread = 1000;
        QList<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers.append(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    TRKLog::log(QStringLiteral("thread %1 line %2 %3")
                                    .arg(t)
                                    .arg(i)
                                    .arg(QString(40, QChar('a' + t))));
            }));
        }
        for (auto* w : workers)
            w->start();
        for (auto* w : workers) {
            QVERIFY(w->wait(20000));
            delete w;
        }
        TRKLog::flush();
        const QStringList lines = linesOf(QDir(folder).filePath("debug.log"));
        QCOMPARE(lines.size(), threads * perThread);
        QList<int> next(threads, 0);
        const QRegularExpression shape(
            QStringLiteral(R"(^\S+ \S+ \[\d+\] thread (\d) line (\d+) ([a-h]{40})$)"));
        for (const QString& line : lines) {
            const auto m = shape.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            const int t = m.captured(1).toInt();
            QCOMPARE(m.captured(2).toInt(), next[t]++); // in order within each thread
            QCOMPARE(m.captured(3), QString(40, QChar('a' + t)));
        }
    }

    void aFloodKeepsTheNewestLines() {
        // A pipe in place of the file holds the writer still until the test starts reading.
        QVERIFY(QDir().mkpath(folder));
        const QByteArray fifo = QFile::encodeName(QDir(folder).filePath("debug.log"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        TRKLog::log("first");
        // The writer has taken "first" alone and waits to open the pipe.
        QTRY_VERIFY_WITH_TIMEOUT(someThreadWaitsForAPipe(), 10000);
        const int flood = TRKLog::queueLimit + 5;
        for (int i = 0; i < flood; ++i)
            TRKLog::log(QStringLiteral("flood %1").arg(i));
        const int fd = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QByteArray got;
        const QByteArray last = QStringLiteral("flood %1\n").arg(flood - 1).toUtf8();
        QElapsedTimer clock;
        clock.start();
        while (!got.endsWith(last) && clock.elapsed() < 20000) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 200) > 0) {
                char buf[65536];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0) got.append(buf, n);
            }
        }
        TRKLog::flush();
        ::close(fd);
        TRKLog::setFolderOverride(dir.filePath("after-flood"));
        QFile::remove(QString::fromLocal8Bit(fifo));
        QStringList lines = QString::fromUtf8(got).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + TRKLog::queueLimit);
        QCOMPARE(messageOf(lines[0]), QString("first"));
        // The oldest queued lines made way; the newest all arrived, in order.
        for (int i = 1; i < lines.size(); ++i)
            QCOMPARE(messageOf(lines[i]), QStringLiteral("flood %1").arg(flood - TRKLog::queueLimit + i - 1));
    }

    void anUnwritableFolderDropsLinesButStillEchoes() {
        // A regular file where the folder should be: no one, not even root, can create the log there.
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TRKLog::setFolderOverride(dir.filePath("blocker/sub"));
        QTemporaryFile captured;
        QVERIFY(captured.open());
        fflush(stderr);
        const int saved = ::dup(2);
        ::dup2(captured.handle(), 2);
        TRKLog::setEcho(true);
        TRKLog::log("echoed only");
        TRKLog::flush();
        TRKLog::setEcho(false);
        fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        QVERIFY(!QFile::exists(dir.filePath("blocker/sub/debug.log")));
        captured.seek(0);
        const QString echoed = QString::fromUtf8(captured.readAll());
        QVERIFY2(echoed.contains(QRegularExpression(R"(\[\d+\] echoed only\n)")), qPrintable(echoed));
        // The log keeps working once the folder is usable again.
        TRKLog::setFolderOverride(folder);
        TRKLog::log("back");
        TRKLog::flush();
        QCOMPARE(messageOf(linesOf(QDir(folder).filePath("debug.log")).value(0)), QString("back"));
        QCOMPARE(TRKLog::shortHex(QByteArray::fromHex("0a0b0c0d0e0f")), QString("0a0b0c0d"));
        QCOMPARE(TRKLog::shortHex(QByteArray::fromHex("ff")), QString("ff"));
    }

    void pacedLinesWriteTheFirstOfEachWindowThenCountTheRest() {
        TRKLogWindow window;
        struct Step {
            qint64 ms;
            bool write, holdsBack;
            int heldBack;
        } steps[] = {
            {0, true, false, 0},    {10, true, false, 0},   {20, false, true, 0}, {30, false, false, 0},
            {999, false, false, 0}, {1000, true, false, 3}, // the window opened at 0 closes with 5 lines
            {1500, true, false, 0}, {3000, true, false, 0}, // two lines are all written: none held back
        };
        for (const Step& s : steps) {
            const TRKLogWindow::Pace pace = window.pace(s.ms, 1000, 2);
            QVERIFY2(pace.write == s.write && pace.holdsBack == s.holdsBack && pace.heldBack == s.heldBack,
                     qPrintable(QStringLiteral("at %1 ms").arg(s.ms)));
        }
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
