#include "watch/log_keeper.h"

#include "session/instrument_status.h"

#include <QFile>

namespace qv {

using namespace Qt::StringLiterals;

LogDiff diffLog(const QStringList& previous, const QStringList& current)
{
    const qsizetype p = previous.size(), c = current.size();
    if (c >= p && std::equal(previous.begin(), previous.end(), current.begin()))
        return {false, int(p)};
    // The longest end of the previous log that the current one starts with: an instrument that drops its
    // oldest records keeps the rest in order.
    for (qsizetype k = std::min(p, c); k > 0; --k)
        if (std::equal(previous.end() - k, previous.end(), current.begin()))
            return {true, int(k)};
    return {true, 0};
}

LogKeeper::LogKeeper(const QString& path) : path_(path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        baseline_ = true;
        const QList<QByteArray> lines = f.readAll().split('\n');
        // The last piece is empty after a final line feed, or a line cut short by a crash: neither counts.
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            const QByteArray& line = lines.at(i);
            if (line.startsWith('#'))
                seen_.clear();
            else if (const qsizetype tab = line.indexOf('\t'); tab >= 0)
                seen_.append(QString::fromUtf8(line.mid(tab + 1)));
        }
    }
}

void LogKeeper::append(const QByteArray& line)
{
    retry();
    if (!held_.isEmpty() || !((file_.isOpen() || file_.open(path_)) && file_.append(line)))
        held_.append(line);
}

void LogKeeper::retry()
{
    while (!held_.isEmpty() && (file_.isOpen() || file_.open(path_)) && file_.append(held_.constFirst()))
        held_.removeFirst();
}

LogDiff LogKeeper::record(const QStringList& fetched, const QDateTime& time)
{
    const LogDiff diff = diffLog(seen_, fetched);
    const QByteArray stamp = isoTimestamp(time).toLatin1();
    if (diff.erased)
        append("# " + stamp + " log erased on the instrument");
    for (qsizetype i = diff.firstNew; i < fetched.size(); ++i)
        append(stamp + '\t' + fetched.at(i).toUtf8());
    seen_ = fetched;
    baseline_ = true;
    return diff;
}

}  // namespace qv
