#pragma once
// The instrument's error log: fetched record by record into the status box, and erased on request.

#include "link/outcome.h"
#include "protocol/log_record.h"

#include <QByteArray>
#include <QObject>

#include <array>

namespace qv {

class UsbLink;

class ErrorLog : public QObject {
    Q_OBJECT
public:
    explicit ErrorLog(UsbLink& link, QObject* parent = nullptr);

    // The menu items. Asked for while another exchange holds the device, they start when it lets go.
    void requestFetch();
    void requestErase();
    bool running() const { return running_; }

    int silenceLimitMs = 5000;
    // The instrument's pauses: after the start request, and between records.
    int startPauseMs = 200;
    int recordPauseMs = 10;
    static constexpr int kRecordLimit = 980;
    static inline const QString kEndMarker = QStringLiteral("-------- End of Log --------");

    // How the last operation ended: the fetch ran out normally; the erase's close worked.
    bool lastFetchNormal() const { return fetchNormal_; }
    bool lastEraseClosed() const { return eraseClosed_; }
    // How the last fetch or erase ended, by kind, with the status box's words for a failure.
    Outcome lastOutcome() const { return outcome_; }

signals:
    void progress(int records);
    // Every record as it came, numbered from 0 (the four header records first); the end-of-log record and the
    // one past the limit come too, though the box never shows them.
    void recordReceived(int record, const QString& shown, bool endOfLog);
    // A run-time failure inside the fetch: the window shows "USB Error" with this number.
    void usbError(int number);
    void finished();

private:
    void fetch();
    // Asks for record after record until the end-of-log record, the largest log, a failure or silence.
    void readRecords();
    void erase();

    UsbLink& link_;
    bool running_ = false;
    bool queued_ = false;
    bool fetchNormal_ = false;
    bool eraseClosed_ = false;
    Outcome outcome_;
    std::array<char, 50> record_{};  // the record being read, as the instrument sent it
    bool logFailed_ = false;
};

}  // namespace qv
