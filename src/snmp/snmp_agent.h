#pragma once
// The program as an AgentX subagent of the plant's SNMP agent (net-snmp's snmpd): it registers the program's
// subtree, answers gets and walks from the latest model it was given, and hands notifications to the master
// agent, which sends them to its configured trap sinks. net-snmp keeps its state in globals and is not
// thread-safe, so all of it runs on one thread of its own, started once for the life of the process; the rest
// of the program only swaps the model and queues notifications, and never waits for the master agent.
//
// While the master agent is away (not started yet, restarted, its socket wrong) the program carries on as it
// was: the agent says so once on standard error, tries again every few seconds, and keeps the newest
// notifications until it is back.

#include "snmp/snmp_tree.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace qv::snmp {

inline constexpr char kDefaultAgentxSocket[] = "/var/agentx/master";

class Agent {
public:
    static constexpr int kRetrySeconds = 2;
    static constexpr size_t kNotificationsKept = 64;

    // The one agent of the process.
    static Agent& instance();

    // Starts the thread once; false, with why, when the agent runs already (on another socket) or the socket
    // names something that can never be one. A socket that is not there yet is tried again until it is.
    bool start(const QString& socket, const Oid& base, QString* error);
    void stop();
    bool running() const { return thread_.joinable(); }
    // Whether the subtree is registered with the master agent right now.
    bool connected() const { return connected_; }

    // Row index (from 0) of the instruments table; rows in between stay as they were.
    void setInstrument(size_t index, InstrumentRow row);
    void send(Notification notification);

    // Where the agent's lines for people go (standard error unless set before start()); called on its thread.
    std::function<void(const QString&)> say;

    // For the request handler on the agent's thread: built again only after the model changed.
    std::shared_ptr<const Tree> currentTree() const;
    const Oid& base() const { return base_; }

private:
    Agent() = default;
    ~Agent();
    void run();
    void wake();
    void afterEvents();

    QString socket_;
    Oid base_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    int wakePipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    Model model_;
    quint64 modelVersion_ = 0;
    mutable quint64 treeVersion_ = ~quint64(0);
    mutable std::shared_ptr<const Tree> tree_;
    std::deque<Notification> queue_;
    qint64 startedMs_ = 0;
    int announced_ = -1;  // the connection state last said: -1 none yet, 0 away, 1 registered
};

// Why this AgentX socket can never work, or empty: a path that names something that is not a socket. A path
// that does not exist yet is fine (the master agent may start later).
QString socketProblem(const QString& socket);

}  // namespace qv::snmp
