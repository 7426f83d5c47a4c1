#include "gui/alarm_list.h"

#include "watch/report.h"

#include <QFileInfo>
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
    setHeaderLabels({u"Alarm"_s, u"Detail"_s, u"Raised"_s, u"Cleared"_s, u"Duration"_s, u"Capture"_s, QString()});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(Detail, QHeaderView::Stretch);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { openCurrentCapture(); });
}

void AlarmList::setEpisodes(const std::deque<AlarmEpisode>& episodes, bool canAcknowledge, const QDateTime& now,
                            const QSet<QString>& earlier)
{
    // The list is built again at every change: the row chosen stays chosen.
    const AlarmEpisode* chosen = current();
    const QString chosenId = chosen ? chosen->id : QString();
    clear();
    shown_.clear();
    earlier_ = earlier;
    for (size_t i : alarmListOrder(episodes)) {
        const AlarmEpisode& e = episodes[i];
        shown_.push_back(e);
        // Left open by an earlier watch and not gone on with by this one (its alarm is no longer watched): how
        // long it lasted nobody knows.
        const bool unknownEnd = !e.cleared.isValid() && earlier.contains(e.id);
        auto* item = new QTreeWidgetItem(this, {alarmNameText(e.name), e.detail, timeText(e.raised, now),
                                                e.cleared.isValid() ? timeText(e.cleared, now)
                                                : unknownEnd        ? u"not watched since"_s
                                                                    : u"active"_s,
                                                unknownEnd ? QString() : durationOf(e, now),
                                                QFileInfo(e.capture).fileName()});
        if (!e.capture.isEmpty())
            item->setToolTip(Capture, e.capture + u"\nDouble-click to open it."_s);
        if (!e.cleared.isValid() && !unknownEnd) {
            QFont bold = item->font(Name);
            bold.setBold(true);
            for (int c = Name; c < Acknowledge; ++c)
                item->setFont(c, bold);
        }
        const bool acknowledged = e.acknowledged.isValid();
        auto* button = new QPushButton(acknowledged ? u"Acknowledged %1"_s.arg(timeText(e.acknowledged, now))
                                                    : u"Acknowledge"_s);
        // An episode, active or cleared, is acknowledged once: the journal then says who saw it when.
        button->setEnabled(canAcknowledge && !acknowledged && !earlier.contains(e.id));
        if (acknowledged && !e.acknowledgedBy.isEmpty())
            button->setToolTip(u"by %1"_s.arg(e.acknowledgedBy));
        else if (!acknowledged && earlier.contains(e.id))
            button->setToolTip(u"An earlier watch in this folder raised it: the running watch acknowledges its own."_s);
        connect(button, &QPushButton::clicked, this, [this, id = e.id] {
            if (acknowledge)
                acknowledge(id);
        });
        setItemWidget(item, Acknowledge, button);
        if (!chosenId.isEmpty() && e.id == chosenId)
            setCurrentItem(item);
    }
}

void AlarmList::updateDurations(const QDateTime& now)
{
    for (int row = 0; row < topLevelItemCount() && size_t(row) < shown_.size(); ++row)
        if (const AlarmEpisode& e = shown_[size_t(row)]; !e.cleared.isValid() && !earlier_.contains(e.id))
            topLevelItem(row)->setText(Duration, durationOf(e, now));
}

QPushButton* AlarmList::acknowledgeButton(int row) const
{
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? qobject_cast<QPushButton*>(itemWidget(item, Acknowledge)) : nullptr;
}

const AlarmEpisode* AlarmList::current() const
{
    const int row = currentItem() && currentItem()->isSelected() ? indexOfTopLevelItem(currentItem()) : -1;
    return row >= 0 && size_t(row) < shown_.size() ? &shown_[size_t(row)] : nullptr;
}

void AlarmList::openCurrentCapture()
{
    const AlarmEpisode* e = current();
    if (!e || e->capture.isEmpty() || !openCapture)
        return;
    const AlarmEpisode chosen = *e;  // the list may be built again meanwhile
    openCapture(chosen);
}

}  // namespace qv
