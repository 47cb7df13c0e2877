#include "TRLaunch.h"

#include "LoginRecords.h"
#include "TRLoginItemService.h"

#include <QCoreApplication>

namespace {
bool opened = false;
}

namespace TRLaunch {

void useProgramNames() {
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
}

bool openedAtLogin() {
    return opened;
}

void detect() {
    const QStringList args = QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList{};
    detect(args, QDateTime::currentDateTimeUtc());
}

void detect(const QStringList& arguments, const QDateTime& now) {
    // Only our own autostart entry passes the marker: no need to look at the login records.
    if (arguments.mid(1).contains(TRMainAppLoginService::loginMarker())) {
        opened = true;
        return;
    }
    const std::optional<QDateTime> session = consoleLoginTime();
    opened = session && isLoginLaunch(now, *session);
}

std::optional<QDateTime> consoleLoginTime() {
    const std::optional<qint64> seconds = LoginRecords::latestLocalLogin(LoginRecords::currentUser());
    if (!seconds) return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(*seconds, Qt::UTC);
}

bool isLoginLaunch(const QDateTime& appStart, const QDateTime& sessionStart, double window) {
    const double seconds = sessionStart.msecsTo(appStart) / 1000.0;
    return seconds >= -5 && seconds < window;
}

} // namespace TRLaunch
