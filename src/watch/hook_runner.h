#pragma once
// --alarm-hook COMMAND: a program run for every alarm raised or cleared, so that people away from the rack hear
// of it (mail, an SNMP trap, a chat message). COMMAND is split into words as a shell would split it but never
// run through a shell; what happened comes in the environment (QV_ALARM, QV_STATE, QV_TIME, QV_DETAIL,
// QV_SERIAL, QV_CAPTURE, QV_JOURNAL). The poll never waits for a hook: it runs as a child process, one at a
// time per alarm (later ones wait their turn), and is killed after 30 s. Its standard input is /dev/null, so that
// a program that would read a message from it (cat, a bare mail) ends at once instead of at the kill; the start
// of its standard error is kept, because that is where a failing mailer or curl says why.

#include <QElapsedTimer>
#include <QMetaType>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <memory>

class QProcess;
class QTimer;

namespace qv {

struct HookCall {
    QString alarm;
    QString state;  // raised | cleared
    QString time;
    QString detail;
    QString serial;
    QString capture;  // the alarm's picture, or empty
    QString journal;
};

struct HookResult {
    QString alarm;
    QString state;
    int exit = -1;  // -1 when it could not start or was killed
    qint64 ms = 0;
    bool killed = false;
    QString error;  // why it could not start
    QString stderrText;  // the first kStderrKept bytes it wrote there
    bool run = true;     // false: still waiting when the watch stopped, and never run
};

class HookRunner : public QObject {
    Q_OBJECT
public:
    // An empty command runs nothing.
    explicit HookRunner(const QString& command, QObject* parent = nullptr);
    ~HookRunner() override;

    bool enabled() const { return !words_.isEmpty(); }
    void run(const HookCall& call);
    // The name the instrument goes by, QV_INSTRUMENT in every hook's environment.
    QString instrument;
    int running() const;
    // At the watch's stop: what runs and what waits is run to its end while withinMs last (real time, as the
    // processes run in it); then what still runs is killed and what still waits is reported as not run.
    void finishAll(int withinMs);
    int timeLimitMs = 30000;
    static QStringList splitWords(const QString& command);
    static constexpr qsizetype kStderrKept = 4096;
    static constexpr size_t kWaitingLimit = 16;

signals:
    void finished(const qv::HookResult& result);
    // A call found kWaitingLimit others of its alarm waiting and was dropped; count: dropped since one waited less.
    void dropped(const qv::HookCall& call, int count);

private:
    struct Slot {
        QProcess* process = nullptr;
        QTimer* limit = nullptr;
        QElapsedTimer started;
        HookCall call;
        bool killed = false;
        QByteArray stderrBytes;
        std::deque<HookCall> waiting;
        int dropped = 0;
    };
    Slot& slotFor(const QString& alarm);
    void start(Slot& slot, const HookCall& call);
    void done(Slot& slot, int exit, const QString& error);

    QStringList words_;
    bool closing_ = false;
    std::array<Slot, 4> slots_;
    QStringList names_;
};

}  // namespace qv

Q_DECLARE_METATYPE(qv::HookResult)
Q_DECLARE_METATYPE(qv::HookCall)
