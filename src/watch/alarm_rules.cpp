#include "watch/alarm_rules.h"

#include <QFileInfo>
#include <QSettings>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr const char16_t* kNames[kAlarmCount] = {u"gamut", u"signal", u"absent", u"log"};
constexpr size_t kGamutPlus = 7, kGamutMinus = 8;  // lamp positions in InstrumentStatus::lamps
}  // namespace

QString alarmNameText(AlarmName name)
{
    return QString::fromUtf16(kNames[int(name)]);
}

std::optional<AlarmName> alarmNamed(const QString& text)
{
    for (int i = 0; i < kAlarmCount; ++i)
        if (text == QString::fromUtf16(kNames[i]))
            return AlarmName(i);
    return std::nullopt;
}

std::optional<std::array<bool, kAlarmCount>> parseAlarmList(const QString& text)
{
    if (text.trimmed() == u"all")
        return std::array<bool, kAlarmCount>{true, true, true, true};
    std::array<bool, kAlarmCount> on{};
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        const auto name = alarmNamed(part.trimmed());
        if (!name)
            return std::nullopt;
        on[size_t(*name)] = true;
    }
    return on;
}

std::array<AlarmTuning, kAlarmCount> AlarmRuleSet::defaults()
{
    std::array<AlarmTuning, kAlarmCount> a{};
    a[size_t(AlarmName::Gamut)].raisePolls = 2;
    a[size_t(AlarmName::Gamut)].raiseWindow = 3;
    a[size_t(AlarmName::Signal)].raisePolls = 3;
    a[size_t(AlarmName::Signal)].raiseWindow = 3;
    a[size_t(AlarmName::Absent)].raiseAfterMs = 5000;
    return a;
}

std::optional<AlarmRuleSet> readAlarmRules(const QString& path, QString* why)
{
    if (!QFileInfo(path).isReadable()) {
        *why = u"cannot read the alarm rules %1"_s.arg(path);
        return std::nullopt;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        *why = u"%1 is not an INI file"_s.arg(path);
        return std::nullopt;
    }
    struct Key {
        const char16_t* name;
        double min, max, scale;  // the value in the file, times scale, is the number kept
        qint64 AlarmTuning::*ms;
        int AlarmTuning::*count;
    };
    static const Key keys[] = {
        {u"raise-polls", 1, 100, 1, nullptr, &AlarmTuning::raisePolls},
        {u"raise-window", 1, 100, 1, nullptr, &AlarmTuning::raiseWindow},
        {u"raise-after-seconds", 0, 86400, 1000, &AlarmTuning::raiseAfterMs, nullptr},
        {u"clear-hold-seconds", 0, 86400, 1000, &AlarmTuning::clearHoldMs, nullptr},
        {u"flap-raises", 1, 1000, 1, nullptr, &AlarmTuning::flapRaises},
        {u"flap-minutes", 0, 10080, 60000, &AlarmTuning::flapWindowMs, nullptr},
        {u"flap-quiet-seconds", 0, 86400, 1000, &AlarmTuning::flapQuietMs, nullptr},
        {u"hook-every-seconds", 0, 86400, 1000, &AlarmTuning::hookEveryMs, nullptr},
    };
    AlarmRuleSet rules;
    // [all] first, so that a section of one alarm overrides it.
    QStringList groups = ini.childGroups();
    std::stable_sort(groups.begin(), groups.end(), [](const QString& a, const QString&) { return a == u"all"; });
    for (const QString& group : groups) {
        const std::optional<AlarmName> name = alarmNamed(group);
        if (!name && group != u"all") {
            *why = u"%1: no alarm named [%2] (gamut, signal, absent, log or all)"_s.arg(path, group);
            return std::nullopt;
        }
        ini.beginGroup(group);
        for (const QString& k : ini.childKeys()) {
            const auto key = std::find_if(std::begin(keys), std::end(keys), [&](const Key& x) { return k == QString::fromUtf16(x.name); });
            bool ok = false;
            const double v = ini.value(k).toString().toDouble(&ok);
            if (key == std::end(keys) || !ok || v < key->min || v > key->max) {
                *why = key == std::end(keys) ? u"%1: [%2] has no setting %3"_s.arg(path, group, k)
                                             : u"%1: [%2] %3 takes %4 to %5, not \"%6\""_s.arg(path, group, k).arg(key->min).arg(key->max).arg(ini.value(k).toString());
                return std::nullopt;
            }
            for (int i = 0; i < kAlarmCount; ++i) {
                if (name && int(*name) != i)
                    continue;
                AlarmTuning& t = rules.alarms[size_t(i)];
                if (key->ms)
                    t.*(key->ms) = qint64(v * key->scale);
                else
                    t.*(key->count) = int(v);
            }
        }
        ini.endGroup();
    }
    for (int i = 0; i < kAlarmCount; ++i)
        if (rules.alarms[size_t(i)].raisePolls > rules.alarms[size_t(i)].raiseWindow) {
            *why = u"%1: [%2] raise-polls is more than raise-window"_s.arg(path, alarmNameText(AlarmName(i)));
            return std::nullopt;
        }
    return rules;
}

void AlarmRules::resume(AlarmName name, bool flapping, const QString& detail, qint64 monotonicMs)
{
    State& s = state_[size_t(name)];
    s.active = true;
    s.flapping = flapping;
    s.detail = detail;
    s.condition = name != AlarmName::Log;
    s.goneSinceMs = name == AlarmName::Log ? monotonicMs : -1;
}

bool AlarmRules::windowed(AlarmName name, bool condition)
{
    const AlarmTuning& t = rules_[name];
    std::deque<bool>& recent = state_[size_t(name)].recent;
    recent.push_back(condition);
    while (recent.size() > size_t(t.raiseWindow))
        recent.pop_front();
    return std::count(recent.begin(), recent.end(), true) >= t.raisePolls;
}

void AlarmRules::set(AlarmName name, bool raw, bool due, const QString& detail, const QDateTime& time, qint64 ms,
                     std::vector<AlarmChange>& out)
{
    State& s = state_[size_t(name)];
    const AlarmTuning& t = rules_[name];
    if (raw && !s.condition)
        s.detail = detail;
    s.condition = raw;
    if (!enabled_[size_t(name)])
        return;
    if (s.active && raw) {
        s.goneSinceMs = -1;  // the same episode goes on
    } else if (!s.active && due) {
        s.active = true;
        s.goneSinceMs = -1;
        while (!s.raisedAt.empty() && ms - s.raisedAt.front() > t.flapWindowMs)
            s.raisedAt.pop_front();
        s.raisedAt.push_back(ms);
        s.flapping = s.raisedAt.size() > size_t(t.flapRaises);
        out.push_back({name, true, detail, time, s.flapping});
    } else if (s.active && !raw && s.goneSinceMs < 0) {
        s.goneSinceMs = ms;
    }
}

std::vector<AlarmChange> AlarmRules::poll(const InstrumentStatus& st)
{
    std::vector<AlarmChange> out;
    const QDateTime& t = st.time;
    const qint64 ms = st.monotonicMs;
    if (st.present) {
        absentSinceMs_ = -1;
        set(AlarmName::Absent, false, false, {}, t, ms, out);
        const bool plus = st.lamps[kGamutPlus] == LampColour::Red, minus = st.lamps[kGamutMinus] == LampColour::Red;
        const QString which = plus && minus ? u"GAMUT+ and GAMUT- red"_s : plus ? u"GAMUT+ red"_s : u"GAMUT- red"_s;
        set(AlarmName::Gamut, plus || minus, windowed(AlarmName::Gamut, plus || minus), which, t, ms, out);
        set(AlarmName::Signal, !st.signal, windowed(AlarmName::Signal, !st.signal),
            u"no signal for %1 polls"_s.arg(rules_[AlarmName::Signal].raisePolls), t, ms, out);
    } else {
        if (absentSinceMs_ < 0)
            absentSinceMs_ = ms;
        const qint64 gone = ms - absentSinceMs_;
        set(AlarmName::Absent, true, gone >= rules_[AlarmName::Absent].raiseAfterMs,
            u"no instrument for %1 s"_s.arg(gone / 1000), t, ms, out);
    }
    for (AlarmChange& c : tick(t, ms))
        out.push_back(std::move(c));
    return out;
}

std::vector<AlarmChange> AlarmRules::logFetched(int newRecords, const QDateTime& time, qint64 monotonicMs)
{
    std::vector<AlarmChange> out;
    set(AlarmName::Log, newRecords > 0, newRecords > 0, u"%1 new error-log records"_s.arg(newRecords), time,
        monotonicMs, out);
    for (AlarmChange& c : tick(time, monotonicMs))
        out.push_back(std::move(c));
    return out;
}

std::vector<AlarmChange> AlarmRules::tick(const QDateTime& time, qint64 monotonicMs)
{
    std::vector<AlarmChange> out;
    for (int i = 0; i < kAlarmCount; ++i) {
        State& s = state_[size_t(i)];
        const AlarmTuning& t = rules_.alarms[size_t(i)];
        const qint64 hold = s.flapping ? t.flapQuietMs : t.clearHoldMs;
        if (s.active && !s.condition && s.goneSinceMs >= 0 && monotonicMs - s.goneSinceMs >= hold) {
            const QDateTime ended = time.addMSecs(s.goneSinceMs - monotonicMs);
            s.active = false;
            s.goneSinceMs = -1;
            // Quiet after flapping: the next raise starts the count afresh.
            if (std::exchange(s.flapping, false))
                s.raisedAt.clear();
            out.push_back({AlarmName(i), false, s.detail, ended, false});
        }
    }
    return out;
}

}  // namespace qv
