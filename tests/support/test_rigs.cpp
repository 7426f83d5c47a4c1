#include "test_rigs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qv::test {

QByteArray logRecord(const QByteArray& lead, const QByteArray& text)
{
    return (lead + ' ' + text).leftJustified(39, ' ') + '\n';
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList journalEvents(const QList<QJsonObject>& lines)
{
    QStringList out;
    for (const QJsonObject& o : lines) {
        QString e = o.value(u"event"_s).toString();
        if (e == u"alarm")
            e += u' ' + o.value(u"name"_s).toString() + u' ' + o.value(u"state"_s).toString();
        out << e;
    }
    return out;
}

// Close-on-exec: a program the test starts must not hold the ends, or closing the master would not hang up.
Pty::Pty() : master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
        slave = QString::fromLocal8Bit(ptsname(master));
}

Pty::~Pty()
{
    if (held_ >= 0)
        ::close(held_);
    closeMaster();
}

void Pty::holdOpen()
{
    held_ = ::open(QFile::encodeName(slave).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (held_ < 0)
        return;
    termios raw{};
    tcgetattr(held_, &raw);
    cfmakeraw(&raw);
    tcsetattr(held_, TCSANOW, &raw);
}

void Pty::closeMaster()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}

void Pty::send(const QByteArray& bytes) const
{
    qsizetype off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + off, size_t(bytes.size() - off));
        if (n <= 0)
            return;
        off += n;
    }
}

QByteArray Pty::received(int waitMs) const
{
    pollfd fd{master, POLLIN, 0};
    char buf[64];
    const ssize_t n = ::poll(&fd, 1, waitMs) > 0 ? ::read(master, buf, sizeof buf) : 0;
    return QByteArray(buf, qsizetype(std::max<ssize_t>(n, 0)));
}

QString FakeConverters::interfaceDir(int port) const
{
    return sys() + u"/bus/usb/devices/1-1.%1/1-1.%1:1.0"_s.arg(port);
}

void FakeConverters::add(int port, const QByteArray& serial, const QString& tty, const QString& target,
                         const QByteArray& vendor)
{
    const QString usb = sys() + u"/bus/usb/devices/1-1.%1/"_s.arg(port);
    const QByteArray attributes[][2] = {{"idVendor", vendor}, {"product", "QV7700 USB"}, {"serial", serial},
                                        {"busnum", "1"},      {"devnum", QByteArray::number(port)}};
    for (const auto& [name, value] : attributes)
        writeFile(usb + QString::fromLatin1(name), value + '\n');
    writeFile(dev() + u"/bus/usb/001/%1"_s.arg(port, 3, 10, QLatin1Char('0')), "\n");
    QDir().mkpath(interfaceDir(port));
    if (!tty.isEmpty()) {
        QDir().mkpath(sys() + u"/bus/usb/drivers/ftdi_sio"_s);
        QFile::link(sys() + u"/bus/usb/drivers/ftdi_sio"_s, interfaceDir(port) + u"/driver"_s);
        plug(port, tty, target);
    }
    deviceEvent();
}

void FakeConverters::plug(int port, const QString& tty, const QString& target)
{
    writeFile(interfaceDir(port) + u'/' + tty + u"/latency_timer"_s, "16\n");
    target.isEmpty() ? void(writeFile(dev() + u'/' + tty, "\n")) : void(QFile::link(target, dev() + u'/' + tty));
    deviceEvent();
}

void FakeConverters::unplug(int port, const QString& tty)
{
    QDir(interfaceDir(port) + u'/' + tty).removeRecursively();
    QFile::remove(dev() + u'/' + tty);
    deviceEvent();
}

void FakeConverters::deviceEvent()
{
    writeFile(sys() + u"/kernel/uevent_seqnum"_s, QByteArray::number(++events_) + '\n');
}

DoctorEnvironment FakeConverters::environment(bool library, const QSet<QString>& denied) const
{
    DoctorEnvironment e;
    e.sysfsRoot = sys();
    e.devRoot = dev();
    e.canOpen = [denied](const QString& p) { return QFileInfo::exists(p) && !denied.contains(p); };
    if (library)
        e.d2xxLibrary = u"/usr/local/lib/libftd2xx.so"_s;
    e.d2xxSearched = u"libftd2xx.so"_s;
    return e;
}

Process::Process(const QStringList& args, const QString& program)
{
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    setProcessEnvironment(env);
    start(program.isEmpty() ? QStringLiteral(QV_PROGRAM) : program, args);
}

Process::~Process()
{
    closeWriteChannel();
    if (state() != NotRunning && !waitForFinished(3000))
        kill();
    waitForFinished(1000);
}

int Process::finish(QByteArray* out, QByteArray* err)
{
    // A process that ended while the test ran the event loop is already NotRunning; waiting again would say false.
    if (state() != NotRunning)
        waitForFinished(60000);
    if (out)
        *out = readAllStandardOutput();
    if (err)
        *err = readAllStandardError();
    return state() == NotRunning && exitStatus() == NormalExit ? exitCode() : -1;
}

int runProgram(const QStringList& args, QByteArray* out, QByteArray* err)
{
    return Process(args).finish(out, err);
}

PtyPeer::PtyPeer() : Process({}, QStringLiteral(QV_PTY_PEER))
{
    if (waitForReadyRead(30000))  // a sanitized build on a busy machine starts slowly
        path = QString::fromLocal8Bit(readLine()).trimmed();
}

}  // namespace qv::test
