#pragma once
// Every path the server answers, as one function of the request, the current snapshot and the access rules.
// Reads are answered from the snapshot at once; a request that needs the instrument comes back as a command
// for the user-interface thread, whose answer arrives later. Nothing here touches a socket or the device, and the
// only files read are the watch's stored pictures, by names checked first (GET /api/captures/...).

#include "net/http_message.h"
#include "net/net_access.h"
#include "net/snapshot.h"

#include <QString>

#include <optional>

namespace qv::net {

enum class CommandKind { Press, KnobDown, KnobUp, Capture, LogFetch, Acknowledge };

struct NetCommand {
    CommandKind kind = CommandKind::Press;
    QString key;  // with Press, KnobDown, KnobUp: the key's --press name; with Acknowledge: the alarm's id
    // With Acknowledge: the operator's name and comment from the body, and the viewer's address.
    QString operatorName, comment, from;
    int instrument = -1;  // with several instruments served: the index of the one it is for
};

struct RouteResult {
    std::optional<HttpResponse> response;  // answered now
    std::optional<NetCommand> command;     // answered once the instrument has done it
    bool stream = false;                   // the live stream: headers now, events as they come
    bool live = false;                     // with stream: the live screen's stream rather than the view's
};

RouteResult route(const HttpRequest& request, const Snapshot& snapshot, const AccessPolicy& access);

// One of the page's own files (compiled in under :/web/), with the headers every page file carries; 404 when
// there is none by that name.
HttpResponse webFile(const char* name, const QByteArray& type);

// The head of the live stream's answer.
QByteArray eventStreamHead();
// The live stream's first event: the page's whole view.
QByteArray viewEvent(const Snapshot& snapshot);
// The events after it: what changed since the snapshot the viewer was sent last; empty when nothing it shows did.
QByteArray changeEvent(const Snapshot& before, const Snapshot& after);

// The live screen's stream (GET /api/live): on connecting, "live" with the interval (and "unavailable" when the
// instrument has no screen to show now); then "frame" with the URL and time of each new picture, and
// "unavailable" with the reason whenever the pictures stop coming.
QByteArray liveHelloEvents(const Snapshot& snapshot);
QByteArray liveFrameEvent(const Snapshot& snapshot);
QByteArray liveUnavailableEvent(const Snapshot& snapshot);

}  // namespace qv::net
