#include "gui/download_window.h"

#include "render/screen_picture.h"
#include "state/twips.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

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

DownloadWindow::DownloadWindow(ScreenPicture& picture, QWidget* parent) : QWidget(parent)
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
}

void DownloadWindow::setFitted(bool fit)
{
    view_->setFitted(fit);
    scroll_->setWidgetResizable(fit);
}

void DownloadWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit unloaded();
}

}  // namespace qv
