#pragma once
// The watch window's alarm episodes: active ones on top, newest first, then the ended ones, newest first; each
// with its detail, the times it was raised and cleared, its duration, its alarm capture (opened with a
// double-click) and an Acknowledge button.

#include "watch/watch.h"

#include <QSet>
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
    enum Column { Name, Detail, Raised, Cleared, Duration, Capture, Acknowledge, ColumnCount };

    explicit AlarmList(QWidget* parent = nullptr);

    // Rebuilds the list; canAcknowledge is false once the watch has stopped. The episodes named in earlier come
    // from the journal of watches before this one: the running watch cannot acknowledge them, and one of them
    // still open that this watch did not go on with has no known end.
    void setEpisodes(const std::deque<AlarmEpisode>& episodes, bool canAcknowledge, const QDateTime& now,
                     const QSet<QString>& earlier = {});
    // The durations of the active episodes go on growing.
    void updateDurations(const QDateTime& now);
    QPushButton* acknowledgeButton(int row) const;
    // The episode in the selected row, if any.
    const AlarmEpisode* current() const;
    void openCurrentCapture();

    // With the episode's id.
    std::function<void(const QString&)> acknowledge;
    // An episode with a capture, double-clicked (or its row chosen and "Open Capture" pressed).
    std::function<void(const AlarmEpisode&)> openCapture;

private:
    std::vector<AlarmEpisode> shown_;  // in the list's order
    QSet<QString> earlier_;
};

}  // namespace qv
