#pragma once
// Replaces a small file whole: the new bytes go to a temporary file beside it, every write and the
// sync are checked, and only a complete file is renamed over the old one. On any failure the old file
// stays byte for byte. A link at the path is replaced by a file of our own, never written through.
// (QSaveFile follows links and, on Qt 6.4, misses a failed final flush and renames an empty file over
// the good one on a full disk.)
#include <QByteArray>
#include <QString>

namespace FileReplace {
// Returns "" on success, else why it failed (the system's reason, e.g. "No space left on device").
QString write(const QString& path, const QByteArray& data, int mode = 0600);
// Removes the temporary files a write to `path` left when the process was killed during it (each holds
// a whole copy of the data). Call before any write to `path` may run. Returns how many went.
int removeLeftovers(const QString& path);
} // namespace FileReplace
