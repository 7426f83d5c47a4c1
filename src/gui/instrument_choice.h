#pragma once
// Which of the attached instruments the window talks to: chosen from the DownLoad menu by its converter's USB
// serial number, remembered for the next start, and shown in the status bar under the panel.

#include <QString>

class QWidget;

namespace qv {

class Session;

// The attached instruments' serial numbers with their USB product strings, for a choice list.
struct AttachedInstrument {
    QString serial;
    QString description;
};
QList<AttachedInstrument> attachedInstruments(Session& session);

// "Instrument: QV77A1B2", or the first one found.
QString instrumentCaption(const Session& session);

// At start-up without --serial-number: the instrument chosen last time, when it is attached.
void restoreInstrumentChoice(Session& session);

// The "Select Instrument..." dialog: true when the user chose (the choice is then in effect and remembered).
bool chooseInstrument(QWidget* parent, Session& session);

}  // namespace qv
