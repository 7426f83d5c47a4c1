#include "watch/alarm_rules.h"

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

void AlarmRules::set(AlarmName name, bool condition, const QString& detail, const QDateTime& time, qint64 ms,
                     std::vector<AlarmChange>& out)
{
    State& s = state_[size_t(name)];
    if (condition && !s.condition)
        s.detail = detail;
    s.condition = condition;
    if (!enabled_[size_t(name)])
        return;
    if (condition) {
        s.goneSinceMs = -1;
        if (!s.active) {
            s.active = true;
            out.push_back({name, true, detail, time});
        }
    } else if (s.active && s.goneSinceMs < 0) {
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
        set(AlarmName::Absent, false, {}, t, ms, out);
        const bool plus = st.lamps[kGamutPlus] == LampColour::Red, minus = st.lamps[kGamutMinus] == LampColour::Red;
        const QString which = plus && minus ? u"GAMUT+ and GAMUT- red"_s : plus ? u"GAMUT+ red"_s : u"GAMUT- red"_s;
        set(AlarmName::Gamut, plus || minus, which, t, ms, out);
        noSignalPolls_ = st.signal ? 0 : noSignalPolls_ + 1;
        // Once raised, any poll without a signal continues the episode: the count only decides the raising.
        set(AlarmName::Signal, noSignalPolls_ >= kSignalPolls || (active(AlarmName::Signal) && !st.signal),
            u"no signal for %1 polls"_s.arg(kSignalPolls), t, ms, out);
    } else {
        if (absentSinceMs_ < 0)
            absentSinceMs_ = ms;
        const qint64 gone = ms - absentSinceMs_;
        set(AlarmName::Absent, gone >= kAbsentAfterMs || active(AlarmName::Absent),
            u"no instrument for %1 s"_s.arg(gone / 1000), t, ms, out);
    }
    for (AlarmChange& c : tick(t, ms))
        out.push_back(std::move(c));
    return out;
}

std::vector<AlarmChange> AlarmRules::logFetched(int newRecords, const QDateTime& time, qint64 monotonicMs)
{
    std::vector<AlarmChange> out;
    set(AlarmName::Log, newRecords > 0, u"%1 new error-log records"_s.arg(newRecords), time, monotonicMs, out);
    for (AlarmChange& c : tick(time, monotonicMs))
        out.push_back(std::move(c));
    return out;
}

std::vector<AlarmChange> AlarmRules::tick(const QDateTime& time, qint64 monotonicMs)
{
    std::vector<AlarmChange> out;
    for (int i = 0; i < kAlarmCount; ++i) {
        State& s = state_[size_t(i)];
        if (s.active && !s.condition && s.goneSinceMs >= 0 && monotonicMs - s.goneSinceMs >= kClearAfterMs) {
            s.active = false;
            s.goneSinceMs = -1;
            out.push_back({AlarmName(i), false, s.detail, time});
        }
    }
    return out;
}

}  // namespace qv
