#pragma once
// The instrument's error log as the watch keeps it: DIR/errorlog.txt holds every record as fetched, each
// appended with the time it was first seen ("TIME<tab>TEXT"); a line "# TIME log erased on the instrument"
// marks where the instrument's own log was erased or lost its first records. A watch started again on the same
// folder reads the file back and so knows which records it has already seen.

#include "watch/append_file.h"

#include <QDateTime>
#include <QStringList>

namespace qv {

// Which records of a fetch are new. New means beyond the records already seen, compared by content: a log that
// got shorter or whose first records changed was erased (or lost its oldest records), and then only the records
// after the longest stretch that continues the previous log are new.
struct LogDiff {
    bool erased = false;
    int firstNew = 0;  // current[firstNew..] are new
};
LogDiff diffLog(const QStringList& previous, const QStringList& current);

class LogKeeper {
public:
    explicit LogKeeper(const QString& path);

    // False until a first fetch was recorded in this folder: that fetch is the starting point, not news.
    bool hasBaseline() const { return baseline_; }
    // Records the fetch and returns what is new in it.
    LogDiff record(const QStringList& fetched, const QDateTime& time);
    const QStringList& seen() const { return seen_; }
    // Writes what a full disk held back.
    void retry();
    QString error() const { return file_.error(); }

private:
    void append(const QByteArray& line);

    AppendFile file_;
    QString path_;
    QStringList seen_;
    QList<QByteArray> held_;
    bool baseline_ = false;
};

}  // namespace qv
