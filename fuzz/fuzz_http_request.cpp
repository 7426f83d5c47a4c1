// Any bytes a network client can send: request parsing with its limits, every pipelined request after the
// first, routing with the access rules, and the answer's serialisation. And the parser's promise to the server,
// which feeds it whatever each read brought: a request cut anywhere before its end is "incomplete", never an
// error, so that how TCP splits the bytes never changes the answer.

#include "net/api_routes.h"
#include "net/http_message.h"


using namespace qv::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const auto policy = [](bool openReading) {
        ServeAddress served;
        served.port = 8080;
        return AccessPolicy{"0123456789abcdef0123456789abcdef", openReading, HostCheck(served, {})};
    };
    static const AccessPolicy open = policy(true), closed = policy(false);
    const AccessPolicy& access = size % 2 ? closed : open;
    static const Snapshot snapshot = [] {
        Snapshot s;
        s.png = "not really a picture";
        s.pngTag = "1-2";
        s.logJson = "{}";
        s.journalTail.append({QDateTime::fromSecsSinceEpoch(1800000000), "{\"event\":\"x\"}"});
        return s;
    }();
    QByteArrayView rest(reinterpret_cast<const char*>(data), qsizetype(size));
    for (int n = 0; n < 64 && !rest.isEmpty(); ++n) {
        const ParseResult r = parseRequest(rest);
        // Cuts of the first request, if it is not an error: all of them up to 1 KB; past that, to keep this
        // quadratic check fast enough to fuzz, those next to a line end, the last few and a sample.
        if (n == 0 && r.state != ParseResult::State::Error) {
            const qsizetype end = r.state == ParseResult::State::Complete ? r.consumed : rest.size();
            for (qsizetype cut = 0; cut < end; ++cut) {
                const bool tried = cut < 1024 || cut % 97 == 0 || end - cut <= 8 || rest[cut - 1] == '\r' ||
                                   rest[cut - 1] == '\n';
                if (tried && parseRequest(rest.first(cut)).state != ParseResult::State::Incomplete)
                    __builtin_trap();
            }
        }
        if (r.state != ParseResult::State::Complete)
            break;
        if (r.consumed <= 0 || r.consumed > rest.size())
            __builtin_trap();  // the parser must always move forward within what it was given
        const RouteResult routed = route(r.request, snapshot, access);
        if (routed.response)
            (void)serialize(*routed.response);
        rest = rest.sliced(r.consumed);
    }
    return 0;
}
