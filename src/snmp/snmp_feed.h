#pragma once
// Feeds one instrument's row of the SNMP subtree: its status after every poll, its counters, and, once a watch
// runs over it, its alarms; and sends the notifications for an alarm raised or cleared and for the instrument
// gone absent or present again. Lives on the user-interface thread beside the session; the agent only ever
// sees finished rows.

#include "snmp/snmp_agent.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

namespace qv {

class Session;
class Watch;

namespace snmp {

class Feed : public QObject {
    Q_OBJECT
public:
    // index: the instrument's row from 0; id: the name it goes by (its serial number, or dev1, dev2, ...).
    // id: the name it goes by; empty: its serial number once known, else dev1.
    Feed(Agent& agent, Session& session, size_t index, QString id = {}, QObject* parent = nullptr);
    // Alarms and new log records from this watch until it is destroyed or another is followed.
    void follow(Watch* watch);

private:
    void polled(const InstrumentStatus& status);
    void alarmChanged(const AlarmChange& change);
    void publish();

    Agent& agent_;
    Session& session_;
    size_t index_;
    QString id_;
    InstrumentRow row_;
    QPointer<Watch> watch_;
    QList<QMetaObject::Connection> watchConnections_;
    std::optional<bool> present_;
};

// Starts the process's agent on this AgentX socket (with the subtree at baseOid, empty: the default) and a
// feed for the session's instrument as row 1. None, with why, when the agent cannot start; the caller carries
// on without SNMP.
std::unique_ptr<Feed> startFeed(Session& session, const QString& socket, const QString& baseOid, QString* error);

}  // namespace snmp
}  // namespace qv
