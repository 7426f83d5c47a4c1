#pragma once
// Why can't the program reach the instrument? On Linux the usual reasons are the kernel's serial driver holding
// the converter, missing permission on its device nodes, or no vendor library. These checks look at each and
// say, one line each, what to do about it.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv {

struct DoctorEnvironment {
    QString sysfsRoot = QStringLiteral("/sys");
    QString devRoot = QStringLiteral("/dev");
    // May this user open the node for reading and writing?
    std::function<bool(const QString& path)> canOpen;
    // Where the vendor library was found, or nothing; and where it was looked for.
    std::optional<QString> d2xxLibrary;
    QString d2xxSearched;
};

// The real system: /sys, /dev, access(2), and a try at loading the vendor library.
DoctorEnvironment systemDoctorEnvironment();

struct DoctorLine {
    bool ok = true;
    QString text;
    QString fix;  // empty when there is nothing to do
};

struct DoctorReport {
    QList<DoctorLine> lines;
    bool reachable = false;  // some backend can open a converter
    QString render() const;
};

DoctorReport runDoctor(const DoctorEnvironment& env);

// One way of reaching one attached converter: through a backend, and whether this user can (with the reason and
// its fix in the doctor's words when not).
struct DeviceEntry {
    QString backend;      // d2xx or serial
    QString serial;       // the converter's USB serial number
    QString description;  // its USB product string
    QString path;         // the serial port, or the USB bus path for the vendor library
    bool usable = false;
    QString problem;      // empty when usable
};
QList<DeviceEntry> listDevices(const DoctorEnvironment& env);

}  // namespace qv
