#include "LoginRecords.h"

#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <utmpx.h>

namespace {

// utmpx fields are fixed arrays, NUL-terminated only when shorter than the array.
template <std::size_t N> QByteArray field(const char (&f)[N]) {
    return QByteArray(f, static_cast<qsizetype>(strnlen(f, N)));
}

} // namespace

namespace LoginRecords {

std::optional<qint64> latestLocalLogin(const QByteArray& user) {
    if (user.isEmpty()) return std::nullopt;
    std::optional<qint64> latest;
    setutxent();
    while (const utmpx* record = getutxent()) {
        if (record->ut_type != USER_PROCESS) continue;
        if (field(record->ut_user) != user) continue;
        const QByteArray line = field(record->ut_line);
        // A graphical login is recorded on its virtual terminal or its display; "pts/N" is a terminal
        // window or a remote shell.
        if (!line.startsWith("tty") && !line.startsWith(':')) continue;
        const qint64 seconds = record->ut_tv.tv_sec;
        if (!latest || seconds > *latest) latest = seconds;
    }
    endutxent();
    return latest;
}

QByteArray currentUser() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return QByteArray(pw->pw_name);
    return qgetenv("USER");
}

} // namespace LoginRecords
