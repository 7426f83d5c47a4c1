#pragma once
// The live screen: while somebody watches it (the screen window's Live switch, a viewer of the page's live
// stream), the instrument's screen is copied again every interval. Each copy is queued work like a click and is
// asked for right after a poll, so that the transfer sits between two polls instead of on top of one; one copy
// serves every watcher. With nobody watching, nothing is asked of the instrument.
//
// A page that has no screen to copy (the picture page, no input signal, no instrument) is not asked for: the
// watchers are told why instead, once, and the copies start again when the page has a screen.

#include "link/outcome.h"

#include <QObject>
#include <QSet>
#include <QString>

namespace qv {

class Session;
struct InstrumentStatus;

class LiveView : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 2000;
    static constexpr int kMinIntervalMs = 1000;  // a screen takes a good part of a second on the wire
    static constexpr int kMaxIntervalMs = 3600 * 1000;

    explicit LiveView(Session& session, QObject* parent = nullptr);

    // Clamped to the bounds above.
    void setIntervalMs(int ms);
    int intervalMs() const { return intervalMs_; }

    // Each watcher by a name of its own ("window", "web"); live while at least one watches.
    void setWatching(const QString& who, bool on);
    bool active() const { return !watchers_.isEmpty(); }

    // Live copies asked of the instrument since start, and those that came back whole.
    quint64 requested() const { return requested_; }
    quint64 captured() const { return captured_; }
    // Why the live screen has no new picture now; ok() while the copies come.
    const Outcome& unavailable() const { return why_; }

signals:
    void activeChanged(bool active);
    void intervalChanged(int ms);
    // A live copy came back whole: the session's picture holds it.
    void frameCaptured();
    // The reason changed: a page without a screen, an absent instrument, a failed copy; ok() once copies come.
    void availabilityChanged(const qv::Outcome& why);

private:
    void polled(const InstrumentStatus& status);
    void finished(const Outcome& outcome);
    void setWhy(const Outcome& why);

    Session& session_;
    QSet<QString> watchers_;
    int intervalMs_ = kDefaultIntervalMs;
    qint64 lastStartMs_ = -1;
    bool inFlight_ = false;     // a live copy is queued or under way
    bool tickSkipped_ = false;  // a poll tick found the device held by the live copy
    quint64 requested_ = 0, captured_ = 0;
    Outcome why_;
};

}  // namespace qv
