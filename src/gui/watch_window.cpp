#include "gui/watch_window.h"

#include "gui/alarm_list.h"
#include "cli/command_line.h"
#include "cli/watch_mode.h"
#include "gui/network_dialog.h"
#include "net/net_service.h"
#include "gui/desktop_notification.h"
#include "session/session.h"
#include "gui/watch_settings_form.h"
#include "watch/watch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr int kJournalLinesShown = 200;
constexpr qint64 kTailBytes = 32 * 1024;

// The journal's "device" says what the user named with --device, as the headless watch's does.
QString deviceName()
{
    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments());
    return parsed.options ? parsed.options->device : QString();
}

QString statusSummary(const QJsonObject& status)
{
    QStringList parts{status.value(u"mode"_s).toObject().value(u"key"_s).toString(u"no mode"_s),
                      status.value(u"signal"_s).toBool() ? u"signal"_s : u"no signal"_s};
    const QJsonObject lamps = status.value(u"lamps"_s).toObject();
    for (auto it = lamps.begin(); it != lamps.end(); ++it)
        if (it.value().toString() == u"red")
            parts.append(it.key() + u" red"_s);
    return parts.join(u", "_s);
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}
}  // namespace

QString journalLineText(const QByteArray& line)
{
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.isEmpty())
        return QString::fromUtf8(line).trimmed();
    const QDateTime t = QDateTime::fromString(o.value(u"t"_s).toString(), Qt::ISODateWithMs);
    QStringList parts{t.toString(u"HH:mm:ss"_s), o.value(u"event"_s).toString()};
    if (o.contains(u"status"_s))
        parts.append(statusSummary(o.value(u"status"_s).toObject()));
    // The fields in the order a person reads them; numbers and flags carry their names.
    static const char16_t* const kBare[] = {u"name", u"alarm", u"state", u"detail", u"reason", u"file", u"text",
                                            u"what", u"why", u"error"};
    static const char16_t* const kNamed[] = {u"device", u"serial", u"n", u"records", u"exit", u"ms"};
    for (const char16_t* key : kBare)
        if (const QJsonValue v = o.value(QString::fromUtf16(key)); v.isString() && !v.toString().isEmpty())
            parts.append(v.toString());
    for (const char16_t* key : kNamed)
        if (const QJsonValue v = o.value(QString::fromUtf16(key)); !v.isUndefined() && !v.isNull())
            parts.append(QString::fromUtf16(key) + u' ' + v.toVariant().toString());
    if (o.value(u"killed"_s).toBool())
        parts.append(u"killed"_s);
    return parts.join(u"  "_s);
}

WatchWindow::WatchWindow(Session& session, QWidget* owner) : QWidget(owner, Qt::Window), session_(session)
{
    setWindowTitle(u"Watch"_s);
    form_ = new WatchSettingsForm(this);
    form_->load();
    auto* settings = new QGroupBox(u"Settings"_s, this);
    (new QVBoxLayout(settings))->addWidget(form_);

    startStop_ = new QPushButton(u"Start Watching"_s, this);
    startStop_->setCheckable(true);
    startStop_->setAutoDefault(false);
    connect(startStop_, &QPushButton::clicked, this, [this](bool on) { on ? start() : stop(); });
    state_ = new QLabel(u"Not watching."_s, this);
    problem_ = new QLabel(this);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(u"color: #b00000"_s);
    problem_->hide();
    auto* switchRow = new QHBoxLayout;
    switchRow->addWidget(startStop_);
    switchRow->addWidget(state_, 1);

    alarms_ = new AlarmList(this);
    alarms_->acknowledge = [this](const QString& id) {
        if (watch_)
            watch_->acknowledge(id, QString::fromLocal8Bit(qgetenv("USER")), u"window"_s, {});
    };
    journal_ = new QPlainTextEdit(this);
    journal_->setReadOnly(true);
    journal_->setLineWrapMode(QPlainTextEdit::NoWrap);
    journal_->setMaximumBlockCount(kJournalLinesShown);
    journal_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(settings);
    layout->addLayout(switchRow);
    layout->addWidget(problem_);
    layout->addWidget(heading(u"Alarms"_s, this));
    layout->addWidget(alarms_, 1);
    layout->addWidget(heading(u"Journal"_s, this));
    layout->addWidget(journal_, 1);
    resize(780, 640);

    // The durations of active alarms grow with the poll that watches them; nobody sees them while hidden.
    connect(&session_.pollSchedule(), &PollSchedule::due, this, [this] {
        if (watch_ && isVisible())
            alarms_->updateDurations(clock_->now());
    });
}

WatchWindow::~WatchWindow()
{
    form_->save();
    delete watch_;  // writes "stop" while the remote control is still there
}

void WatchWindow::start()
{
    if (watch_)
        return;
    const WatchSettings s = form_->settings();
    if (s.dir.isEmpty()) {
        showProblem(u"Choose a folder for the journal and the captures."_s);
        startStop_->setChecked(false);
        return;
    }
    form_->save();
    showProblem({});
    watch_ = new Watch(session_, deviceName(), s, *clock_, this);
    journal_->clear();
    showJournalTail(watch_->journal().fileFor(clock_->now().date()));
    connect(watch_, &Watch::journalLine, this, [this](const QByteArray& line) {
        journal_->appendPlainText(journalLineText(line));
    });
    connect(watch_, &Watch::problem, this, &WatchWindow::showProblem);
    // Queued: an Acknowledge button's click changes the list that holds the button.
    connect(watch_, &Watch::alarmsChanged, this, &WatchWindow::refreshAlarms, Qt::QueuedConnection);
    watch_->notify = [this](const AlarmEpisode& e) { notifyRaised(alarmNameText(e.name), e.detail); };
    if (QString why; !watch_->start(&why)) {
        delete std::exchange(watch_, nullptr);
        showProblem(why);
        startStop_->setChecked(false);
        return;
    }
    // The window's server, when it serves, shows this watch's alarms and journal as the headless one does.
    if (auto* network = parentWidget() ? parentWidget()->findChild<NetworkDialog*>(QString(), Qt::FindDirectChildrenOnly) : nullptr)
        if (network->service()->running())
            serveWatch(*network->service()->bridge(), *watch_);
    if (!s.snmp.isEmpty()) {
        QString error;
        if (!snmpFeed_)
            snmpFeed_ = snmp::startFeed(session_, s.snmp, s.snmpBaseOid, &error);
        if (snmpFeed_)
            snmpFeed_->follow(watch_);
        else
            showProblem(error + u"; watching without SNMP."_s);
    }
    form_->setEnabled(false);
    startStop_->setChecked(true);
    startStop_->setText(u"Stop Watching"_s);
    state_->setText(u"Watching into %1 since %2."_s.arg(s.dir, clock_->now().toString(u"yyyy-MM-dd HH:mm:ss"_s)));
    refreshAlarms();
}

void WatchWindow::stop()
{
    if (!watch_)
        return;
    Watch* watch = watch_;
    watch_ = nullptr;
    if (snmpFeed_)
        snmpFeed_->follow(nullptr);
    watch->stop();
    alarms_->setEpisodes(watch->episodes(), false, clock_->now());
    // A capture or log fetch the watch asked for may still be on its way to the device queue, and holds on to
    // the watch: it goes once the queue has served what is already in it.
    QTimer::singleShot(0, this, [this, w = QPointer<Watch>(watch)] {
        session_.link().whenFree([w] { delete w.data(); });
    });
    form_->setEnabled(true);
    startStop_->setChecked(false);
    startStop_->setText(u"Start Watching"_s);
    state_->setText(u"Not watching."_s);
}

void WatchWindow::closeEvent(QCloseEvent* event)
{
    form_->save();
    event->accept();  // hidden, not ended: the watch goes on
}

void WatchWindow::refreshAlarms()
{
    if (watch_)
        alarms_->setEpisodes(watch_->episodes(), true, clock_->now());
}

void WatchWindow::showProblem(const QString& text)
{
    problem_->setText(text.isEmpty() ? QString() : clock_->now().toString(u"HH:mm:ss  "_s) + text);
    problem_->setVisible(!text.isEmpty());
}

void WatchWindow::showJournalTail(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const qint64 from = qMax<qint64>(0, f.size() - kTailBytes);
    f.seek(from);
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeLast();  // after the last newline: empty, or a line cut by a crash
    if (from > 0 && !lines.isEmpty())
        lines.removeFirst();  // the read began inside it
    for (const QByteArray& line : lines)
        journal_->appendPlainText(journalLineText(line));
}

void WatchWindow::notifyRaised(const QString& alarm, const QString& detail)
{
    const QString serial = session_.serialNumber();
    sendDesktopNotification(u"QV7700 %1: %2 alarm"_s.arg(serial.isEmpty() ? u"instrument"_s : serial, alarm),
                            u"%1 at %2"_s.arg(detail.isEmpty() ? alarm : detail,
                                              clock_->now().toString(u"HH:mm:ss"_s)));
}

WatchWindow* showWatchWindow(QWidget* owner, Session& session)
{
    auto* w = owner->findChild<WatchWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!w)
        w = new WatchWindow(session, owner);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

}  // namespace qv
