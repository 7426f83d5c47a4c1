#include "watch/report.h"

#include "session/instrument_status.h"
#include "watch/journal.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <functional>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
QDateTime timeOf(const QJsonObject& line)
{
    return QDateTime::fromString(line.value(u"t"_s).toString(), Qt::ISODateWithMs);
}

QString shortTime(const QDateTime& t)
{
    return t.isValid() ? t.toString(u"yyyy-MM-dd HH:mm:ss"_s) : u"-"_s;
}

// Pages of A4 in points, with a running page number at the foot of each.
class PageWriter {
public:
    PageWriter(QPdfWriter& pdf, QPainter& painter) : pdf_(pdf), p_(painter) { footer(); }
    static constexpr int kWidth = 595 - 2 * 50, kBottom = 842 - 60;
    int y = 50;

    void need(int height)
    {
        if (y + height <= kBottom)
            return;
        pdf_.newPage();
        ++page_;
        y = 50;
        footer();
    }
    void text(int x, const QString& s, int size = 9, bool bold = false, int width = kWidth)
    {
        QFont f(u"DejaVu Sans"_s, size);
        f.setBold(bold);
        p_.setFont(f);
        p_.drawText(QRect(50 + x, y, width, size * 2), Qt::AlignLeft | Qt::AlignTop, s);
    }
    void line(const QStringList& cells, const QList<int>& columns, int size = 8, bool bold = false)
    {
        need(size * 2);
        for (qsizetype i = 0; i < cells.size(); ++i)
            text(columns.at(i), cells.at(i), size, bold, (i + 1 < columns.size() ? columns.at(i + 1) : kWidth) - columns.at(i));
        y += size * 2;
    }
    QPainter& painter() { return p_; }

private:
    void footer()
    {
        p_.setFont(QFont(u"DejaVu Sans"_s, 8));
        p_.drawText(QRect(50, 842 - 40, kWidth, 16), Qt::AlignCenter, u"page %1"_s.arg(page_));
    }
    QPdfWriter& pdf_;
    QPainter& p_;
    int page_ = 1;
};

void drawReport(PageWriter& w, const ReportData& d, const QString& dir)
{
    w.text(0, u"QV7700 watch report"_s, 18, true);
    w.y += 36;
    w.text(0, u"Instrument serial: "_s + (d.serials.isEmpty() ? u"(unknown)"_s : d.serials.join(u", "_s)), 10);
    w.y += 18;
    w.text(0, u"Period: %1 to %2"_s.arg(isoTimestamp(d.from), isoTimestamp(d.to)), 10);
    w.y += 18;
    w.text(0, u"Program: qv7700-remote %1"_s.arg(QStringLiteral(QV_VERSION)), 10);
    if (d.linesTooLong > 0) {
        w.y += 18;
        w.text(0, u"Journal lines over 64 KB, not read: %1"_s.arg(d.linesTooLong), 10);
    }
    w.y += 30;

    w.text(0, u"Alarm episodes (%1)"_s.arg(d.episodes.size()), 12, true);
    w.y += 24;
    const QList<int> cols{0, 60, 175, 290, 360};
    w.line({u"alarm"_s, u"raised"_s, u"cleared"_s, u"duration"_s, u"acknowledged"_s}, cols, 8, true);
    for (const auto& e : d.episodes)
        w.line({e.name, shortTime(e.raised), e.cleared.isValid() ? shortTime(e.cleared) : u"(not cleared)"_s,
                e.cleared.isValid() ? durationText(e.raised.msecsTo(e.cleared)) : u"-"_s, shortTime(e.acknowledged)},
               cols);
    w.y += 20;

    w.need(40);
    w.text(0, u"Alarm captures (%1)"_s.arg(d.captures.size()), 12, true);
    w.y += 24;
    for (const auto& c : d.captures) {
        const QImage image(dir + u'/' + c.file);
        const int height = image.isNull() ? 0 : 300;
        w.need(height + 24);
        w.text(0, u"%1  %2 alarm  %3"_s.arg(shortTime(c.time), c.alarm, c.file), 9);
        w.y += 18;
        if (!image.isNull()) {
            w.painter().drawImage(QRect(50, w.y, 400, height), image);
            w.y += height + 10;
        }
    }
    w.y += 20;

    w.need(40);
    w.text(0, u"New error-log records (%1)"_s.arg(d.log.size()), 12, true);
    w.y += 24;
    for (const auto& r : d.log)
        w.line({shortTime(r.seen), r.text}, {0, 110});
}
}  // namespace

QString durationText(qint64 ms)
{
    const qint64 s = ms / 1000;
    if (s < 60)
        return u"%1 s"_s.arg(s);
    if (s < 3600)
        return u"%1 min %2 s"_s.arg(s / 60).arg(s % 60);
    return u"%1 h %2 min"_s.arg(s / 3600).arg(s / 60 % 60);
}

ReportData reportFrom(const QList<QJsonObject>& lines, const QDateTime& from, const QDateTime& to)
{
    ReportData d;
    d.from = from;
    d.to = to;
    for (const QJsonObject& line : lines) {
        const QDateTime t = timeOf(line);
        if (!t.isValid() || t < from || t >= to)
            continue;
        const QString event = line.value(u"event"_s).toString();
        if (event == u"start" || event == u"status") {
            const QString serial = (event == u"start" ? line : line.value(u"status"_s).toObject()).value(u"serial"_s).toString();
            if (!serial.isEmpty() && !d.serials.contains(serial))
                d.serials.append(serial);
        } else if (event == u"alarm") {
            const QString name = line.value(u"name"_s).toString(), state = line.value(u"state"_s).toString();
            if (state == u"raised") {
                d.episodes.append({name, line.value(u"detail"_s).toString(), line.value(u"id"_s).toString(), t, {}, {}});
                continue;
            }
            // A clear ends the open episode of its name; an acknowledgement names its episode by id (a cleared one
            // may be acknowledged too), or, in older journals, the open one.
            const QString id = line.value(u"id"_s).toString();
            for (auto it = d.episodes.rbegin(); it != d.episodes.rend(); ++it) {
                if (it->name != name)
                    continue;
                if (state == u"acknowledged" && !id.isEmpty()) {
                    if (id != it->id)
                        continue;
                } else if (it->cleared.isValid()) {
                    continue;
                }
                // A clear says when its condition ended; the episode lasted that long, not also its clear hold.
                const QDateTime ended = QDateTime::fromString(line.value(u"ended"_s).toString(), Qt::ISODateWithMs);
                (state == u"cleared" ? it->cleared : it->acknowledged) = state == u"cleared" && ended.isValid() ? ended : t;
                break;
            }
        } else if (event == u"capture" && line.value(u"reason"_s).toString() == u"alarm") {
            d.captures.append({t, line.value(u"alarm"_s).toString(), line.value(u"file"_s).toString()});
        } else if (event == u"log") {
            d.log.append({t, line.value(u"text"_s).toString()});
        }
    }
    return d;
}

bool writeReport(const QString& dir, const QDateTime& from, const QDateTime& to, const QString& output, QString* error)
{
    // The files are named by the local date of their lines: the period's instants, in local time, with a day
    // to spare on either side for a watch that ran under another offset; the lines themselves are then picked
    // by instant.
    qsizetype tooLong = 0;
    const QList<QJsonObject> lines =
        readJournal(dir, from.toLocalTime().date().addDays(-1), to.toLocalTime().date().addDays(1), &tooLong);
    ReportData data = reportFrom(lines, from, to);
    data.linesTooLong = tooLong;
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
        PageWriter writer(pdf, painter);
        drawReport(writer, data, dir);
    }
    if (!file.commit()) {
        *error = u"cannot write %1: %2"_s.arg(output, file.errorString());
        return false;
    }
    return true;
}

}  // namespace qv
