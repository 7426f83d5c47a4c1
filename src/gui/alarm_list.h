#pragma once
// The watch window's alarm episodes: active ones on top, newest first, then the ended ones, newest first; each
// with its detail, the times it was raised and cleared, its duration and an Acknowledge button.

#include "watch/watch.h"

#include <QTreeWidget>

#include <deque>
#include <functional>
#include <vector>

class QPushButton;

namespace qv {

// The order of the list: indexes into episodes.
std::vector<size_t> alarmListOrder(const std::deque<AlarmEpisode>& episodes);

class AlarmList : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { Name, Detail, Raised, Cleared, Duration, Acknowledge, ColumnCount };

    explicit AlarmList(QWidget* parent = nullptr);

    // Rebuilds the list; canAcknowledge is false once the watch has stopped.
    void setEpisodes(const std::deque<AlarmEpisode>& episodes, bool canAcknowledge, const QDateTime& now);
    // The durations of the active episodes go on growing.
    void updateDurations(const QDateTime& now);
    QPushButton* acknowledgeButton(int row) const;

    // With the episode's id.
    std::function<void(const QString&)> acknowledge;

private:
    std::vector<AlarmEpisode> shown_;  // in the list's order
};

}  // namespace qv
