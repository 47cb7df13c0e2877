#include "FileReplace.h"
#include "TRLoginItemService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <stdexcept>

namespace {

std::runtime_error failure(const QString& text) {
    return std::runtime_error(text.toStdString());
}

// Undoes the string escaping of a Desktop Entry value.
QString unescape(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value.at(++i);
        if (n == u's')
            out += u' ';
        else if (n == u'n')
            out += u'\n';
        else if (n == u't')
            out += u'\t';
        else if (n == u'r')
            out += u'\r';
        else
            out += n;
    }
    return out;
}

// The keys of the [Desktop Entry] group, values as written.
QHash<QString, QString> readEntry(const QString& path) {
    QHash<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return keys;
    bool inGroup = false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inGroup) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key)) keys.insert(key, line.mid(eq + 1).trimmed());
    }
    return keys;
}

bool isTrue(const QString& value) {
    return value == QLatin1String("true");
}

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

} // namespace

TRMainAppLoginService::TRMainAppLoginService(const QString& program, const QString& folder)
    : program_(program.isEmpty() && QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                                 : program),
      folder_(folder.isEmpty() ? autostartFolder() : folder) {
    if (!program_.isEmpty()) program_ = QFileInfo(program_).absoluteFilePath();
}

QString TRMainAppLoginService::autostartFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString TRMainAppLoginService::ensureAutostartFolder() {
    const QString folder = autostartFolder();
    QDir().mkpath(folder);
    return folder;
}

QString TRMainAppLoginService::entryPath() const {
    return folder_ + u'/' + entryFileName();
}

QString TRMainAppLoginService::quoteExecArgument(const QString& argument) {
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') out += u'\\';
        if (c == u'%') out += u'%';
        out += c;
    }
    return out + u'"';
}

QString TRMainAppLoginService::escapeString(const QString& value) {
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u' ' && i == 0)
            out += QLatin1String("\\s");
        else
            out += c;
    }
    return out;
}

QString TRMainAppLoginService::entryText() const {
    const QString exec = escapeString(quoteExecArgument(program_) + u' ' + loginMarker());
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=QMRL Tessrook\n"
                          "Exec=%1\n"
                          "TryExec=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec, escapeString(program_));
}

TRLoginItemService::Status TRMainAppLoginService::status() const {
    if (!QFileInfo::exists(entryPath())) return Status::notRegistered;
    const QHash<QString, QString> keys = readEntry(entryPath());
    if (isTrue(keys.value(QStringLiteral("Hidden"))) ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false"))
        return Status::requiresApproval;
    if (keys.contains(QStringLiteral("TryExec")) &&
        !isExecutableFile(unescape(keys.value(QStringLiteral("TryExec")))))
        return Status::notFound;
    return Status::enabled;
}

void TRMainAppLoginService::registerItem() {
    if (program_.isEmpty()) throw failure(QStringLiteral("the program's own location is unknown"));
    if (!isExecutableFile(program_))
        throw failure(QStringLiteral("%1 is not an executable program").arg(program_));
    if (!QDir().mkpath(folder_)) throw failure(QStringLiteral("can't make the folder %1").arg(folder_));
    // Checked whole: a full disk must not leave an empty entry in place of a working one.
    const QString error = FileReplace::write(entryPath(), entryText().toUtf8(), 0644);
    if (!error.isEmpty()) throw failure(error);
}

void TRMainAppLoginService::unregisterItem() {
    QFile file(entryPath());
    if (!file.exists()) return;
    if (!file.remove()) throw failure(file.errorString());
}
