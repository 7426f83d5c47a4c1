#pragma once
// What several tests set up alike: log records as the instrument sends them, a pseudo-terminal standing in for a
// converter's port, fake /sys and /dev trees with converters in them, and the program or the pty instrument run as
// separate processes.

#include "link/doctor.h"
#include "link/usb_scan.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

namespace qv::test {

// One log record: its lead (a number or a header tag), a blank, the text, padded to 39 characters, a line feed.
QByteArray logRecord(const QByteArray& lead, const QByteArray& text);

// A file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);
// Writes a file, making its folder first; false when it cannot be written whole.
bool writeFile(const QString& path, const QByteArray& bytes);

// The events of the watch's journal lines in order, an alarm's with its name and state ("alarm gamut raised").
QStringList journalEvents(const QList<QJsonObject>& lines);

// A pseudo-terminal pair; the test holds the master end and plays the instrument on it.
struct Pty {
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    // Keeps the far end open in raw mode, as a bound driver keeps its port: it outlives the program's closes, and
    // what the test writes is not echoed back to it.
    void holdOpen();
    void closeMaster();
    void send(const QByteArray& bytes) const;
    // What the program wrote, waiting up to waitMs for the first of it.
    QByteArray received(int waitMs) const;

    int master = -1;
    QString slave;

private:
    int held_ = -1;
};

// A fake /sys and /dev holding converters; a port's /dev node is an empty file or a link to a pseudo-terminal.
// Every change counts a device event, as the kernel does.
struct FakeConverters {
    QString sys() const { return dir.filePath(QStringLiteral("sys")); }
    QString dev() const { return dir.filePath(QStringLiteral("dev")); }
    DeviceRoots roots() const { return {sys(), dev()}; }
    // A converter at USB 1-1.<port> (device number port, bus 1); with a tty name, bound to the kernel's serial
    // driver and plugged under that name.
    void add(int port, const QByteArray& serial, const QString& tty = {}, const QString& target = {},
             const QByteArray& vendor = "0403");
    void plug(int port, const QString& tty, const QString& target = {});
    void unplug(int port, const QString& tty);
    // The diagnostics' view of this tree: every node here may be opened except the denied ones.
    DoctorEnvironment environment(bool library, const QSet<QString>& denied = {}) const;

    QTemporaryDir dir;

private:
    QString interfaceDir(int port) const;
    void deviceEvent();
    int events_ = 0;
};

// The program under test (or, with its path given, another one) run as a script runs it, drawing off screen.
struct Process : QProcess {
    explicit Process(const QStringList& args, const QString& program = {});
    ~Process() override;
    // Waits for the end: the exit code, or -1 when it did not end normally within a minute.
    int finish(QByteArray* out = nullptr, QByteArray* err = nullptr);
};

int runProgram(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr);

// The simulated instrument served by another process on a pseudo-terminal; path is the port to open.
struct PtyPeer : Process {
    PtyPeer();
    QString path;
};

}  // namespace qv::test
