#include "TimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace TimeText {

QString shortTime(const QDateTime& t) {
    // Some locales' short format carries seconds (the C locale's is "HH:mm:ss"): drop them and the
    // separator before them, so the short style is hours and minutes everywhere.
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[^\\w\\s']?s+(\\.z+)?"));
    format.remove(seconds);
    return QLocale().toString(t.toLocalTime().time(), format.trimmed());
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
