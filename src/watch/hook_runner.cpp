#include "watch/hook_runner.h"

#include <QProcess>
#include <QTimer>

#include <utility>

namespace qv {

using namespace Qt::StringLiterals;

QStringList HookRunner::splitWords(const QString& command)
{
    // A shell's quoting without its expansions: blanks separate words, '...' is literal, "..." keeps blanks and
    // takes \ before " \ $ and `, and a backslash outside quotes takes the next character as it is.
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quote == u'\'') {
            if (c == u'\'')
                quote = QChar();
            else
                word += c;
        } else if (quote == u'"') {
            if (c == u'"')
                quote = QChar();
            else if (c == u'\\' && i + 1 < command.size() && QStringView(u"\"\\$`").contains(command.at(i + 1)))
                word += command.at(++i);
            else
                word += c;
        } else if (c.isSpace()) {
            if (inWord)
                words.append(std::exchange(word, {}));
            inWord = false;
        } else {
            inWord = true;
            if (c == u'\'' || c == u'"')
                quote = c;
            else if (c == u'\\' && i + 1 < command.size())
                word += command.at(++i);
            else
                word += c;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

HookRunner::HookRunner(const QString& command, QObject* parent) : QObject(parent), words_(splitWords(command)) {}

HookRunner::~HookRunner()
{
    for (Slot& s : slots_) {
        if (s.process) {
            s.process->disconnect(this);
            s.process->kill();
            s.process->waitForFinished(1000);
        }
    }
}

int HookRunner::running() const
{
    int n = 0;
    for (const Slot& s : slots_)
        n += s.process != nullptr;
    return n;
}

HookRunner::Slot& HookRunner::slotFor(const QString& alarm)
{
    qsizetype i = names_.indexOf(alarm);
    if (i < 0) {
        names_.append(alarm);
        i = names_.size() - 1;
    }
    return slots_[size_t(std::min<qsizetype>(i, qsizetype(slots_.size()) - 1))];
}

void HookRunner::run(const HookCall& call)
{
    if (!enabled())
        return;
    Slot& slot = slotFor(call.alarm);
    if (!slot.process) {
        start(slot, call);
        return;
    }
    // Calls that pile up behind a hook that never ends are dropped beyond this many, so that a stuck hook cannot
    // take the watch's memory; the journal says so, as nobody hears of these alarms otherwise.
    if (slot.waiting.size() >= kWaitingLimit) {
        emit dropped(call, ++slot.dropped);
        return;
    }
    slot.dropped = 0;
    slot.waiting.push_back(call);
}

void HookRunner::start(Slot& slot, const HookCall& call)
{
    slot.call = call;
    slot.killed = false;
    slot.stderrBytes.clear();
    slot.process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QV_ALARM"_s, call.alarm);
    env.insert(u"QV_STATE"_s, call.state);
    env.insert(u"QV_TIME"_s, call.time);
    env.insert(u"QV_DETAIL"_s, call.detail);
    env.insert(u"QV_SERIAL"_s, call.serial);
    env.insert(u"QV_CAPTURE"_s, call.capture);
    env.insert(u"QV_JOURNAL"_s, call.journal);
    env.insert(u"QV_INSTRUMENT"_s, instrument);
    slot.process->setProcessEnvironment(env);
    slot.process->setProgram(words_.first());
    slot.process->setArguments(words_.mid(1));
    // Nobody types into a hook: one that reads its standard input gets an end of file at once.
    slot.process->setStandardInputFile(QProcess::nullDevice());
    slot.process->setStandardOutputFile(QProcess::nullDevice());
    // The rest of a chatty hook's errors is read and let go, so that it never blocks on a full pipe.
    connect(slot.process, &QProcess::readyReadStandardError, this, [&slot] {
        const QByteArray bytes = slot.process->readAllStandardError();
        slot.stderrBytes += bytes.left(kStderrKept - slot.stderrBytes.size());
    });
    slot.limit = new QTimer(slot.process);
    slot.limit->setSingleShot(true);
    connect(slot.limit, &QTimer::timeout, this, [this, &slot] {
        slot.killed = true;
        slot.process->kill();
    });
    connect(slot.process, &QProcess::finished, this, [this, &slot](int exit, QProcess::ExitStatus status) {
        done(slot, status == QProcess::NormalExit && !slot.killed ? exit : -1, {});
    });
    connect(slot.process, &QProcess::errorOccurred, this, [this, &slot](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(slot, -1, slot.process->errorString());
    });
    slot.started.start();
    slot.limit->start(timeLimitMs);
    slot.process->start();
}

void HookRunner::done(Slot& slot, int exit, const QString& error)
{
    if (!slot.process)
        return;
    const QByteArray rest = slot.process->readAllStandardError();
    slot.stderrBytes += rest.left(kStderrKept - slot.stderrBytes.size());
    HookResult r{slot.call.alarm, slot.call.state, exit, slot.started.elapsed(), slot.killed, error,
                 QString::fromUtf8(slot.stderrBytes).trimmed()};
    slot.limit->stop();
    slot.process->disconnect(this);
    slot.process->deleteLater();
    slot.process = nullptr;
    emit finished(r);
    if (!closing_ && !slot.waiting.empty()) {
        const HookCall next = slot.waiting.front();
        slot.waiting.pop_front();
        start(slot, next);
    }
}

void HookRunner::finishAll(int withinMs)
{
    closing_ = true;  // from here on this loop starts the waiting calls, as long as there is time for them
    QElapsedTimer elapsed;
    elapsed.start();
    for (Slot& slot : slots_) {
        for (;;) {
            const qint64 left = withinMs - elapsed.elapsed();
            if (!slot.process) {
                if (slot.waiting.empty() || left <= 0)
                    break;
                const HookCall next = slot.waiting.front();
                slot.waiting.pop_front();
                start(slot, next);
                continue;
            }
            QProcess* process = slot.process;
            if (left > 0 && process->waitForFinished(int(left)))
                continue;
            if (slot.process != process)
                continue;  // could not start: reported already
            if (process->state() != QProcess::NotRunning) {
                slot.killed = true;
                process->kill();
                process->waitForFinished(1000);
            }
            done(slot, -1, slot.killed ? QString() : process->errorString());
        }
        for (const HookCall& call : slot.waiting) {
            HookResult r;
            r.alarm = call.alarm;
            r.state = call.state;
            r.run = false;
            emit finished(r);
        }
        slot.waiting.clear();
    }
    closing_ = false;
}

}  // namespace qv
