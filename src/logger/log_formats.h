#pragma once
// The fetched error log as data, for scripts: the four header lines, the numbered records, and whether the
// instrument's end-of-log record came. Written as JSON, or CSV with a header row (RFC 4180 quoting).

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace qv {

class ErrorLog;

struct FetchedLog {
    struct Record {
        int n = 0;
        QString text;
    };
    QStringList header;
    QList<Record> records;
    bool complete = false;  // the end-of-log record came
};

// Collects what one fetch of the given log receives; start() forgets the previous fetch.
class LogCollector : public QObject {
    Q_OBJECT
public:
    explicit LogCollector(ErrorLog& log, QObject* parent = nullptr);
    void start() { log_ = {}; }
    const FetchedLog& log() const { return log_; }

private:
    FetchedLog log_;
};

QByteArray logToJson(const FetchedLog& log, const QString& serial, const QDateTime& time);
QByteArray logToCsv(const FetchedLog& log);

}  // namespace qv
