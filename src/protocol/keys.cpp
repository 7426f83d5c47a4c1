#include "protocol/keys.h"

namespace qv {

namespace {
struct KeyRow {
    Key key;
    const char16_t* name;
    uint8_t code;
    uint8_t page;
};
// One row per push button that has a caption of its own; the soft keys follow 0x81.. in order.
constexpr KeyRow kKeys[] = {
    {Key::Wfm, u"WFM", 0x8A, 1},       {Key::Vect, u"VECT", 0x8B, 2},     {Key::Audio, u"AUDIO", 0x8C, 3},
    {Key::Curs, u"CURS", 0x8D, 4},     {Key::Logger, u"LOGGER", 0x8E, 5}, {Key::Alarm, u"ALARM", 0x8F, 6},
    {Key::Data, u"DATA", 0x90, 7},     {Key::Display, u"DISPLAY", 0x91, 8}, {Key::Pix, u"PICTURE", 0x92, 0},
    {Key::CH1, u"CH1", 0x95, 0},       {Key::CH2, u"CH2", 0x96, 0},       {Key::Eye, u"EYE", 0x99, 0},
    {Key::Sto, u"STO", 0x97, 0},       {Key::Rec, u"REC", 0x98, 0},
};
constexpr uint8_t kFirstSoftKeyCode = 0x81;
constexpr const char16_t* kKnobNames[kKnobCount] = {u"LEFT", u"RIGHT", u"UP", u"DOWN", u"VOL-", u"VOL+"};

const KeyRow* rowOf(Key k)
{
    for (const auto& r : kKeys)
        if (r.key == k)
            return &r;
    return nullptr;
}
}  // namespace

uint8_t keyCode(Key k)
{
    if (isSoftKey(k))
        return uint8_t(kFirstSoftKeyCode + (int(k) - int(Key::Soft1)));
    const KeyRow* r = rowOf(k);
    return r ? r->code : 0;
}

uint8_t pageOf(Key k)
{
    const KeyRow* r = isModeKey(k) ? rowOf(k) : nullptr;
    return r ? r->page : 0;
}

QString keyName(Key k)
{
    if (isSoftKey(k))
        return QString::number(int(k) - int(Key::Soft1) + 1);
    const KeyRow* r = rowOf(k);
    return r ? QString::fromUtf16(r->name) : QString();
}

QStringList allControlNames()
{
    QStringList names;
    for (const auto& r : kKeys)
        names.append(QString::fromUtf16(r.name));
    for (int n = 1; n <= 9; ++n)
        names.append(QString::number(n));
    for (const auto* knob : kKnobNames)
        names.append(QString::fromUtf16(knob));
    return names;
}

std::optional<NamedControl> controlByName(const QString& name)
{
    const QString upper = name.trimmed().toUpper();
    for (const auto& r : kKeys)
        if (upper == QStringView(r.name))
            return NamedControl{r.key, 0};
    for (int i = 0; i < kKnobCount; ++i)
        if (upper == QStringView(kKnobNames[i]))
            return NamedControl{std::nullopt, i + 1};
    bool ok = false;
    const int n = upper.toInt(&ok);
    if (ok && n >= 1 && n <= 9)
        return NamedControl{Key(int(Key::Soft1) + n - 1), 0};
    return std::nullopt;
}

}  // namespace qv
