#pragma once
// The user-interface thread's side of the web server: after every poll tick and every change of the panel it
// publishes a new snapshot, and it carries out the requests that need the instrument through the same handlers
// and the same queue as the window's clicks, answering each one when the instrument has done it.

#include "link/outcome.h"
#include "logger/log_formats.h"
#include "watch/watch.h"
#include "net/net_server.h"

#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QSet>

namespace qv {

class Session;

class NetBridge : public QObject {
    Q_OBJECT
public:
    NetBridge(Session& session, net::NetServer& server, QObject* parent = nullptr);
    // One instrument of several served together: its snapshots go to its own store, and it carries out only
    // the requests for its index. Lives on the instrument's thread.
    NetBridge(Session& session, net::NetServer& server, net::SnapshotStore& store, int instrument, QObject* parent = nullptr);
    // Lets go of any knob a viewer still holds: serving may stop in the middle of a hold.
    ~NetBridge() override;

    // For the unattended watch: its alarms and the journal's last lines, shown on the page and served by
    // /api/alarms, /api/journal and /metrics.
    void setAlarms(const QJsonArray& alarms);
    void setJournalTail(const QList<net::JournalLine>& lines);
    // The alarms the watch was told to raise, each in the metrics at 0 from now on, and one raise of an alarm.
    void setWatchedAlarms(const QStringList& names);
    void countAlarmRaised(const QString& name);
    // The watch's DIR/captures, whose pictures GET /api/captures/DAY/FILE serves; empty: none are served.
    void setCapturesDir(const QString& dir);

    // Acknowledges an alarm episode for POST /api/alarms/ID/ack: id, operator, comment, the viewer's address.
    // Unset (no watch beside the server): answered 409.
    std::function<AckResult(const QString&, const QString&, const QString&, const QString&)> acknowledge;

    // Builds and hands over a snapshot of the panel as it is now.
    void publish();

    // Among several instruments: the path this one is served under ("/i/ID"), put before the screen's path in the
    // answer to a capture. Empty for one instrument.
    QString pathPrefix;

    // A knob held from the page is let go after this long even if the release never arrives (a viewer's
    // network dropped with the button down must not leave the instrument turning).
    int knobHoldLimitMs = 10000;

private:
    void schedulePublish();
    void run(quint64 ticket, const net::NetCommand& command);
    void press(quint64 ticket, const QString& name);
    void knob(quint64 ticket, const QString& name, bool down);
    void capture(quint64 ticket);
    void fetchLog(quint64 ticket);
    void acknowledgeAlarm(quint64 ticket, const net::NetCommand& command);
    void captureFinished();
    void logFinished();
    void markViewChanged() { viewChanged_ = true; }
    net::AlarmCount& alarmCount(const QString& name);
    void liveAvailability(const qv::Outcome& why);

    Session& session_;
    net::NetServer& server_;
    net::SnapshotStore& store_;
    int instrument_ = -1;
    net::Snapshot working_;  // what is not read from the panel: screen, log, alarms, journal, counters
    InstrumentStatus shownStatus_;
    QString shownBox_;
    bool viewChanged_ = true;
    bool publishScheduled_ = false;
    LogCollector collector_;
    QStringList logSeen_;  // the records of the last fetch, to tell the new ones in the next
    quint64 screens_ = 0;
    QSet<int> heldKnobs_;  // knobs held down from the network
};

}  // namespace qv
