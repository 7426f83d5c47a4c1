#include "gui/watch_settings_form.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 kMegabyte = 1024 * 1024;
// The headless watch's limits on its minutes (one week).
constexpr double kMaxMinutes = 10080;

QDoubleSpinBox* minutesBox(QWidget* parent, const QString& zero)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0, kMaxMinutes);
    box->setDecimals(1);
    box->setSuffix(u" min"_s);
    box->setSpecialValueText(zero);
    return box;
}

QSpinBox* countBox(QWidget* parent, int max, const QString& suffix)
{
    auto* box = new QSpinBox(parent);
    box->setRange(1, max);
    box->setSuffix(suffix);
    return box;
}

QWidget* row(QWidget* parent, std::initializer_list<QWidget*> widgets)
{
    auto* w = new QWidget(parent);
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* item : widgets)
        layout->addWidget(item);
    layout->addStretch(1);
    return w;
}
}  // namespace

WatchSettingsForm::WatchSettingsForm(QWidget* parent) : QWidget(parent)
{
    folder_ = new QLineEdit(this);
    auto* browse = new QPushButton(u"Browse..."_s, this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, u"Watch Folder"_s, folder_->text());
        if (!dir.isEmpty())
            folder_->setText(dir);
    });
    captureEvery_ = minutesBox(this, u"never"_s);
    logEvery_ = minutesBox(this, u"never"_s);
    QWidget* alarms = row(this, {});
    for (int i = 0; i < kAlarmCount; ++i) {
        alarms_[size_t(i)] = new QCheckBox(alarmNameText(AlarmName(i)), alarms);
        static_cast<QHBoxLayout*>(alarms->layout())->insertWidget(i, alarms_[size_t(i)]);
    }
    hook_ = new QLineEdit(this);
    hook_->setPlaceholderText(u"a command run for every alarm raised or cleared"_s);
    keepDays_ = countBox(this, 36500, u" days"_s);
    keepMb_ = countBox(this, 1000000, u" MB"_s);
    snmp_ = new QLineEdit(this);
    snmp_->setPlaceholderText(u"none; the agent's AgentX socket, such as /var/agentx/master"_s);

    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    form->addRow(u"Folder:"_s, folderRow);
    form->addRow(u"Time-lapse capture every:"_s, row(this, {captureEvery_}));
    form->addRow(u"Fetch the error log every:"_s, row(this, {logEvery_}));
    form->addRow(u"Alarms:"_s, alarms);
    form->addRow(u"Alarm hook:"_s, hook_);
    form->addRow(u"Keep:"_s, row(this, {keepDays_, new QLabel(u"and at most"_s, this), keepMb_}));
    form->addRow(u"SNMP subagent:"_s, snmp_);
    setSettings(WatchSettings{});
}

WatchSettings WatchSettingsForm::settings() const
{
    WatchSettings s;
    s.dir = folder_->text().trimmed();
    s.captureEveryMinutes = captureEvery_->value();
    s.logEveryMinutes = logEvery_->value();
    for (size_t i = 0; i < alarms_.size(); ++i)
        s.alarms[i] = alarms_[i]->isChecked();
    s.hook = hook_->text().trimmed();
    s.retention = {keepDays_->value(), keepMb_->value() * kMegabyte};
    s.snmp = snmp_->text().trimmed();
    return s;
}

void WatchSettingsForm::setSettings(const WatchSettings& s)
{
    folder_->setText(s.dir);
    captureEvery_->setValue(s.captureEveryMinutes);
    logEvery_->setValue(s.logEveryMinutes);
    for (size_t i = 0; i < alarms_.size(); ++i)
        alarms_[i]->setChecked(s.alarms[i]);
    hook_->setText(s.hook);
    keepDays_->setValue(s.retention.keepDays);
    keepMb_->setValue(int(s.retention.keepBytes / kMegabyte));
    snmp_->setText(s.snmp);
}

void WatchSettingsForm::load()
{
    const WatchSettings d;
    const QSettings q;
    WatchSettings s;
    // ~/.local/share/qv7700-remote/watch: the program's own folder once, not once for its organisation and
    // once more for its name.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    s.dir = q.value(u"watch/folder"_s, dataDir + u"/qv7700-remote/watch"_s).toString();
    s.captureEveryMinutes = q.value(u"watch/capture-every"_s, d.captureEveryMinutes).toDouble();
    s.logEveryMinutes = q.value(u"watch/log-every"_s, d.logEveryMinutes).toDouble();
    s.alarms = parseAlarmList(q.value(u"watch/alarms"_s, u"all"_s).toString()).value_or(d.alarms);
    s.hook = q.value(u"watch/alarm-hook"_s).toString();
    s.retention.keepDays = q.value(u"watch/keep-days"_s, d.retention.keepDays).toInt();
    s.retention.keepBytes = q.value(u"watch/keep-mb"_s, d.retention.keepBytes / kMegabyte).toLongLong() * kMegabyte;
    s.snmp = q.value(u"watch/snmp"_s).toString();
    setSettings(s);
}

void WatchSettingsForm::save() const
{
    const WatchSettings s = settings();
    QSettings q;
    q.setValue(u"watch/folder"_s, s.dir);
    q.setValue(u"watch/capture-every"_s, s.captureEveryMinutes);
    q.setValue(u"watch/log-every"_s, s.logEveryMinutes);
    // In the words of --alarms; none chosen is an empty list, not "all".
    QStringList alarms;
    for (int i = 0; i < kAlarmCount; ++i)
        if (s.alarms[size_t(i)])
            alarms.append(alarmNameText(AlarmName(i)));
    q.setValue(u"watch/alarms"_s, alarms.join(u','));
    q.setValue(u"watch/alarm-hook"_s, s.hook);
    q.setValue(u"watch/keep-days"_s, s.retention.keepDays);
    q.setValue(u"watch/keep-mb"_s, s.retention.keepBytes / kMegabyte);
    q.setValue(u"watch/snmp"_s, s.snmp);
}

}  // namespace qv
