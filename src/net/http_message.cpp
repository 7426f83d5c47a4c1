#include "net/http_message.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace qv::net {

using namespace Qt::StringLiterals;

namespace {
using State = ParseResult::State;

ParseResult failure(int status)
{
    ParseResult r;
    r.state = State::Error;
    r.errorStatus = status;
    return r;
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (!isTokenChar(c))
            return false;
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decoding that fails on malformed escapes instead of passing them through.
bool percentDecode(QByteArrayView in, QByteArray& out, bool plusIsSpace)
{
    out.clear();
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '%') {
            if (i + 2 >= in.size())
                return false;
            const int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out.append(char(hi * 16 + lo));
            i += 2;
        } else {
            out.append(plusIsSpace && c == '+' ? ' ' : c);
        }
    }
    return true;
}

// The routes are fixed names, never files; still, a path that tries to climb, to hide a slash or a NUL, or to
// use the other slash is refused outright rather than matched, so that no later change can turn it into one.
bool decodePath(QByteArrayView raw, QByteArray& path)
{
    if (raw.isEmpty() || raw[0] != '/')
        return false;
    for (char c : raw) {
        if (uchar(c) <= 0x20 || uchar(c) >= 0x7f || c == '\\' || c == '#')
            return false;
    }
    const QByteArray lower = raw.toByteArray().toLower();
    if (lower.contains("%2f") || lower.contains("%5c"))
        return false;
    if (!percentDecode(raw, path, false))
        return false;
    if (path.contains('\0') || path.contains('\\'))
        return false;
    for (const QByteArray& segment : path.split('/')) {
        if (segment == "." || segment == "..")
            return false;
    }
    return true;
}

bool parseRequestLine(QByteArrayView line, HttpRequest& req, int& status)
{
    status = 400;
    const qsizetype sp1 = line.indexOf(' ');
    const qsizetype sp2 = sp1 < 0 ? -1 : line.indexOf(' ', sp1 + 1);
    if (sp1 <= 0 || sp2 <= sp1 + 1 || line.indexOf(' ', sp2 + 1) >= 0)
        return false;
    const QByteArrayView method = line.first(sp1), target = line.sliced(sp1 + 1, sp2 - sp1 - 1),
                         version = line.sliced(sp2 + 1);
    if (!isToken(method))
        return false;
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        status = version.startsWith("HTTP/") ? 505 : 400;
        return false;
    }
    req.method = method.toByteArray();
    req.keepAlive = version == "HTTP/1.1";
    const qsizetype q = target.indexOf('?');
    if (!decodePath(q < 0 ? target : target.first(q), req.path))
        return false;
    req.query = q < 0 ? QByteArray() : target.sliced(q + 1).toByteArray();
    // A malformed escape is refused here once, rather than read as an absent parameter by each route.
    QByteArray decoded;
    return percentDecode(req.query, decoded, true);
}

bool parseHeaderLine(QByteArrayView line, HttpRequest& req)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon)))
        return false;  // also refuses folded continuation lines, which start with a blank
    const QByteArray value = line.sliced(colon + 1).toByteArray().trimmed();
    for (char c : value)
        if ((uchar(c) < 0x20 && c != '\t') || c == 0x7f)
            return false;
    req.headers.append({line.first(colon).toByteArray().toLower(), value});
    return true;
}
}  // namespace

QByteArray HttpRequest::header(QByteArrayView lowerName) const
{
    for (const auto& [name, value] : headers)
        if (name == lowerName)
            return value;
    return {};
}

QByteArray HttpRequest::queryItem(QByteArrayView name) const
{
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (QByteArrayView(pair).first(eq < 0 ? pair.size() : eq) != name)
            continue;
        QByteArray value;
        if (eq >= 0 && percentDecode(QByteArrayView(pair).sliced(eq + 1), value, true))
            return value;
        return {};
    }
    return {};
}

ParseResult parseRequest(QByteArrayView data, const HttpLimits& limits)
{
    // Blank lines before a request are allowed (a client may send one after a body).
    qsizetype start = 0;
    while (start + 1 < data.size() && data[start] == '\r' && data[start + 1] == '\n')
        start += 2;
    // A request line is printable ASCII: anything else is refused at once, not after the idle time-out. A CR as
    // the very last byte may be the first half of a line end whose LF is still on its way.
    const qsizetype firstLineEnd = data.indexOf("\r\n", start);
    qsizetype lineBytes = (firstLineEnd < 0 ? data.size() : firstLineEnd) - start;
    if (firstLineEnd < 0 && data.endsWith('\r'))
        --lineBytes;
    for (char c : data.sliced(start, lineBytes))
        if (uchar(c) < 0x20 || uchar(c) > 0x7e)
            return failure(400);
    const qsizetype end = data.indexOf("\r\n\r\n", start);
    if (end < 0)
        return data.size() - start >= limits.headerBytes ? failure(431) : ParseResult{};
    if (end + 4 - start > limits.headerBytes)
        return failure(431);

    ParseResult r;
    HttpRequest& req = r.request;
    qsizetype lineEnd = data.indexOf("\r\n", start);
    if (int status = 0; !parseRequestLine(data.sliced(start, lineEnd - start), req, status))
        return failure(status);
    const bool http11 = req.keepAlive;  // until the Connection header is read, it follows the version alone
    while (lineEnd < end) {
        const qsizetype from = lineEnd + 2;
        lineEnd = data.indexOf("\r\n", from);
        if (!parseHeaderLine(data.sliced(from, lineEnd - from), req))
            return failure(400);
    }

    // Two Hosts or two Transfer-Encodings (an empty one included) are read differently by different servers: a
    // proxy in front could see another request than this server does.
    for (QByteArrayView once : {"host", "transfer-encoding"}) {
        int seen = 0;
        for (const auto& header : std::as_const(req.headers))
            seen += header.first == once;
        if (seen > 1)
            return failure(400);
    }
    for (const auto& [name, value] : std::as_const(req.headers))
        if (name == "transfer-encoding")
            return failure(value.isEmpty() ? 400 : 501);  // bodies here are small and always carry a length
    qsizetype length = 0;
    int lengths = 0;
    for (const auto& [name, value] : req.headers) {
        if (name != "content-length")
            continue;
        bool ok = ++lengths == 1 && !value.isEmpty() && value.size() <= 9;
        for (char c : value)
            ok = ok && c >= '0' && c <= '9';
        if (!ok)
            return failure(400);
        length = value.toLongLong();
    }
    if (length > limits.bodyBytes)
        return failure(413);
    const qsizetype bodyStart = end + 4;
    if (data.size() - bodyStart < length) {
        ParseResult waiting;
        waiting.expectContinue = http11 && req.header("expect").toLower() == "100-continue";
        return waiting;
    }
    req.body = data.sliced(bodyStart, length).toByteArray();
    const QByteArray connection = req.header("connection").toLower();
    if (connection.contains("close"))
        req.keepAlive = false;
    else if (connection.contains("keep-alive"))
        req.keepAlive = true;
    r.state = State::Complete;
    r.consumed = bodyStart + length;
    return r;
}

HttpResponse HttpResponse::json(int status, const QByteArray& body)
{
    HttpResponse r;
    r.status = status;
    r.body = body;
    return r;
}

HttpResponse HttpResponse::error(int status, const QString& reason)
{
    return json(status, QJsonDocument(QJsonObject{{u"error"_s, reason}}).toJson(QJsonDocument::Compact) + '\n');
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Status";
    }
}

QByteArray serialize(const HttpResponse& r, bool withBody)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
    if (!r.contentType.isEmpty())
        out += "Content-Type: " + r.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    for (const auto& [name, value] : r.headers)
        out += name + ": " + value + "\r\n";
    if (r.close)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (withBody)
        out += r.body;
    return out;
}

}  // namespace qv::net
