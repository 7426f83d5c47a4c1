#pragma once
// What the web server may know about the instrument: one immutable value, built by the user-interface thread
// after each poll and each operation and handed over whole. The server thread only ever reads a snapshot, so a
// viewer is answered at once, even while a transfer holds the device, and never sees half an update.

#include "session/instrument_status.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>

#include <array>
#include <memory>

namespace qv::net {

// Capture durations in seconds, as a Prometheus histogram counts them.
struct DurationHistogram {
    static constexpr std::array<double, 8> kBounds = {0.5, 1, 2, 5, 10, 20, 30, 60};
    std::array<quint64, kBounds.size()> buckets{};  // each counts the durations up to its bound
    quint64 count = 0;
    double sum = 0;
    void add(double seconds);
};

// One alarm the watch beside the server was told to raise, for the metrics: there from the watch's start, at 0.
struct AlarmCount {
    QString name;  // "gamut", "signal", "absent", "log"
    bool active = false;
    quint64 raised = 0;  // raises since serving began
};

struct JournalLine {
    QDateTime time;
    QByteArray json;  // the journal's own record, one JSON object
    quint64 seq = 0;  // counts up with every line the watch journals: what a live viewer has seen already
};

struct Snapshot {
    // Changes only when something a viewer sees changed: the live stream sends an event for each new value.
    quint64 viewVersion = 0;

    InstrumentStatus status;
    QString statusBoxText;  // the window's status box, as it reads now
    bool statusBoxAlert = false;  // written in bold red: a failure the user must see

    QByteArray png;  // the latest captured screen; empty before the first capture
    QDateTime pngTime;
    QByteArray pngTag;  // the ETag: changes with every capture
    quint64 pngFrame = 0;  // counts the pictures: the live stream's frame number

    // The live screen: its interval, and why it has no new picture now (empty while pictures come).
    int liveIntervalMs = 2000;
    bool live = false;  // someone (a page's Live switch or the window's) has the live screen on
    QString liveUnavailable;
    QString liveUnavailableKind;  // the failure's kind for machines ("not-offered", "absent", ...)

    QByteArray logJson;  // the last fetched error log in the scripting JSON; empty before the first fetch
    QStringList logLines;  // the same log as the status box showed it, one line each

    // Filled by the unattended watch once it runs beside the server; empty until then.
    QJsonArray alarms;  // [{"name": ..., "active": bool, "since": time, "capture_url": ...}, ...]
    QList<JournalLine> journalTail;
    QString capturesDir;  // the watch's DIR/captures, whose pictures /api/captures/ serves; empty without a watch

    quint64 polls = 0;
    quint64 pollFailures = 0;
    quint64 lateTicks = 0;     // polls that came later than two periods after the one before
    quint64 skippedTicks = 0;  // poll ticks that found the device in use by a transfer or a key
    quint64 logRecordsSeen = 0;  // each error-log record once, the first time a fetch brought it
    // Finished screen transfers by who asked for them ("api", "button", "alarm", "timelapse", ...), and those of
    // them that failed; the usual reasons are there from the start, at 0.
    QMap<QByteArray, quint64> capturesByReason, captureFailuresByReason;
    QList<AlarmCount> alarmCounts;
    std::array<quint64, kLampCount> redPolls{};  // polls in which each lamp was red
    double startTimeSeconds = 0;  // when the program started, Unix time
    DurationHistogram captures;
    QString version;
};

using SnapshotPtr = std::shared_ptr<const Snapshot>;

// The hand-over point: the user-interface thread publishes, the server thread takes the current value.
class SnapshotStore : public QObject {
    Q_OBJECT
public:
    SnapshotStore();
    void publish(SnapshotPtr snapshot);
    SnapshotPtr current() const;

signals:
    // Emitted on the publishing thread; receivers on other threads get it queued.
    void viewChanged(quint64 viewVersion);

private:
    mutable QMutex mutex_;
    SnapshotPtr current_;
};

// The page's view of a snapshot: what the live stream sends first and the page draws, with the journal's last
// kViewJournalLines lines.
constexpr qsizetype kViewJournalLines = 50;
QByteArray viewJson(const Snapshot& snapshot);
// What changed from one view to the next, for the live stream: only the parts that differ (the status only when
// its state changed, not its age), and the journal lines that came since. Empty when a viewer would see nothing new.
QByteArray changeJson(const Snapshot& before, const Snapshot& after);

// A journal record as the API serves it: a capture's line also gets the "url" its picture is served at.
QJsonObject journalRecord(const JournalLine& line);
// "captures/2025-03-01/101500-gamut.png" (relative to the watch's DIR) as "/api/captures/2025-03-01/101500-gamut.png";
// empty for anything that is not a name the watch gives its pictures.
QString captureUrl(const QString& relative);
// Whether NAME (what follows /api/captures/) is a picture name the watch gives: YYYY-MM-DD/HHMMSS-NAME[-N].png.
bool isCaptureName(QStringView name);

}  // namespace qv::net
