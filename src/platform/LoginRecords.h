#pragma once
// The system's login records (utmpx): when the user's graphical session began.
#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace LoginRecords {

// The latest login time (seconds since the epoch) of a user process record of `user` on a local
// terminal ("tty2") or display (":0"); remote terminals ("pts/3") do not count. Nothing when no record
// qualifies or the records cannot be read. Reads the file that utmpxname() last named.
std::optional<qint64> latestLocalLogin(const QByteArray& user);

// The login name of the user running this process ("" when unknown).
QByteArray currentUser();

} // namespace LoginRecords
