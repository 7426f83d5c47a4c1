// qv7700-remote: remote control for the Corvane QV7700 video and audio scope.

#include "app/device_select.h"
#include "app/headless.h"
#include "app/main_window.h"
#include "app/remote.h"
#include "app/startup_probe.h"
#include "link/doctor.h"
#include "live/front_panel_keys.h"
#include "render/fonts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

bool wantsHeadless(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* flag : {"--press", "--capture", "--get-log", "--erase-log", "--render", "--doctor", "--help", "-h",
                                 "--version", "-v", "--help-all"}) {
            const size_t n = std::strlen(flag);
            if (std::strncmp(argv[i], flag, n) == 0 && (argv[i][n] == '\0' || argv[i][n] == '='))
                return true;
        }
    }
    return false;
}

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv)
{
    const bool headless = wantsHeadless(argc, argv);
    // The headless modes need no display: draw off screen unless the caller chose a platform.
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QGuiApplication> app;
    if (headless)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"qv7700-remote"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QV_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Remote control for the Corvane QV7700 scope: drives its front panel, mirrors its lamps and captions, "
        "copies its screen and reads its error log."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption deviceOption(
        u"device"_s, u"Link to the instrument: d2xx, serial, serial:PATH or sim (the simulated instrument). "
                     "Without it: the D2XX library if it loads, else the first serial port of USB vendor 0403."_s,
        u"NAME"_s);
    const QCommandLineOption pressOption(
        u"press"_s, u"Press a front-panel key without a window (repeatable): WFM VECT AUDIO CURS LOGGER ALARM DATA "
                    "DISPLAY PICTURE 1-9 CH1 CH2 EYE STO REC, or hold a knob for 200 ms: LEFT RIGHT UP DOWN "
                    "VOL- VOL+."_s,
        u"KEY"_s);
    const QCommandLineOption captureOption(
        u"capture"_s, u"Without a window: one status poll, then the screen fetch; save the picture (.bmp or .png)."_s,
        u"FILE"_s);
    const QCommandLineOption getLogOption(
        u"get-log"_s, u"Without a window: fetch the error log into FILE, as the status box shows it."_s, u"FILE"_s);
    const QCommandLineOption eraseLogOption(u"erase-log"_s, u"Without a window: erase the instrument's error log."_s);
    const QCommandLineOption renderOption(
        u"render"_s, u"Without an instrument: draw screen-type CODE (0-255) with a simulated trace into --output."_s,
        u"CODE"_s);
    const QCommandLineOption levelsOption(u"levels"_s, u"With --render: the four audio levels, e.g. 110,120,130,140."_s,
                                          u"L1,L2,L3,L4"_s, u"110,120,130,140"_s);
    const QCommandLineOption noSignalOption(u"no-signal"_s, u"With --render: as the instrument shows it without a signal."_s);
    const QCommandLineOption outputOption(u"output"_s, u"With --render: the picture file (.bmp or .png)."_s, u"FILE"_s);
    const QCommandLineOption doctorOption(u"doctor"_s, u"Check the link to the instrument and say what to fix."_s);
    for (const auto* o : {&doctorOption, &deviceOption, &pressOption, &captureOption, &getLogOption, &eraseLogOption, &renderOption,
                          &levelsOption, &noSignalOption, &outputOption})
        parser.addOption(*o);
    if (!parser.parse(QCoreApplication::arguments())) {
        say(parser.errorText());
        return 2;
    }
    if (parser.isSet(u"help"_s)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(u"version"_s)) {
        std::printf("qv7700-remote %s\n", QV_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        say(u"qv7700-remote: unexpected argument \"%1\" (see --help)"_s.arg(parser.positionalArguments().first()));
        return 2;
    }
    const QStringList presses = parser.values(pressOption);
    for (const QString& name : presses) {
        if (!qv::FrontPanelKeys::byName(name)) {
            say(u"qv7700-remote: no key named \"%1\" (see --help)"_s.arg(name));
            return 2;
        }
    }

    if (parser.isSet(doctorOption)) {
        const qv::DoctorReport report = qv::runDoctor(qv::systemDoctorEnvironment());
        std::fputs(qPrintable(report.render()), stdout);
        return report.reachable ? 0 : 1;
    }
    const int actions = int(parser.isSet(captureOption)) + int(parser.isSet(getLogOption)) +
                        int(parser.isSet(eraseLogOption)) + int(parser.isSet(renderOption));
    if (actions > 1) {
        say(u"qv7700-remote: choose one of --capture, --get-log, --erase-log and --render"_s);
        return 2;
    }
    if (parser.isSet(captureOption) && !qv::savableName(parser.value(captureOption))) {
        say(u"qv7700-remote: --capture writes .bmp or .png files"_s);
        return 2;
    }
    if (parser.isSet(renderOption)) {
        bool ok = false;
        const int code = parser.value(renderOption).toInt(&ok);
        const QStringList parts = parser.value(levelsOption).split(u',');
        std::array<uint8_t, 4> levels{};
        bool levelsOk = parts.size() == 4;
        for (int i = 0; levelsOk && i < 4; ++i) {
            const int v = parts.at(i).trimmed().toInt(&levelsOk);
            levelsOk = levelsOk && v >= 0 && v <= 255;
            levels[size_t(i)] = uint8_t(v);
        }
        if (!ok || code < 0 || code > 255 || !levelsOk || !qv::savableName(parser.value(outputOption))) {
            say(u"qv7700-remote: --render CODE (0-255) needs --output FILE.bmp|.png and --levels of four numbers 0-255"_s);
            return 2;
        }
        qv::installFontSubstitutions();
        return qv::runRender(code, levels, !parser.isSet(noSignalOption), parser.value(outputOption));
    }

    QString error;
    auto device = qv::makeDevice(parser.value(deviceOption), &error);
    if (!device) {
        say(u"qv7700-remote: "_s + error);
        return 2;
    }

    qv::installFontSubstitutions();
    qv::Remote remote(std::move(device));
    if (headless) {
        int status = presses.isEmpty() ? 0 : qv::runPresses(remote, presses);
        if (parser.isSet(captureOption))
            status = qv::runCapture(remote, parser.value(captureOption));
        else if (parser.isSet(getLogOption))
            status = qv::runGetLog(remote, parser.value(getLogOption));
        else if (parser.isSet(eraseLogOption))
            status = qv::runEraseLog(remote);
        return status;
    }

    QGuiApplication::setFont(QFont(u"MS Sans Serif"_s, 8));
    qv::MainWindow window(remote);
    remote.Form_Load();
    qv::installStartupProbe(window, remote);
    window.show();
    return app->exec();
}
