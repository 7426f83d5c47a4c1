#include "logger/log_formats.h"

#include "session/instrument_status.h"
#include "logger/error_log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kHeaderRecords = 4;

// The shown part of a record starts at its first blank and ends with a line feed; a script wants the words.
QString withoutLineEnd(const QString& text)
{
    return text.trimmed();
}

QString csvField(const QString& text)
{
    if (!text.contains(u'"') && !text.contains(u',') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u"\""_s, u"\"\""_s) + u'"';
}
}  // namespace

LogCollector::LogCollector(ErrorLog& log, QObject* parent) : QObject(parent)
{
    connect(&log, &ErrorLog::recordReceived, this, [this](int record, const QString& shown, bool endOfLog) {
        if (endOfLog)
            log_.complete = true;
        else if (record < kHeaderRecords)
            log_.header.append(withoutLineEnd(shown));
        else if (record < ErrorLog::kRecordLimit)
            log_.records.append({record - kHeaderRecords + 1, withoutLineEnd(shown)});
    });
}

QByteArray logToJson(const FetchedLog& log, const QString& serial, const QDateTime& time)
{
    QJsonArray records;
    for (const auto& r : log.records)
        records.append(QJsonObject{{u"n"_s, r.n}, {u"text"_s, r.text}});
    const QJsonObject doc{
        {u"header"_s, QJsonArray::fromStringList(log.header)},
        {u"records"_s, records},
        {u"complete"_s, log.complete},
        {u"serial"_s, serial.isEmpty() ? QJsonValue() : QJsonValue(serial)},
        {u"time"_s, isoTimestamp(time)},
    };
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

QByteArray logToCsv(const FetchedLog& log)
{
    QString out = u"n,text\r\n"_s;
    for (const auto& r : log.records)
        out += QString::number(r.n) + u',' + csvField(r.text) + u"\r\n"_s;
    return out.toUtf8();
}

}  // namespace qv
