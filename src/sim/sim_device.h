#pragma once
// The simulated instrument behind the device interface: one converter with the serial number "QV7700SIM",
// answering at once. It can be "unplugged" to show what the program does when the instrument goes away.

#include "link/d2xx.h"
#include "sim/sim_instrument.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <deque>

namespace qv {

// How many bytes of a reply of size bytes have arrived ns nanoseconds after its first byte, on a link of
// bytesPerSecond (0: all at once). The first byte comes at once, then one every 1/bytesPerSecond seconds.
qint64 linkBytesArrived(qint64 ns, int64_t bytesPerSecond, qint64 size);

class SimDevice : public D2xx {
public:
    explicit SimDevice(uint32_t seed = 7700);

    SimInstrument& instrument() { return instrument_; }
    // Models a real link: each reply starts arriving latencyMs after its request (the converter's latency
    // timer) and then flows at bytesPerSecond (0: at once). Reads wait for bytes up to their time-out.
    void setLink(int latencyMs, int64_t bytesPerSecond);
    void setPlugged(bool plugged);
    bool plugged() const { return plugged_; }
    bool isOpen() const { return openHandle_ != 0; }

    FtStatus ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FtStatus Open(int index, FtHandle* handle) override;
    FtStatus OpenEx(void* arg, uint32_t flags, FtHandle* handle) override;
    FtStatus Close(FtHandle handle) override;
    FtStatus Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead) override;
    FtStatus Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten) override;
    FtStatus SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override;
    FtStatus SetUSBParameters(FtHandle handle, uint32_t inTransferSize, uint32_t outTransferSize) override;
    FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes) override;
    QString describe() const override;

    static constexpr const char* kSerial = "QV7700SIM";

private:
    // Moves every byte that has "arrived" by now from the wire into the receive queue.
    void deliver();
    // When the receive queue next grows towards want bytes: the arrival of the byte of the reply on the wire
    // that makes up want, or of its last byte.
    qint64 nextArrivalNs(qsizetype want) const;
    struct InFlight {
        QByteArray bytes;
        qint64 startNs;  // when its first byte arrives
        qsizetype delivered = 0;
    };
    bool valid(FtHandle handle) const { return plugged_ && handle != 0 && handle == openHandle_; }
    FtStatus openOne(FtHandle* handle);

    SimInstrument instrument_;
    QByteArray rx_;
    std::deque<InFlight> wire_;
    QElapsedTimer clock_;
    int latencyMs_ = 0;
    int64_t bytesPerSecond_ = 0;
    uint32_t readTimeoutMs_ = 0;
    bool plugged_ = true;
    FtHandle openHandle_ = 0;
    FtHandle nextHandle_ = 0x7700;
};

}  // namespace qv
