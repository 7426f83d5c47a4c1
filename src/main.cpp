// qv7700-remote: remote control for the Corvane QV7700 video and audio scope.

#include "cli/command_line.h"
#include "cli/headless.h"
#include "cli/stop_signals.h"
#include "gui/instrument_choice.h"
#include "gui/main_window.h"
#include "gui/network_dialog.h"
#include "session/session.h"
#include "gui/startup_probe.h"
#include "render/fonts.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QStringList argumentsOf(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

int runWindow(QApplication& app, const qv::Options& options)
{
    QString error;
    const std::unique_ptr<qv::Session> opened = qv::openSession(options, &error);
    if (!opened) {
        qv::say(u"qv7700-remote: "_s + error);
        return qv::exitcode::Usage;
    }
    qv::Session& session = *opened;
    qv::installFontSubstitutions();
    QGuiApplication::setFont(QFont(qv::kPanelFont, 8));
    if (options.serialNumber.isEmpty())
        qv::restoreInstrumentChoice(session);  // the window remembers the last instrument chosen
    qv::MainWindow window(session);
    session.start();
    qv::installStartupProbe(window, session);
    if (options.serve && !qv::serveFromWindow(&window, session, *options.serve))
        return qv::exitcode::Failed;
    window.show();
    // Logging out or a service manager's stop (SIGTERM) ends the window program as closing it would: a watch
    // running in it journals its stop rather than leaving a crash's silence behind.
    qv::quitOnStopSignals();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(u"qv7700-remote"_s);
    QCoreApplication::setOrganizationName(u"qv7700-remote"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QV_VERSION));
    // The command line is read before any application object exists: the headless modes must not need a display.
    const qv::ParsedCommandLine parsed = qv::parseCommandLine(argumentsOf(argc, argv));
    if (!parsed.options) {
        std::fputs(qPrintable(parsed.out), stdout);
        if (!parsed.error.isEmpty())
            qv::say(parsed.error);
        return parsed.exitCode;
    }
    const qv::Options& options = *parsed.options;
    if (options.headless()) {
        // Draw off screen unless the caller chose a platform.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return qv::runHeadless(options);
    }
    QApplication app(argc, argv);
    return runWindow(app, options);
}
