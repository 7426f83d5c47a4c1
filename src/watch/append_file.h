#pragma once
// A file that only grows, one whole line at a time, and survives the program being killed at any moment:
// each line goes to the kernel in one write() on a descriptor opened with O_APPEND, and is flushed to the disk
// (fdatasync) before append() returns. A file whose last line was cut short (a crash, a full disk) gets the
// next line on a fresh line, so the cut line stays as it was and every later line is whole.

#include <QByteArray>
#include <QString>

namespace qv {

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens (creating folders and file as needed). False with error() set when it cannot.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const QString& path() const { return path_; }

    // Appends line plus a line feed. False with error() set when the line did not reach the disk whole.
    bool append(const QByteArray& line);
    // Flush to disk after every line (the default), or leave it to the caller's sync().
    void setSyncEachLine(bool on) { syncEachLine_ = on; }
    bool sync();
    const QString& error() const { return error_; }

private:
    bool fail(const char* what, int err);

    int fd_ = -1;
    QString path_;
    QString error_;
    bool freshLine_ = false;  // the file does not end with a line feed: start the next line on a new one
    bool syncEachLine_ = true;
};

}  // namespace qv
