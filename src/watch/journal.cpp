#include "watch/journal.h"

#include "session/instrument_status.h"
#include "watch/clock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

Journal::Journal(const QString& dir, Clock& clock) : dir_(dir), clock_(clock) {}

QString Journal::fileFor(const QDate& day) const
{
    return dir_ + u"/journal/"_s + day.toString(u"yyyy-MM-dd"_s) + u".jsonl"_s;
}

QByteArray Journal::formatLine(const QDateTime& t, const QString& event, const QJsonObject& fields)
{
    // "t" and "event" first, for people reading the file; the rest as Qt writes an object (keys sorted).
    QByteArray line = "{\"t\":\"" + isoTimestamp(t).toLatin1() + "\",\"event\":" +
                      QJsonDocument(QJsonObject{{u"e"_s, event}}).toJson(QJsonDocument::Compact).mid(5);
    line.chop(1);  // the closing brace of the one-key object
    const QByteArray rest = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    if (rest.size() > 2)
        line += ',' + rest.mid(1);
    else
        line += '}';
    return line;
}

void Journal::write(const QString& event, const QJsonObject& fields)
{
    const QDateTime t = clock_.now();
    Line line{t.date(), formatLine(t, event, fields)};
    if (onLine)
        onLine(line.text);
    drain();
    if (!held_.empty() || !writeLine(line))
        hold(std::move(line));
}

bool Journal::writeLine(const Line& line)
{
    if (fileDay_ != line.day || !file_.isOpen()) {
        fileDay_ = line.day;
        if (!file_.open(fileFor(line.day))) {
            fileDay_ = {};
            return false;
        }
    }
    return file_.append(line.text);
}

void Journal::hold(Line line)
{
    const bool began = !failing_;
    failing_ = true;
    if (heldBytes_ + line.text.size() > kHeldBytesLimit) {
        ++lost_;  // the oldest lines of the outage are kept: they tell how it began
    } else {
        heldBytes_ += line.text.size();
        held_.push_back(std::move(line));
    }
    if (!began)
        return;
    const QString why = file_.error();
    if (onProblem)
        onProblem(u"the journal cannot be written (%1); the watch goes on and writes it when it can"_s.arg(why));
    // The trouble itself goes into the journal too, in its place in time.
    const QDateTime t = clock_.now();
    Line error{t.date(), formatLine(t, u"error"_s, {{u"what"_s, u"journal not written: "_s + why}})};
    heldBytes_ += error.text.size();
    held_.push_back(std::move(error));
}

void Journal::drain()
{
    while (!held_.empty()) {
        if (!writeLine(held_.front()))
            return;
        heldBytes_ -= held_.front().text.size();
        held_.pop_front();
    }
    if (!failing_)
        return;
    failing_ = false;
    if (onProblem)
        onProblem(u"the journal is written again"_s);
    if (lost_ > 0) {
        const QDateTime t = clock_.now();
        const QString what = u"%1 journal lines lost: more than %2 MB waited for the disk"_s.arg(lost_).arg(kHeldBytesLimit >> 20);
        lost_ = 0;
        Line error{t.date(), formatLine(t, u"error"_s, {{u"what"_s, what}})};
        if (!writeLine(error))
            hold(std::move(error));
    }
}

void Journal::retry()
{
    if (!held_.empty())
        drain();
}

void Journal::close()
{
    drain();
    file_.close();
}

JournalResume resumeJournal(const QString& dir)
{
    QStringList files = QDir(dir + u"/journal"_s).entryList({u"*.jsonl"_s}, QDir::Files, QDir::Name);
    // Newest first, until a file holds a start or a stop: everything after the last one is replayed.
    QList<QJsonObject> lines;
    while (!files.isEmpty()) {
        const QDate day = QDate::fromString(files.takeLast().chopped(6), u"yyyy-MM-dd"_s);
        if (!day.isValid())
            continue;
        lines = readJournal(dir, day, day) + lines;
        const auto isEdge = [](const QJsonObject& l) {
            const QString e = l.value(u"event"_s).toString();
            return e == u"start" || e == u"stop";
        };
        if (std::any_of(lines.begin(), lines.end(), isEdge))
            break;
    }
    JournalResume r;
    qsizetype from = lines.size();
    while (from > 0 && lines[from - 1].value(u"event"_s) != u"start"_s && lines[from - 1].value(u"event"_s) != u"stop"_s)
        --from;
    const auto time = [](const QJsonValue& v) { return QDateTime::fromString(v.toString(), Qt::ISODateWithMs); };
    if (from > 0) {
        for (const QJsonValue& v : lines[from - 1].value(u"open"_s).toArray()) {
            const QJsonObject o = v.toObject();
            r.open.push_back({o.value(u"name"_s).toString(), o.value(u"id"_s).toString(), time(o.value(u"raised"_s)),
                              o.value(u"detail"_s).toString(), o.value(u"flapping"_s).toBool()});
        }
    }
    for (qsizetype i = from; i < lines.size(); ++i) {
        const QJsonObject& l = lines[i];
        if (l.value(u"event"_s) != u"alarm"_s)
            continue;
        const QString name = l.value(u"name"_s).toString(), state = l.value(u"state"_s).toString();
        std::erase_if(r.open, [&](const JournalResume::Open& o) { return o.name == name && state != u"acknowledged"; });
        if (state == u"raised")
            r.open.push_back({name, l.value(u"id"_s).toString(), time(l.value(u"t"_s)), l.value(u"detail"_s).toString(),
                              l.value(u"flapping"_s).toBool()});
    }
    if (!lines.isEmpty()) {
        r.lastLine = time(lines.last().value(u"t"_s));
        r.stopped = lines.last().value(u"event"_s) == u"stop"_s;
    }
    return r;
}

void forEachJournalLine(const QString& dir, const QDate& from, const QDate& to,
                        const std::function<void(const QJsonObject&)>& use, qsizetype* tooLong)
{
    // Read in pieces, so that a week of journal (or one absurd line of hundreds of megabytes) never has to fit
    // in memory at once.
    constexpr qint64 kPiece = 1 << 20;
    for (QDate day = from; day.isValid() && day <= to; day = day.addDays(1)) {
        QFile f(dir + u"/journal/"_s + day.toString(u"yyyy-MM-dd"_s) + u".jsonl"_s);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QByteArray pending;
        bool skipping = false;  // inside a line already known to be too long
        while (!f.atEnd()) {
            const QByteArray piece = f.read(kPiece);
            if (piece.isEmpty())
                break;
            qsizetype start = 0;
            for (qsizetype end = piece.indexOf('\n'); end >= 0; start = end + 1, end = piece.indexOf('\n', start)) {
                if (skipping || pending.size() + (end - start) > kLongestLine) {
                    if (tooLong)
                        ++*tooLong;
                } else {
                    pending.append(piece.constData() + start, end - start);
                    QJsonParseError error{};
                    const QJsonDocument doc = QJsonDocument::fromJson(pending, &error);
                    if (error.error == QJsonParseError::NoError && doc.isObject())
                        use(doc.object());
                }
                pending.clear();
                skipping = false;
            }
            if (!skipping) {
                pending.append(piece.constData() + start, piece.size() - start);
                if (pending.size() > kLongestLine) {
                    skipping = true;
                    pending.clear();
                }
            }
        }
        // What is left without its newline is a line cut off by a crash: not read.
    }
}

QList<QJsonObject> readJournal(const QString& dir, const QDate& from, const QDate& to, qsizetype* tooLong)
{
    QList<QJsonObject> out;
    forEachJournalLine(dir, from, to, [&](const QJsonObject& line) { out.append(line); }, tooLong);
    return out;
}

}  // namespace qv
