#pragma once
// Times as the views, the rack and the self-test show them, in the user's locale.
#include <QDateTime>
#include <QString>

namespace TimeText {
// Hours and minutes only ("14:05", "2:05 PM").
QString shortTime(const QDateTime& t);
// With seconds and no date or time zone ("14:05:09", "2:05:09 PM").
QString standardTime(const QDateTime& t);
} // namespace TimeText
