#pragma once
// What the watch keeps: captures and journal files younger than keep-days, and captures within keep-mb (the
// oldest go first). Only files whose names the watch itself gives are ever looked at:
//   DIR/journal/YYYY-MM-DD.jsonl and DIR/captures/YYYY-MM-DD/HHMMSS-NAME.png
// Anything else in DIR, whoever put it there, stays.

#include <QDate>
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

// The files to delete on `today` (oldest first), with the reason for each.
struct Deletion {
    QString path;
    QString why;
};
QList<Deletion> retentionPlan(const QList<WatchFile>& files, const QDate& today, const RetentionLimits& limits);

}  // namespace qv
