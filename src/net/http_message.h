#pragma once
// HTTP/1.1 requests and responses as plain values. The parser is a pure function over the bytes a client has
// sent so far, so that every limit and every path rule can be tested (and fuzzed) without a socket: the server
// itself only feeds it bytes and writes what comes back.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

namespace qv::net {

struct HttpLimits {
    qsizetype headerBytes = 8192;  // request line and headers together, with their line ends
    qsizetype bodyBytes = 4096;
};

struct HttpRequest {
    QByteArray method;
    QByteArray path;   // percent-decoded; never holds "." or ".." segments, a backslash, NUL or an encoded slash
    QByteArray query;  // as sent, without the '?'
    QList<QPair<QByteArray, QByteArray>> headers;  // names in lower case, values trimmed
    QByteArray body;
    bool keepAlive = true;

    QByteArray header(QByteArrayView lowerName) const;
    // One parameter of the query string, percent-decoded; empty when absent.
    QByteArray queryItem(QByteArrayView name) const;
};

struct ParseResult {
    enum class State { Incomplete, Complete, Error } state = State::Incomplete;
    int errorStatus = 0;     // with Error: the status to answer before closing
    qsizetype consumed = 0;  // with Complete: bytes of this request, so that a pipelined next one can follow
    // With Incomplete: the head is in and valid, and the client waits for "100 Continue" before sending the body.
    bool expectContinue = false;
    HttpRequest request;
};

ParseResult parseRequest(QByteArrayView data, const HttpLimits& limits = {});

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;  // beyond the ones every response carries
    bool close = false;                            // close the connection after it

    static HttpResponse json(int status, const QByteArray& body);
    // {"error": reason} with the status.
    static HttpResponse error(int status, const QString& reason);
};

const char* reasonPhrase(int status);
// Status line, the headers every answer carries (length, no caching, no sniffing), then the body. Without the
// body for HEAD: the length still says what GET would send.
QByteArray serialize(const HttpResponse& response, bool withBody = true);

}  // namespace qv::net
