// The real login-item service: the autostart entry it writes, how desktops read it back, and the
// status it reports when the entry is switched off or the program is gone.
#include "TRLoginItemService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

namespace {

QString makeProgram(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write("#!/bin/sh\nexit 0\n");
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
    return path;
}

QString read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void rewrite(const QString& path, const QString& from, const QString& to) {
    QString text = read(path);
    text.replace(from, to);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

QString keyOf(const QString& entry, const QString& key) {
    for (const QString& line : entry.split(u'\n'))
        if (line.startsWith(key + u'=')) return line.mid(key.size() + 1);
    return {};
}

// How a desktop reads an Exec line: undo the string escapes first, then split the quoted arguments.
QStringList execArguments(const QString& value) {
    QString s;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            s += n == u's' ? QChar(u' ') : n == u'n' ? QChar(u'\n') : n == u't' ? QChar(u'\t') : n;
        } else {
            s += value[i];
        }
    }
    QStringList args;
    QString cur;
    bool quoted = false, any = false;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < s.size())
                cur += s[++i];
            else if (c == u'"')
                quoted = false;
            else
                cur += c;
        } else if (c == u'"') {
            quoted = any = true;
        } else if (c == u' ') {
            if (any || !cur.isEmpty()) args << cur;
            cur.clear();
            any = false;
        } else {
            cur += c;
        }
    }
    if (any || !cur.isEmpty()) args << cur;
    for (QString& a : args)
        a.replace(QLatin1String("%%"), QLatin1String("%"));
    return args;
}

} // namespace

class AutostartTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void entryOfAPlainProgram() {
        const QString program = makeProgram(dir.filePath("plain/bin/tessrook"));
        const QString folder = dir.filePath("plain/config/autostart"); // not there yet
        TRMainAppLoginService service(program, folder);
        QCOMPARE(service.status(), TRLoginItemService::Status::notRegistered);
        service.registerItem();
        QCOMPARE(service.entryPath(), folder + "/qmrl-tessrook.desktop");
        QCOMPARE(read(service.entryPath()), QStringLiteral("[Desktop Entry]\n"
                                                           "Type=Application\n"
                                                           "Name=QMRL Tessrook\n"
                                                           "Exec=\"%1\" --opened-at-login\n"
                                                           "TryExec=%1\n"
                                                           "Terminal=false\n"
                                                           "X-GNOME-Autostart-enabled=true\n")
                                                .arg(program));
        QCOMPARE(service.status(), TRLoginItemService::Status::enabled);
        service.registerItem(); // again: replaced, still one entry
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"qmrl-tessrook.desktop"});

        service.unregisterItem();
        QVERIFY(!QFile::exists(service.entryPath()));
        QCOMPARE(service.status(), TRLoginItemService::Status::notRegistered);
        service.unregisterItem(); // nothing there: no error
    }

    void awkwardPathIsQuotedSoDesktopsReadItBack() {
        const QString program = makeProgram(
            dir.filePath(QStringLiteral("Q Apps 100% \"best\" $HOME `id` back\\slash/tess rook")));
        QVERIFY(!program.isEmpty());
        TRMainAppLoginService service(program, dir.filePath("awkward/autostart"));
        service.registerItem();
        const QString entry = read(service.entryPath());
        QCOMPARE(execArguments(keyOf(entry, "Exec")), (QStringList{program, "--opened-at-login"}));
        QCOMPARE(service.status(), TRLoginItemService::Status::enabled);

        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty()) QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
        QProcess check;
        check.start(validator, {service.entryPath()});
        QVERIFY(check.waitForFinished(10000));
        const QString said = QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
        QVERIFY2(check.exitCode() == 0 && !said.contains("error"), qPrintable(said));
    }

    void desktopsSwitchingTheEntryOffNeedsApproval() {
        const QString program = makeProgram(dir.filePath("off/tessrook"));
        TRMainAppLoginService service(program, dir.filePath("off/autostart"));
        service.registerItem();
        rewrite(service.entryPath(), "X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false");
        QCOMPARE(service.status(), TRLoginItemService::Status::requiresApproval);
        service.registerItem();
        QCOMPARE(service.status(), TRLoginItemService::Status::enabled);
        rewrite(service.entryPath(), "Terminal=false\n", "Terminal=false\nHidden=true\n");
        QCOMPARE(service.status(), TRLoginItemService::Status::requiresApproval);
    }

    void programGoneOrNotRunnableIsNotFound() {
        const QString program = makeProgram(dir.filePath("gone/tessrook"));
        TRMainAppLoginService service(program, dir.filePath("gone/autostart"));
        service.registerItem();
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(service.status(), TRLoginItemService::Status::notFound);
        QVERIFY(QFile::remove(program));
        QCOMPARE(service.status(), TRLoginItemService::Status::notFound);
    }

    void refusesAProgramThatCannotRun() {
        const QString folder = dir.filePath("refuse/autostart");
        for (const QString& program : {dir.filePath("refuse/missing"), dir.path()}) {
            TRMainAppLoginService service(program, folder);
            try {
                service.registerItem();
                QFAIL("registered a program that cannot run");
            } catch (const std::runtime_error& e) {
                QVERIFY(QString::fromUtf8(e.what()).contains(program));
            }
            QVERIFY(!QFile::exists(service.entryPath()));
        }
    }
};

QTEST_GUILESS_MAIN(AutostartTest)
#include "tst_autostart.moc"
