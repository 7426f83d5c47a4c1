#include "net/snapshot.h"

#include <QJsonDocument>
#include <QJsonObject>

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

QByteArray viewJson(const Snapshot& s)
{
    QJsonArray journal;
    for (const JournalLine& line : s.journalTail)
        journal.append(QJsonDocument::fromJson(line.json).object());
    QJsonObject screen;
    if (!s.png.isEmpty())
        screen = {{u"url"_s, u"/api/screen.png?v="_s + QString::fromLatin1(s.pngTag)}, {u"time"_s, isoTimestamp(s.pngTime)}};
    const QJsonObject view{
        {u"version"_s, QString::number(s.viewVersion)},
        {u"status"_s, toJson(s.status)},
        {u"box"_s, QJsonObject{{u"text"_s, s.statusBoxText}, {u"alert"_s, s.statusBoxAlert}}},
        {u"screen"_s, screen.isEmpty() ? QJsonValue() : QJsonValue(screen)},
        {u"log"_s, QJsonArray::fromStringList(s.logLines)},
        {u"alarms"_s, s.alarms},
        {u"journal"_s, journal},
    };
    return QJsonDocument(view).toJson(QJsonDocument::Compact);
}

}  // namespace qv::net
