#include "watch/report.h"

#include "session/instrument_status.h"
#include "watch/alarm_rules.h"
#include "watch/journal.h"

#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
QDateTime timeOf(const QJsonObject& line)
{
    return QDateTime::fromString(line.value(u"t"_s).toString(), Qt::ISODateWithMs);
}

// Times as the watch's clock wrote them, in the offset it had then.
QString shortTime(const QDateTime& t)
{
    return t.isValid() ? t.toString(u"yyyy-MM-dd HH:mm:ss"_s) : u"-"_s;
}

// A running watch writes a line at least once an hour ("alive"): a longer silence means it was not running.
constexpr qint64 kQuietestMs = 65 * 60 * 1000;

const QStringList& knownAlarms()
{
    static const QStringList names = [] {
        QStringList n;
        for (int i = 0; i < kAlarmCount; ++i)
            n.append(alarmNameText(AlarmName(i)));
        return n;
    }();
    return names;
}

QColor alarmColour(const QString& name)
{
    // The instrument's own lamp colours: a missing instrument or signal is an error, a gamut excursion a warning.
    if (name == u"absent" || name == u"signal")
        return QColor(0xd0, 0x20, 0x20);
    if (name == u"gamut")
        return QColor(0xe0, 0x90, 0x00);
    return QColor(0x30, 0x60, 0xc0);
}

qint64 clippedMs(const QDateTime& a, const QDateTime& b, const QDateTime& from, const QDateTime& to)
{
    const QDateTime s = std::max(a, from), e = std::min(b, to);
    return s.isValid() && e.isValid() && s < e ? s.msecsTo(e) : 0;
}

// Pages of A4 in points, "page N of M" at the foot of each. Laid out twice: first without a painter, only to
// count the pages (every height here is fixed, so both passes break the pages alike), then drawn.
class PageWriter {
public:
    PageWriter(QPdfWriter* pdf, QPainter* painter, int pages) : pdf_(pdf), p_(painter), pages_(pages) { footer(); }
    static constexpr int kLeft = 50, kWidth = 595 - 2 * kLeft, kTop = 50, kBottom = 842 - 60;
    int y = kTop;

    int pages() const { return page_; }
    QPainter* painter() { return p_; }
    void newPage()
    {
        if (pdf_)
            pdf_->newPage();
        ++page_;
        y = kTop;
        footer();
    }
    void need(int height)
    {
        if (y + height > kBottom)
            newPage();
    }
    void text(int x, const QString& s, int size = 9, bool bold = false, int width = kWidth,
              const QColor& colour = Qt::black)
    {
        if (!p_)
            return;
        QFont f(u"DejaVu Sans"_s, size);
        f.setBold(bold);
        p_->setFont(f);
        p_->setPen(colour);
        const QRect box(kLeft + x, y, width, size * 2);
        p_->drawText(box, Qt::AlignLeft | Qt::AlignTop, QFontMetrics(f, p_->device()).elidedText(s, Qt::ElideRight, width - 2));
    }
    void heading(const QString& s)
    {
        need(60);
        y += 12;
        text(0, s, 12, true);
        y += 24;
    }
    void line(const QStringList& cells, const QList<int>& columns, int size = 8, bool bold = false,
              const QColor& colour = Qt::black)
    {
        need(size * 2);
        for (qsizetype i = 0; i < cells.size(); ++i)
            text(columns.at(i), cells.at(i), size, bold,
                 (i + 1 < columns.size() ? columns.at(i + 1) : kWidth) - columns.at(i), colour);
        y += size * 2;
    }

private:
    void footer()
    {
        if (!p_)
            return;
        p_->setFont(QFont(u"DejaVu Sans"_s, 8));
        p_->setPen(Qt::black);
        p_->drawText(QRect(kLeft, 842 - 40, kWidth, 16), Qt::AlignCenter, u"page %1 of %2"_s.arg(page_).arg(pages_));
    }
    QPdfWriter* pdf_;
    QPainter* p_;
    int pages_;
    int page_ = 1;
};

// One row per alarm with episodes, and one for the times nobody watched, across the period.
void drawTimeline(PageWriter& w, const ReportData& d, const QList<ReportData::AlarmSummary>& alarms)
{
    constexpr int kLabel = 70, kRow = 16;
    const int width = PageWriter::kWidth - kLabel;
    QStringList rows;
    for (const auto& a : alarms)
        if (a.episodes > 0)
            rows.append(a.name);
    rows.append(u"not watched"_s);
    w.need(int(rows.size()) * kRow + 40);
    const qint64 span = std::max<qint64>(1, d.from.msecsTo(d.to));
    const auto xOf = [&](const QDateTime& t) {
        return PageWriter::kLeft + kLabel + double(width) * double(d.from.msecsTo(std::clamp(t, d.from, d.to))) / double(span);
    };
    const auto bar = [&](int row, const QDateTime& a, const QDateTime& b, const QColor& colour) {
        if (!w.painter() || !a.isValid() || !b.isValid() || b < d.from || a > d.to)
            return;
        const double x0 = xOf(a), x1 = std::max(xOf(b), x0 + 0.8);  // a short episode still shows
        w.painter()->fillRect(QRectF(x0, w.y + row * kRow + 2, x1 - x0, kRow - 4), colour);
    };
    const int top = w.y;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        w.y = top + int(r) * kRow;
        w.text(0, rows.at(r), 8, false, kLabel);
        if (w.painter())
            w.painter()->fillRect(QRectF(PageWriter::kLeft + kLabel, w.y + 2, width, kRow - 4), QColor(0xf0, 0xf0, 0xf0));
    }
    for (qsizetype r = 0; r + 1 < rows.size(); ++r) {
        w.y = top;
        for (const auto& e : d.episodes)
            if (e.name == rows.at(r))
                bar(int(r), e.raised, e.end(), alarmColour(e.name));
    }
    w.y = top;
    for (const auto& s : d.notWatched())
        bar(int(rows.size() - 1), s.from, s.to, QColor(0x80, 0x80, 0x80));
    w.y = top + int(rows.size()) * kRow + 2;
    // Six marks along the period, with the date when the period is longer than a day.
    const QString format = span > 26 * 3600 * 1000LL ? u"MM-dd HH:mm"_s : span > 3600 * 1000LL ? u"HH:mm"_s : u"HH:mm:ss"_s;
    for (int i = 0; i <= 6; ++i) {
        const QDateTime t = d.from.addMSecs(span * i / 6);
        const double x = xOf(t);
        if (w.painter()) {
            w.painter()->setPen(Qt::gray);
            w.painter()->drawLine(QPointF(x, top), QPointF(x, w.y));
        }
        const int labelWidth = 60;
        const int left = std::clamp(int(x) - labelWidth / 2, PageWriter::kLeft, PageWriter::kLeft + PageWriter::kWidth - labelWidth);
        w.text(left - PageWriter::kLeft, t.toString(format), 7, false, labelWidth, Qt::darkGray);
    }
    w.y += 20;
}

void drawFirstPage(PageWriter& w, const ReportData& d)
{
    w.text(0, u"QV7700 watch report"_s, 18, true);
    w.y += 36;
    w.text(0, u"Instrument serial: "_s + (d.serials.isEmpty() ? u"(unknown)"_s : d.serials.join(u", "_s)), 10);
    w.y += 18;
    w.text(0, u"Period: %1 to %2"_s.arg(isoTimestamp(d.from), isoTimestamp(d.to)), 10);
    w.y += 18;
    w.text(0, u"Program: qv7700-remote %1"_s.arg(QStringLiteral(QV_VERSION)), 10);
    w.y += 18;
    if (d.linesTooLong > 0) {
        w.text(0, u"Journal lines over 64 KB, not read: %1"_s.arg(d.linesTooLong), 10);
        w.y += 18;
    }

    const qint64 known = std::max<qint64>(0, d.from.msecsTo(d.until)), watched = d.watchedMs();
    const QList<ReportData::Span> gaps = d.notWatched();
    w.heading(u"Coverage"_s);
    w.text(0, u"Watched: %1 (%2 %)    Not watched: %3"_s.arg(durationText(watched))
                  .arg(known > 0 ? 100.0 * double(watched) / double(known) : 0.0, 0, 'f', 1)
                  .arg(durationText(known - watched)), 10);
    w.y += 18;
    constexpr qsizetype kGapsListed = 6;
    for (qsizetype i = 0; i < std::min(gaps.size(), kGapsListed); ++i)
        w.line({u"not watched"_s, shortTime(gaps.at(i).from), shortTime(gaps.at(i).to),
                durationText(gaps.at(i).from.msecsTo(gaps.at(i).to))}, {0, 70, 185, 300});
    if (gaps.size() > kGapsListed)
        w.line({u"... and %1 more (see the timeline)"_s.arg(gaps.size() - kGapsListed)}, {0});
    if (d.hookCallsHeldBack > 0)
        w.line({u"Hook calls held back by the hook pace: %1"_s.arg(d.hookCallsHeldBack)}, {0});

    const QList<ReportData::AlarmSummary> alarms = d.summary();
    w.heading(u"Alarms"_s);
    const QList<int> cols{0, 90, 180, 300};
    w.line({u"alarm"_s, u"episodes"_s, u"time in alarm"_s, u"longest episode"_s}, cols, 8, true);
    for (const auto& a : alarms)
        w.line({a.name, QString::number(a.episodes), durationText(a.inAlarmMs), durationText(a.longestMs)}, cols);

    w.heading(u"Timeline"_s);
    drawTimeline(w, d, alarms);
}

void drawEpisodes(PageWriter& w, const ReportData& d)
{
    w.heading(u"Alarm episodes (%1)"_s.arg(d.episodes.size()));
    const QList<int> cols{0, 60, 175, 290, 360};
    w.line({u"alarm"_s, u"raised"_s, u"cleared"_s, u"duration"_s, u"acknowledged"_s}, cols, 8, true);
    for (const auto& e : d.episodes) {
        w.line({e.name, shortTime(e.raised), e.cleared.isValid() ? shortTime(e.cleared) : u"(not cleared)"_s,
                e.end().isValid() ? durationText(e.raised.msecsTo(e.end())) + (e.cleared.isValid() ? u""_s : u"+"_s)
                                  : u"-"_s,
                shortTime(e.acknowledged)},
               cols);
        QStringList more;
        if (!e.detail.isEmpty())
            more.append(e.detail);
        if (e.flapping)
            more.append(u"flapping"_s);
        if (e.acknowledged.isValid() && !e.acknowledgedBy.isEmpty())
            more.append(u"acknowledged by %1%2%3"_s.arg(e.acknowledgedBy,
                                                        e.acknowledgedFrom.isEmpty() ? QString() : u" from "_s + e.acknowledgedFrom,
                                                        e.comment.isEmpty() ? QString() : u": "_s + e.comment));
        if (!more.isEmpty())
            w.line({more.join(u"; "_s)}, {60}, 7, false, Qt::darkGray);
    }
}

void drawEvents(PageWriter& w, const ReportData& d)
{
    w.heading(u"Errors, log erasures and hook failures (%1)"_s.arg(d.events.size()));
    for (const auto& e : d.events)
        w.line({shortTime(e.time), e.kind, e.text}, {0, 110, 190});
    w.heading(u"New error-log records (%1)"_s.arg(d.log.size()));
    for (const auto& r : d.log)
        w.line({shortTime(r.seen), r.text}, {0, 110});
}

// Each capture once, small, with its time; the full pictures come in the appendix.
void drawThumbnails(PageWriter& w, const ReportData& d, const QString& dir)
{
    w.heading(u"Alarm captures (%1)"_s.arg(d.captures.size()));
    constexpr int kColumns = 4, kGap = 9, kWidth = (PageWriter::kWidth - (kColumns - 1) * kGap) / kColumns;
    constexpr int kHeight = kWidth * 3 / 4, kCaption = 22;
    for (qsizetype i = 0; i < d.captures.size(); ++i) {
        const int column = int(i % kColumns);
        if (column == 0)
            w.need(kHeight + kCaption + kGap);
        const auto& c = d.captures.at(i);
        const int x = column * (kWidth + kGap);
        if (QPainter* p = w.painter()) {
            const QRect box(PageWriter::kLeft + x, w.y, kWidth, kHeight);
            QImageReader reader(dir + u'/' + c.file);
            reader.setScaledSize(QSize(kWidth * 2, kHeight * 2));  // enough for print, a fraction of the picture
            const QImage thumb = reader.read();
            if (thumb.isNull()) {
                p->setPen(Qt::gray);
                p->drawRect(box);
                p->drawText(box, Qt::AlignCenter, u"(missing)"_s);
            } else {
                p->drawImage(box, thumb);
            }
        }
        const int top = w.y;
        w.y = top + kHeight + 1;
        w.text(x, shortTime(c.time), 7, false, kWidth);
        w.y += 10;
        w.text(x, u"%1 alarm, A%2"_s.arg(c.alarm).arg(i + 1), 7, false, kWidth, Qt::darkGray);
        w.y = top;
        if (column == kColumns - 1 || i + 1 == d.captures.size())
            w.y += kHeight + kCaption + kGap;
    }
}

// Which captures the appendix shows in full: a week of trouble can bring hundreds, and a report that cannot be
// mailed is not read. First the first picture of each alarm on each day, then the others in time order, up to
// kFullPictures (about 10 MB); every one is a thumbnail all the same, and the rest are listed by file.
constexpr qsizetype kFullPictures = 48;
QList<bool> shownInFull(const QList<ReportData::Capture>& captures)
{
    QList<bool> full(captures.size(), false);
    qsizetype chosen = 0;
    QSet<QString> firsts;
    for (qsizetype i = 0; i < captures.size() && chosen < kFullPictures; ++i) {
        const QString key = captures.at(i).alarm + captures.at(i).time.date().toString(Qt::ISODate);
        if (!firsts.contains(key)) {
            firsts.insert(key);
            full[i] = true;
            ++chosen;
        }
    }
    for (qsizetype i = 0; i < captures.size() && chosen < kFullPictures; ++i)
        if (!full.at(i)) {
            full[i] = true;
            ++chosen;
        }
    return full;
}

void drawAppendix(PageWriter& w, const ReportData& d, const QString& dir)
{
    if (d.captures.isEmpty())
        return;
    const QList<bool> full = shownInFull(d.captures);
    w.newPage();
    w.text(0, u"Appendix: alarm captures"_s, 12, true);
    w.y += 24;
    constexpr int kWidth = 420, kHeight = kWidth * 3 / 4;  // two to a page
    for (qsizetype i = 0; i < d.captures.size(); ++i) {
        if (!full.at(i))
            continue;
        const auto& c = d.captures.at(i);
        w.need(kHeight + 30);
        w.text(0, u"A%1  %2  %3 alarm  %4"_s.arg(i + 1).arg(shortTime(c.time), c.alarm, c.file), 9);
        w.y += 18;
        if (QPainter* p = w.painter()) {
            const QImage image(dir + u'/' + c.file);
            if (!image.isNull())
                p->drawImage(QRect(PageWriter::kLeft, w.y, kWidth, kHeight), image);
        }
        w.y += kHeight + 10;
    }
    const qsizetype rest = full.count(false);
    if (rest == 0)
        return;
    w.heading(u"Not shown in full (%1): in the watch folder"_s.arg(rest));
    for (qsizetype i = 0; i < d.captures.size(); ++i)
        if (!full.at(i))
            w.line({u"A%1"_s.arg(i + 1), shortTime(d.captures.at(i).time), d.captures.at(i).alarm, d.captures.at(i).file},
                   {0, 40, 150, 200});
}

void drawReport(PageWriter& w, const ReportData& d, const QString& dir)
{
    drawFirstPage(w, d);
    w.newPage();
    drawEpisodes(w, d);
    drawEvents(w, d);
    drawThumbnails(w, d, dir);
    drawAppendix(w, d, dir);
}
}  // namespace

QString durationText(qint64 ms)
{
    const qint64 s = ms / 1000;
    if (s < 60)
        return u"%1 s"_s.arg(s);
    if (s < 3600)
        return u"%1 min %2 s"_s.arg(s / 60).arg(s % 60);
    if (s < 2 * 86400)
        return u"%1 h %2 min"_s.arg(s / 3600).arg(s / 60 % 60);
    return u"%1 d %2 h"_s.arg(s / 86400).arg(s / 3600 % 24);
}

QList<ReportData::Span> ReportData::notWatched() const
{
    QList<Span> gaps;
    QDateTime at = from;
    // Under a second is the time between a report's last line and its making, not a watch that was away.
    const auto gap = [&](const QDateTime& a, const QDateTime& b) {
        if (a.msecsTo(b) >= 1000)
            gaps.append({a, b});
    };
    for (const Span& s : watched) {
        gap(at, s.from);
        at = std::max(at, s.to);
    }
    gap(at, until);
    return gaps;
}

qint64 ReportData::watchedMs() const
{
    qint64 ms = 0;
    for (const Span& s : watched)
        ms += s.from.msecsTo(s.to);
    return ms;
}

QList<ReportData::AlarmSummary> ReportData::summary() const
{
    QList<AlarmSummary> out;
    for (const QString& name : knownAlarms())
        out.append({name});
    for (const Episode& e : episodes) {
        auto it = std::find_if(out.begin(), out.end(), [&](const AlarmSummary& a) { return a.name == e.name; });
        if (it == out.end())
            it = out.insert(out.end(), {e.name});
        const qint64 ms = clippedMs(e.raised, e.end(), from, to);
        ++it->episodes;
        it->inAlarmMs += ms;
        it->longestMs = std::max(it->longestMs, ms);
    }
    return out;
}

ReportBuilder::ReportBuilder(const QDateTime& from, const QDateTime& to, const QDateTime& now)
{
    d_.from = from;
    d_.to = to;
    d_.until = std::clamp(now, from, std::max(from, to));
}

void ReportBuilder::closeRun(const QDateTime& end)
{
    if (spanStart_.isValid() && end.isValid() && spanStart_ <= end)
        runs_.append({spanStart_, end});
    spanStart_ = {};
}

void ReportBuilder::add(const QJsonObject& line)
{
    const QDateTime t = timeOf(line);
    if (!t.isValid())
        return;
    const QString event = line.value(u"event"_s).toString();

    // Coverage: a run goes from its start (or the first line read) to its stop, or to its last line when it
    // was killed; a silence of over an hour inside it was time nobody watched (a machine suspended, say).
    if (event == u"start") {
        // A start lists the episodes it goes on with; any other still open ended unseen while nobody watched.
        const bool listed = line.contains(u"open"_s);
        const QJsonArray open = line.value(u"open"_s).toArray();
        for (auto& e : d_.episodes) {
            if (e.cleared.isValid() || e.lastKnown.isValid())
                continue;
            const bool goesOn = listed && std::any_of(open.begin(), open.end(), [&](const QJsonValue& v) {
                const QJsonObject o = v.toObject();
                return o.value(u"name"_s).toString() == e.name && (e.id.isEmpty() || o.value(u"id"_s).toString() == e.id);
            });
            if (!goesOn)
                e.lastKnown = lastLine_.isValid() ? lastLine_ : t;
        }
        if (running_)
            closeRun(lastLine_);
        running_ = true;
        spanStart_ = t;
    } else if (!running_) {
        running_ = true;
        spanStart_ = t;
    } else if (lastLine_.msecsTo(t) > kQuietestMs) {
        closeRun(lastLine_);
        spanStart_ = t;
    }
    lastLine_ = t;
    if (event == u"stop") {
        closeRun(t);
        running_ = false;
    }

    if (event == u"alarm") {
        // Episodes are followed from before the period too: one raised the day before may end within it.
        const QString name = line.value(u"name"_s).toString(), state = line.value(u"state"_s).toString();
        const QString id = line.value(u"id"_s).toString();
        if (state == u"raised") {
            // A journal from before restarts continued their episodes raised the same alarm again: the older one
            // is known to last only until then.
            for (auto& e : d_.episodes)
                if (e.name == name && !e.cleared.isValid() && !e.lastKnown.isValid())
                    e.lastKnown = t;
            ReportData::Episode e;
            e.name = name;
            e.detail = line.value(u"detail"_s).toString();
            e.id = id;
            e.raised = t;
            e.flapping = line.value(u"flapping"_s).toBool();
            d_.episodes.append(e);
            return;
        }
        // A clear ends the open episode of its name; an acknowledgement names its episode by id (a cleared one
        // may be acknowledged too), or, in older journals, the open one.
        for (auto it = d_.episodes.rbegin(); it != d_.episodes.rend(); ++it) {
            if (it->name != name)
                continue;
            if (state == u"acknowledged" && !id.isEmpty()) {
                if (id != it->id)
                    continue;
            } else if (it->cleared.isValid() || (state == u"cleared" && it->lastKnown.isValid())) {
                continue;
            }
            if (state == u"cleared") {
                // A clear says when its condition ended; the episode lasted that long, not also its clear hold.
                const QDateTime ended = QDateTime::fromString(line.value(u"ended"_s).toString(), Qt::ISODateWithMs);
                it->cleared = ended.isValid() ? ended : t;
            } else if (state == u"acknowledged") {
                it->acknowledged = t;
                it->acknowledgedBy = line.value(u"by"_s).toString();
                it->acknowledgedFrom = line.value(u"from"_s).toString();
                it->comment = line.value(u"comment"_s).toString();
            }
            break;
        }
        return;
    }
    if (t < d_.from || t >= d_.to)
        return;
    if (event == u"start" || event == u"status") {
        const QString serial = (event == u"start" ? line : line.value(u"status"_s).toObject()).value(u"serial"_s).toString();
        if (!serial.isEmpty() && !d_.serials.contains(serial))
            d_.serials.append(serial);
    } else if (event == u"capture" && line.value(u"reason"_s).toString() == u"alarm") {
        const QString file = line.value(u"file"_s).toString();
        if (!captureFiles_.contains(file)) {
            captureFiles_.insert(file);
            d_.captures.append({t, line.value(u"alarm"_s).toString(), file});
        }
    } else if (event == u"log") {
        d_.log.append({t, line.value(u"text"_s).toString()});
    } else if (event == u"log-erased") {
        d_.events.append({t, u"log erased"_s, u"%1 records erased from the instrument"_s.arg(line.value(u"records"_s).toInt())});
    } else if (event == u"error") {
        d_.events.append({t, u"error"_s, line.value(u"what"_s).toString()});
    } else if (event == u"clock") {
        d_.events.append({t, u"clock step"_s, u"the clock stepped %1 s from %2"_s.arg(line.value(u"step_ms"_s).toInteger() / 1000)
                                                    .arg(line.value(u"expected"_s).toString())});
    } else if (event == u"hook-suppressed") {
        ++d_.hookCallsHeldBack;
    } else if (event == u"hook") {
        const QString which = line.value(u"alarm"_s).toString() + u' ' + line.value(u"state"_s).toString();
        QString failure;
        if (!line.value(u"run"_s).toBool(true))
            failure = u"not run: the watch stopped first"_s;
        else if (const QString e = line.value(u"error"_s).toString(); !e.isEmpty())
            failure = u"could not start: "_s + e;
        else if (line.value(u"killed"_s).toBool())
            failure = u"killed after %1 s"_s.arg(line.value(u"ms"_s).toInteger() / 1000);
        else if (const int code = line.value(u"exit"_s).toInt(); code != 0)
            failure = code < 0 ? u"ended by a signal"_s : u"exited with %1"_s.arg(code);
        if (failure.isEmpty())
            return;
        const QString stderrText = line.value(u"stderr"_s).toString().section(u'\n', 0, 0);
        d_.events.append({t, u"hook failed"_s,
                          which + u": "_s + failure + (stderrText.isEmpty() ? QString() : u" ("_s + stderrText + u')')});
    }
}

ReportData ReportBuilder::finish()
{
    if (running_)
        closeRun(lastLine_.msecsTo(d_.until) <= kQuietestMs && lastLine_ < d_.until ? d_.until : lastLine_);
    running_ = false;
    QDateTime lastRun;
    for (const auto& r : std::as_const(runs_))
        lastRun = lastRun.isValid() ? std::max(lastRun, r.to) : r.to;
    for (auto& e : d_.episodes)
        if (!e.cleared.isValid() && !e.lastKnown.isValid())
            e.lastKnown = lastRun.isValid() ? std::max(lastRun, e.raised) : e.raised;
    d_.episodes.removeIf([&](const ReportData::Episode& e) { return e.raised >= d_.to || e.end() < d_.from; });

    // The runs within the period, in order, overlaps (a clock stepped back) joined.
    QList<ReportData::Span> spans;
    for (const auto& r : std::as_const(runs_)) {
        const QDateTime a = std::max(r.from, d_.from), b = std::min(r.to, d_.until);
        if (a < b)
            spans.append({a, b});
    }
    std::sort(spans.begin(), spans.end(), [](const auto& x, const auto& y) { return x.from < y.from; });
    for (const auto& s : spans) {
        if (!d_.watched.isEmpty() && s.from <= d_.watched.last().to)
            d_.watched.last().to = std::max(d_.watched.last().to, s.to);
        else
            d_.watched.append(s);
    }
    return std::move(d_);
}

ReportData reportFrom(const QList<QJsonObject>& lines, const QDateTime& from, const QDateTime& to, const QDateTime& now)
{
    ReportBuilder builder(from, to, now);
    for (const QJsonObject& line : lines)
        builder.add(line);
    return builder.finish();
}

bool writeReport(const QString& dir, const QDateTime& from, const QDateTime& to, const QString& output, QString* error)
{
    // The files are named by the local date of their lines: the period's instants, in local time, with a day
    // to spare on either side for a watch that ran under another offset (the day before also tells what was
    // running and open when the period began); the lines themselves are then picked by instant.
    qsizetype tooLong = 0;
    ReportBuilder builder(from, to, QDateTime::currentDateTime());
    forEachJournalLine(dir, from.toLocalTime().date().addDays(-1), to.toLocalTime().date().addDays(1),
                       [&](const QJsonObject& line) { builder.add(line); }, &tooLong);
    ReportData data = builder.finish();
    data.linesTooLong = tooLong;

    int pages = 0;
    {
        PageWriter counting(nullptr, nullptr, 0);
        drawReport(counting, data, dir);
        pages = counting.pages();
    }
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = u"cannot write %1: %2"_s.arg(output, file.errorString());
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(72);  // one unit a point
        pdf.setTitle(u"QV7700 watch report"_s);
        pdf.setCreator(u"qv7700-remote "_s + QStringLiteral(QV_VERSION));
        QPainter painter(&pdf);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        PageWriter writer(&pdf, &painter, pages);
        drawReport(writer, data, dir);
    }
    if (!file.commit()) {
        *error = u"cannot write %1: %2"_s.arg(output, file.errorString());
        return false;
    }
    return true;
}

}  // namespace qv
