#include "gui/instrument_choice.h"

#include "session/session.h"
#include "link/usb_scan.h"

#include <QInputDialog>
#include <QSettings>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
const QString kSettingsKey = u"instrument/serial"_s;
}  // namespace

QList<AttachedInstrument> attachedInstruments(Session& session)
{
    QList<UsbConverter> converters = scanConverters();
    QList<AttachedInstrument> out;
    for (const QByteArray& serial : session.attachedSerials()) {
        AttachedInstrument a{QString::fromLatin1(serial), {}};
        for (const UsbConverter& c : converters)
            if (c.serial == serial)
                a.description = c.product;
        out.append(a);
    }
    return out;
}

QString instrumentCaption(const Session& session)
{
    const QByteArray chosen = session.instrumentSerial();
    return chosen.isEmpty() ? u"Instrument: the first one found"_s : u"Instrument: "_s + QString::fromLatin1(chosen);
}

void restoreInstrumentChoice(Session& session)
{
    const QByteArray remembered = QSettings().value(kSettingsKey).toString().toLatin1();
    if (!remembered.isEmpty() && session.attachedSerials().contains(remembered))
        session.setInstrumentSerial(remembered);
}

bool chooseInstrument(QWidget* parent, Session& session)
{
    const QList<AttachedInstrument> attached = attachedInstruments(session);
    QStringList items{u"The first instrument found"_s};
    int current = 0;
    for (const AttachedInstrument& a : attached) {
        items.append(a.description.isEmpty() ? a.serial : u"%1  (%2)"_s.arg(a.serial, a.description));
        if (a.serial.toLatin1() == session.instrumentSerial())
            current = int(items.size()) - 1;
    }
    bool ok = false;
    const QString item = QInputDialog::getItem(parent, u"Select Instrument"_s,
                                               u"Talk to the instrument whose USB converter has the serial number:"_s,
                                               items, current, false, &ok);
    if (!ok)
        return false;
    const qsizetype index = items.indexOf(item);
    const QByteArray serial = index > 0 ? attached.at(index - 1).serial.toLatin1() : QByteArray();
    session.setInstrumentSerial(serial);
    QSettings().setValue(kSettingsKey, QString::fromLatin1(serial));
    return true;
}

}  // namespace qv
