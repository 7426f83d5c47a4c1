#include "watch/hook_runner.h"

#include <QProcess>
#include <QTimer>

#include <utility>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
// Calls that pile up behind a hook that never ends are dropped beyond this many per alarm.
constexpr size_t kWaitingLimit = 16;
}  // namespace

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
    if (slot.process) {
        if (slot.waiting.size() < kWaitingLimit)
            slot.waiting.push_back(call);
        return;
    }
    start(slot, call);
}

void HookRunner::start(Slot& slot, const HookCall& call)
{
    slot.call = call;
    slot.killed = false;
    slot.process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QV_ALARM"_s, call.alarm);
    env.insert(u"QV_STATE"_s, call.state);
    env.insert(u"QV_TIME"_s, call.time);
    env.insert(u"QV_DETAIL"_s, call.detail);
    env.insert(u"QV_SERIAL"_s, call.serial);
    env.insert(u"QV_CAPTURE"_s, call.capture);
    env.insert(u"QV_JOURNAL"_s, call.journal);
    slot.process->setProcessEnvironment(env);
    slot.process->setProgram(words_.first());
    slot.process->setArguments(words_.mid(1));
    // Its output is the hook's own business; the watch's standard error stays for the watch.
    slot.process->setStandardOutputFile(QProcess::nullDevice());
    slot.process->setStandardErrorFile(QProcess::nullDevice());
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
    HookResult r{slot.call.alarm, slot.call.state, exit, slot.started.elapsed(), slot.killed, error};
    slot.limit->stop();
    slot.process->disconnect(this);
    slot.process->deleteLater();
    slot.process = nullptr;
    emit finished(r);
    if (!slot.waiting.empty()) {
        const HookCall next = slot.waiting.front();
        slot.waiting.pop_front();
        start(slot, next);
    }
}

}  // namespace qv
