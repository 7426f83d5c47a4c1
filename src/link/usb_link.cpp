#include "link/usb_link.h"

#include "protocol/commands.h"
#include "state/panel_model.h"

#include <QCoreApplication>

#include <new>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr uint32_t kListFirstBySerial = ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER;  // 0x40000001
}  // namespace

UsbLink::UsbLink(PanelModel& panel, D2xx& device, QObject* parent)
    : QObject(parent), panel_(panel), device_(device)
{
    waitTimer_.setInterval(0);
    connect(&waitTimer_, &QTimer::timeout, this, &UsbLink::endWait);
}

void UsbLink::openDevice()
{
    // Device index 0 passes as a pointer-sized zero, as the vendor library expects it.
    if (device_.ListDevices(nullptr, serialNumber_.data(), kListFirstBySerial) != ft::OK) {
        noteFailure(ErrorKind::Absent);
        panel_.setStatusText(u"List Device Failed"_s);
        return;
    }
    FtHandle handle = handle_;
    if (device_.OpenEx(serialNumber_.data(), ft::OPEN_BY_SERIAL_NUMBER, &handle) != ft::OK) {
        noteFailure(ErrorKind::Absent);
        panel_.setStatusText(u"OpenEx Failed"_s);
        return;
    }
    handle_ = handle;
}

void UsbLink::sendCode(int code)
{
    keyMessage_ = {uint8_t(code), wire::kTrailer};
    uint32_t written = 0;
    const FtStatus st = device_.Write(handle_, keyMessage_.data(), 2, &written);
    bytesWritten_ = written;
    if (st == ft::OK)
        return;
    noteFailure(ErrorKind::WriteFailed);
    panel_.setStatusText(u"Write Failed"_s);
    if (closeDevice() == ft::OK)
        return;
    // The instrument's own wording, misspelling included: engineers search manuals for it.
    panel_.setStatusText(u"     No responce from USB"_s);
    Wait(noResponsePauseMs);
}

void UsbLink::Wait(int ms)
{
    waitDone_ = false;
    waitTimer_.setInterval(ms);
    waitTimer_.start();
    while (!waitDone_ && !stopping_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    waitTimer_.stop();
}

void UsbLink::endWait()
{
    waitDone_ = true;
}

FtStatus UsbLink::closeDevice()
{
    return device_.Close(handle_);
}

FtStatus UsbLink::closeAfterFailure() noexcept
{
    try {
        return closeDevice();
    } catch (...) {
        return ft::OTHER_ERROR;
    }
}

Outcome UsbLink::exchangeOutcome() const
{
    if (failure_ == ErrorKind::None)
        return {};
    // Some failures the status box keeps to itself (a short status reply, a failed time-out setting): their
    // outcome still says what happened.
    const QString box = panel_.statusText().trimmed();
    if (!box.isEmpty())
        return Outcome::failure(failure_, box);
    return Outcome::failure(failure_, failure_ == ErrorKind::TimeOut ? u"the instrument's answer was short"_s
                                                                      : u"the instrument did not answer"_s);
}

const char* errorKindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::None: return "none";
    case ErrorKind::Absent: return "absent";
    case ErrorKind::Busy: return "busy";
    case ErrorKind::TimeOut: return "time-out";
    case ErrorKind::WriteFailed: return "write-failed";
    case ErrorKind::ReadFailed: return "read-failed";
    case ErrorKind::CloseFailed: return "close-failed";
    case ErrorKind::DeviceError: return "device-error";
    case ErrorKind::Cancelled: return "cancelled";
    case ErrorKind::BadReply: return "bad-reply";
    case ErrorKind::NotOffered: return "not-offered";
    case ErrorKind::Internal: return "internal";
    }
    return "internal";
}

int runTimeErrorNumber()
{
    constexpr int kOutOfMemory = 7, kInternalError = 51;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kInternalError;
    }
}

void UsbLink::stop()
{
    stopping_ = true;
    pending_.clear();
}

void UsbLink::whenFree(std::function<void()> action)
{
    if (stopping_)
        return;
    if (!deviceHeld() && pending_.empty()) {
        action();
        return;
    }
    pending_.push_back(std::move(action));
}

void UsbLink::release()
{
    if (--holds_ > 0 || pending_.empty() || runScheduled_)
        return;
    // Run deferred work from the event loop, not from inside the exchange that is just unwinding.
    runScheduled_ = true;
    QTimer::singleShot(0, this, &UsbLink::runPending);
}

void UsbLink::runPending()
{
    runScheduled_ = false;
    while (!deviceHeld() && !pending_.empty()) {
        auto action = std::move(pending_.front());
        pending_.pop_front();
        action();
    }
}

}  // namespace qv
