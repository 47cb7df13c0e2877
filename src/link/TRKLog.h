#pragma once
// The one debug log: "yyyy-MM-dd HH:mm:ss.SSS [pid] message" lines appended to debug.log in the
// application-support folder by a writer thread of its own. It never fails towards the caller.
#include <QByteArray>
#include <QString>
#include <optional>

class TRKLog {
public:
    static void log(const QString& message); // returns at once, from any thread
    static QString file();                   // path of debug.log (the folder is made when missing)
    static QString folder();
    static std::optional<QString> folderOverride();
    static void setFolderOverride(const std::optional<QString>& folder);
    static bool echo();
    static void setEcho(bool on);
    static QString shortHex(const QByteArray& bytes); // first four bytes as eight hex characters
    // Control characters and line separators as \n, \r, \t or \uXXXX: one message stays one line.
    static QString escaped(const QString& message);
    static void flush();                              // waits until every queued line is written

    static constexpr qint64 rotateBytes = 1000000;
    static constexpr int queueLimit = 10000;
};
