#pragma once
// The instrument's state after a poll, as one value: what the panel shows (mode, lit keys, the nine lamps,
// channel, EYE, soft-key captions), what the reply said about the signal, and whether a screen can be
// captured. The command line's --status, the watch journal, the web API and the metrics all speak this one
// object, turned into JSON in one place.

#include "state/panel_model.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace qv {

struct SharedState;

enum class LampColour { Off, Blue, Green, Red };

// The lamps in panel order (Picture1..Picture9): the three knob pairs, the three Valid lamps, AUDIO, GAMUT+
// and GAMUT-.
inline constexpr std::array<const char*, 9> kLampNames = {"left-right", "up-down", "volume", "valid-1", "valid-2",
                                                          "valid-3",    "audio",   "gamut-plus", "gamut-minus"};
const char* lampColourName(LampColour colour);

struct InstrumentStatus {
    bool present = false;
    QString serial;                    // the converter's USB serial number; empty when not known
    std::optional<int> modeCode;       // the page the instrument reported; none while absent
    QString modeKey;                   // the lit mode key's name (WFM ... PICTURE), empty when none is lit
    QStringList litKeys;               // every lit push button by its --press name, in panel order
    std::array<LampColour, 9> lamps{};
    int channel = 1;
    bool eye = false;
    bool signal = false;               // the reply's signal-present flag
    bool displayFlag = false;
    std::array<QString, 9> softKeys;
    bool captureOffered = false;
    QDateTime time;

    // Equal in everything but the time.
    bool sameStateAs(const InstrumentStatus& other) const;
};

// Reads the panel and the shared state as the last poll left them.
InstrumentStatus readInstrumentStatus(const SharedState& state, const PanelModel& panel, const QString& serial,
                                      const QDateTime& time);

QJsonObject toJson(const InstrumentStatus& status);
// The same for people: one "name: value" line each.
QString toText(const InstrumentStatus& status);

// ISO 8601 with milliseconds and the offset from UTC, as every time the program writes for machines.
QString isoTimestamp(const QDateTime& time);

}  // namespace qv
