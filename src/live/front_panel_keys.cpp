#include "live/front_panel_keys.h"

#include "link/usb_link.h"
#include "live/panel_state.h"
#include "live/soft_keys.h"
#include "state/shared_state.h"

#include <QCoreApplication>
#include <QTimer>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kKnobRepeatMs = 50;

// The page each mode key brings up; PICTURE is page 0.
uint8_t modeCodeOf(Key k)
{
    switch (k) {
    case Key::Wfm: return 1;
    case Key::Vect: return 2;
    case Key::Audio: return 3;
    case Key::Curs: return 4;
    case Key::Logger: return 5;
    case Key::Alarm: return 6;
    case Key::Data: return 7;
    case Key::Display: return 8;
    default: return 0;
    }
}

bool isModeKey(Key k) { return int(k) < kModeKeyCount; }
bool isSoftKey(Key k) { return k >= Key::Soft1 && k <= Key::Soft9; }
}  // namespace

int FrontPanelKeys::keyCode(Key k)
{
    if (isSoftKey(k))
        return 0x81 + (int(k) - int(Key::Soft1));
    switch (k) {
    case Key::Wfm: return 0x8A;
    case Key::Vect: return 0x8B;
    case Key::Audio: return 0x8C;
    case Key::Curs: return 0x8D;
    case Key::Logger: return 0x8E;
    case Key::Alarm: return 0x8F;
    case Key::Data: return 0x90;
    case Key::Display: return 0x91;
    case Key::Pix: return 0x92;
    case Key::CH1: return 0x95;
    case Key::CH2: return 0x96;
    case Key::Sto: return 0x97;
    case Key::Rec: return 0x98;
    case Key::Eye: return 0x99;
    default: return 0;
    }
}

namespace {
struct KeyName {
    const char16_t* name;
    Key key;
};
constexpr KeyName kKeyNames[] = {{u"WFM", Key::Wfm},   {u"VECT", Key::Vect},       {u"AUDIO", Key::Audio},
                                 {u"CURS", Key::Curs}, {u"LOGGER", Key::Logger},   {u"ALARM", Key::Alarm},
                                 {u"DATA", Key::Data}, {u"DISPLAY", Key::Display}, {u"PICTURE", Key::Pix},
                                 {u"CH1", Key::CH1},   {u"CH2", Key::CH2},         {u"EYE", Key::Eye},
                                 {u"STO", Key::Sto},   {u"REC", Key::Rec}};
constexpr const char16_t* kKnobNames[kKnobCount] = {u"LEFT", u"RIGHT", u"UP", u"DOWN", u"VOL-", u"VOL+"};
}  // namespace

QString FrontPanelKeys::nameOf(Key k)
{
    if (isSoftKey(k))
        return QString::number(int(k) - int(Key::Soft1) + 1);
    for (const auto& n : kKeyNames)
        if (n.key == k)
            return QString::fromUtf16(n.name);
    return {};
}

QStringList FrontPanelKeys::allNames()
{
    QStringList names;
    for (const auto& n : kKeyNames)
        names.append(QString::fromUtf16(n.name));
    for (int n = 1; n <= 9; ++n)
        names.append(QString::number(n));
    for (const auto* knob : kKnobNames)
        names.append(QString::fromUtf16(knob));
    return names;
}

std::optional<FrontPanelKeys::Named> FrontPanelKeys::byName(const QString& name)
{
    const QString upper = name.trimmed().toUpper();
    for (const auto& k : kKeyNames)
        if (upper == QStringView(k.name))
            return Named{k.key, 0};
    for (int i = 0; i < kKnobCount; ++i)
        if (upper == QStringView(kKnobNames[i]))
            return Named{std::nullopt, i + 1};
    bool ok = false;
    const int n = upper.toInt(&ok);
    if (ok && n >= 1 && n <= 9)
        return Named{Key(int(Key::Soft1) + n - 1), 0};
    return std::nullopt;
}

void FrontPanelKeys::click(Key k)
{
    link_.whenFree([this, k] { runClick(k); });
}

void FrontPanelKeys::runClick(Key k)
{
    if (isSoftKey(k))
        runNumbered(k);
    else if (isModeKey(k))
        runModeKey(k);
    else
        runGuardedKey(k);
}

void FrontPanelKeys::exchange(int code)
{
    UsbLink::Hold hold(link_);
    link_.OpenDevice();
    link_.SendKey(code);
    if (link_.closeDevice() != ft::OK)
        link_.panel().setStatusText(u"Close Failed"_s);
}

void FrontPanelKeys::runNumbered(Key k)
{
    PanelModel& panel = link_.panel();
    panel.setHighlight(Key::Rec, false);
    panel.setHighlight(Key::Sto, false);
    exchange(keyCode(k));
}

void FrontPanelKeys::runModeKey(Key k)
{
    PanelModel& panel = link_.panel();
    timer3_.stop();
    exchange(keyCode(k));
    // The panel follows the key whatever the exchange did: the next poll brings it in line with the instrument.
    setKnobLamps(panel, knobLampsFor(k));
    ResetModeButtons(panel);
    panel.setHighlight(k, true);
    const uint8_t mode = modeCodeOf(k);
    link_.state().ModeCode = mode;
    SetSoftKeyLabels(mode, panel);
    timer3_.start();
}

void FrontPanelKeys::runGuardedKey(Key k)
{
    PanelModel& panel = link_.panel();
    timer3_.stop();
    exchange(keyCode(k));
    switch (k) {
    case Key::CH1:
        panel.setHighlight(Key::CH1, true);
        panel.setHighlight(Key::CH2, false);
        break;
    case Key::CH2:
        panel.setHighlight(Key::CH2, true);
        panel.setHighlight(Key::CH1, false);
        break;
    case Key::Sto:
    case Key::Rec:
        panel.setHighlight(k, true);
        break;
    default:
        break;  // EYE: the poll shows its state
    }
    timer3_.start();
}

void FrontPanelKeys::knobDown(int knob)
{
    if (knob < 1 || knob > kKnobCount)
        return;
    const unsigned press = ++pressCount_;
    if (!link_.deviceHeld() && link_.pendingActions() == 0) {
        runKnob(knob, false);
        return;
    }
    // The device is busy: remember the press. If the button is already up when the device frees, the press
    // still counts as one step of the knob.
    link_.whenFree([this, knob, press] { runKnob(knob, releasedUpTo_ >= press); });
}

void FrontPanelKeys::knobUp(int)
{
    link_.state().KnobHeld = false;
    releasedUpTo_ = pressCount_;
}

void FrontPanelKeys::runKnob(int knob, bool releasedAlready)
{
    SharedState& s = link_.state();
    const int code = knobCode(knob);
    UsbLink::Hold hold(link_);  // the device stays open for the whole hold: no poll, no other key meanwhile
    if (knob == 1)
        ResetModeButtons(link_.panel());
    link_.OpenDevice();
    if (releasedAlready) {
        link_.SendKey(code);
    } else {
        s.KnobHeld = true;
        for (;;) {
            QCoreApplication::processEvents();  // a MouseUp waiting here ends the hold before anything is sent
            if (!s.KnobHeld || link_.stopping())
                break;
            link_.SendKey(code);
            link_.Wait(kKnobRepeatMs);
        }
    }
    if (link_.closeDevice() != ft::OK)
        link_.panel().setStatusText(u"Close Failed"_s);
}

}  // namespace qv
