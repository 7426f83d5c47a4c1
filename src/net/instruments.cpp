#include "net/instruments.h"

#include "net/metrics.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace qv::net {

using namespace Qt::StringLiterals;

namespace {
// Taken as the program is loaded: the start time of the process, also before any instrument is found.
const qint64 kLoadedMs = QDateTime::currentMSecsSinceEpoch();

QByteArray compact(const QJsonValue& v)
{
    return (v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject())).toJson(QJsonDocument::Compact) + '\n';
}

RouteResult now(HttpResponse r) { return {std::move(r), std::nullopt, false}; }

// A per-instrument path asked at the top: which instrument is meant cannot be guessed.
HttpResponse chooseOne(const InstrumentDirectory& directory)
{
    const QStringList ids = directory.ids();
    QJsonArray paths;
    for (const QString& id : ids)
        paths.append(u"/i/"_s + id + u'/');
    return HttpResponse::json(409, compact(QJsonObject{
        {u"error"_s, u"this program serves several instruments: choose one under /i/ID/"_s},
        {u"kind"_s, u"several-instruments"_s},
        {u"instruments"_s, QJsonArray::fromStringList(ids)},
        {u"paths"_s, paths}}));
}

QJsonArray activeAlarms(const QJsonArray& alarms)
{
    QJsonArray out;
    for (const QJsonValue& a : alarms)
        if (a.toObject().value(u"active"_s).toBool())
            out.append(a.toObject().value(u"name"_s));
    return out;
}

// Families written once for the whole process, without the instrument label.
bool processFamily(const QByteArray& name) { return name.startsWith("process_") || name == "qv7700_build_info"; }

QByteArray withInstrumentLabel(const QByteArray& sample, const QByteArray& label)
{
    const qsizetype brace = sample.indexOf('{'), space = sample.indexOf(' ');
    if (brace >= 0 && (space < 0 || brace < space))
        return sample.left(brace + 1) + label + ',' + sample.mid(brace + 1);
    return sample.left(space) + '{' + label + '}' + sample.mid(space);
}
}  // namespace

int InstrumentDirectory::add(const QString& id, const QString& device)
{
    int index = 0;
    {
        QMutexLocker lock(&mutex_);
        instruments_.append({id, device, std::make_shared<SnapshotStore>()});
        index = int(instruments_.size() - 1);
    }
    emit added(index);
    return index;
}

QList<ServedInstrument> InstrumentDirectory::list() const
{
    QMutexLocker lock(&mutex_);
    return instruments_;
}

int InstrumentDirectory::indexOf(const QString& id) const
{
    QMutexLocker lock(&mutex_);
    for (qsizetype i = 0; i < instruments_.size(); ++i)
        if (instruments_.at(i).id == id)
            return int(i);
    return -1;
}

std::shared_ptr<SnapshotStore> InstrumentDirectory::store(int index) const
{
    QMutexLocker lock(&mutex_);
    return index >= 0 && index < instruments_.size() ? instruments_.at(index).store : nullptr;
}

QStringList InstrumentDirectory::ids() const
{
    QMutexLocker lock(&mutex_);
    QStringList out;
    for (const ServedInstrument& i : instruments_)
        out.append(i.id);
    return out;
}

QByteArray instrumentsJson(const InstrumentDirectory& directory)
{
    QJsonArray out;
    for (const ServedInstrument& i : directory.list()) {
        const SnapshotPtr s = i.store->current();
        const QJsonObject status = toJson(s->status);
        const QString base = u"i/"_s + i.id + u'/';
        out.append(QJsonObject{
            {u"id"_s, i.id},
            {u"device"_s, i.device},
            {u"serial"_s, status.value(u"serial"_s)},
            {u"present"_s, s->status.present},
            {u"mode"_s, status.value(u"mode"_s)},
            {u"signal"_s, status.value(u"signal"_s)},
            {u"lamps"_s, status.value(u"lamps"_s)},
            {u"alarms"_s, activeAlarms(s->alarms)},
            {u"live"_s, s->live},
            {u"polls"_s, qint64(s->polls)},
            {u"time"_s, status.value(u"time"_s)},
            {u"url"_s, base},
            {u"screen"_s, s->png.isEmpty() ? QJsonValue()
                                           : QJsonValue(base + u"api/screen.png?v="_s + QString::fromLatin1(s->pngTag))},
        });
    }
    return compact(out);
}

QByteArray instrumentsMetricsText(const InstrumentDirectory& directory)
{
    struct Family {
        QByteArray head;  // its HELP and TYPE lines
        QByteArray samples;
    };
    QList<QByteArray> order;
    std::map<QByteArray, Family> families;
    const auto familyOf = [&](const QByteArray& name) -> Family& {
        if (!families.count(name))
            order.append(name);
        return families[name];
    };
    const QList<ServedInstrument> instruments = directory.list();
    for (const ServedInstrument& i : instruments) {
        const QByteArray label = "instrument=\"" + labelValue(i.id) + '"';
        const QByteArray text = metricsText(*i.store->current());
        QByteArray current;
        for (const QByteArray& line : text.split('\n')) {
            if (line.isEmpty())
                continue;
            if (line.startsWith("# ")) {
                const QList<QByteArray> words = line.split(' ');  // "#", HELP|TYPE, name, ...
                current = words.value(2);
                Family& f = familyOf(current);
                if (!f.head.contains("# " + words.value(1) + ' '))
                    f.head += line + '\n';
                continue;
            }
            Family& f = familyOf(current);
            if (processFamily(current)) {
                if (f.samples.isEmpty())
                    f.samples = line + '\n';
            } else {
                f.samples += withInstrumentLabel(line, label) + '\n';
            }
        }
    }
    if (instruments.isEmpty()) {
        // None found yet (--all with nothing plugged in): the process is there all the same.
        Snapshot s;
        s.version = QStringLiteral(QV_VERSION);
        s.startTimeSeconds = double(kLoadedMs) / 1000.0;
        const QByteArray text = metricsText(s);
        QByteArray current;
        for (const QByteArray& line : text.split('\n')) {
            if (line.startsWith("# "))
                current = line.split(' ').value(2);
            if (!line.isEmpty() && processFamily(current)) {
                Family& f = familyOf(current);
                (line.startsWith("# ") ? f.head : f.samples) += line + '\n';
            }
        }
    }
    QByteArray out;
    for (const QByteArray& name : std::as_const(order))
        out += families[name].head + families[name].samples;
    return out;
}

InstrumentRouteResult routeInstruments(const HttpRequest& req, const InstrumentDirectory& directory,
                                       const AccessPolicy& access)
{
    InstrumentRouteResult r;
    if (!access.hosts.allowed(req.header("host"))) {
        r.result = now(HttpResponse::error(403, u"this server is not reached by that host name"_s));
        return r;
    }
    if (req.path.startsWith("/i/")) {
        const qsizetype slash = req.path.indexOf('/', 3);
        const QString id = QString::fromUtf8(req.path.mid(3, slash < 0 ? -1 : slash - 3));
        const int index = directory.indexOf(id);
        if (index < 0) {
            HttpResponse e = HttpResponse::json(404, compact(QJsonObject{
                {u"error"_s, u"no instrument %1"_s.arg(id)}, {u"instruments"_s, QJsonArray::fromStringList(directory.ids())}}));
            r.result = now(e);
            return r;
        }
        if (slash < 0) {
            // The page's own paths are relative to its folder: /i/ID is sent to /i/ID/.
            HttpResponse moved;
            moved.status = 301;
            moved.contentType.clear();
            moved.headers = {{"Location", req.path.mid(req.path.lastIndexOf('/') + 1) + '/'}};
            r.result = now(moved);
            return r;
        }
        HttpRequest inner = req;
        inner.path = req.path.mid(slash);
        r.instrument = index;
        r.snapshot = directory.store(index)->current();
        r.result = route(inner, *r.snapshot, access);
        return r;
    }
    const bool read = req.method == "GET" || req.method == "HEAD";
    const auto readOnly = [&](HttpResponse answer) {
        if (!read) {
            HttpResponse e = HttpResponse::error(405, u"method not allowed"_s);
            e.headers.emplaceBack("Allow", "GET, HEAD");
            return now(e);
        }
        if (!access.openReading && !bearerMatches(req.header("authorization"), access.token)) {
            HttpResponse e = HttpResponse::error(401, u"this needs the token: Authorization: Bearer TOKEN"_s);
            e.headers.emplaceBack("WWW-Authenticate", "Bearer realm=\"qv7700-remote\"");
            return now(e);
        }
        return now(std::move(answer));
    };
    if (req.path == "/" || req.path == "/index.html") {
        r.result = readOnly(webFile("overview.html", "text/html; charset=utf-8"));
    } else if (req.path == "/overview.js") {
        r.result = readOnly(webFile("overview.js", "text/javascript; charset=utf-8"));
    } else if (req.path == "/api/instruments") {
        r.result = readOnly(HttpResponse::json(200, instrumentsJson(directory)));
    } else if (req.path == "/metrics") {
        HttpResponse m;
        m.contentType = "text/plain; version=0.0.4; charset=utf-8";
        m.body = instrumentsMetricsText(directory);
        r.result = readOnly(m);
    } else {
        // The page's style is shared; every other path of one instrument's API is asked at the wrong level.
        const RouteResult single = route(req, Snapshot{}, access);
        if (req.path == "/style.css" || (single.response && (single.response->status == 404 || single.response->status == 405)))
            r.result = single;
        else
            r.result = now(chooseOne(directory));
    }
    return r;
}

}  // namespace qv::net
