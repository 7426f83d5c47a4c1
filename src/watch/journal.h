#pragma once
// The watch's journal: DIR/journal/YYYY-MM-DD.jsonl (local date, a new file at midnight), one JSON object per
// line, each starting with "t" (ISO 8601 with milliseconds and the offset from UTC) and "event". Lines reach
// the disk whole and flushed, one at a time (see AppendFile).
//
// When the disk is full or the folder cannot be written, lines are held in memory (up to a limit) and written,
// in order and with their own times, as soon as writing works again; the watch reports the trouble once.

#include "watch/append_file.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

namespace qv {

class Clock;

class Journal {
public:
    Journal(const QString& dir, Clock& clock);

    // Writes one event now; fields go after "t" and "event".
    void write(const QString& event, const QJsonObject& fields = {});
    // Tries again to write what an earlier failure held back; the watch calls it once a poll.
    void retry();
    // Writes what is held back and closes the file.
    void close();

    QString fileFor(const QDate& day) const;
    QString currentFile() const { return file_.path(); }
    bool failing() const { return failing_; }
    int heldBack() const { return int(held_.size()); }

    // One line for people when writing starts to fail and when it works again.
    std::function<void(const QString&)> onProblem;
    // Every line as written (or held back), for the window's view of the journal's last lines.
    std::function<void(const QByteArray&)> onLine;

    static QByteArray formatLine(const QDateTime& t, const QString& event, const QJsonObject& fields);
    static constexpr qsizetype kHeldBytesLimit = 4 << 20;

private:
    struct Line {
        QDate day;
        QByteArray text;
    };
    bool writeLine(const Line& line);
    void drain();
    void hold(Line line);

    QString dir_;
    Clock& clock_;
    AppendFile file_;
    QDate fileDay_;
    std::deque<Line> held_;
    qsizetype heldBytes_ = 0;
    qint64 lost_ = 0;
    bool failing_ = false;
};

// Every whole, valid line of the journal files for the days from..to, in order. A cut-off last line (a crash
// in the middle of a write) and anything that is not a JSON object are skipped, and so is a line longer than
// kLongestLine (no line the watch writes comes near it): those are counted in *tooLong.
inline constexpr qsizetype kLongestLine = 64 * 1024;
QList<QJsonObject> readJournal(const QString& dir, const QDate& from, const QDate& to, qsizetype* tooLong = nullptr);
// The same lines one at a time, without holding them all.
void forEachJournalLine(const QString& dir, const QDate& from, const QDate& to,
                        const std::function<void(const QJsonObject&)>& use, qsizetype* tooLong = nullptr);

// Where the last watch in DIR left off. Every start and stop line lists the episodes open at that moment
// ("open": [{"name", "raised", "detail", "flapping"}]); from the last such line on, raises and clears are
// replayed. Only the files back to that line are read.
struct JournalResume {
    struct Open {
        QString name, id;
        QDateTime raised;
        QString detail;
        bool flapping = false;
    };
    std::vector<Open> open;
    QDateTime lastLine;    // the time of the last whole line; invalid in a folder without a journal
    bool stopped = false;  // it ended with "stop"; else the watch was killed or the machine went down
};
JournalResume resumeJournal(const QString& dir);

}  // namespace qv
