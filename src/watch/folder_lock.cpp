#include "watch/folder_lock.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qv {

using namespace Qt::StringLiterals;

FolderLock::~FolderLock()
{
    release();
}

FolderLock::State FolderLock::acquire(const QString& dir)
{
    release();
    path_ = dir + u"/.lock"_s;
    holderPid_ = 0;
    error_.clear();
    QDir().mkpath(dir);
    const QByteArray name = QFile::encodeName(path_);
    // Close-on-exec: a hook, or what a hook leaves running, must not go on holding the folder after the watch.
    bool writable = true;
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    const int openError = errno;
    if (fd_ < 0 && (openError == EACCES || openError == EROFS)) {
        // Another user's lock file in a shared folder still locks: flock needs no write access.
        writable = false;
        fd_ = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd_ < 0) {
        error_ = u"cannot open %1: %2"_s.arg(path_, QString::fromLocal8Bit(std::strerror(openError)));
        return state_ = State::Unavailable;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            char text[32] = {};
            const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
            holderPid_ = n > 0 ? QByteArray(text, n).trimmed().toLongLong() : 0;
        } else {
            error_ = u"cannot lock %1: %2"_s.arg(path_, QString::fromLocal8Bit(std::strerror(err)));
        }
        ::close(fd_);
        fd_ = -1;
        return state_ = err == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    }
    if (writable) {
        const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.constData(), size_t(pid.size()), 0) != pid.size())
            error_ = u"cannot write the PID to %1: %2"_s.arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return state_ = State::Held;
}

void FolderLock::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (state_ == State::Held)
        state_ = State::Free;
}

}  // namespace qv
