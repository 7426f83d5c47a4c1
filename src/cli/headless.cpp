#include "cli/headless.h"

#include "session/device_select.h"
#include "net/net_service.h"
#include "session/session.h"
#include "cli/multi_mode.h"
#include "cli/watch_mode.h"
#include "link/doctor.h"
#include "session/instrument_status.h"
#include "logger/log_formats.h"
#include "meters/level_bars.h"
#include "render/fonts.h"
#include "render/graticule_dispatch.h"
#include "render/pixel_decoder.h"
#include "sim/sim_screens.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kKnobHoldMs = 200;

// What a mode ends with: its exit code and, for a failure, one line that says why.
struct ModeResult {
    int exit = exitcode::Done;
    QString error;
    QJsonObject result;  // with --json on success, when the mode has nothing else to print
    ErrorKind kind = ErrorKind::None;  // what failed, when an exchange did
};

ModeResult failed(int exit, const QString& why, ErrorKind kind = ErrorKind::None) { return {exit, why, {}, kind}; }

void writeOut(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QByteArray jsonLine(const QJsonDocument& doc) { return doc.toJson(QJsonDocument::Compact) + '\n'; }

// Writes the whole file or nothing under its name; "-" is standard output.
bool writeWhole(const QString& file, const QByteArray& bytes)
{
    if (file == u"-") {
        writeOut(bytes);
        return true;
    }
    QSaveFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

// The status box, on standard error: blanks the program writes to clear the box are left out.
QMetaObject::Connection echoStatus(Session& session)
{
    return QObject::connect(&session.panel(), &PanelModel::statusTextWritten, &session, [](const QString& text) {
        if (!text.trimmed().isEmpty())
            say(QString(text).replace(u"\r\n"_s, u"\n"_s));
    });
}

QString boxText(Session& session) { return QString(session.panel().statusText()).replace(u"\r\n"_s, u"\n"_s); }

QString instrumentName(Session& session)
{
    const QString serial = session.serialNumber();
    return serial.isEmpty() ? u"the QV7700"_s : u"the QV7700 (serial number %1)"_s.arg(serial);
}

ModeResult capture(Session& session, const Options& o)
{
    echoStatus(session);
    Outcome got;
    session.captureScreen(false, [&got](const Outcome& outcome) { got = outcome; });
    if (got.kind == ErrorKind::Absent)
        return failed(exitcode::Failed, instrumentName(session) + u" did not answer"_s, got.kind);
    if (got.kind == ErrorKind::NotOffered)
        return failed(exitcode::Failed,
                      instrumentName(session) + u" shows its picture page, which has no screen to capture"_s, got.kind);
    const bool clean = got.ok();
    const ModeResult transferFailed =
        failed(exitcode::Failed, u"the screen transfer from %1 failed"_s.arg(instrumentName(session)), got.kind);
    const char* format = o.format == OutputFormat::Png ? "PNG" : "BMP";
    if (o.output == u"-") {
        // A script reading the picture from a pipe gets a whole picture or none.
        if (!clean)
            return transferFailed;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        session.picture().image().save(&buffer, format);
        writeOut(bytes);
        return {};
    }
    // A failed transfer still stores what arrived, as the window would show it; the exit code says it failed.
    if (!savePicture(session.picture().image(), o.output, format))
        return failed(exitcode::NotWritten, u"cannot write %1"_s.arg(o.output));
    if (!clean)
        return transferFailed;
    return {exitcode::Done, {}, {{u"ok"_s, true}, {u"exit"_s, 0}, {u"file"_s, o.output}}};
}

ModeResult getLog(Session& session, const Options& o)
{
    LogCollector collector(session.errorLog());
    Outcome got;
    session.fetchLog([&got](const Outcome& outcome) { got = outcome; });
    const bool normal = got.ok();
    if (!normal)
        say(boxText(session));
    QByteArray bytes;
    switch (o.format) {
    case OutputFormat::Json: bytes = logToJson(collector.log(), session.serialNumber(), QDateTime::currentDateTime()); break;
    case OutputFormat::Csv: bytes = logToCsv(collector.log()); break;
    default: bytes = session.panel().statusText().toLatin1(); break;  // the box, byte for byte
    }
    // A failed fetch still leaves what came in the file, as the box shows it; the exit code says it failed.
    if (!writeWhole(o.output, bytes))
        return failed(exitcode::NotWritten, u"cannot write %1"_s.arg(o.output));
    if (!normal)
        return failed(exitcode::Failed, u"the log transfer from %1 failed"_s.arg(instrumentName(session)), got.kind);
    if (o.output == u"-")
        return {};
    return {exitcode::Done, {}, {{u"ok"_s, true}, {u"exit"_s, 0}, {u"file"_s, o.output}}};
}

ModeResult eraseLog(Session& session)
{
    Outcome got;
    session.eraseLog([&got](const Outcome& outcome) { got = outcome; });
    say(boxText(session).trimmed());
    if (!got.ok())
        return failed(exitcode::Failed, u"erasing the log of %1 failed"_s.arg(instrumentName(session)), got.kind);
    return {exitcode::Done, {}, {{u"ok"_s, true}, {u"exit"_s, 0}}};
}

ModeResult status(Session& session, const Options& o)
{
    echoStatus(session);  // why an instrument did not answer ("OpenEx Failed", "No QV7700 found")
    session.pollOnce();
    const InstrumentStatus& st = session.status();
    writeOut(o.json ? jsonLine(QJsonDocument(toJson(st))) : toText(st).toUtf8());
    if (!st.present)
        say(u"qv7700-remote: "_s + instrumentName(session) + u" did not answer"_s);
    // The status is the answer either way: no second JSON object for an absent instrument.
    return {st.present ? exitcode::Done : exitcode::Failed, {}, {}};
}

ModeResult listAttached(const Options& o)
{
    const QList<DeviceEntry> entries = listDevices(systemDoctorEnvironment());
    bool anyUsable = false;
    QJsonArray array;
    QString text;
    for (const DeviceEntry& e : entries) {
        anyUsable = anyUsable || e.usable;
        array.append(QJsonObject{{u"backend"_s, e.backend},
                                 {u"serial"_s, e.serial},
                                 {u"description"_s, e.description},
                                 {u"path"_s, e.path},
                                 {u"usable"_s, e.usable},
                                 {u"problem"_s, e.usable ? QJsonValue() : QJsonValue(e.problem)}});
        text += u"%1\t%2\t%3\t%4\t%5\n"_s.arg(e.backend, e.serial.isEmpty() ? u"-"_s : e.serial, e.description, e.path,
                                            e.usable ? u"usable"_s : u"not usable: "_s + e.problem);
    }
    writeOut(o.json ? jsonLine(QJsonDocument(array)) : text.toUtf8());
    if (!anyUsable)
        say(entries.isEmpty() ? u"qv7700-remote: no instrument converter attached"_s
                              : u"qv7700-remote: no attached converter can be opened (see --doctor)"_s);
    return {anyUsable ? exitcode::Done : exitcode::Failed, {}, {}};
}

ModeResult doctor()
{
    const DoctorReport report = runDoctor(systemDoctorEnvironment());
    writeOut(report.render().toUtf8());
    return {report.reachable ? exitcode::Done : exitcode::Failed, {}, {}};
}

ModeResult render(const Options& o)
{
    ScreenPicture picture;
    DrawGraticule(picture.surface(), o.renderCode, o.signal, QDateTime::currentDateTime());
    if (o.signal) {
        DrawLevelBars(picture.surface(), o.renderCode, o.levels);
        // Pages without a graticule of their own show the logger page's text.
        const QImage screen = simScreen(o.renderCode, hasGraticule(o.renderCode) ? 1 : 5, 1);
        picture.surface().finish();
        for (int b = 0; b < kBlockCount; ++b) {
            const QByteArray block = packBlock(screen, b);
            decodeBlock(picture.surface().image(), b, reinterpret_cast<const uint8_t*>(block.constData()),
                        int(block.size()));
        }
    }
    if (!savePicture(picture.image(), o.output))
        return failed(exitcode::NotWritten, u"cannot write %1"_s.arg(o.output));
    return {exitcode::Done, {}, {{u"ok"_s, true}, {u"exit"_s, 0}, {u"file"_s, o.output}}};
}

ModeResult runWith(Session& session, const Options& o)
{
    if (!o.presses.isEmpty()) {
        if (runPresses(session, o.presses) != exitcode::Done)
            return failed(exitcode::Failed, u"a key exchange with %1 failed"_s.arg(instrumentName(session)));
    }
    switch (o.action) {
    case Action::Capture: return capture(session, o);
    case Action::GetLog: return getLog(session, o);
    case Action::EraseLog: return eraseLog(session);
    case Action::Status: return status(session, o);
    default: return {exitcode::Done, {}, {{u"ok"_s, true}, {u"exit"_s, 0}}};
    }
}
}  // namespace

namespace {
// systemd names the journal stream it hands a service as "DEVICE:INODE"; standard error is that stream only when
// it still is the same file (a shell redirect in between makes it another).
bool stderrIsJournal()
{
    static const bool journal = [] {
        const QByteArray stream = qgetenv("JOURNAL_STREAM");
        struct stat st {};
        if (stream.isEmpty() || fstat(STDERR_FILENO, &st) != 0)
            return false;
        return stream == QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
    }();
    return journal;
}
}  // namespace

void say(const QString& text, Severity severity)
{
    if (stderrIsJournal())
        std::fprintf(stderr, "<%d>%s\n", int(severity), qPrintable(text));
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

int runPresses(Session& session, const QStringList& names)
{
    bool failed = false;
    // The key handlers write the box only to report a failure; it goes to standard error as it comes.
    const QMetaObject::Connection echo = echoStatus(session);
    for (const QString& name : names) {
        const auto named = controlByName(name);
        if (!named) {
            QObject::disconnect(echo);
            return exitcode::Usage;
        }
        bool ended = false;
        session.press(*named, [&failed, &ended](const Outcome& outcome) {
            failed = failed || !outcome.ok();
            ended = true;
        }, kKnobHoldMs);
        // A knob is held for its time with the event loop running; a key is sent before press returns.
        while (!ended && !session.link().stopping())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // The mode, channel and EYE keys start the poll; a headless run makes no poll of its own.
    session.pollSchedule().stop();
    QObject::disconnect(echo);
    return failed ? exitcode::Failed : exitcode::Done;
}

namespace {
// What failed, for scripts: the exchange's kind, else what the exit code says.
QString failureKind(const ModeResult& r)
{
    if (r.kind != ErrorKind::None)
        return QString::fromLatin1(errorKindName(r.kind));
    switch (r.exit) {
    case exitcode::Usage: return u"usage"_s;
    case exitcode::NotWritten: return u"not-written"_s;
    default: return u"failed"_s;
    }
}

int report(const Options& o, const ModeResult& outcome)
{
    if (!outcome.error.isEmpty()) {
        say(u"qv7700-remote: "_s + outcome.error);
        if (o.json)
            writeOut(failureJson(outcome.error, outcome.exit, failureKind(outcome)));
    } else if (o.json && !outcome.result.isEmpty()) {
        writeOut(jsonLine(QJsonDocument(outcome.result)));
    }
    return outcome.exit;
}

}  // namespace

int runHeadlessOn(Session& session, const Options& o)
{
    return report(o, runWith(session, o));
}

std::unique_ptr<Session> openSession(const Options& o, QString* error)
{
    auto device = makeDevice(o.device, error);
    if (!device)
        return nullptr;
    auto session = std::make_unique<Session>(std::move(device));
    session->setInstrumentSerial(o.serialNumber.toLatin1());
    session->live().setIntervalMs(o.liveIntervalMs);
    return session;
}

int runHeadless(const Options& o)
{
    installFontSubstitutions();
    if (o.several())
        return runSeveral(o);
    switch (o.action) {
    case Action::Render: return report(o, render(o));
    case Action::Doctor: return report(o, doctor());
    case Action::ListDevices: return report(o, listAttached(o));
    case Action::Report: return runReport(o);
    case Action::Serve: return runServe(o);
    default: break;
    }
    QString error;
    const std::unique_ptr<Session> session = openSession(o, &error);
    if (!session)
        return report(o, failed(exitcode::Usage, error));
    if (o.action == Action::Watch)
        return runWatch(*session, o);
    return runHeadlessOn(*session, o);
}

}  // namespace qv
