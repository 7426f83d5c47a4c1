// The watch's actions on the instrument and the disk: captures, log fetches and retention.

#include "session/session.h"
#include "logger/error_log.h"
#include "render/screen_fetch.h"
#include "render/screen_picture.h"
#include "state/panel_model.h"
#include "watch/clock.h"
#include "watch/watch.h"

#include <QDir>
#include <QFile>
#include <QSet>

namespace qv {

using namespace Qt::StringLiterals;

QString Watch::capturePath(const QDateTime& t, const QString& name) const
{
    const QString base = settings_.dir + u"/captures/"_s + t.toString(u"yyyy-MM-dd/HHmmss-"_s) + name;
    QString path = base + u".png"_s;
    // Two pictures of one kind in one second (a flapping alarm and a request) keep both.
    for (int n = 2; QFile::exists(path); ++n)
        path = base + u'-' + QString::number(n) + u".png"_s;
    return path;
}

void Watch::capture(Reason reason, std::optional<AlarmName> alarm)
{
    const QString what = reason == Reason::Alarm ? alarmNameText(*alarm) + u" alarm"_s : u"timed"_s;
    QString why;
    if (!present_.value_or(false))
        why = u"the instrument is absent"_s;
    else if (last_ && !last_->captureOffered)
        why = u"the instrument shows its PICTURE page, which has no screen to capture"_s;
    if (!why.isEmpty()) {
        error(u"%1 capture not taken: %2"_s.arg(what, why));
        if (alarm)
            runHook(*alarm, u"raised"_s, openEpisode(*alarm) ? openEpisode(*alarm)->detail : QString(),
                    clock_.now(), {});
        return;
    }
    pendingCaptures_.push_back({reason, alarm});
    if (pendingCaptures_.size() > 1)
        return;  // one picture serves every capture asked for before it is taken
    // From the event loop, not from inside the poll tick; the fetch itself waits for the device like a click.
    const char* label = reason == Reason::Alarm ? "alarm" : "timelapse";
    QTimer::singleShot(0, &session_.screenFetch(), [this, label] { session_.screenFetch().fetchWithoutWindow(label); });
}

void Watch::captureFinished()
{
    // The window can stop the watch while its capture is still under way: the picture is then the user's.
    if (!running_)
        pendingCaptures_.clear();
    if (pendingCaptures_.empty())
        return;  // the user's own "Get Screen", nothing the watch asked for
    const bool clean = session_.screenFetch().lastFetchClean();
    const QString failure = session_.panel().statusText().simplified();
    const QDateTime now = clock_.now();
    while (!pendingCaptures_.empty()) {
        const PendingCapture p = pendingCaptures_.front();
        pendingCaptures_.pop_front();
        static const char16_t* const reasons[] = {u"timed", u"alarm"};
        const QString reason = QString::fromUtf16(reasons[int(p.reason)]);
        QString file;
        if (!clean) {
            error(u"%1 capture failed: %2"_s.arg(reason, failure.isEmpty() ? u"the transfer failed"_s : failure));
        } else {
            const QString path = capturePath(now, p.alarm ? alarmNameText(*p.alarm) : reason);
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (savePicture(session_.picture().image(), path, "PNG")) {
                file = path;
                written_.insert(path, clock_.monotonicMs());
                QJsonObject fields{{u"file"_s, QDir(settings_.dir).relativeFilePath(path)}, {u"reason"_s, reason}};
                if (p.alarm)
                    fields.insert(u"alarm"_s, alarmNameText(*p.alarm));
                journal_.write(u"capture"_s, fields);
            } else {
                error(u"%1 capture not written: cannot write %2"_s.arg(reason, path));
            }
        }
        if (p.alarm) {
            AlarmEpisode* e = openEpisode(*p.alarm);
            if (e)
                e->capture = file;
            runHook(*p.alarm, u"raised"_s, e ? e->detail : QString(), e ? e->raised : now, file);
            emit alarmsChanged();
        }
    }
}

void Watch::logFinished()
{
    const FetchedLog log = collector_.log();
    collector_.start();
    if (!running_)
        return;  // stopped from the window: the journal is closed and the fetch is nobody's news
    const bool failed = !session_.errorLog().lastFetchNormal();
    // The erase also ends with finished() (and leaves the last fetch's outcome as it was): only a fetch brings
    // records, or fails.
    if (log.header.isEmpty() && log.records.isEmpty() && !log.complete && !(fetchingLog_ && failed))
        return;
    fetchingLog_ = false;
    const QDateTime now = clock_.now();
    if (failed) {
        error(u"error-log fetch failed: %1"_s.arg(session_.panel().statusText().split(u'\n').constLast().simplified()));
        return;
    }
    QStringList texts;
    for (const auto& r : log.records)
        texts.append(r.text);
    const bool baseline = !logKeeper_.hasBaseline();
    const LogDiff diff = logKeeper_.record(texts, now);
    if (diff.erased)
        journal_.write(u"log-erased"_s, {{u"records"_s, int(texts.size())}});
    // The records found by the first fetch into a new folder are history, not news: errorlog.txt has them.
    if (baseline)
        return;
    for (qsizetype i = diff.firstNew; i < texts.size(); ++i)
        journal_.write(u"log"_s, {{u"n"_s, log.records.at(i).n}, {u"text"_s, texts.at(i)}});
    newLogRecords_ += quint64(texts.size() - diff.firstNew);
    handle(rules_.logFetched(int(texts.size() - diff.firstNew), now, clock_.monotonicMs()));
}

void Watch::applyRetention(const QDateTime& now)
{
    const qint64 ms = clock_.monotonicMs();
    const qint64 keepMs = qint64(std::max(settings_.retention.keepDays, 1)) * 24 * 3600 * 1000;
    // Paths as retention lists them: a folder given as "DIR/" must not hide the watch's own files from it.
    QSet<QString> own{QDir::cleanPath(journal_.currentFile()), QDir::cleanPath(journal_.fileFor(now.date()))};
    for (auto it = written_.begin(); it != written_.end();) {
        if (ms - it.value() >= keepMs) {
            it = written_.erase(it);
        } else {
            own.insert(QDir::cleanPath(it.key()));
            ++it;
        }
    }
    const RetentionPlan plan = retentionPlan(watchFiles(settings_.dir), now.date(), settings_.retention, own);
    if (!plan.refused.isEmpty())
        error(plan.refused);
    for (const Deletion& d : plan.deletions) {
        if (!QFile::remove(d.path)) {
            error(u"retention could not delete %1"_s.arg(d.path));
            continue;
        }
        journal_.write(u"deleted"_s, {{u"file"_s, QDir(settings_.dir).relativeFilePath(d.path)}, {u"why"_s, d.why}});
        // An emptied day folder of captures goes too; rmdir leaves a folder that still holds anything.
        QDir().rmdir(QFileInfo(d.path).absolutePath());
    }
}

}  // namespace qv
