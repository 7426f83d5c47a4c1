#include "net/snapshot.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace qv::net {

using namespace Qt::StringLiterals;

void DurationHistogram::add(double seconds)
{
    for (size_t i = 0; i < kBounds.size(); ++i)
        if (seconds <= kBounds[i])
            ++buckets[i];
    ++count;
    sum += seconds;
}

SnapshotStore::SnapshotStore() : current_(std::make_shared<const Snapshot>()) {}

void SnapshotStore::publish(SnapshotPtr snapshot)
{
    quint64 before = 0;
    const quint64 after = snapshot->viewVersion;
    {
        QMutexLocker lock(&mutex_);
        before = current_->viewVersion;
        current_ = std::move(snapshot);
    }
    if (after != before)
        emit viewChanged(after);
}

SnapshotPtr SnapshotStore::current() const
{
    QMutexLocker lock(&mutex_);
    return current_;
}

bool isCaptureName(QStringView name)
{
    // Exactly the names Watch::capturePath() gives: a day's folder and a picture in it, nothing else; no dots
    // but the extension's, no second slash, so no path can leave the captures folder.
    static const QRegularExpression pattern(u"^\\d{4}-\\d{2}-\\d{2}/\\d{6}-[a-z][a-z0-9]{0,31}(-\\d{1,4})?\\.png$"_s);
    return pattern.match(name).hasMatch();
}

QString captureUrl(const QString& relative)
{
    static const QString folder = u"captures/"_s;
    if (!relative.startsWith(folder) || !isCaptureName(QStringView(relative).sliced(folder.size())))
        return {};
    return u"/api/"_s + relative;
}

QJsonObject journalRecord(const JournalLine& line)
{
    QJsonObject record = QJsonDocument::fromJson(line.json).object();
    if (record.value(u"event"_s).toString() == u"capture"_s) {
        const QString url = captureUrl(record.value(u"file"_s).toString());
        record.insert(u"url"_s, url.isEmpty() ? QJsonValue() : QJsonValue(url));
    }
    return record;
}

namespace {
QJsonValue screenJson(const Snapshot& s)
{
    if (s.png.isEmpty())
        return {};
    return QJsonObject{{u"url"_s, u"/api/screen.png?v="_s + QString::fromLatin1(s.pngTag)}, {u"time"_s, isoTimestamp(s.pngTime)}};
}

QJsonObject boxJson(const Snapshot& s) { return {{u"text"_s, s.statusBoxText}, {u"alert"_s, s.statusBoxAlert}}; }
}  // namespace

QByteArray viewJson(const Snapshot& s)
{
    QJsonArray journal;
    for (qsizetype i = std::max<qsizetype>(0, s.journalTail.size() - kViewJournalLines); i < s.journalTail.size(); ++i)
        journal.append(journalRecord(s.journalTail[i]));
    const QJsonObject view{
        {u"version"_s, QString::number(s.viewVersion)},
        {u"status"_s, toJson(s.status)},
        {u"box"_s, boxJson(s)},
        {u"screen"_s, screenJson(s)},
        {u"log"_s, QJsonArray::fromStringList(s.logLines)},
        {u"alarms"_s, s.alarms},
        {u"journal"_s, journal},
    };
    return QJsonDocument(view).toJson(QJsonDocument::Compact);
}

QByteArray changeJson(const Snapshot& before, const Snapshot& after)
{
    QJsonObject change;
    if (!after.status.sameStateAs(before.status))
        change.insert(u"status"_s, toJson(after.status));
    if (after.statusBoxText != before.statusBoxText || after.statusBoxAlert != before.statusBoxAlert)
        change.insert(u"box"_s, boxJson(after));
    if (after.pngTag != before.pngTag)
        change.insert(u"screen"_s, screenJson(after));
    if (after.logLines != before.logLines)
        change.insert(u"log"_s, QJsonArray::fromStringList(after.logLines));
    if (after.alarms != before.alarms)
        change.insert(u"alarms"_s, after.alarms);
    const quint64 seen = before.journalTail.isEmpty() ? 0 : before.journalTail.constLast().seq;
    QJsonArray journal;
    // A viewer that fell far behind (or a watch that just attached) gets the lines a first view would show.
    for (qsizetype i = std::max<qsizetype>(0, after.journalTail.size() - kViewJournalLines); i < after.journalTail.size(); ++i)
        if (after.journalTail[i].seq > seen)
            journal.append(journalRecord(after.journalTail[i]));
    if (!journal.isEmpty())
        change.insert(u"journal"_s, journal);
    if (change.isEmpty())
        return {};
    change.insert(u"version"_s, QString::number(after.viewVersion));
    return QJsonDocument(change).toJson(QJsonDocument::Compact);
}

}  // namespace qv::net
