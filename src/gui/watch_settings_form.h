#pragma once
// The watch window's settings, the same as the headless watch's options: folder, --capture-every,
// --log-every, the alarms, --alarm-hook, --keep-days, --keep-mb and --snmp. Remembered with QSettings.

#include "watch/watch.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace qv {

class WatchSettingsForm : public QWidget {
    Q_OBJECT
public:
    explicit WatchSettingsForm(QWidget* parent = nullptr);

    WatchSettings settings() const;
    void setSettings(const WatchSettings& s);
    // The last settings used, or the headless watch's defaults and a folder in the user's data folder.
    void load();
    void save() const;

    QLineEdit* folder() const { return folder_; }
    QDoubleSpinBox* captureEvery() const { return captureEvery_; }
    QDoubleSpinBox* logEvery() const { return logEvery_; }
    QCheckBox* alarm(AlarmName name) const { return alarms_[size_t(name)]; }
    QLineEdit* hook() const { return hook_; }
    QSpinBox* keepDays() const { return keepDays_; }
    QSpinBox* keepMegabytes() const { return keepMb_; }
    QLineEdit* snmp() const { return snmp_; }

private:
    QLineEdit* folder_ = nullptr;
    QDoubleSpinBox* captureEvery_ = nullptr;
    QDoubleSpinBox* logEvery_ = nullptr;
    std::array<QCheckBox*, kAlarmCount> alarms_{};
    QLineEdit* hook_ = nullptr;
    QSpinBox* keepDays_ = nullptr;
    QSpinBox* keepMb_ = nullptr;
    QLineEdit* snmp_ = nullptr;
};

}  // namespace qv
