#include "watch/retention.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

QList<WatchFile> watchFiles(const QString& dir)
{
    static const QRegularExpression journalName(u"^(\\d{4}-\\d{2}-\\d{2})\\.jsonl$"_s);
    static const QRegularExpression dayName(u"^\\d{4}-\\d{2}-\\d{2}$"_s);
    static const QRegularExpression captureName(u"^(\\d{6})-[a-z]+(-\\d+)?\\.png$"_s);
    QList<WatchFile> out;
    const auto day = [](const QString& text) { return QDate::fromString(text, u"yyyy-MM-dd"_s); };
    const QDir journal(dir + u"/journal"_s);
    for (const QFileInfo& f : journal.entryInfoList(QDir::Files | QDir::NoSymLinks)) {
        const auto m = journalName.match(f.fileName());
        if (m.hasMatch() && day(m.captured(1)).isValid())
            out.append({QDir::cleanPath(f.filePath()), day(m.captured(1)), m.captured(1) + u"-999999"_s, f.size(),
                        false});
    }
    const QDir captures(dir + u"/captures"_s);
    for (const QString& folder : captures.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        if (!dayName.match(folder).hasMatch() || !day(folder).isValid())
            continue;
        for (const QFileInfo& f : QDir(captures.filePath(folder)).entryInfoList(QDir::Files | QDir::NoSymLinks)) {
            const auto m = captureName.match(f.fileName());
            if (m.hasMatch())
                out.append({QDir::cleanPath(f.filePath()), day(folder), folder + u'-' + m.captured(1), f.size(), true});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const WatchFile& a, const WatchFile& b) { return a.sortKey < b.sortKey; });
    return out;
}

RetentionPlan retentionPlan(const QList<WatchFile>& files, const QDate& today, const RetentionLimits& limits,
                            const QSet<QString>& own)
{
    RetentionPlan plan;
    QDate newest;
    for (const WatchFile& f : files)
        newest = std::max(newest, f.day);
    qint64 total = 0;
    // Today's journal is never old: keep-days counts whole days before today.
    const QDate oldestKept = today.addDays(-std::max(limits.keepDays, 1) + 1);
    QList<const WatchFile*> bySize;
    for (const WatchFile& f : files) {
        if (f.day < oldestKept && f.day != newest && !own.contains(f.path)) {
            plan.deletions.append({f.path, u"older than %1 days"_s.arg(limits.keepDays)});
            continue;
        }
        total += f.size;
        if (f.capture && f.day != newest)
            bySize.append(&f);
    }
    for (const WatchFile* f : bySize) {
        if (total <= limits.keepBytes)
            break;
        plan.deletions.append({f->path, u"over %1 MB"_s.arg(limits.keepBytes / (1024 * 1024))});
        total -= f->size;
    }
    // Running normally, a pass deletes the files of one day, the one that just got too old. One that would delete
    // every file from before this watch, several days of them at once, is a date gone wrong (or a folder left
    // alone for longer than keep-days, which a person may clear by hand).
    QSet<QString> deleted;
    for (const Deletion& d : std::as_const(plan.deletions))
        deleted.insert(d.path);
    qsizetype earlier = 0, earlierDeleted = 0;
    QSet<QDate> days;
    for (const WatchFile& f : files) {
        if (own.contains(f.path))
            continue;
        ++earlier;
        if (deleted.contains(f.path)) {
            ++earlierDeleted;
            days.insert(f.day);
        }
    }
    if (earlier > 0 && earlierDeleted == earlier && days.size() > 1) {
        plan.refused = u"retention deleted nothing: by today's date, %1, every file from before this watch (%2 "
                       u"files of %3 days) is past the limits (%4 days, %5 MB); if the date is right, delete them "
                       u"by hand"_s.arg(today.toString(Qt::ISODate))
                           .arg(earlier)
                           .arg(days.size())
                           .arg(limits.keepDays)
                           .arg(limits.keepBytes / (1024 * 1024));
        plan.deletions.clear();
    }
    return plan;
}

}  // namespace qv
