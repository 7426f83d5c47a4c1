#include "live/instrument_status.h"

#include "live/front_panel_keys.h"
#include "state/shared_state.h"

#include <QJsonArray>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
LampColour colourOf(std::optional<Rgb> rgb)
{
    if (!rgb)
        return LampColour::Off;
    switch (*rgb) {
    case qb::Blue: return LampColour::Blue;
    case qb::Green: return LampColour::Green;
    case qb::Red: return LampColour::Red;
    default: return LampColour::Off;  // grey, a lamp that is off
    }
}

QString yesNo(bool on) { return on ? u"yes"_s : u"no"_s; }
}  // namespace

const char* lampColourName(LampColour colour)
{
    switch (colour) {
    case LampColour::Blue: return "blue";
    case LampColour::Green: return "green";
    case LampColour::Red: return "red";
    case LampColour::Off: break;
    }
    return "off";
}

bool InstrumentStatus::sameStateAs(const InstrumentStatus& o) const
{
    return present == o.present && serial == o.serial && modeCode == o.modeCode && modeKey == o.modeKey &&
           litKeys == o.litKeys && lamps == o.lamps && channel == o.channel && eye == o.eye && signal == o.signal &&
           displayFlag == o.displayFlag && softKeys == o.softKeys && captureOffered == o.captureOffered;
}

InstrumentStatus readInstrumentStatus(const SharedState& state, const PanelModel& panel, const QString& serial,
                                      const QDateTime& time)
{
    InstrumentStatus st;
    st.present = state.DeviceFound;
    st.serial = serial;
    st.time = time;
    for (int n = 1; n <= 9; ++n)
        st.lamps[size_t(n - 1)] = colourOf(panel.lamp(n));
    for (int k = 0; k < kKeyCount; ++k) {
        if (panel.highlighted(Key(k)))
            st.litKeys.append(FrontPanelKeys::nameOf(Key(k)));
    }
    for (int k = 0; k < kModeKeyCount; ++k) {
        if (panel.highlighted(Key(k)))
            st.modeKey = FrontPanelKeys::nameOf(Key(k));
    }
    if (st.present)
        st.modeCode = state.ModeCode;
    st.channel = panel.highlighted(Key::CH2) ? 2 : 1;
    st.eye = panel.highlighted(Key::Eye);
    st.signal = state.SignalPresent;
    st.displayFlag = state.DisplayFlag;
    for (int n = 1; n <= 9; ++n)
        st.softKeys[size_t(n - 1)] = panel.caption(n);
    st.captureOffered = st.present && panel.menuEnabled(Menu::Get1Frame);
    return st;
}

QJsonObject toJson(const InstrumentStatus& st)
{
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
        {u"lamps"_s, lamps},
        {u"channel"_s, st.channel},
        {u"eye"_s, st.eye},
        {u"signal"_s, st.signal},
        {u"display_flag"_s, st.displayFlag},
        {u"soft_keys"_s, softKeys},
        {u"capture_offered"_s, st.captureOffered},
        {u"time"_s, isoTimestamp(st.time)},
    };
}

QString toText(const InstrumentStatus& st)
{
    QStringList lamps;
    for (size_t i = 0; i < kLampNames.size(); ++i)
        lamps.append(u"%1 %2"_s.arg(QLatin1StringView(kLampNames[i]), QLatin1StringView(lampColourName(st.lamps[i]))));
    QStringList captions;
    for (const QString& caption : st.softKeys)
        captions.append(u'"' + caption + u'"');
    QString out;
    out += u"present: "_s + yesNo(st.present) + u'\n';
    out += u"serial: "_s + (st.serial.isEmpty() ? u"(unknown)"_s : st.serial) + u'\n';
    out += u"mode: "_s + (st.modeCode ? u"%1 %2"_s.arg(*st.modeCode).arg(st.modeKey).trimmed() : u"(none)"_s) + u'\n';
    out += u"lit keys: "_s + st.litKeys.join(u' ') + u'\n';
    out += u"lamps: "_s + lamps.join(u", "_s) + u'\n';
    out += u"channel: %1\n"_s.arg(st.channel);
    out += u"eye: "_s + (st.eye ? u"on"_s : u"off"_s) + u'\n';
    out += u"signal: "_s + yesNo(st.signal) + u'\n';
    out += u"display flag: "_s + yesNo(st.displayFlag) + u'\n';
    out += u"soft keys: "_s + captions.join(u' ') + u'\n';
    out += u"capture offered: "_s + yesNo(st.captureOffered) + u'\n';
    out += u"time: "_s + isoTimestamp(st.time) + u'\n';
    return out;
}

QString isoTimestamp(const QDateTime& time)
{
    // A local time with its offset written out, so that readers in other time zones (and after a change to
    // summer time) know the instant.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

}  // namespace qv
