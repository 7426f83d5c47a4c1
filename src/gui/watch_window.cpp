#include "gui/watch_window.h"

#include "gui/alarm_list.h"
#include "cli/command_line.h"
#include "cli/watch_mode.h"
#include "gui/download_window.h"
#include "gui/network_dialog.h"
#include "net/net_service.h"
#include "gui/desktop_notification.h"
#include "render/screen_picture.h"
#include "session/session.h"
#include "state/colours.h"
#include "gui/watch_settings_form.h"
#include "watch/append_file.h"
#include "watch/journal.h"
#include "watch/report.h"
#include "watch/watch.h"

#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
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

// The banner in the colours of the main window's lamps: green all well, yellow a warning, red an error, grey
// (a lamp that is off) when nothing is watched.
QString bannerStyle(Rgb background, const char16_t* text)
{
    return u"QLabel { background: %1; color: %2; border: 1px solid #404040; padding: 6px; }"_s.arg(
        QColor::fromRgb(background).name(), QString::fromUtf16(text));
}

// Whether a journal can be written in dir, tried as the journal itself writes one (the day's file opened for
// appending, its folders made as needed): empty when it can, else why not. A watch started on a folder that
// cannot be written would only hold its journal in memory and take no captures.
QString journalNotWritable(const QString& dir, const QDate& day, Clock& clock)
{
    AppendFile probe;
    return probe.open(Journal(dir, clock).fileFor(day)) ? QString() : probe.error();
}

// The period and the file of a report; today (local time) into the user's documents folder unless changed.
class ReportDialog : public QDialog {
public:
    ReportDialog(const QDateTime& now, QWidget* parent) : QDialog(parent)
    {
        setWindowTitle(u"Watch Report"_s);
        const QDateTime today = now.toLocalTime().date().startOfDay();
        from_ = new QDateTimeEdit(today, this);
        to_ = new QDateTimeEdit(today.addDays(1), this);
        for (QDateTimeEdit* edit : {from_, to_}) {
            edit->setDisplayFormat(u"yyyy-MM-dd HH:mm"_s);
            edit->setCalendarPopup(true);
        }
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        output_ = new QLineEdit(folder + u"/qv7700-watch-report-%1.pdf"_s.arg(today.date().toString(Qt::ISODate)), this);
        output_->setMinimumWidth(360);
        auto* browse = new QPushButton(u"Browse..."_s, this);
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString file = QFileDialog::getSaveFileName(this, u"Report File"_s, output_->text(), u"PDF (*.pdf)"_s);
            if (!file.isEmpty())
                output_->setText(file.endsWith(u".pdf"_s, Qt::CaseInsensitive) ? file : file + u".pdf"_s);
        });
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(u"Write Report"_s);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        const auto check = [this, ok = buttons->button(QDialogButtonBox::Ok)] {
            ok->setEnabled(from_->dateTime() < to_->dateTime() && !output_->text().trimmed().isEmpty());
        };
        connect(from_, &QDateTimeEdit::dateTimeChanged, this, check);
        connect(to_, &QDateTimeEdit::dateTimeChanged, this, check);
        connect(output_, &QLineEdit::textChanged, this, check);

        auto* form = new QFormLayout(this);
        form->addRow(u"From:"_s, from_);
        form->addRow(u"To:"_s, to_);
        auto* fileRow = new QHBoxLayout;
        fileRow->addWidget(output_, 1);
        fileRow->addWidget(browse);
        form->addRow(u"PDF file:"_s, fileRow);
        form->addRow(buttons);
    }
    QDateTime from() const { return from_->dateTime(); }
    QDateTime to() const { return to_->dateTime(); }
    QString output() const { return output_->text().trimmed(); }

private:
    QDateTimeEdit* from_;
    QDateTimeEdit* to_;
    QLineEdit* output_;
};
}  // namespace

AlarmClass alarmClass(AlarmName name)
{
    return name == AlarmName::Absent ? AlarmClass::Error : AlarmClass::Warning;
}

std::deque<AlarmEpisode> journaledEpisodes(const QList<QJsonObject>& lines, const QString& dir)
{
    std::deque<AlarmEpisode> out;
    const auto timeOf = [](const QJsonValue& v) { return QDateTime::fromString(v.toString(), Qt::ISODateWithMs); };
    // The newest episode of the alarm that matches, as the watch finds it.
    const auto latest = [&out](AlarmName name, auto&& matches) -> AlarmEpisode* {
        for (auto it = out.rbegin(); it != out.rend(); ++it)
            if (it->name == name && matches(*it))
                return &*it;
        return nullptr;
    };
    for (const QJsonObject& line : lines) {
        const QString event = line.value(u"event"_s).toString();
        const QDateTime t = timeOf(line.value(u"t"_s));
        if (event == u"capture") {
            // An alarm's picture is taken just after its raise: it belongs to the newest episode of its alarm
            // raised by then that has none yet.
            const std::optional<AlarmName> name = alarmNamed(line.value(u"alarm"_s).toString());
            if (line.value(u"reason"_s) != u"alarm"_s || !name)
                continue;
            if (AlarmEpisode* e = latest(*name, [&t](const AlarmEpisode& x) { return x.capture.isEmpty() && x.raised <= t; }))
                e->capture = QDir(dir).filePath(line.value(u"file"_s).toString());
            continue;
        }
        if (event != u"alarm")
            continue;
        const std::optional<AlarmName> name = alarmNamed(line.value(u"name"_s).toString());
        if (!name || !t.isValid())
            continue;
        const QString state = line.value(u"state"_s).toString(), id = line.value(u"id"_s).toString();
        if (state == u"raised") {
            AlarmEpisode e;
            e.name = *name;
            // Older journals named no id: the watch makes it from the alarm and the raise.
            e.id = id.isEmpty() ? alarmNameText(*name) + u'-' + QString::number(t.toMSecsSinceEpoch()) : id;
            e.detail = line.value(u"detail"_s).toString();
            e.raised = t;
            e.flapping = line.value(u"flapping"_s).toBool();
            out.push_back(std::move(e));
        } else if (state == u"cleared") {
            if (AlarmEpisode* e = latest(*name, [](const AlarmEpisode& x) { return !x.cleared.isValid(); })) {
                const QDateTime ended = timeOf(line.value(u"ended"_s));
                e->cleared = ended.isValid() ? ended : t;
            }
        } else if (state == u"acknowledged") {
            // By its id; in older journals, the open episode of the alarm.
            AlarmEpisode* e = id.isEmpty() ? latest(*name, [](const AlarmEpisode& x) { return !x.cleared.isValid(); })
                                           : latest(*name, [&id](const AlarmEpisode& x) { return x.id == id; });
            if (e && !e->acknowledged.isValid()) {
                e->acknowledged = t;
                e->acknowledgedBy = line.value(u"by"_s).toString();
                e->acknowledgedFrom = line.value(u"from"_s).toString();
                e->comment = line.value(u"comment"_s).toString();
            }
        }
    }
    return out;
}

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
    banner_ = new QLabel(this);
    banner_->setAlignment(Qt::AlignCenter);
    banner_->setWordWrap(true);
    QFont large = banner_->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.8);
    banner_->setFont(large);

    form_ = new WatchSettingsForm(this);
    form_->load();
    // Folded away while watching (what the watch runs with can still be looked at, not changed), unfolded to
    // be set when stopped.
    settingsToggle_ = new QToolButton(this);
    settingsToggle_->setText(u"Settings"_s);
    settingsToggle_->setCheckable(true);
    settingsToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    settingsToggle_->setAutoRaise(true);
    QFont bold = settingsToggle_->font();
    bold.setBold(true);
    settingsToggle_->setFont(bold);
    connect(settingsToggle_, &QToolButton::toggled, this, &WatchWindow::setSettingsShown);
    auto* settings = new QFrame(this);
    settings->setFrameShape(QFrame::StyledPanel);
    (new QVBoxLayout(settings))->addWidget(form_);
    settingsPanel_ = settings;

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
    alarms_->openCapture = [this](const AlarmEpisode& e) { openCapture(e); };
    openCapture_ = new QPushButton(u"Open Capture"_s, this);
    openCapture_->setAutoDefault(false);
    openCapture_->setEnabled(false);
    openCapture_->setToolTip(u"The picture the watch took when the chosen alarm was raised (or double-click it)"_s);
    connect(openCapture_, &QPushButton::clicked, alarms_, &AlarmList::openCurrentCapture);
    connect(alarms_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const AlarmEpisode* e = alarms_->current();
        openCapture_->setEnabled(e && !e->capture.isEmpty());
    });
    report_ = new QPushButton(u"Report..."_s, this);
    report_->setAutoDefault(false);
    report_->setToolTip(u"A PDF of the alarms, their captures and the new error-log records of a period"_s);
    connect(report_, &QPushButton::clicked, this, &WatchWindow::askForReport);
    reportBusy_ = new QProgressBar(this);
    reportBusy_->setRange(0, 0);  // busy: the report says nothing of how far it got
    reportBusy_->setMaximumWidth(120);
    reportBusy_->hide();
    reportState_ = new QLabel(this);
    reportState_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* alarmsRow = new QHBoxLayout;
    alarmsRow->addWidget(heading(u"Alarms"_s, this));
    alarmsRow->addStretch(1);
    alarmsRow->addWidget(reportState_);
    alarmsRow->addWidget(reportBusy_);
    alarmsRow->addWidget(openCapture_);
    alarmsRow->addWidget(report_);
    journal_ = new QPlainTextEdit(this);
    journal_->setReadOnly(true);
    journal_->setLineWrapMode(QPlainTextEdit::NoWrap);
    journal_->setMaximumBlockCount(kJournalLinesShown);
    journal_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner_);
    layout->addWidget(settingsToggle_, 0, Qt::AlignLeft);
    layout->addWidget(settings);
    layout->addLayout(switchRow);
    layout->addWidget(problem_);
    layout->addLayout(alarmsRow);
    layout->addWidget(alarms_, 1);
    layout->addWidget(heading(u"Journal"_s, this));
    layout->addWidget(journal_, 1);
    resize(820, 680);
    setSettingsShown(true);
    showBanner();

    // The durations of active alarms grow with the poll that watches them; nobody sees them while hidden.
    connect(&session_.pollSchedule(), &PollSchedule::due, this, [this] {
        if (watch_ && isVisible())
            alarms_->updateDurations(clock_->now());
    });
}

WatchWindow::~WatchWindow()
{
    if (reportThread_)
        reportThread_->wait();  // it writes to a file of its own; the PDF is finished, not cut
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
    const QDate today = clock_->now().date();
    // Refused before anything starts: a watch whose journal cannot be written would leave no trace.
    if (const QString why = journalNotWritable(s.dir, today, *clock_); !why.isEmpty()) {
        showProblem(u"Cannot watch into %1: the folder cannot be written (%2)."_s.arg(s.dir, why));
        startStop_->setChecked(false);
        return;
    }
    // Today's journal as the watches before this one left it, read before this one adds to it.
    const QList<QJsonObject> todaysLines = readJournal(s.dir, today, today);
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
    // The list goes on from where the last watch here left it: today's episodes, and those of earlier days that
    // this watch goes on with (read from the day they were raised, for their acknowledgement and capture).
    QDate first = today;
    for (const AlarmEpisode& e : watch_->episodes())
        first = std::min(first, e.raised.date());
    QList<QJsonObject> lines = first < today ? readJournal(s.dir, first, today.addDays(-1)) : QList<QJsonObject>();
    lines += todaysLines;
    earlier_.clear();
    for (AlarmEpisode& e : journaledEpisodes(lines, s.dir)) {
        const bool continued = std::any_of(watch_->episodes().begin(), watch_->episodes().end(),
                                           [&e](const AlarmEpisode& x) { return x.id == e.id; });
        if (continued || e.raised.date() == today || !e.cleared.isValid() || e.cleared.date() == today)
            earlier_.push_back(std::move(e));
    }
    constexpr size_t kEarlierShown = 200;  // as many as the watch keeps of its own
    while (earlier_.size() > kEarlierShown)
        earlier_.pop_front();
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
    setSettingsShown(false);
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
    showAlarms(watch->episodes(), false);
    // A capture or log fetch the watch asked for may still be on its way to the device queue, and holds on to
    // the watch: it goes once the queue has served what is already in it.
    QTimer::singleShot(0, this, [this, w = QPointer<Watch>(watch)] {
        session_.link().whenFree([w] { delete w.data(); });
    });
    form_->setEnabled(true);
    setSettingsShown(true);
    startStop_->setChecked(false);
    startStop_->setText(u"Start Watching"_s);
    state_->setText(u"Not watching."_s);
    showBanner();
}

void WatchWindow::closeEvent(QCloseEvent* event)
{
    form_->save();
    event->accept();  // hidden, not ended: the watch goes on
}

void WatchWindow::refreshAlarms()
{
    if (watch_)
        showAlarms(watch_->episodes(), true);
    showBanner();
}

void WatchWindow::showAlarms(const std::deque<AlarmEpisode>& live, bool canAcknowledge)
{
    // The earlier watches' episodes first, then this watch's. One this watch went on with is shown as this
    // watch has it, with the acknowledgement and capture the journal gave it before.
    std::deque<AlarmEpisode> all;
    QSet<QString> earlierIds;
    for (const AlarmEpisode& e : earlier_)
        if (std::none_of(live.begin(), live.end(), [&e](const AlarmEpisode& x) { return x.id == e.id; })) {
            all.push_back(e);
            earlierIds.insert(e.id);
        }
    for (AlarmEpisode e : live) {
        const auto before = std::find_if(earlier_.begin(), earlier_.end(), [&e](const AlarmEpisode& x) { return x.id == e.id; });
        if (before != earlier_.end()) {
            if (!e.acknowledged.isValid() && before->acknowledged.isValid()) {
                e.acknowledged = before->acknowledged;
                e.acknowledgedBy = before->acknowledgedBy;
                e.acknowledgedFrom = before->acknowledgedFrom;
                e.comment = before->comment;
            }
            if (e.capture.isEmpty())
                e.capture = before->capture;
        }
        all.push_back(std::move(e));
    }
    alarms_->setEpisodes(all, canAcknowledge, clock_->now(), earlierIds);
}

void WatchWindow::showBanner()
{
    if (!watch_) {
        banner_->setText(u"Not watching"_s);
        banner_->setStyleSheet(bannerStyle(palette::Grey, u"#404040"));
        return;
    }
    QStringList names;
    bool error = false;
    for (int i = 0; i < kAlarmCount; ++i) {
        const auto name = AlarmName(i);
        if (std::any_of(watch_->episodes().begin(), watch_->episodes().end(),
                        [name](const AlarmEpisode& e) { return e.name == name && !e.cleared.isValid(); })) {
            names.append(alarmNameText(name));
            error = error || alarmClass(name) == AlarmClass::Error;
        }
    }
    if (names.isEmpty()) {
        banner_->setText(u"OK"_s);
        banner_->setStyleSheet(bannerStyle(palette::Green, u"black"));
    } else {
        banner_->setText(u"ALARM: "_s + names.join(u", "_s));
        banner_->setStyleSheet(error ? bannerStyle(palette::Red, u"white") : bannerStyle(palette::Yellow, u"black"));
    }
}

void WatchWindow::setSettingsShown(bool shown)
{
    settingsToggle_->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    settingsToggle_->setText(watch_ ? u"Settings (as watching, read-only)"_s : u"Settings"_s);
    settingsPanel_->setVisible(shown);
    if (settingsToggle_->isChecked() != shown)
        settingsToggle_->setChecked(shown);
}

DownloadWindow* WatchWindow::openCapture(const AlarmEpisode& episode)
{
    QImageReader reader(episode.capture);
    const QImage image = reader.read();
    if (image.isNull()) {
        // Retention may have deleted it since, or the folder is on a disk that went away.
        showProblem(u"cannot open the %1 alarm's capture %2: %3"_s.arg(alarmNameText(episode.name), episode.capture,
                                                                     reader.errorString()));
        return nullptr;
    }
    // The program's screen window, over a picture of its own: the session's screen picture stays as it is.
    auto* picture = new ScreenPicture;
    auto* window = new DownloadWindow(*picture, nullptr, this);  // a stored picture: no live switch
    picture->setParent(window);
    window->setWindowFlag(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(u"%1 alarm %2 - %3"_s.arg(alarmNameText(episode.name),
                                                    episode.raised.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                                                    QFileInfo(episode.capture).fileName()));
    picture->show(image.convertToFormat(QImage::Format_RGB32));
    window->show();
    window->raise();
    return window;
}

void WatchWindow::askForReport()
{
    if (reportThread_)
        return;
    const QString dir = watch_ ? watch_->settings().dir : form_->settings().dir;
    if (dir.isEmpty()) {
        showProblem(u"Choose the folder whose journal the report reads."_s);
        return;
    }
    ReportDialog dialog(clock_->now(), this);
    if (dialog.exec() == QDialog::Accepted)
        writeReport(dialog.from(), dialog.to(), dialog.output());
}

void WatchWindow::writeReport(const QDateTime& from, const QDateTime& to, const QString& output)
{
    if (reportThread_)
        return;
    const QString dir = watch_ ? watch_->settings().dir : form_->settings().dir;
    // A long period's journal and pictures take a while: the window and the watch go on meanwhile.
    auto error = std::make_shared<QString>();
    auto written = std::make_shared<bool>(false);
    reportThread_ = QThread::create([=] { *written = qv::writeReport(dir, from, to, output, error.get()); });
    reportThread_->setParent(this);
    connect(reportThread_, &QThread::finished, this, [this, error, written, output] {
        reportThread_->deleteLater();
        reportThread_ = nullptr;
        reportBusy_->hide();
        report_->setEnabled(true);
        reportState_->setStyleSheet(*written ? QString() : u"color: #b00000"_s);
        reportState_->setText(*written ? u"Report written: %1"_s.arg(output) : u"Report not written: %1"_s.arg(*error));
    });
    report_->setEnabled(false);
    reportBusy_->show();
    reportState_->setStyleSheet(QString());
    reportState_->setText(u"Writing the report..."_s);
    reportThread_->start();
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
