#include "net/api_routes.h"

#include "session/front_panel_keys.h"
#include "net/metrics.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qv::net {

using namespace Qt::StringLiterals;

namespace {
enum class Method { Get, Post };

struct RouteEntry {
    QByteArrayView path;  // a prefix when it ends in '/'
    Method method;
    RouteResult (*handle)(const HttpRequest&, const Snapshot&);
};

QByteArray compact(const QJsonDocument& doc) { return doc.toJson(QJsonDocument::Compact) + '\n'; }

RouteResult now(HttpResponse r) { return {std::move(r), std::nullopt, false}; }
RouteResult later(CommandKind kind, const QString& key = {}) { return {std::nullopt, NetCommand{kind, key, {}, {}, {}}, false}; }

RouteResult resource(const char* name, const QByteArray& type) { return now(webFile(name, type)); }

RouteResult page(const HttpRequest&, const Snapshot&) { return resource("index.html", "text/html; charset=utf-8"); }
RouteResult script(const HttpRequest&, const Snapshot&) { return resource("app.js", "text/javascript; charset=utf-8"); }
RouteResult style(const HttpRequest&, const Snapshot&) { return resource("style.css", "text/css; charset=utf-8"); }
RouteResult icon(const HttpRequest&, const Snapshot&) { return resource("favicon.png", "image/png"); }
RouteResult openapi(const HttpRequest&, const Snapshot&) { return resource("openapi.json", "application/json"); }
RouteResult liveScript(const HttpRequest&, const Snapshot&) { return resource("live.js", "text/javascript; charset=utf-8"); }
RouteResult liveStyle(const HttpRequest&, const Snapshot&) { return resource("live.css", "text/css; charset=utf-8"); }

RouteResult status(const HttpRequest&, const Snapshot& s) { return now(HttpResponse::json(200, compact(QJsonDocument(toJson(s.status))))); }

RouteResult screen(const HttpRequest& req, const Snapshot& s)
{
    if (s.png.isEmpty())
        return now(HttpResponse::error(404, u"no screen captured yet"_s));
    const QByteArray tag = '"' + s.pngTag + '"';
    HttpResponse r;
    r.headers = {{"ETag", tag}, {"Last-Modified", s.pngTime.toUTC().toString(Qt::RFC2822Date).toLatin1()}};
    if (req.header("if-none-match") == tag) {
        r.status = 304;
        r.contentType.clear();
        return now(r);
    }
    r.contentType = "image/png";
    r.body = s.png;
    return now(r);
}

RouteResult log(const HttpRequest&, const Snapshot& s)
{
    if (s.logJson.isEmpty())
        return now(HttpResponse::error(404, u"no log fetched yet"_s));
    return now(HttpResponse::json(200, s.logJson));
}

RouteResult alarms(const HttpRequest&, const Snapshot& s) { return now(HttpResponse::json(200, compact(QJsonDocument(s.alarms)))); }

RouteResult journal(const HttpRequest& req, const Snapshot& s)
{
    QDateTime since;
    const QByteArray sinceText = req.queryItem("since");
    if (!sinceText.isEmpty()) {
        since = QDateTime::fromString(QString::fromUtf8(sinceText), Qt::ISODateWithMs);
        if (!since.isValid())
            return now(HttpResponse::error(400, u"since: not an ISO 8601 time"_s));
    }
    QJsonArray lines;
    for (const JournalLine& line : s.journalTail)
        if (!since.isValid() || line.time > since)
            lines.append(journalRecord(line));
    return now(HttpResponse::json(200, compact(QJsonDocument(lines))));
}

// /api/captures/DAY/FILE: a picture the watch stored, by the name the watch gave it and nothing else (the one
// place where the server reads a file). A name is checked before it touches the file system, and the file must
// really lie in the captures folder: a symbolic link planted there that leads elsewhere is not followed.
RouteResult storedCapture(const HttpRequest& req, const Snapshot& s)
{
    const QString name = QString::fromUtf8(req.path.sliced(qsizetype(sizeof "/api/captures/") - 1));
    if (s.capturesDir.isEmpty() || !isCaptureName(name))
        return now(HttpResponse::error(404, u"no capture by that name"_s));
    const QString folder = QFileInfo(s.capturesDir).canonicalFilePath();
    const QFileInfo info(s.capturesDir + u'/' + name);
    constexpr qint64 kMaxPicture = 16 << 20;
    if (folder.isEmpty() || info.isSymLink() || !info.isFile() || info.size() > kMaxPicture ||
        !info.canonicalFilePath().startsWith(folder + u'/'))
        return now(HttpResponse::error(404, u"no capture by that name"_s));
    QFile file(info.canonicalFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return now(HttpResponse::error(404, u"no capture by that name"_s));
    HttpResponse r;
    r.contentType = "image/png";
    r.body = file.read(kMaxPicture);
    // A stored picture never changes under its name.
    r.headers = {{"Cache-Control", "private, max-age=86400, immutable"}};
    return now(r);
}

RouteResult events(const HttpRequest&, const Snapshot&) { return {std::nullopt, std::nullopt, true}; }
// While at least one viewer holds this stream open, the screen is copied every interval.
RouteResult live(const HttpRequest&, const Snapshot&) { return {std::nullopt, std::nullopt, true, true}; }

RouteResult metrics(const HttpRequest&, const Snapshot& s)
{
    HttpResponse r;
    r.contentType = "text/plain; version=0.0.4; charset=utf-8";
    r.body = metricsText(s);
    return now(r);
}

RouteResult capture(const HttpRequest&, const Snapshot&) { return later(CommandKind::Capture); }
RouteResult logFetch(const HttpRequest&, const Snapshot&) { return later(CommandKind::LogFetch); }

QString lastSegment(const HttpRequest& req) { return QString::fromUtf8(req.path.sliced(req.path.lastIndexOf('/') + 1)); }

RouteResult press(const HttpRequest& req, const Snapshot&)
{
    const QString name = lastSegment(req);
    if (!controlByName(name))
        return now(HttpResponse::error(404, u"no key named \"%1\""_s.arg(name)));
    return later(CommandKind::Press, name);
}

// /api/knob/NAME/down and /api/knob/NAME/up: a knob held for as long as the viewer holds it.
RouteResult knob(const HttpRequest& req, const Snapshot&)
{
    const QList<QByteArray> parts = req.path.split('/');  // "", "api", "knob", NAME, down|up
    const QString name = parts.size() == 5 ? QString::fromUtf8(parts[3]) : QString();
    const auto named = controlByName(name);
    if (!named || named->key || (parts[4] != "down" && parts[4] != "up"))
        return now(HttpResponse::error(404, u"no knob at %1"_s.arg(QString::fromUtf8(req.path))));
    return later(parts[4] == "down" ? CommandKind::KnobDown : CommandKind::KnobUp, name);
}

// /api/alarms/ID/ack with {"operator": NAME, "comment": TEXT}: an alarm episode seen by someone.
RouteResult acknowledge(const HttpRequest& req, const Snapshot&)
{
    const QList<QByteArray> parts = req.path.split('/');  // "", "api", "alarms", ID, "ack"
    if (parts.size() != 5 || parts[4] != "ack" || parts[3].isEmpty())
        return now(HttpResponse::error(404, u"not found"_s));
    QJsonParseError error;
    const QJsonDocument body = QJsonDocument::fromJson(req.body.isEmpty() ? "{}" : req.body, &error);
    const QJsonValue op = body.object().value(u"operator"_s), comment = body.object().value(u"comment"_s);
    if (error.error != QJsonParseError::NoError || !body.isObject() || !(op.isString() || op.isUndefined()) ||
        !(comment.isString() || comment.isUndefined()))
        return now(HttpResponse::error(400, u"the body is {\"operator\": NAME, \"comment\": TEXT}"_s));
    constexpr qsizetype kNameMax = 64, kCommentMax = 1000;
    if (op.toString().size() > kNameMax || comment.toString().size() > kCommentMax)
        return now(HttpResponse::error(400, u"the operator's name takes at most 64 characters, the comment 1000"_s));
    RouteResult r = later(CommandKind::Acknowledge, QString::fromUtf8(parts[3]));
    r.command->operatorName = op.toString().simplified();
    r.command->comment = comment.toString().trimmed();
    return r;
}

constexpr RouteEntry kRoutes[] = {
    {"/", Method::Get, page},
    {"/index.html", Method::Get, page},
    {"/app.js", Method::Get, script},
    {"/style.css", Method::Get, style},
    {"/favicon.ico", Method::Get, icon},
    {"/favicon.png", Method::Get, icon},
    {"/api/openapi.json", Method::Get, openapi},
    {"/api/status", Method::Get, status},
    {"/api/screen.png", Method::Get, screen},
    {"/api/log", Method::Get, log},
    {"/api/alarms", Method::Get, alarms},
    {"/api/journal", Method::Get, journal},
    {"/api/captures/", Method::Get, storedCapture},
    {"/api/events", Method::Get, events},
    {"/api/live", Method::Get, live},
    {"/live.js", Method::Get, liveScript},
    {"/live.css", Method::Get, liveStyle},
    {"/metrics", Method::Get, metrics},
    {"/api/capture", Method::Post, capture},
    {"/api/log/fetch", Method::Post, logFetch},
    {"/api/press/", Method::Post, press},
    {"/api/knob/", Method::Post, knob},
    {"/api/alarms/", Method::Post, acknowledge},
};

bool matches(QByteArrayView pattern, const QByteArray& path)
{
    if (pattern.size() > 1 && pattern.endsWith('/'))
        return path.startsWith(pattern) && path.size() > pattern.size();
    return path == pattern;
}

HttpResponse unauthorized()
{
    HttpResponse r = HttpResponse::error(401, u"this needs the token: Authorization: Bearer TOKEN"_s);
    r.headers.emplaceBack("WWW-Authenticate", "Bearer realm=\"qv7700-remote\"");
    return r;
}
}  // namespace

// The page's own files, compiled into the program: there is no file system behind any path.
HttpResponse webFile(const char* name, const QByteArray& type)
{
    QFile file(u":/web/"_s + QLatin1StringView(name));
    if (!file.open(QIODevice::ReadOnly))
        return HttpResponse::error(404, u"not found"_s);
    HttpResponse r;
    r.contentType = type;
    r.body = file.readAll();
    // Only the program's own scripts, styles and pictures; nothing from elsewhere, no framing by other sites.
    r.headers = {{"Content-Security-Policy", "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'"},
                 {"Referrer-Policy", "no-referrer"}};
    return r;
}

RouteResult route(const HttpRequest& req, const Snapshot& snapshot, const AccessPolicy& access)
{
    if (!access.hosts.allowed(req.header("host")))
        return now(HttpResponse::error(403, u"this server is not reached by that host name"_s));
    const RouteEntry* found = nullptr;
    QByteArrayList allowed;
    for (const RouteEntry& e : kRoutes) {
        if (!matches(e.path, req.path))
            continue;
        // HEAD is GET without the body: the server leaves the body out when it writes the answer.
        const bool get = e.method == Method::Get;
        allowed.append(get ? "GET, HEAD" : "POST");
        if (req.method == (get ? "GET" : "POST") || (get && req.method == "HEAD"))
            found = &e;
    }
    if (allowed.isEmpty())
        return now(HttpResponse::error(404, u"not found"_s));
    if (!found) {
        HttpResponse r = HttpResponse::error(405, u"method not allowed"_s);
        r.headers.emplaceBack("Allow", allowed.join(", "));
        return now(r);
    }
    const bool authorized = bearerMatches(req.header("authorization"), access.token);
    if (!authorized && (found->method == Method::Post || !access.openReading))
        return now(unauthorized());
    return found->handle(req, snapshot);
}

QByteArray eventStreamHead()
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
           "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
}

QByteArray viewEvent(const Snapshot& snapshot) { return "event: view\ndata: " + viewJson(snapshot) + "\n\n"; }

QByteArray changeEvent(const Snapshot& before, const Snapshot& after)
{
    const QByteArray change = changeJson(before, after);
    return change.isEmpty() ? QByteArray() : "event: change\ndata: " + change + "\n\n";
}

QByteArray liveHelloEvents(const Snapshot& s)
{
    const QJsonObject hello{{u"interval"_s, double(s.liveIntervalMs) / 1000.0}};
    QByteArray events = "event: live\ndata: " + QJsonDocument(hello).toJson(QJsonDocument::Compact) + "\n\n";
    if (!s.liveUnavailable.isEmpty())
        events += liveUnavailableEvent(s);
    return events;
}

QByteArray liveFrameEvent(const Snapshot& s)
{
    // The frame's number in the URL keeps every browser cache from answering with an earlier picture.
    const QJsonObject frame{{u"frame"_s, double(s.pngFrame)},
                            {u"url"_s, u"/api/screen.png?frame=%1"_s.arg(s.pngFrame)},
                            {u"time"_s, isoTimestamp(s.pngTime)}};
    return "event: frame\ndata: " + QJsonDocument(frame).toJson(QJsonDocument::Compact) + "\n\n";
}

QByteArray liveUnavailableEvent(const Snapshot& s)
{
    const QJsonObject why{{u"kind"_s, s.liveUnavailableKind}, {u"reason"_s, s.liveUnavailable}};
    return "event: unavailable\ndata: " + QJsonDocument(why).toJson(QJsonDocument::Compact) + "\n\n";
}

}  // namespace qv::net
