// qv7700-remote: remote control for the Corvane QV7700 video and audio scope.

#include "app/device_select.h"
#include "app/headless.h"
#include "app/main_window.h"
#include "app/remote.h"
#include "live/front_panel_keys.h"
#include "render/fonts.h"
#include "render/screen_picture.h"

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
        for (const char* flag : {"--press", "--capture", "--get-log", "--erase-log", "--help", "-h", "--version",
                                 "-v", "--help-all"}) {
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
    parser.addOption(deviceOption);
    parser.addOption(pressOption);
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

    QString error;
    auto device = qv::makeDevice(parser.value(deviceOption), &error);
    if (!device) {
        say(u"qv7700-remote: "_s + error);
        return 2;
    }

    qv::installFontSubstitutions();
    qv::Remote remote(std::move(device));
    if (!presses.isEmpty())
        return qv::runPresses(remote, presses);

    QGuiApplication::setFont(QFont(u"MS Sans Serif"_s, 8));
    qv::ScreenPicture picture;
    qv::MainWindow window(remote, picture);
    remote.Form_Load();
    window.show();
    return app->exec();
}
