// The watch as a user runs it: against an instrument on a pseudo-terminal whose feed changes on a script,
// killed with SIGKILL at random moments, and on a small filesystem that fills up or turns read-only.

#include "test_rigs.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

using namespace Qt::StringLiterals;
using qv::test::journalEvents;
using qv::test::Process;
using qv::test::readFile;
using qv::test::writeFile;

namespace {
QByteArray journalText(const QString& dir)
{
    QByteArray all;
    const QDir journal(dir + u"/journal"_s);
    for (const QString& name : journal.entryList({u"*.jsonl"_s}, QDir::Files, QDir::Name))
        all += readFile(journal.filePath(name));
    return all;
}

// Every line of the journal that ends in a line feed, parsed; false, with the culprit shown, when one of them is
// not a JSON object.
bool wholeLines(const QString& dir, QList<QJsonObject>* out)
{
    const QList<QByteArray> lines = journalText(dir).split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QJsonDocument doc = QJsonDocument::fromJson(lines.at(i));
        if (!doc.isObject()) {
            qWarning("not a JSON object: %s", lines.at(i).constData());
            return false;
        }
        out->append(doc.object());
    }
    return true;
}

// setpriv's arguments that run the program as user nobody, for whom root's folders are not writable.
const QStringList kAsNobody{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, QStringLiteral(QV_PROGRAM)};

// The watch as a separate process; the poll period comes from the environment (QV7700_POLL_MS) when a test sets it.
struct Watcher : Process {
    QString dir;
    Watcher(const QString& watchDir, const QStringList& extra, bool asNobody = false)
        : Process((asNobody ? kAsNobody : QStringList()) + QStringList{u"--watch"_s, watchDir} + extra,
                  asNobody ? u"setpriv"_s : QString()),
          dir(watchDir)
    {
    }
    int starts() const { return int(journalText(dir).count("\"event\":\"start\"")); }
    bool has(const QByteArray& text) const { return journalText(dir).contains(text); }
    int stop()
    {
        terminate();  // SIGTERM, as a service manager stops it
        return finish();
    }
};
}  // namespace

class TestWatchEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void init() { qunsetenv("QV7700_POLL_MS"); }  // the program's own poll period unless a test sets a faster one
    void scriptedFeedOverAPty();
    void oneWatchPerFolder();
    void killNine();
    void fullDiskOrUnwritableFolder_data();
    void fullDiskOrUnwritableFolder();
};

void TestWatchEndToEnd::scriptedFeedOverAPty()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(u"watch"_s), link = tmp.filePath(u"instrument"_s);
    qputenv("QV_PTY_SECONDS", "240");  // the instrument outlives the whole script
    Process peer({link}, QStringLiteral(QV_PTY_PEER));
    QVERIFY(peer.waitForReadyRead(5000));
    const auto say = [&peer](const char* line) { peer.write(QByteArray(line) + '\n'); };
    // The hook leaves its environment in a file named after the alarm and its state, and fails as a mailer does.
    const QString hook = u"/bin/sh -c 'env | grep ^QV_ | sort > \"$0.$QV_ALARM.$QV_STATE\"; echo no mail relay >&2; "
                         u"exit 3' '%1/hook'"_s.arg(tmp.path());
    Watcher w(dir, {u"--device"_s, u"serial:"_s + link, u"--log-every"_s, u"0.1"_s, u"--alarm-hook"_s, hook});
    const int wait = 30000;
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + u"/errorlog.txt"_s), wait);  // the first fetch: the baseline
    // Each change of the feed, and the journal text it must bring.
    const std::pair<const char*, const char*> script[] = {
        {"gamut 1 0", "\"name\":\"gamut\",\"state\":\"raised\""},
        {"gamut 0 0", "\"name\":\"gamut\",\"state\":\"cleared\""},
        {"signal 0", "\"name\":\"signal\",\"state\":\"raised\""},
        {"signal 1", "\"name\":\"signal\",\"state\":\"cleared\""},
        {"unplug", "\"name\":\"absent\",\"state\":\"raised\""},
        {"plug", "\"name\":\"absent\",\"state\":\"cleared\""},
        {"erase", "\"event\":\"log-erased\""},
        {"log 06/12 23:20:00 REF UNLOCKED", "\"name\":\"log\",\"state\":\"cleared\""},
    };
    for (const auto& [change, expected] : script) {
        say(change);
        QTRY_VERIFY2_WITH_TIMEOUT(w.has(expected), change, wait);
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tmp.filePath(u"hook.log.cleared"_s)), wait);
    QCOMPARE(w.stop(), 0);
    // Each failing hook is one line on standard error, which a service's log keeps.
    QCOMPARE(w.readAllStandardError().count("alarm hook exited with 3: no mail relay\n"), 8);

    QList<QJsonObject> lines;
    QVERIFY(wholeLines(dir, &lines));
    const QStringList all = journalEvents(lines);
    QCOMPARE(all.filter(u"alarm "_s), (QStringList{u"alarm gamut raised"_s, u"alarm gamut cleared"_s,
                                                   u"alarm signal raised"_s, u"alarm signal cleared"_s,
                                                   u"alarm absent raised"_s, u"alarm absent cleared"_s,
                                                   u"alarm log raised"_s, u"alarm log cleared"_s}));
    QCOMPARE(lines.first().value(u"device"_s).toString(), u"serial:"_s + link);
    QCOMPARE(all.last(), u"stop"_s);
    QCOMPARE(all.count(u"absent"_s), 1);
    QCOMPARE(all.count(u"log-erased"_s), 1);
    QCOMPARE(all.count(u"hook"_s), 8);
    for (const QJsonObject& o : lines)
        if (o.value(u"event"_s) == u"hook"_s)
            QCOMPARE(o.value(u"stderr"_s).toString(), u"no mail relay"_s);
    QVERIFY(all.indexOf(u"log-erased"_s) < all.indexOf(u"log"_s));
    QCOMPARE(lines.at(int(all.indexOf(u"log"_s))).value(u"text"_s).toString(), u"06/12 23:20:00 REF UNLOCKED"_s);
    // Pictures for the alarms the instrument could show, none for its absence (journaled as an error).
    QStringList captures;
    for (const QJsonObject& o : lines)
        if (o.value(u"event"_s) == u"capture"_s)
            captures << o.value(u"file"_s).toString();
    QCOMPARE(captures.size(), 3);
    for (const QString& c : captures)
        QVERIFY2(QImage(dir + u'/' + c).size() == QSize(1025, 769), qPrintable(c));
    QVERIFY(journalText(dir).contains("absent alarm capture not taken: the instrument is absent"));
    const QString text = QString::fromUtf8(readFile(tmp.filePath(u"hook.gamut.raised"_s)));
    const QString today = QDate::currentDate().toString(u"yyyy-MM-dd"_s);
    for (const QString& expected : {u"QV_ALARM=gamut\n"_s, u"QV_STATE=raised\n"_s, u"QV_DETAIL=GAMUT+ red\n"_s,
                                    u"QV_SERIAL=%1\n"_s.arg(link), u"QV_CAPTURE=%1/%2\n"_s.arg(dir, captures.first()),
                                    u"QV_JOURNAL=%1/journal/%2.jsonl\n"_s.arg(dir, today), u"QV_TIME=%1T"_s.arg(today)})
        QVERIFY2(text.contains(expected), qPrintable(text + u" lacks "_s + expected));
    QVERIFY(readFile(tmp.filePath(u"hook.absent.cleared"_s)).contains("QV_CAPTURE=\n"));
}

// A second watch on a folder already watched ends at once (exit 1), names the folder and the first watch's PID,
// and leaves the journal alone. (killNine shows a watch killed with SIGKILL leaves no lock behind.)
void TestWatchEndToEnd::oneWatchPerFolder()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(u"watch"_s);
    Watcher first(dir, {u"--device"_s, u"sim"_s});
    QTRY_COMPARE_WITH_TIMEOUT(first.starts(), 1, 20000);
    Watcher second(dir, {u"--device"_s, u"sim"_s});
    QVERIFY(second.waitForFinished(10000));
    QByteArray err;
    QCOMPARE(second.finish(nullptr, &err), 1);
    QVERIFY2(err.contains(QFile::encodeName(dir)) && err.contains(" " + QByteArray::number(first.processId()) + ")"),
             err.constData());
    QCOMPARE(first.stop(), 0);
    QList<QJsonObject> lines;
    QVERIFY(wholeLines(dir, &lines));
    QCOMPARE(journalEvents(lines).count(u"start"_s), 1);
    QCOMPARE(journalEvents(lines).count(u"error"_s), 0);
}

// SIGKILL at random moments of a busy watch (fast poll on the vectorscope page, whose gamut lamp flickers, and
// a picture every 0.6 s): afterwards every line of the journal is whole JSON, no start is missing, every
// picture under a capture name is whole. (A line cut short by a power failure is a row of test_watch's journal test.)
void TestWatchEndToEnd::killNine()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(u"watch"_s);
    // Every red poll of the flicker an alarm of its own, and a picture with it.
    const QString rules = tmp.filePath(u"rules.ini"_s);
    QVERIFY(writeFile(rules, "[gamut]\nraise-polls=1\nraise-window=1\nclear-hold-seconds=0\nflap-raises=1000\n"));
    const QStringList args{u"--device"_s, u"sim"_s, u"--press"_s, u"VECT"_s, u"--capture-every"_s, u"0.01"_s,
                           u"--log-every"_s, u"0"_s, u"--alarm-rules"_s, rules};
    constexpr int kKills = 50;
    qputenv("QV7700_POLL_MS", "20");
    for (int n = 1; n <= kKills; ++n) {
        Watcher w(dir, args);
        QTRY_COMPARE_WITH_TIMEOUT(w.starts(), n, 20000);
        QTest::qWait(int(QRandomGenerator::global()->bounded(50, 700)));
        w.kill();
        QVERIFY(w.waitForFinished(5000));
    }
    QVERIFY(journalText(dir).endsWith('\n'));
    QList<QJsonObject> lines;
    QVERIFY(wholeLines(dir, &lines));
    QCOMPARE(journalEvents(lines).count(u"start"_s), kKills);
    QVERIFY(journalEvents(lines).count(u"status"_s) > kKills);
    int pictures = 0;
    for (const QString& day : QDir(dir + u"/captures"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QFileInfo& f : QDir(dir + u"/captures/"_s + day).entryInfoList({u"*.png"_s}, QDir::Files)) {
            QVERIFY2(QImage(f.filePath()).size() == QSize(1025, 769), qPrintable(f.filePath()));
            ++pictures;
        }
    QVERIFY(pictures > 0);
}

void TestWatchEndToEnd::fullDiskOrUnwritableFolder_data()
{
    QTest::addColumn<bool>("unwritable");
    QTest::newRow("disk full") << false;
    QTest::newRow("folder not writable") << true;
}

// A filesystem of its own for the watch folder, 1 MB of tmpfs: filled up while the watch runs, then freed again;
// or a watch folder its user may not write, opened up later.
void TestWatchEndToEnd::fullDiskOrUnwritableFolder()
{
    QFETCH(bool, unwritable);
    QTemporaryDir tmp;
    const QByteArray mountPoint = QFile::encodeName(tmp.path());
    if (::mount("qvwatch", mountPoint.constData(), "tmpfs", 0, "size=1m,mode=0755") != 0)
        QSKIP("mounting a tmpfs needs root (CAP_SYS_ADMIN)");
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    const QString dir = tmp.filePath(u"watch"_s), filler = tmp.filePath(u"filler"_s);
    QVERIFY(QDir().mkdir(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    qputenv("QV7700_POLL_MS", "50");
    Watcher w(dir, {u"--device"_s, u"sim"_s, u"--press"_s, u"VECT"_s}, unwritable);
    if (!unwritable) {
        QTRY_COMPARE_WITH_TIMEOUT(w.starts(), 1, 20000);
        QFile fill(filler);
        QVERIFY(fill.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size() && fill.flush()) {
        }
    }
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += w.readAllStandardError()).contains("journal cannot be written"), 10000);
    QTest::qWait(1500);  // the watch keeps polling, and keeps what it cannot write
    QCOMPARE(w.state(), QProcess::Running);
    // The way out: the folder opened up, or the filler removed.
    QVERIFY(unwritable ? QFile::setPermissions(dir, QFile::permissions(dir) | QFile::WriteOther)
                       : QFile::remove(filler));
    QTRY_VERIFY_WITH_TIMEOUT(w.has("journal not written"), 10000);
    const int code = w.stop();
    err += w.readAllStandardError();
    QVERIFY2(code == 0, err.right(3000).constData());
    QCOMPARE(err.count("cannot be written"), 1);
    QCOMPARE(err.count("written again"), 1);
    QList<QJsonObject> lines;
    QVERIFY(wholeLines(dir, &lines));
    // The lines of the outage came late but whole, in their order and with their own times.
    const QStringList all = journalEvents(lines);
    QVERIFY(all.indexOf(u"error"_s) > 0);
    QVERIFY(all.mid(all.indexOf(u"error"_s)).contains(u"status"_s));
    QCOMPARE(all.last(), u"stop"_s);
    QDateTime previous;
    for (const QJsonObject& o : lines) {
        const QDateTime t = QDateTime::fromString(o.value(u"t"_s).toString(), Qt::ISODateWithMs);
        QVERIFY(!previous.isValid() || previous <= t);
        previous = t;
    }
}

QTEST_GUILESS_MAIN(TestWatchEndToEnd)
#include "test_watch_end_to_end.moc"
