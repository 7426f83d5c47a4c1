#pragma once
// What the watch keeps: captures and journal files younger than keep-days, and captures within keep-mb (the
// oldest go first). Only files whose names the watch itself gives are ever looked at:
//   DIR/journal/YYYY-MM-DD.jsonl and DIR/captures/YYYY-MM-DD/HHMMSS-NAME.png
// Anything else in DIR, whoever put it there, stays.
//
// Dates come from the wall clock, which can be wrong (a PC that boots 40 days ahead until NTP answers); a wrong
// date must not empty the folder. So the newest day that holds data always stays, the running watch's own files
// stay whatever their names say, and a pass that would delete every file from before the running watch, several
// days of them at once, is refused as a whole.

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>

namespace qv {

struct RetentionLimits {
    int keepDays = 30;
    qint64 keepBytes = 2000ll * 1024 * 1024;
    bool operator==(const RetentionLimits&) const = default;
};

struct WatchFile {
    QString path;
    QDate day;     // from the name
    QString sortKey;  // day and time from the name: the oldest sorts first
    qint64 size = 0;
    bool capture = false;
};

// The files of DIR the watch wrote, oldest first.
QList<WatchFile> watchFiles(const QString& dir);

// The files to delete on `today` (oldest first), with the reason for each; or none, and why the pass is refused.
struct Deletion {
    QString path;
    QString why;
};
struct RetentionPlan {
    QList<Deletion> deletions;
    QString refused;
};
// own: the running watch's files that no date may delete; beyond --keep-mb its older captures still go, as the
// size limit is what keeps the disk from filling.
RetentionPlan retentionPlan(const QList<WatchFile>& files, const QDate& today, const RetentionLimits& limits,
                            const QSet<QString>& own = {});

}  // namespace qv
