#pragma once
// A device for tests: it logs every call in a compact form ("List", "OpenEx", "Write 8a f0",
// "SetTimeouts 500 0", "Read 3", "Queue", "Close"), answers key messages with canned replies, delivers short
// reads that succeed, and fails any call on demand.

#include "link/d2xx.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv::test {

class ScriptedDevice : public D2xx {
public:
    static constexpr FtHandle kHandle = 0x51;

    // Every call of this operation ("List", "OpenEx", "Write", "SetTimeouts", "Read", "Queue", "Close") fails;
    // with nth > 0 only the nth call (counted from 1) of it.
    void failOn(const QString& op, int nth = 0, FtStatus status = ft::IO_ERROR);
    void clearFailures() { failures_.clear(); }
    // When a key message with this code is written, these bytes become readable.
    void replyTo(uint8_t keyCode, const QByteArray& bytes) { replies_[keyCode] = {bytes}; }
    // Successive messages with this code get successive replies; the last one repeats.
    void replyTo(uint8_t keyCode, const QList<QByteArray>& sequence) { replies_[keyCode] = sequence; }
    // Queue status reports this instead of what is really waiting (nullopt = the truth).
    void setReportedQueue(std::optional<uint32_t> n) { reportedQueue_ = n; }
    // Runs before each call is answered; a test can press keys or release knobs "during" an exchange.
    std::function<void(const QString& op)> onCall;

    // Faults by position in the whole conversation (calls counted from 1 over every operation):
    int failAtCall = 0;       // only this call fails
    int disconnectAtCall = 0;  // this call and every later one fail: the cable is pulled
    int silentFromCall = 0;    // from this call on the instrument sends nothing more
    void clearFaults()
    {
        failAtCall = disconnectAtCall = silentFromCall = 0;
        silent_ = false;
        rx_.clear();
    }

    // When set, a read that gets fewer bytes than asked for waits out its time-out, as a real link does.
    bool realTimeouts = false;

    QStringList log;
    QByteArray written;  // every byte written, in order
    bool isOpen() const { return open_; }
    int count(const QString& op) const;

    FtStatus ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FtStatus Open(int index, FtHandle* handle) override;
    FtStatus OpenEx(void* arg, uint32_t flags, FtHandle* handle) override;
    FtStatus Close(FtHandle handle) override;
    FtStatus Read(FtHandle handle, void* buffer, uint32_t toRead, uint32_t* bytesRead) override;
    FtStatus Write(FtHandle handle, const void* buffer, uint32_t toWrite, uint32_t* bytesWritten) override;
    FtStatus SetTimeouts(FtHandle handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override;
    FtStatus SetUSBParameters(FtHandle handle, uint32_t inTransferSize, uint32_t outTransferSize) override;
    FtStatus GetQueueStatus(FtHandle handle, uint32_t* rxBytes) override;
    QString describe() const override { return QStringLiteral("scripted test device"); }

private:
    // Logs the call and returns the injected failure, if any.
    FtStatus enter(const QString& op, const QString& entry);
    bool validHandle(FtHandle h) const { return open_ && h == kHandle; }

    struct Failure {
        int nth;
        FtStatus status;
    };
    QHash<QString, Failure> failures_;
    QHash<QString, int> calls_;
    QHash<uint8_t, QList<QByteArray>> replies_;
    QByteArray rx_;
    std::optional<uint32_t> reportedQueue_;
    bool open_ = false;
    bool silent_ = false;
    int total_ = 0;
    uint32_t readTimeoutMs_ = 0;
};

}  // namespace qv::test
