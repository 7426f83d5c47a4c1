#include "snmp/snmp_tree.h"

#include <algorithm>

namespace qv::snmp {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kTrue = 1, kFalse = 2;  // SNMPv2-TC TruthValue

Value integer(qint64 n) { return {Value::Type::Integer, n, {}}; }
Value counter(quint64 n) { return {Value::Type::Counter32, qint64(n & 0xffffffffu), {}}; }
Value gauge(qint64 n) { return {Value::Type::Gauge32, std::clamp<qint64>(n, 0, 0xffffffffLL), {}}; }
Value truth(bool b) { return integer(b ? kTrue : kFalse); }
Value text(const QString& s) { return {Value::Type::String, 0, s.toUtf8().left(255)}; }
Value time(const QDateTime& t) { return text(t.isValid() ? isoTimestamp(t) : QString()); }

Oid operator+(Oid oid, std::initializer_list<quint32> more)
{
    oid.insert(oid.end(), more);
    return oid;
}

// The enumerations of the MIB: 1 upwards, "unknown" last where the instrument may not have said.
qint64 lampValue(std::optional<LampColour> c)
{
    if (!c)
        return 5;
    switch (*c) {
    case LampColour::Off: return 1;
    case LampColour::Blue: return 2;
    case LampColour::Green: return 3;
    case LampColour::Red: return 4;
    }
    return 5;
}

Oid instrumentColumn(const Oid& base, quint32 col, size_t row) { return base + std::initializer_list<quint32>{1, 2, 1, col, quint32(row + 1)}; }
Oid alarmColumn(const Oid& base, quint32 col, size_t row, AlarmName name)
{
    return base + std::initializer_list<quint32>{1, 3, 1, col, quint32(row + 1), quint32(name) + 1};
}

qint64 alarmState(const AlarmRow& a) { return a.flapping ? 3 : a.active ? 1 : 2; }

}  // namespace

std::optional<Oid> parseOid(const QString& text)
{
    QString t = text.trimmed();
    if (t.startsWith(u'.'))
        t.remove(0, 1);
    const QStringList parts = t.split(u'.');
    if (parts.size() < 2 || parts.size() > 64)
        return std::nullopt;
    Oid oid;
    for (const QString& p : parts) {
        bool ok = false;
        const uint n = p.toUInt(&ok);
        if (!ok || p.isEmpty() || !p.front().isDigit())
            return std::nullopt;
        oid.push_back(n);
    }
    return oid;
}

QString oidText(const Oid& oid)
{
    QStringList parts;
    for (quint32 n : oid)
        parts.append(QString::number(n));
    return parts.join(u'.');
}

Tree buildTree(const Model& model, const Oid& base)
{
    Tree tree;
    tree.push_back({base + std::initializer_list<quint32>{1, 1, 0}, text(model.version)});
    for (size_t i = 0; i < model.instruments.size(); ++i) {
        const InstrumentRow& r = model.instruments[i];
        const InstrumentStatus& s = r.status;
        const bool known = s.present && s.reading.has_value();
        const auto put = [&](quint32 col, Value v) { tree.push_back({instrumentColumn(base, col, i), std::move(v)}); };
        put(column::Id, text(r.id));
        put(column::Serial, text(s.serial));
        put(column::Present, truth(s.present));
        put(column::PageKey, text(known ? s.modeKey : QString()));
        if (known && s.modeCode)
            put(column::PageCode, integer(*s.modeCode));
        put(column::Signal, integer(known ? (s.signal ? 1 : 2) : 3));
        put(column::Channel, integer(known ? (s.channel == 2 ? 2 : 1) : 3));
        put(column::LastPoll, time(s.time));
        put(column::StatusAge, {Value::Type::AgeMs, s.monotonicMs, {}});
        put(column::Polls, counter(r.polls));
        put(column::PollFailures, counter(r.pollFailures));
        put(column::Captures, counter(r.captures));
        put(column::NewLogRecords, counter(r.newLogRecords));
        for (int lamp = 0; lamp < kLampCount; ++lamp)
            put(column::FirstLamp + quint32(lamp), integer(lampValue(known ? std::optional(s.lamps[size_t(lamp)])
                                                                            : std::nullopt)));
        for (const AlarmRow& a : r.alarms) {
            const auto add = [&](quint32 col, Value v) { tree.push_back({alarmColumn(base, col, i, a.name), std::move(v)}); };
            add(column::AlarmInstrument, text(r.id));
            add(column::AlarmNameColumn, text(alarmNameText(a.name)));
            add(column::AlarmState, integer(alarmState(a)));
            add(column::AlarmRaised, time(a.raised));
            add(column::AlarmCleared, time(a.cleared));
            add(column::AlarmAcknowledged, truth(a.acknowledged));
            add(column::AlarmDetail, text(a.detail));
        }
    }
    std::sort(tree.begin(), tree.end(), [](const Entry& a, const Entry& b) { return a.oid < b.oid; });
    return tree;
}

Value answered(const Value& value, qint64 nowMonotonicMs)
{
    if (value.type != Value::Type::AgeMs)
        return value;
    return gauge(value.number < 0 ? 0 : nowMonotonicMs - value.number);
}

const Entry* findExact(const Tree& tree, const Oid& oid)
{
    const auto it = std::lower_bound(tree.begin(), tree.end(), oid, [](const Entry& e, const Oid& o) { return e.oid < o; });
    return it != tree.end() && it->oid == oid ? &*it : nullptr;
}

const Entry* findNext(const Tree& tree, const Oid& oid)
{
    const auto it = std::upper_bound(tree.begin(), tree.end(), oid, [](const Oid& o, const Entry& e) { return o < e.oid; });
    return it != tree.end() ? &*it : nullptr;
}

Notification alarmNotification(const InstrumentRow& row, const Oid& base, size_t instrument, const AlarmChange& change)
{
    const QString& id = row.id;
    Notification n{base + std::initializer_list<quint32>{0, change.raised ? 1u : 2u}, {}};
    n.objects.push_back({alarmColumn(base, column::AlarmInstrument, instrument, change.name), text(id)});
    n.objects.push_back({alarmColumn(base, column::AlarmNameColumn, instrument, change.name), text(alarmNameText(change.name))});
    n.objects.push_back({alarmColumn(base, column::AlarmDetail, instrument, change.name), text(change.detail)});
    n.objects.push_back({alarmColumn(base, change.raised ? column::AlarmRaised : column::AlarmCleared, instrument, change.name),
                         time(change.time)});
    return n;
}

Notification presenceNotification(const InstrumentRow& r, const Oid& base, size_t instrument)
{
    Notification n{base + std::initializer_list<quint32>{0, r.status.present ? 4u : 3u}, {}};
    n.objects.push_back({instrumentColumn(base, column::Id, instrument), text(r.id)});
    n.objects.push_back({instrumentColumn(base, column::Serial, instrument), text(r.status.serial)});
    n.objects.push_back({instrumentColumn(base, column::LastPoll, instrument), time(r.status.time)});
    return n;
}

}  // namespace qv::snmp
