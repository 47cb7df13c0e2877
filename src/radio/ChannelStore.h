#pragma once
// The saved channel list: "channels.json" in the application-support folder. The folder is kept
// 0700 and the file 0600; writes are atomic. A file that cannot be read whole is copied aside first,
// so the user's keys are never overwritten, and is then rewritten with what was read; if it could not
// be copied, it is never written. Only a regular file is read: anything else at the path (a pipe, a
// device, a folder, a dangling link) is moved aside the same way, so it can neither hang the start nor
// block every save.
#include "Channel.h"

#include <QDateTime>
#include <QList>
#include <QString>

class ChannelStore {
public:
    // Without a folder, the application-support folder (QStandardPaths::AppDataLocation).
    explicit ChannelStore(QString folder = {});

    static QString defaultFolder();
    QString folder() const { return folder_; }
    QString file() const; // folder + "/channels.json"

    struct Loaded {
        QList<Channel> channels;
        QString keptAside; // file name of the copy of a damaged file; "" when all was read
        bool damaged = false;
    };
    // Sets the folder's mode (0700) every time; a missing file is an empty list.
    Loaded load(const QDateTime& now);
    bool save(const QList<Channel>& channels); // atomic, 0600; a link at the path is replaced
    QString saveError() const { return saveError_; } // why the last save failed; "" after a good one

private:
    QString folder_;
    bool saveBlocked_ = false; // a damaged file that could not be copied aside is never replaced
    QString saveError_;
    bool ensureFolder() const;
    QString asideName(const QDateTime& now) const;
    QString copyAside(const QDateTime& now) const;
    QString moveAside(const QDateTime& now) const;
};
