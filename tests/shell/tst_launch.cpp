// Telling a launch at login from one by hand: the autostart entry's marker, else the user's graphical
// login in the login records (a records file of the test's own, written with the C library).
#include "LoginRecords.h"
#include "TRLaunch.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <utmpx.h>

namespace {

struct Record {
    QByteArray user;
    QByteArray line;
    qint64 seconds;
    short type = USER_PROCESS;
    QByteArray host = {};
};

// A fresh records file holding `records`; later reads go to it.
void writeRecords(const QString& path, const QList<Record>& records) {
    QFile::remove(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly)); // the C library writes only into a file that exists
    f.close();
    QVERIFY(utmpxname(QFile::encodeName(path).constData()) == 0);
    setutxent();
    int id = 0;
    for (const Record& r : records) {
        utmpx u{};
        u.ut_type = r.type;
        u.ut_pid = 1000 + id;
        const QByteArray tag = QByteArray::number(++id);
        std::memcpy(u.ut_id, tag.constData(), std::min<size_t>(tag.size(), sizeof u.ut_id));
        std::memcpy(u.ut_user, r.user.constData(), std::min<size_t>(r.user.size(), sizeof u.ut_user));
        std::memcpy(u.ut_line, r.line.constData(), std::min<size_t>(r.line.size(), sizeof u.ut_line));
        std::memcpy(u.ut_host, r.host.constData(), std::min<size_t>(r.host.size(), sizeof u.ut_host));
        u.ut_tv.tv_sec = decltype(u.ut_tv.tv_sec)(r.seconds);
        QVERIFY(pututxline(&u) != nullptr);
    }
    endutxent();
}

} // namespace

class LaunchTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    const qint64 login = 1'800'000'000;

    QDateTime at(qint64 seconds) const { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

private slots:
    void markerDecidesWithoutLoginRecords() {
        QVERIFY(utmpxname(QFile::encodeName(dir.filePath("missing")).constData()) == 0);
        QVERIFY(!TRLaunch::consoleLoginTime());
        TRLaunch::detect({"tessrook", "--opened-at-login"}, at(login + 100000));
        QVERIFY(TRLaunch::openedAtLogin());
        // Without it and without records a launch is one by hand, whatever the time.
        TRLaunch::detect({"tessrook"}, at(login));
        QVERIFY(!TRLaunch::openedAtLogin());
        // The program's own name is not an argument.
        TRLaunch::detect({"--opened-at-login"}, at(login));
        QVERIFY(!TRLaunch::openedAtLogin());
    }

    void latestGraphicalLoginOfThisUserCounts() {
        const QByteArray me = LoginRecords::currentUser();
        QVERIFY(!me.isEmpty());
        writeRecords(dir.filePath("utmp"), {
                                               {me, "tty2", login - 5000},
                                               {me, ":0", login}, // the latest of ours
                                               {me, "tty3", login - 100},
                                               {me, "pts/3", login + 500},     // a terminal window
                                               {"someone", ":1", login + 600}, // another user
                                               {me, "tty4", login + 700, DEAD_PROCESS},
                                           });
        QCOMPARE(TRLaunch::consoleLoginTime(), std::optional<QDateTime>(at(login)));
    }

    void windowAroundTheLogin_data() {
        QTest::addColumn<qint64>("after");
        QTest::addColumn<bool>("atLogin");
        QTest::newRow("179 s after") << qint64(179) << true;
        QTest::newRow("180 s after") << qint64(180) << false;
        QTest::newRow("5 s before") << qint64(-5) << true;
        QTest::newRow("6 s before") << qint64(-6) << false;
        QTest::newRow("at once") << qint64(0) << true;
    }
    void windowAroundTheLogin() {
        QFETCH(qint64, after);
        QFETCH(bool, atLogin);
        writeRecords(dir.filePath("utmp"), {{LoginRecords::currentUser(), "tty2", login}});
        TRLaunch::detect({"tessrook"}, at(login + after));
        QCOMPARE(TRLaunch::openedAtLogin(), atLogin);
        QCOMPARE(TRLaunch::isLoginLaunch(at(login + after), at(login)), atLogin);
    }

    void fullUserFieldIsReadToItsEndOnly() {
        // 32 bytes with no room for a NUL; the host name follows it in the record.
        const QByteArray name(sizeof(utmpx{}.ut_user), 'u');
        writeRecords(dir.filePath("utmp"), {{name, "tty5", login + 42, USER_PROCESS, "remote.example"}});
        QCOMPARE(LoginRecords::latestLocalLogin(name), std::optional<qint64>(login + 42));
        QVERIFY(!LoginRecords::latestLocalLogin(name.left(31)));
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "tst_launch.moc"
