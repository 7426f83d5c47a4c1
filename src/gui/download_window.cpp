#include "gui/download_window.h"

#include "render/screen_picture.h"
#include "session/live_view.h"
#include "state/twips.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace qv {

using namespace Qt::StringLiterals;

QRect fittedRect(const QSize& picture, const QSize& viewport)
{
    if (picture.isEmpty() || viewport.isEmpty())
        return {};
    const QSize size = picture.scaled(viewport, Qt::KeepAspectRatio);
    return {QPoint((viewport.width() - size.width()) / 2, (viewport.height() - size.height()) / 2), size};
}

PictureView::PictureView(ScreenPicture& picture, QWidget* parent) : QWidget(parent), picture_(picture)
{
    setFixedSize(picture_.image().size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Painted at once, not at the next event-loop pass: the user should see the picture fill in block by block
    // even when the reads keep the event loop waiting.
    connect(&picture_, &ScreenPicture::changed, this, [this](const QRect& area) {
        if (isVisible())
            repaintPicture(area);
    });
}

QSize PictureView::sizeHint() const
{
    return picture_.image().size();
}

void PictureView::setFitted(bool fit)
{
    fit_ = fit;
    if (fit) {
        setMinimumSize(1, 1);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(picture_.image().size());
    }
    update();
}

QRect PictureView::target() const
{
    const QSize picture = picture_.image().size();
    return fit_ ? fittedRect(picture, size()) : QRect(QPoint(0, 0), picture);
}

void PictureView::repaintPicture(const QRect& area)
{
    if (!fit_) {
        repaint(area);
        return;
    }
    const QRect t = target();
    const QSize picture = picture_.image().size();
    const qreal sx = qreal(t.width()) / picture.width(), sy = qreal(t.height()) / picture.height();
    // Smooth scaling spreads a picture pixel over its neighbours: a margin of one view pixel takes them in.
    const QRectF shown(t.x() + area.x() * sx, t.y() + area.y() * sy, area.width() * sx, area.height() * sy);
    repaint(shown.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QImage& image = picture_.image();
    if (!fit_) {
        p.drawImage(event->rect().topLeft(), image, event->rect());
        return;
    }
    const QRect t = target();
    for (const QRect& r : QRegion(event->rect()).subtracted(t))
        p.fillRect(r, palette().color(QPalette::Dark));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(t, image);
}

DownloadWindow::DownloadWindow(ScreenPicture& picture, LiveView* live, QWidget* parent) : QWidget(parent), live_(live)
{
    setWindowTitle(u"Corvane"_s);
    view_ = new PictureView(picture);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(view_);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    resize(twipsToPixels(15240), twipsToPixels(11550));  // 1016 x 770 as designed; the picture's last columns scroll into view

    // Copy the picture to the clipboard, for a report or a mail, without storing a file first.
    auto* copy = new QAction(u"Copy Picture"_s, this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WindowShortcut);
    connect(copy, &QAction::triggered, this, [&picture] { QGuiApplication::clipboard()->setImage(picture.image()); });
    addAction(copy);

    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);

    // The picture is shown pixel for pixel, as the instrument drew it; on a small screen it can be scaled to
    // the window instead, to see the whole screen at once.
    auto* zoom = new QActionGroup(this);
    fit_ = new QAction(u"Fit to Window"_s, zoom);
    fit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    actual_ = new QAction(u"Actual Size"_s, zoom);
    actual_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_9));
    for (QAction* a : {fit_, actual_}) {
        a->setCheckable(true);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    actual_->setChecked(true);
    connect(fit_, &QAction::triggered, this, [this] { setFitted(true); });
    connect(actual_, &QAction::triggered, this, [this] { setFitted(false); });
    setContextMenuPolicy(Qt::ActionsContextMenu);
    if (live_)
        buildLive(*live_);
}

void DownloadWindow::buildLive(LiveView& live)
{
    auto* bar = new QMenuBar(this);
    QMenu* viewMenu = bar->addMenu(u"View"_s);
    viewMenu->addAction(fit_);
    viewMenu->addAction(actual_);
    viewMenu->addSeparator();
    liveAction_ = viewMenu->addAction(u"Live"_s);
    liveAction_->setCheckable(true);
    liveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    QMenu* every = viewMenu->addMenu(u"Live Interval"_s);
    auto* intervals = new QActionGroup(this);
    QList<int> seconds{1, 2, 5, 10, 30, 60};
    const int chosen = (live.intervalMs() + 500) / 1000;
    if (!seconds.contains(chosen) && live.intervalMs() % 1000 == 0)
        seconds.append(chosen), std::sort(seconds.begin(), seconds.end());
    for (int s : seconds) {
        QAction* a = every->addAction(s == 1 ? u"Every Second"_s : u"Every %1 Seconds"_s.arg(s), this,
                                      [&live, s] { live.setIntervalMs(s * 1000); });
        a->setCheckable(true);
        a->setData(s * 1000);
        a->setChecked(s * 1000 == live.intervalMs());
        intervals->addAction(a);
    }
    connect(&live, &LiveView::intervalChanged, every, [intervals](int ms) {
        for (QAction* a : intervals->actions())
            a->setChecked(a->data().toInt() == ms);
    });

    // The switch and its note in the menu bar's corner, always in sight above the picture.
    auto* corner = new QWidget(bar);
    auto* row = new QHBoxLayout(corner);
    row->setContentsMargins(0, 0, 8, 0);
    liveNote_ = new QLabel(corner);
    // Room for the longest reason, so that the menu bar (which sizes its corner once) never cuts a note short.
    liveNote_->setMinimumWidth(liveNote_->fontMetrics().horizontalAdvance(
        u"no live picture: the instrument shows its picture page, which has no screen to capture"_s));
    liveNote_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    liveSwitch_ = new QCheckBox(u"Live"_s, corner);
    liveSwitch_->setToolTip(u"Copy the screen again every interval while this is on (View > Live Interval)"_s);
    row->addWidget(liveNote_);
    row->addWidget(liveSwitch_);
    bar->setCornerWidget(corner, Qt::TopRightCorner);
    static_cast<QVBoxLayout*>(layout())->setMenuBar(bar);
    resize(width(), height() + bar->sizeHint().height());  // the picture keeps the room it was designed with

    connect(liveSwitch_, &QCheckBox::toggled, this, &DownloadWindow::setLive);
    connect(liveAction_, &QAction::toggled, this, &DownloadWindow::setLive);
    connect(&live, &LiveView::frameCaptured, liveNote_, [this] {
        if (liveSwitch_->isChecked())
            liveNote_->setText(u"live: %1"_s.arg(QTime::currentTime().toString(u"HH:mm:ss"_s)));
    });
    connect(&live, &LiveView::availabilityChanged, liveNote_, [this](const Outcome& why) {
        if (!liveSwitch_->isChecked() || why.ok())
            return;
        QString text = why.text;
        liveNote_->setText(u"no live picture: "_s + text.replace(u"\r\n"_s, u" "_s).simplified());
    });
}

void DownloadWindow::setLive(bool on)
{
    const QSignalBlocker quietSwitch(liveSwitch_), quietAction(liveAction_);
    liveSwitch_->setChecked(on);
    liveAction_->setChecked(on);
    liveNote_->setText(on ? u"live: waiting for the next poll"_s : QString());
    live_->setWatching(u"window"_s, on);
}

void DownloadWindow::setFitted(bool fit)
{
    view_->setFitted(fit);
    scroll_->setWidgetResizable(fit);
}

void DownloadWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (live_)
        setLive(false);  // nobody watches a closed window: the instrument is left alone
    emit unloaded();
}

}  // namespace qv
