#include "session/instrument_status.h"

#include <QElapsedTimer>
#include <QJsonArray>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
QString yesNo(bool on) { return on ? u"yes"_s : u"no"_s; }
}  // namespace

qint64 monotonicNowMs()
{
    // One timer for the whole process, started once: its elapsed time is a steady count every thread shares.
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

bool InstrumentStatus::sameStateAs(const InstrumentStatus& o) const
{
    return present == o.present && serial == o.serial && modeCode == o.modeCode && modeKey == o.modeKey &&
           litKeys == o.litKeys && lamps == o.lamps && channel == o.channel && eye == o.eye && signal == o.signal &&
           displayFlag == o.displayFlag && softKeys == o.softKeys && captureOffered == o.captureOffered;
}

qint64 InstrumentStatus::ageMs(qint64 nowMonotonicMs) const
{
    return monotonicMs < 0 ? -1 : std::max<qint64>(0, nowMonotonicMs - monotonicMs);
}

InstrumentStatus statusFrom(bool present, const std::optional<StatusReading>& reading, const QString& serial,
                            const QDateTime& time, qint64 monotonicMs)
{
    InstrumentStatus st;
    st.present = present;
    st.serial = serial;
    st.time = time;
    st.monotonicMs = monotonicMs;
    if (!present || !reading)
        return st;
    const StatusReading& r = *reading;
    st.reading = r;
    st.modeCode = r.page;
    if (r.modeKey) {
        st.modeKey = keyName(*r.modeKey);
        st.litKeys.append(st.modeKey);
    }
    st.litKeys.append(r.channel == 2 ? u"CH2"_s : u"CH1"_s);
    if (r.eye)
        st.litKeys.append(u"EYE"_s);
    const KnobLamps knobs = r.knobLamps.value_or(KnobLamps{});
    st.lamps = {knobs.leftRight, knobs.upDown, knobs.volume, r.signalLamps[0], r.signalLamps[1], r.signalLamps[2],
                r.signalLamps[3], r.signalLamps[4], r.signalLamps[5]};
    st.channel = r.channel;
    st.eye = r.eye;
    st.signal = r.signal;
    st.displayFlag = r.displayFlag;
    st.softKeys = r.softKeys;
    st.captureOffered = r.captureOffered;
    return st;
}

QJsonObject toJson(const InstrumentStatus& st, qint64 nowMonotonicMs)
{
    const bool known = st.reading.has_value();
    const auto ifKnown = [known](const QJsonValue& v) { return known ? v : QJsonValue(); };
    QJsonObject lamps;
    for (size_t i = 0; i < kLampNames.size(); ++i)
        lamps.insert(QLatin1StringView(kLampNames[i]), QLatin1StringView(lampColourName(st.lamps[i])));
    QJsonArray softKeys;
    for (const QString& caption : st.softKeys)
        softKeys.append(caption);
    QJsonObject mode;
    mode.insert(u"code"_s, st.modeCode ? QJsonValue(*st.modeCode) : QJsonValue());
    mode.insert(u"key"_s, st.modeKey.isEmpty() ? QJsonValue() : QJsonValue(st.modeKey));
    return QJsonObject{
        {u"present"_s, st.present},
        {u"serial"_s, st.serial.isEmpty() ? QJsonValue() : QJsonValue(st.serial)},
        {u"mode"_s, mode},
        {u"lit_keys"_s, QJsonArray::fromStringList(st.litKeys)},
        {u"lamps"_s, ifKnown(lamps)},
        {u"channel"_s, ifKnown(st.channel)},
        {u"eye"_s, ifKnown(st.eye)},
        {u"signal"_s, ifKnown(st.signal)},
        {u"display_flag"_s, ifKnown(st.displayFlag)},
        {u"soft_keys"_s, ifKnown(softKeys)},
        {u"capture_offered"_s, st.captureOffered},
        {u"time"_s, st.time.isValid() ? QJsonValue(isoTimestamp(st.time)) : QJsonValue()},
        {u"age_ms"_s, st.monotonicMs < 0 ? QJsonValue() : QJsonValue(st.ageMs(nowMonotonicMs))},
    };
}

QString toText(const InstrumentStatus& st, qint64 nowMonotonicMs)
{
    const bool known = st.reading.has_value();
    const QString unknown = u"(unknown)"_s;
    QStringList lamps;
    for (size_t i = 0; i < kLampNames.size(); ++i)
        lamps.append(u"%1 %2"_s.arg(QLatin1StringView(kLampNames[i]), QLatin1StringView(lampColourName(st.lamps[i]))));
    QStringList captions;
    for (const QString& caption : st.softKeys)
        captions.append(u'"' + caption + u'"');
    QString out;
    out += u"present: "_s + yesNo(st.present) + u'\n';
    out += u"serial: "_s + (st.serial.isEmpty() ? unknown : st.serial) + u'\n';
    out += u"mode: "_s + (st.modeCode ? u"%1 %2"_s.arg(*st.modeCode).arg(st.modeKey).trimmed() : u"(none)"_s) + u'\n';
    out += u"lit keys: "_s + st.litKeys.join(u' ') + u'\n';
    out += u"lamps: "_s + (known ? lamps.join(u", "_s) : unknown) + u'\n';
    out += u"channel: "_s + (known ? QString::number(st.channel) : unknown) + u'\n';
    out += u"eye: "_s + (known ? (st.eye ? u"on"_s : u"off"_s) : unknown) + u'\n';
    out += u"signal: "_s + (known ? yesNo(st.signal) : unknown) + u'\n';
    out += u"display flag: "_s + (known ? yesNo(st.displayFlag) : unknown) + u'\n';
    out += u"soft keys: "_s + (known ? captions.join(u' ') : unknown) + u'\n';
    out += u"capture offered: "_s + yesNo(st.captureOffered) + u'\n';
    out += u"time: "_s + (st.time.isValid() ? isoTimestamp(st.time) : unknown) + u'\n';
    out += u"age: "_s + (st.monotonicMs < 0 ? unknown : u"%1 ms"_s.arg(st.ageMs(nowMonotonicMs))) + u'\n';
    return out;
}

QString isoTimestamp(const QDateTime& time)
{
    // A local time with its offset written out, so that readers in other time zones (and after a change to
    // summer time) know the instant.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

}  // namespace qv
