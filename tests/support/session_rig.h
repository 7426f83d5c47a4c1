#pragma once
// A session on the scripted device, as the tests of the live panel, the window, the transfers, the faults and
// scripting set it up, and every text the status box is given. Header only: the shared test library does not
// link the session.

#include "scripted_device.h"
#include "session/session.h"

#include <QSignalSpy>

namespace qv::test {

struct SessionRig {
    ScriptedDevice* dev = new ScriptedDevice;
    Session session{std::unique_ptr<D2xx>(dev)};
    QSignalSpy status{&session.panel(), &PanelModel::statusTextWritten};
    // The instrument's fixed pauses cut short, a transfer giving up after silenceMs of silence; with 0, the real
    // pauses and limits for a test that needs them.
    explicit SessionRig(int silenceMs)
    {
        if (silenceMs <= 0)
            return;
        session.screenFetch().silenceLimitMs = session.errorLog().silenceLimitMs = silenceMs;
        session.screenFetch().pauseBeforeBlocksMs = session.errorLog().startPauseMs = session.errorLog().recordPauseMs = 1;
        session.link().noResponsePauseMs = session.poll().absencePauseMs = 5;
    }
    PanelModel& panel() { return session.panel(); }
    QStringList messages() const
    {
        QStringList out;
        for (const auto& args : status)
            out << args.at(0).toString();
        return out;
    }
};

}  // namespace qv::test
