#include "TimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace TimeText {

QString shortTime(const QDateTime& t) {
    return QLocale().toString(t.toLocalTime().time(), QLocale::ShortFormat);
}

QString standardTime(const QDateTime& t) {
    // The long format carries the time zone ("t", "tt", "ttt"...); Qt 6.4 has no format between short
    // and long, so drop the zone and the space or separator it leaves behind.
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?\\s*"));
    format.replace(zone, QStringLiteral(" "));
    format = format.trimmed();
    return QLocale().toString(t.toLocalTime().time(), format);
}

} // namespace TimeText
