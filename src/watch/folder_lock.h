#pragma once
// One watch per folder: a lock on DIR/.lock, held from the watch's start to its stop. Two watches in one folder
// would write the same journal file and delete each other's files by retention. The lock is the kernel's
// (flock), so it goes with its holder however that ends, kill -9 included: a dead watch never stands in the way.
// The file stays and holds the PID of its last holder, which is what a refused second watch names.

#include <QString>

namespace qv {

class FolderLock {
public:
    enum class State {
        Free,           // not asked for, or given back
        Held,           // by this process
        HeldElsewhere,  // by another watch: holderPid()
        Unavailable,    // the lock file cannot be made or locked here (a folder not writable): error()
    };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    State acquire(const QString& dir);
    void release();
    State state() const { return state_; }
    const QString& path() const { return path_; }
    qint64 holderPid() const { return holderPid_; }  // 0 when the holder's file does not say
    const QString& error() const { return error_; }

private:
    int fd_ = -1;
    State state_ = State::Free;
    QString path_;
    qint64 holderPid_ = 0;
    QString error_;
};

}  // namespace qv
