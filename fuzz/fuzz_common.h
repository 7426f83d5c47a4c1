#pragma once
// What every fuzz target needs: an application object (timers, the event loop, fonts) without a display.

#include "session/session.h"
#include "fuzz_device.h"

#include <QGuiApplication>

namespace qv::fuzz {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "qv-fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    }
}

// One remote control on a fuzzed instrument for the whole run, with the instrument's fixed pauses cut short:
// the fuzzer wants many runs a second, and the pauses change nothing in what the program does.
inline Session& fuzzRemote(FuzzDevice*& device)
{
    ensureApplication();
    static FuzzDevice* dev = new FuzzDevice;
    static Session* session = [] {
        auto* r = new Session(std::unique_ptr<D2xx>(dev));
        r->poll().absencePauseMs = 0;
        r->link().noResponsePauseMs = 0;
        r->screenFetch().pauseBeforeBlocksMs = 0;
        r->screenFetch().silenceLimitMs = 2;
        r->errorLog().startPauseMs = 0;
        r->errorLog().recordPauseMs = 0;
        r->errorLog().silenceLimitMs = 2;
        return r;
    }();
    device = dev;
    return *session;
}

}  // namespace qv::fuzz
