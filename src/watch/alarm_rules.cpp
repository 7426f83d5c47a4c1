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

void AlarmRules::set(AlarmName name, bool condition, const QString& detail, const QDateTime& time,
                     std::vector<AlarmChange>& out)
{
    State& s = state_[size_t(name)];
    if (condition && !s.condition)
        s.detail = detail;
    s.condition = condition;
    if (!enabled_[size_t(name)])
        return;
    if (condition) {
        s.goneSince = {};
        if (!s.active) {
            s.active = true;
            out.push_back({name, true, detail, time});
        }
    } else if (s.active && !s.goneSince.isValid()) {
        s.goneSince = time;
    }
}

std::vector<AlarmChange> AlarmRules::poll(const InstrumentStatus& st)
{
    std::vector<AlarmChange> out;
    const QDateTime& t = st.time;
    if (st.present) {
        absentSince_ = {};
        set(AlarmName::Absent, false, {}, t, out);
        const bool plus = st.lamps[kGamutPlus] == LampColour::Red, minus = st.lamps[kGamutMinus] == LampColour::Red;
        const QString which = plus && minus ? u"GAMUT+ and GAMUT- red"_s : plus ? u"GAMUT+ red"_s : u"GAMUT- red"_s;
        set(AlarmName::Gamut, plus || minus, which, t, out);
        noSignalPolls_ = st.signal ? 0 : noSignalPolls_ + 1;
        // Once raised, any poll without a signal continues the episode: the count only decides the raising.
        set(AlarmName::Signal, noSignalPolls_ >= kSignalPolls || (active(AlarmName::Signal) && !st.signal),
            u"no signal for %1 polls"_s.arg(kSignalPolls), t, out);
    } else {
        if (!absentSince_.isValid())
            absentSince_ = t;
        const qint64 gone = absentSince_.msecsTo(t);
        set(AlarmName::Absent, gone >= kAbsentAfterMs || active(AlarmName::Absent),
            u"no instrument for %1 s"_s.arg(gone / 1000), t, out);
    }
    for (AlarmChange& c : tick(t))
        out.push_back(std::move(c));
    return out;
}

std::vector<AlarmChange> AlarmRules::logFetched(int newRecords, const QDateTime& time)
{
    std::vector<AlarmChange> out;
    set(AlarmName::Log, newRecords > 0, u"%1 new error-log records"_s.arg(newRecords), time, out);
    for (AlarmChange& c : tick(time))
        out.push_back(std::move(c));
    return out;
}

std::vector<AlarmChange> AlarmRules::tick(const QDateTime& time)
{
    std::vector<AlarmChange> out;
    for (int i = 0; i < kAlarmCount; ++i) {
        State& s = state_[size_t(i)];
        if (s.active && !s.condition && s.goneSince.isValid() && s.goneSince.msecsTo(time) >= kClearAfterMs) {
            s.active = false;
            s.goneSince = {};
            out.push_back({AlarmName(i), false, s.detail, time});
        }
    }
    return out;
}

}  // namespace qv
