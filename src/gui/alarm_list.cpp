#include "gui/alarm_list.h"

#include "watch/report.h"

#include <QHeaderView>
#include <QPushButton>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
QString timeText(const QDateTime& t, const QDateTime& now)
{
    if (!t.isValid())
        return {};
    // A watch runs for days: an earlier day's time carries its date.
    return t.toString(t.date() == now.date() ? u"HH:mm:ss"_s : u"yyyy-MM-dd HH:mm:ss"_s);
}

QString durationOf(const AlarmEpisode& e, const QDateTime& now)
{
    return durationText(e.raised.msecsTo(e.cleared.isValid() ? e.cleared : now));
}
}  // namespace

std::vector<size_t> alarmListOrder(const std::deque<AlarmEpisode>& episodes)
{
    std::vector<size_t> order(episodes.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = episodes.size() - 1 - i;  // newest first; stable_sort keeps it within each group
    std::stable_sort(order.begin(), order.end(), [&episodes](size_t a, size_t b) {
        return !episodes[a].cleared.isValid() && episodes[b].cleared.isValid();
    });
    return order;
}

AlarmList::AlarmList(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(ColumnCount);
    setHeaderLabels({u"Alarm"_s, u"Detail"_s, u"Raised"_s, u"Cleared"_s, u"Duration"_s, QString()});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(Detail, QHeaderView::Stretch);
}

void AlarmList::setEpisodes(const std::deque<AlarmEpisode>& episodes, bool canAcknowledge, const QDateTime& now)
{
    clear();
    shown_.clear();
    for (size_t i : alarmListOrder(episodes)) {
        const AlarmEpisode& e = episodes[i];
        shown_.push_back(e);
        auto* item = new QTreeWidgetItem(this, {alarmNameText(e.name), e.detail, timeText(e.raised, now),
                                                e.cleared.isValid() ? timeText(e.cleared, now) : u"active"_s,
                                                durationOf(e, now)});
        if (!e.cleared.isValid()) {
            QFont bold = item->font(Name);
            bold.setBold(true);
            for (int c = Name; c < Acknowledge; ++c)
                item->setFont(c, bold);
        }
        const bool acknowledged = e.acknowledged.isValid();
        auto* button = new QPushButton(acknowledged ? u"Acknowledged %1"_s.arg(timeText(e.acknowledged, now))
                                                    : u"Acknowledge"_s);
        // An episode, active or cleared, is acknowledged once: the journal then says who saw it when.
        button->setEnabled(canAcknowledge && !acknowledged);
        connect(button, &QPushButton::clicked, this, [this, id = e.id] {
            if (acknowledge)
                acknowledge(id);
        });
        setItemWidget(item, Acknowledge, button);
    }
}

void AlarmList::updateDurations(const QDateTime& now)
{
    for (int row = 0; row < topLevelItemCount() && size_t(row) < shown_.size(); ++row)
        if (!shown_[size_t(row)].cleared.isValid())
            topLevelItem(row)->setText(Duration, durationOf(shown_[size_t(row)], now));
}

QPushButton* AlarmList::acknowledgeButton(int row) const
{
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? qobject_cast<QPushButton*>(itemWidget(item, Acknowledge)) : nullptr;
}

}  // namespace qv
