#include "snmp/snmp_feed.h"

#include "session/session.h"
#include "watch/watch.h"

namespace qv::snmp {

Feed::Feed(Agent& agent, Session& session, size_t index, QString id, QObject* parent)
    : QObject(parent), agent_(agent), session_(session), index_(index), id_(std::move(id))
{
    row_.status = session.status();
    connect(&session, &Session::polled, this, &Feed::polled);
    // Every finished capture, whoever asked for it: the window, a script, the page or the watch.
    connect(&session.screenFetch(), &ScreenFetch::finished, this, [this] {
        if (session_.screenFetch().lastOutcome().ok()) {
            ++row_.captures;
            publish();
        }
    });
    publish();
}

void Feed::follow(Watch* watch)
{
    for (const auto& c : watchConnections_)
        disconnect(c);
    watchConnections_.clear();
    watch_ = watch;
    if (watch) {
        watchConnections_.append(connect(watch, &Watch::alarmChanged, this, &Feed::alarmChanged));
        watchConnections_.append(connect(watch, &Watch::alarmsChanged, this, &Feed::publish));
    }
    publish();
}

void Feed::polled(const InstrumentStatus& status)
{
    row_.status = status;
    publish();
    // An instrument missing from the first poll on is news too; one that was there from the start is not.
    if (present_ != status.present && (present_.has_value() || !status.present))
        agent_.send(presenceNotification(row_, agent_.base(), index_));
    present_ = status.present;
}

void Feed::alarmChanged(const AlarmChange& change)
{
    publish();
    agent_.send(alarmNotification(row_, agent_.base(), index_, change));
}

void Feed::publish()
{
    const QString serial = session_.serialNumber();
    row_.id = !id_.isEmpty() ? id_ : !serial.isEmpty() ? serial : QStringLiteral("dev%1").arg(index_ + 1);
    const Session::PollCounts counts = session_.pollCounts();
    row_.polls = counts.polls;
    row_.pollFailures = counts.failures;
    row_.alarms.clear();
    if (watch_) {
        row_.newLogRecords = watch_->newLogRecords();
        // The table keeps each alarm's latest episode.
        for (const AlarmEpisode& e : watch_->episodes()) {
            AlarmRow row{e.name, !e.cleared.isValid(), e.flapping && !e.cleared.isValid(), e.raised, e.cleared, e.acknowledged.isValid(), e.detail};
            auto same = std::find_if(row_.alarms.begin(), row_.alarms.end(), [&](const AlarmRow& a) { return a.name == e.name; });
            if (same != row_.alarms.end())
                *same = row;
            else
                row_.alarms.push_back(row);
        }
    }
    agent_.setInstrument(index_, row_);
}

std::unique_ptr<Feed> startFeed(Session& session, const QString& socket, const QString& baseOid, QString* error)
{
    const std::optional<Oid> base = baseOid.isEmpty() ? std::optional(kDefaultBase) : parseOid(baseOid);
    if (!base) {
        *error = QStringLiteral("SNMP: \"%1\" is not an OID such as 1.3.6.1.4.1.32473.7700").arg(baseOid);
        return nullptr;
    }
    if (!Agent::instance().start(socket, *base, error))
        return nullptr;
    return std::make_unique<Feed>(Agent::instance(), session, 0);
}

}  // namespace qv::snmp
