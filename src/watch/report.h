#pragma once
// --report: one PDF of what the watch saw in a period, read back from its journal, for someone who was not there.
// Page 1: the instrument, the period, how much of it was watched (and when it was not), per alarm the number of
// episodes, the time in alarm and the longest episode, and a timeline of the period with a row per alarm and one
// for the times nobody watched. Then every episode with its details and acknowledgement, the errors, log erasures,
// hook failures and clock steps, the new error-log records, each alarm capture once as a thumbnail, and the
// full pictures in an appendix; "page N of M" at the foot. Drawn as text with Qt's PDF writer, so the text can
// be selected and searched.

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace qv {

struct ReportData {
    struct Episode {
        QString name, detail, id;
        QDateTime raised, cleared, acknowledged;
        QString acknowledgedBy, acknowledgedFrom, comment;
        bool flapping = false;
        // For one never cleared: the last moment the journal knows the watch ran (it may have gone on unseen).
        QDateTime lastKnown;
        QDateTime end() const { return cleared.isValid() ? cleared : lastKnown; }
    };
    struct Capture {
        QDateTime time;
        QString alarm, file;  // file relative to the watch folder
    };
    struct LogRecord {
        QDateTime seen;
        QString text;
    };
    // Errors, log erasures, hook failures and clock steps.
    struct Event {
        QDateTime time;
        QString kind, text;
    };
    struct Span {
        QDateTime from, to;
    };
    struct AlarmSummary {
        QString name;
        int episodes = 0;
        qint64 inAlarmMs = 0, longestMs = 0;
    };
    QStringList serials;
    QDateTime from, to;
    // The part of the period that had happened when the report was made; the rest is neither watched nor not.
    QDateTime until;
    QList<Span> watched;  // in time order, apart from each other, within from..until
    QList<Episode> episodes;
    QList<Capture> captures;  // each file once
    QList<LogRecord> log;
    QList<Event> events;
    qsizetype hookCallsHeldBack = 0;
    qsizetype linesTooLong = 0;  // journal lines over 64 KB, skipped

    QList<Span> notWatched() const;
    qint64 watchedMs() const;
    // Every alarm the watch knows, in its order, and any other name found; times clipped to the period.
    QList<AlarmSummary> summary() const;
};

// Builds the report's data from journal lines given one at a time in the journal's order. Lines from before the
// period are wanted too (a day's worth): they say whether a watch was running when the period began and raise
// the episodes that were open then.
class ReportBuilder {
public:
    ReportBuilder(const QDateTime& from, const QDateTime& to, const QDateTime& now);
    void add(const QJsonObject& line);
    ReportData finish();

private:
    void closeRun(const QDateTime& end);

    ReportData d_;
    bool running_ = false;  // inside a watch's run: since its start, or since the first line read
    QDateTime spanStart_, lastLine_;
    QList<ReportData::Span> runs_;
    QSet<QString> captureFiles_;
};

// The period's events from journal lines in time order.
ReportData reportFrom(const QList<QJsonObject>& lines, const QDateTime& from, const QDateTime& to,
                      const QDateTime& now = QDateTime::currentDateTime());

// Reads DIR's journal and writes the PDF whole or not at all; false with *error set when it cannot be written.
bool writeReport(const QString& dir, const QDateTime& from, const QDateTime& to, const QString& output,
                 QString* error);

QString durationText(qint64 ms);

}  // namespace qv
