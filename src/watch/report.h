#pragma once
// --report: one PDF of what the watch saw in a period, read back from its journal: a title block (instrument
// serial, period, program version), every alarm episode (name, raised, cleared, duration, acknowledged), the
// alarm captures with their times, and the new error-log records; pages numbered. Drawn as text with Qt's PDF
// writer, so the text can be selected and searched.

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace qv {

struct ReportData {
    struct Episode {
        QString name, detail, id;
        QDateTime raised, cleared, acknowledged;
    };
    struct Capture {
        QDateTime time;
        QString alarm, file;  // file relative to the watch folder
    };
    struct LogRecord {
        QDateTime seen;
        QString text;
    };
    QStringList serials;
    QDateTime from, to;
    QList<Episode> episodes;
    QList<Capture> captures;
    QList<LogRecord> log;
    qsizetype linesTooLong = 0;  // journal lines over 64 KB, skipped
};

// The period's events from journal lines in time order.
ReportData reportFrom(const QList<QJsonObject>& lines, const QDateTime& from, const QDateTime& to);

// Reads DIR's journal and writes the PDF whole or not at all; false with *error set when it cannot be written.
bool writeReport(const QString& dir, const QDateTime& from, const QDateTime& to, const QString& output,
                 QString* error);

QString durationText(qint64 ms);

}  // namespace qv
