#pragma once
// One instrument of several on a thread of its own. Its Session (the link, the poll's timer, the queue of work)
// is made, run and destroyed on that thread, and so is everything that drives it (the web bridge, the watch,
// the SNMP feed): a screen transfer from one instrument, minutes long over a slow converter, never holds up
// another instrument's poll or key. The user-interface thread only starts, stops and asks through run().

#include <QByteArray>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

namespace qv {

class Session;

class InstrumentThread {
public:
    explicit InstrumentThread(QString id);
    // stop() if it was not called.
    ~InstrumentThread();
    InstrumentThread(const InstrumentThread&) = delete;
    InstrumentThread& operator=(const InstrumentThread&) = delete;

    const QString& id() const { return id_; }
    const QString& device() const { return device_; }

    // Starts the thread and makes the session there from the --device name, choosing the instrument by its
    // converter's serial number (empty: the first found). False, with why, for a device name that is wrong.
    bool open(const QString& device, const QByteArray& serial, QString* error);
    // The session lives on the instrument's thread: touch it only inside run() (or from objects living there).
    Session& session() { return *session_; }

    // Runs f on the instrument's thread and waits until it has run.
    void run(const std::function<void()>& f);
    // Called on the instrument's thread when it stops, newest first, before the session goes: for the objects
    // made there in run() (each is destroyed on the thread it lives on).
    void atStop(std::function<void()> f) { atStop_.push_back(std::move(f)); }

    // The objects of atStop(), then the session, destroyed on the thread; the thread ends.
    void stop();

private:
    QString id_;
    QString device_;
    QThread thread_;
    QObject* context_ = nullptr;  // lives on thread_: what run() is queued to
    std::unique_ptr<Session> session_;
    std::vector<std::function<void()>> atStop_;
};

}  // namespace qv
