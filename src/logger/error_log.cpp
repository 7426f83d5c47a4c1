#include "logger/error_log.h"

#include "link/reply_reader.h"
#include "link/usb_link.h"
#include "protocol/commands.h"
#include "state/panel_model.h"

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr uint32_t kRecordTimeoutMs = 100;
}  // namespace

ErrorLog::ErrorLog(UsbLink& link, QObject* parent) : QObject(parent), link_(link) {}

void ErrorLog::requestFetch()
{
    if (running_ || queued_)
        return;
    queued_ = true;
    link_.whenFree([this] {
        queued_ = false;
        fetch();
    });
}

void ErrorLog::requestErase()
{
    link_.whenFree([this] { erase(); });
}

void ErrorLog::fetch()
{
    PanelModel& panel = link_.panel();
    running_ = true;
    fetchNormal_ = false;
    link_.beginExchange();
    UsbLink::Hold hold(link_);
    try {
        link_.setTransferBusy(true);
        link_.openDevice();
        logFailed_ = false;
        panel.setStatusText(QString());
        panel.statusLog().clear();
        panel.setBusyPointer(PointerOwner::MainWindow, true);
        link_.sendCode(wire::kStartLog);
        link_.Wait(startPauseMs);

        readRecords();
        if (logFailed_)
            panel.setStatusText(panel.statusLog());
        if (link_.closeDevice() != ft::OK) {
            link_.noteFailure(ErrorKind::CloseFailed);
            fetchNormal_ = false;
            panel.setStatusText(panel.statusLog() + u"\r\nUSB Close Failed"_s);
        }
        panel.setBusyPointer(PointerOwner::MainWindow, false);
        link_.setTransferBusy(false);
    } catch (...) {
        // A run-time failure: the window shows its number in a "USB Error" box.
        const int number = runTimeErrorNumber();
        link_.noteFailure(ErrorKind::Internal);
        fetchNormal_ = false;
        emit usbError(number);
        if (link_.closeAfterFailure() != ft::OK)
            panel.setStatusText(u"USB Close Failed"_s);
        panel.setBusyPointer(PointerOwner::MainWindow, false);
        link_.setTransferBusy(false);
        panel.setMenuEnabled(Menu::PrintLog, false);
    }
    running_ = false;
    outcome_ = link_.exchangeOutcome();
    if (!fetchNormal_ && outcome_.ok())  // ended without the log's end and without a failure of the link
        outcome_ = Outcome::failure(link_.stopping() ? ErrorKind::Cancelled : ErrorKind::BadReply,
                                    panel.statusText().trimmed());
    emit finished();
}

void ErrorLog::readRecords()
{
    PanelModel& panel = link_.panel();
    D2xx& dev = link_.device();
    const int limit = kRecordLimit;
    // The instrument may stop sending: the fetch gives up after a stretch of silence over the whole log. A
    // failed queue query ends the fetch.
    ReplyReader reader(link_, silenceLimitMs);
    const auto stop = [&](ErrorKind kind, const QString& why) {
        link_.noteFailure(kind);
        panel.statusLog() = why;
        logFailed_ = true;
    };
    int received = 0;
    for (int record = 0; record <= limit; ++record) {
        if (link_.stopping())
            break;  // the program is ending: no more records, straight to the close
        link_.sendCode(wire::kNextRecord);
        if (dev.SetTimeouts(link_.handle(), kRecordTimeoutMs, 0) != ft::OK) {
            stop(ErrorKind::DeviceError, u"USB SetTimeout Failed"_s);
            break;
        }
        // The record buffer holds 50 characters: a larger queue count is read, but only 50 are kept.
        uint32_t got = 0;
        const ReplyReader::Outcome outcome = reader.read(record_.data(), wire::kLogRecordBytes, wire::kLogRecordReady, &got);
        if (outcome == ReplyReader::Outcome::QueueFailed) {
            stop(ErrorKind::DeviceError, u"USB Queue Read Failed"_s);
            break;
        }
        if (outcome == ReplyReader::Outcome::ReadFailed) {
            stop(ErrorKind::ReadFailed, u"Log Read Failed"_s);
            break;
        }
        if (outcome == ReplyReader::Outcome::Silent || reader.silenceExpired()) {
            stop(ErrorKind::TimeOut, u"No data from QV7700 for %1 seconds: log transfer stopped"_s.arg(silenceLimitMs / 1000));
            break;
        }
        const LogRecordView view = parseLogRecord(record_);
        if (view.endOfLog)
            record = limit;
        const QString shown = QString::fromLatin1(view.shown);
        emit recordReceived(record, shown, view.endOfLog);
        if (record < 4)
            panel.statusLog() += shown;
        else if (record < limit)
            panel.statusLog() += QString::number(record - 3) + u": "_s + shown;
        panel.setStatusText(panel.statusLog());
        emit progress(++received);
        link_.Wait(recordPauseMs);
        if (record == limit) {
            // The loop runs out: with the end mark, or after the largest log the instrument keeps.
            panel.setStatusText(panel.statusLog() + kEndMarker);
            panel.setMenuEnabled(Menu::PrintLog, true);
            fetchNormal_ = true;
        }
    }
}

void ErrorLog::erase()
{
    PanelModel& panel = link_.panel();
    link_.beginExchange();
    UsbLink::Hold hold(link_);
    link_.openDevice();
    panel.statusLog() = u"Connecting to QV7700\r\n"_s;
    panel.setStatusText(panel.statusLog());
    link_.sendCode(wire::kEraseLog);
    panel.statusLog() += u"Erase command sent\r\n"_s;
    panel.setStatusText(panel.statusLog());
    eraseClosed_ = link_.closeDevice() == ft::OK;
    if (!eraseClosed_) {
        link_.noteFailure(ErrorKind::CloseFailed);
        panel.setStatusText(u"Close Failed"_s);
    }
    outcome_ = link_.exchangeOutcome();
    emit finished();
}

}  // namespace qv
