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
            out.append({f.filePath(), day(m.captured(1)), m.captured(1) + u"-999999"_s, f.size(), false});
    }
    const QDir captures(dir + u"/captures"_s);
    for (const QString& folder : captures.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        if (!dayName.match(folder).hasMatch() || !day(folder).isValid())
            continue;
        for (const QFileInfo& f : QDir(captures.filePath(folder)).entryInfoList(QDir::Files | QDir::NoSymLinks)) {
            const auto m = captureName.match(f.fileName());
            if (m.hasMatch())
                out.append({f.filePath(), day(folder), folder + u'-' + m.captured(1), f.size(), true});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const WatchFile& a, const WatchFile& b) { return a.sortKey < b.sortKey; });
    return out;
}

QList<Deletion> retentionPlan(const QList<WatchFile>& files, const QDate& today, const RetentionLimits& limits)
{
    QList<Deletion> out;
    qint64 total = 0;
    // Today's journal is never old: keep-days counts whole days before today.
    const QDate oldestKept = today.addDays(-std::max(limits.keepDays, 1) + 1);
    QList<const WatchFile*> keptCaptures;
    for (const WatchFile& f : files) {
        if (f.day < oldestKept) {
            out.append({f.path, u"older than %1 days"_s.arg(limits.keepDays)});
            continue;
        }
        total += f.size;
        if (f.capture)
            keptCaptures.append(&f);
    }
    for (const WatchFile* f : keptCaptures) {
        if (total <= limits.keepBytes)
            break;
        out.append({f->path, u"over %1 MB"_s.arg(limits.keepBytes / (1024 * 1024))});
        total -= f->size;
    }
    return out;
}

}  // namespace qv
