#include "link/serial_device.h"

#include "link/usb_scan.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/file.h>
#endif

namespace qv {

using namespace Qt::StringLiterals;

namespace {
// A write time-out of 0 would mean "wait for ever" to the vendor library; the program never waits unbounded.
constexpr int kWriteBoundMs = 1000;
// Driver reads per queue query: enough to empty the kernel's buffer many times over, but bounded even when
// the instrument streams without pause.
constexpr int kDrainPasses = 64;
constexpr qint64 kListReuseMs = 500;

// The kernel's FTDI driver sends a short reply on only when its latency timer runs out (16 ms by default);
// the low-latency flag makes it 1 ms. A port that does not know the flag (a pseudo-terminal) works as it is.
void askForLowLatency(QSerialPort& port)
{
#ifdef Q_OS_LINUX
    serial_struct ss{};
    const int fd = int(port.handle());
    if (fd >= 0 && ::ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &ss);
    }
#else
    Q_UNUSED(port);
#endif
}

// Two programs on one converter would mix their key messages and the instrument's replies. The toolkit's lock
// file is named after the port's name, so another name for the same port (a /dev/serial/by-id link) passes it,
// and root passes the terminal's exclusive mode; a lock on the open port itself holds for every name and user.
// It goes with the port's descriptor when the port closes or the program ends.
bool lockExclusively(QSerialPort& port)
{
#ifdef Q_OS_UNIX
    return ::flock(int(port.handle()), LOCK_EX | LOCK_NB) == 0;
#else
    Q_UNUSED(port);
    return true;  // Windows opens a COM port for one program only
#endif
}

bool portFailed(const QSerialPort& port)
{
    const auto e = port.error();
    return e != QSerialPort::NoError && e != QSerialPort::TimeoutError;
}
}  // namespace

struct SerialDevice::OpenPort {
    QSerialPort port;
    QByteArray rx;  // our own receive buffer: the kernel's holds only about 4 KB, a screen block is 8160 bytes
    uint32_t readTimeoutMs = 0;
    uint32_t writeTimeoutMs = 0;
    bool failed = false;
};

SerialDevice::SerialDevice(QString path, DeviceRoots roots) : path_(std::move(path)), scan_(std::move(roots)) {}
SerialDevice::~SerialDevice() = default;

QList<SerialDevice::PortInfo> SerialDevice::ports()
{
    // A list taken a moment ago is still good: the open that follows a list must not pay for a second scan.
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    const qint64 now = clock.elapsed();
    if (cacheTakenMs_ >= 0 && now - cacheTakenMs_ < kListReuseMs)
        return cache_;
    QList<PortInfo> result;
    const QList<UsbConverter> converters = scan_.ports();
    if (!path_.isEmpty()) {
        if (!QFileInfo::exists(path_)) {
            cacheTakenMs_ = -1;
            return result;
        }
        // A port without a USB serial number (a pseudo-terminal, a bare UART) is known by its path.
        QByteArray serial;
        const QString canonical = QFileInfo(path_).canonicalFilePath();
        for (const auto& c : converters)
            if (c.tty == path_ || QFileInfo(c.tty).canonicalFilePath() == canonical)
                serial = c.serial;
        result.append({serial.isEmpty() ? path_.toLocal8Bit() : serial, path_});
    } else {
        for (const auto& c : converters)
            result.append({c.serial.isEmpty() ? c.tty.toLocal8Bit() : c.serial, c.tty});
    }
    cache_ = result;
    cacheTakenMs_ = now;
    return result;
}

FtStatus SerialDevice::ListDevices(void* arg1, void* arg2, uint32_t flags)
{
    cacheTakenMs_ = -1;  // a list always looks afresh
    QList<QByteArray> serials;
    for (const auto& p : ports())
        serials.append(p.serial);
    return listBySerials(serials, arg1, arg2, flags);
}

FtStatus SerialDevice::Open(int index, FtHandle* handle)
{
    const auto list = ports();
    if (index < 0 || index >= list.size())
        return ft::DEVICE_NOT_FOUND;
    return openLocation(list.at(index).location, handle);
}

FtStatus SerialDevice::OpenEx(void* arg, uint32_t flags, FtHandle* handle)
{
    if (!(flags & ft::OPEN_BY_SERIAL_NUMBER))
        return ft::INVALID_PARAMETER;
    const QByteArray wanted = openExText(arg);
    for (const auto& p : ports())
        if (p.serial == wanted)
            return openLocation(p.location, handle);
    return ft::DEVICE_NOT_FOUND;
}

FtStatus SerialDevice::openLocation(const QString& location, FtHandle* handle)
{
    if (!handle)
        return ft::INVALID_PARAMETER;
    auto p = std::make_unique<OpenPort>();
    p->port.setPortName(location);
    // The converter's own defaults, as the vendor library leaves them: the instrument's FIFO ignores the rate.
    p->port.setBaudRate(QSerialPort::Baud9600);
    p->port.setDataBits(QSerialPort::Data8);
    p->port.setParity(QSerialPort::NoParity);
    p->port.setStopBits(QSerialPort::OneStop);
    p->port.setFlowControl(QSerialPort::NoFlowControl);
    if (!p->port.open(QIODevice::ReadWrite))
        return ft::DEVICE_NOT_OPENED;
    if (!lockExclusively(p->port)) {
        p->port.close();
        return ft::DEVICE_NOT_OPENED;
    }
    askForLowLatency(p->port);
    const FtHandle h = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    open_[h] = std::move(p);
    *handle = h;
    return ft::OK;
}

SerialDevice::OpenPort* SerialDevice::find(FtHandle handle)
{
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second.get();
}

FtStatus SerialDevice::Close(FtHandle handle)
{
    const auto it = open_.find(handle);
    if (it == open_.end())
        return ft::INVALID_HANDLE;  // a closed or never-opened handle never reaches the driver
    it->second->port.close();
    open_.erase(it);
    return ft::OK;
}

bool SerialDevice::drain(OpenPort& p)
{
    if (p.failed)
        return false;
    p.rx += p.port.readAll();
    for (int pass = 0; pass < kDrainPasses && p.port.waitForReadyRead(0); ++pass)
        p.rx += p.port.readAll();
    p.rx += p.port.readAll();
    if (portFailed(p.port))
        p.failed = true;
    p.port.clearError();
    return !p.failed;
}

FtStatus SerialDevice::Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead)
{
    OpenPort* p = find(handle);
    if (!p)
        return ft::INVALID_HANDLE;
    if (!buffer || !bytesRead)
        return ft::INVALID_PARAMETER;
    *bytesRead = 0;
    // A failed port gets no more bytes, but those it had already received (and queue status counts) are still
    // handed over below.
    drain(*p);
    QDeadlineTimer deadline(p->readTimeoutMs);
    while (!p->failed && uint32_t(p->rx.size()) < toRead && !deadline.hasExpired()) {
        if (!p->port.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) {
            if (portFailed(p->port)) {
                p->failed = true;
                break;
            }
            p->port.clearError();
            continue;
        }
        p->rx += p->port.readAll();
    }
    // Bytes that did arrive are handed over even when the other end went away meanwhile: nothing received is
    // lost. The failure shows on the next call.
    const uint32_t n = std::min<uint32_t>(toRead, uint32_t(p->rx.size()));
    if (n == 0 && p->failed)
        return ft::IO_ERROR;
    std::memcpy(buffer, p->rx.constData(), n);
    p->rx.remove(0, n);
    *bytesRead = n;
    return ft::OK;
}

FtStatus SerialDevice::Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten)
{
    OpenPort* p = find(handle);
    if (!p)
        return ft::INVALID_HANDLE;
    if (!buffer || !bytesWritten)
        return ft::INVALID_PARAMETER;
    *bytesWritten = 0;
    if (p->failed)
        return ft::IO_ERROR;
    const qint64 n = p->port.write(static_cast<const char*>(buffer), toWrite);
    if (n < 0)
        return ft::IO_ERROR;
    const int bound = p->writeTimeoutMs ? int(p->writeTimeoutMs) : kWriteBoundMs;
    QDeadlineTimer deadline(bound);
    while (p->port.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!p->port.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime()))) && portFailed(p->port))
            break;
    if (portFailed(p->port)) {
        p->failed = true;
        return ft::IO_ERROR;
    }
    p->port.clearError();
    *bytesWritten = uint32_t(n - p->port.bytesToWrite());
    return ft::OK;
}

FtStatus SerialDevice::SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs)
{
    OpenPort* p = find(handle);
    if (!p)
        return ft::INVALID_HANDLE;
    if (p->failed)
        return ft::IO_ERROR;
    p->readTimeoutMs = readTimeoutMs;
    p->writeTimeoutMs = writeTimeoutMs;
    return ft::OK;
}

FtStatus SerialDevice::SetUSBParameters(FtHandle handle, uint32_t, uint32_t)
{
    // The kernel driver chooses its own USB transfer sizes; accepting the call keeps callers uniform.
    return find(handle) ? ft::OK : ft::INVALID_HANDLE;
}

FtStatus SerialDevice::GetQueueStatus(FtHandle handle, uint32_t* rxBytes)
{
    OpenPort* p = find(handle);
    if (!p)
        return ft::INVALID_HANDLE;
    if (!rxBytes)
        return ft::INVALID_PARAMETER;
    if (!drain(*p) && p->rx.isEmpty())
        return ft::IO_ERROR;
    *rxBytes = uint32_t(p->rx.size());
    return ft::OK;
}

QString SerialDevice::describe() const
{
    if (!path_.isEmpty())
        return u"serial port %1"_s.arg(path_);
    return u"first serial port of USB vendor id %1"_s.arg(kConverterVendorId, 4, 16, QLatin1Char('0'));
}

}  // namespace qv
