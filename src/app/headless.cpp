#include "app/headless.h"

#include "app/remote.h"
#include "meters/level_bars.h"
#include "render/graticule_dispatch.h"
#include "render/pixel_decoder.h"
#include "sim/sim_screens.h"

#include <QFile>
#include <QTimer>

#include <cstdio>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kKnobHoldMs = 200;

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// The status box, on standard error: blanks the program writes to clear the box are left out.
void echoStatus(Remote& remote, bool* failureSeen = nullptr)
{
    QObject::connect(&remote.panel(), &PanelModel::statusTextWritten, &remote, [failureSeen](const QString& text) {
        if (text.trimmed().isEmpty())
            return;
        say(QString(text).replace(u"\r\n"_s, u"\n"_s));
        if (failureSeen)
            *failureSeen = true;
    });
}

const char* formatOf(const QString& file)
{
    return file.endsWith(u".png"_s, Qt::CaseInsensitive) ? "PNG" : "BMP";
}

bool save(const QImage& image, const QString& file)
{
    if (image.save(file, formatOf(file)))
        return true;
    say(u"qv7700-remote: cannot write %1"_s.arg(file));
    return false;
}
}  // namespace

bool savableName(const QString& file)
{
    return file.endsWith(u".png"_s, Qt::CaseInsensitive) || file.endsWith(u".bmp"_s, Qt::CaseInsensitive);
}

int runPresses(Remote& remote, const QStringList& names)
{
    bool failed = false;
    echoStatus(remote, &failed);  // the key handlers write the box only to report a failure
    for (const QString& name : names) {
        const auto named = FrontPanelKeys::byName(name);
        if (!named)
            return 2;
        if (named->key) {
            remote.keys().click(*named->key);
        } else {
            const int knob = named->knob;
            QTimer::singleShot(kKnobHoldMs, &remote, [&remote, knob] { remote.keys().knobUp(knob); });
            remote.keys().knobDown(knob);
        }
    }
    // The mode, channel and EYE keys restart the poll timer; a headless run makes no poll of its own.
    remote.timer3().stop();
    return failed ? 1 : 0;
}

int runCapture(Remote& remote, const QString& file)
{
    echoStatus(remote);
    remote.poll().Timer3_Timer();
    if (!remote.state().DeviceFound) {
        say(u"qv7700-remote: the QV7700 did not answer"_s);
        return 1;
    }
    if (!remote.panel().menuEnabled(Menu::Get1Frame)) {
        say(u"qv7700-remote: the QV7700 shows its picture page, which has no screen to capture"_s);
        return 1;
    }
    remote.screenFetch().mnuGet1Frame_Click();
    if (!save(remote.picture().image(), file))
        return 1;
    return remote.screenFetch().lastFetchClean() ? 0 : 1;
}

int runGetLog(Remote& remote, const QString& file)
{
    remote.errorLog().mnuGetLog_Click();
    if (!remote.errorLog().lastFetchNormal())
        say(QString(remote.panel().statusText()).replace(u"\r\n"_s, u"\n"_s));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(remote.panel().statusText().toLatin1()) < 0) {
        say(u"qv7700-remote: cannot write %1"_s.arg(file));
        return 1;
    }
    return remote.errorLog().lastFetchNormal() ? 0 : 1;
}

int runEraseLog(Remote& remote)
{
    remote.errorLog().mnuEraseLog_Click();
    say(QString(remote.panel().statusText()).replace(u"\r\n"_s, u"\n"_s).trimmed());
    return remote.errorLog().lastEraseClosed() ? 0 : 1;
}

int runRender(int code, const std::array<uint8_t, 4>& levels, bool signal, const QString& file)
{
    SharedState state;
    state.ReplyBuffer[0] = uint8_t(code);
    for (size_t i = 0; i < 4; ++i)
        state.ReplyBuffer[i + 1] = levels[i];
    state.SignalPresent = signal;
    ScreenPicture picture;
    DrawGraticule(picture.surface(), state, QDateTime::currentDateTime());
    if (signal) {
        DrawLevelBars(picture.surface(), state);
        // Pages without a graticule of their own show the logger page's text.
        const QImage screen = simScreen(code, hasGraticule(code) ? 1 : 5, 1);
        picture.surface().finish();
        for (int b = 0; b < kBlockCount; ++b) {
            const QByteArray block = packBlock(screen, b);
            decodeBlock(picture.surface().image(), b, reinterpret_cast<const uint8_t*>(block.constData()),
                        int(block.size()));
        }
    }
    return save(picture.image(), file) ? 0 : 1;
}

}  // namespace qv
