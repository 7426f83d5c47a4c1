#include "watch/append_file.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

using namespace Qt::StringLiterals;

AppendFile::~AppendFile()
{
    close();
}

bool AppendFile::fail(const char* what, int err)
{
    error_ = u"%1 %2: %3"_s.arg(QLatin1StringView(what), path_, QString::fromLocal8Bit(std::strerror(err)));
    return false;
}

bool AppendFile::open(const QString& path)
{
    close();
    path_ = path;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail("cannot create the folder of", errno ? errno : EACCES);
    const QByteArray name = QFile::encodeName(path);
    fd_ = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return fail("cannot open", errno);
    struct stat st {};
    char last = '\n';
    if (::fstat(fd_, &st) == 0 && st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) != 1)
        last = '\n';
    freshLine_ = last != '\n';
    return true;
}

void AppendFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool AppendFile::append(const QByteArray& line)
{
    if (fd_ < 0 && (path_.isEmpty() || !open(path_)))
        return false;
    QByteArray whole;
    whole.reserve(line.size() + 2);
    if (freshLine_)
        whole += '\n';
    whole += line;
    whole += '\n';
    ssize_t n;
    do
        n = ::write(fd_, whole.constData(), size_t(whole.size()));
    while (n < 0 && errno == EINTR);
    if (n != ssize_t(whole.size())) {
        const int err = n < 0 ? errno : ENOSPC;
        // A full disk took part of the line: take it back, so that every line in the file stays whole. Should
        // that fail too, whatever comes next starts on a line of its own.
        struct stat st {};
        if (n > 0 && (::fstat(fd_, &st) != 0 || ::ftruncate(fd_, st.st_size - n) != 0))
            freshLine_ = true;
        return fail("cannot write to", err);
    }
    freshLine_ = false;
    // The line is in the kernel's hands now; a flush that fails is not a reason to write it a second time.
    if (syncEachLine_)
        sync();
    return true;
}

bool AppendFile::sync()
{
    if (fd_ >= 0 && ::fdatasync(fd_) != 0)
        return fail("cannot flush", errno);
    return true;
}

}  // namespace qv
