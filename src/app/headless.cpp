#include "app/headless.h"

#include "app/remote.h"

#include <QTimer>

#include <cstdio>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kKnobHoldMs = 200;
}

int runPresses(Remote& remote, const QStringList& names)
{
    bool failed = false;
    QObject::connect(&remote.panel(), &PanelModel::statusTextWritten, &remote, [&failed](const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        if (!text.trimmed().isEmpty())
            failed = true;  // the key handlers write the box only to report a failure
    });
    for (const QString& name : names) {
        const auto named = FrontPanelKeys::byName(name);
        if (!named)
            return 2;  // checked before starting; kept for safety
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

}  // namespace qv
