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
    static void flush(); // waits until every queued line is written

    static constexpr qint64 rotateBytes = 1000000;
    // One line is cut to this many bytes, so a huge message cannot carry the file far past rotateBytes.
    static constexpr int lineBytes = 4096;
    static constexpr int queueLimit = 10000;
};

// Paces one kind of line that a flood of strangers could repeat: the caller logs the first few of each
// window and counts or sums up the rest. A window opens with the first line after the last one passed.
class TRKLogWindow {
public:
    // Counts one line; returns its place in its window (1 for the first). `closedCount`, when given,
    // receives how many lines the window that this one closed had counted (0 when none closed).
    int count(qint64 nowMs, qint64 windowMs, int* closedCount = nullptr) {
        const bool opens = !start_ || nowMs - *start_ >= windowMs;
        if (closedCount) *closedCount = opens ? count_ : 0;
        if (opens) {
            start_ = nowMs;
            count_ = 0;
        }
        return ++count_;
    }

    // What to write for one more line when the first `first` lines of each window are written.
    struct Pace {
        bool write = false;     // this line is one of the first of its window
        bool holdsBack = false; // the first line of its window not written: say that the rest wait
        int heldBack = 0;       // lines not written in the window this line closed: say how many
    };
    Pace pace(qint64 nowMs, qint64 windowMs, int first) {
        int closed = 0;
        const int n = count(nowMs, windowMs, &closed);
        return {n <= first, n == first + 1, closed > first ? closed - first : 0};
    }

private:
    std::optional<qint64> start_;
    int count_ = 0;
};
