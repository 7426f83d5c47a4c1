#include "app/download_window.h"

#include "render/screen_picture.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace qv {

using namespace Qt::StringLiterals;

PictureView::PictureView(ScreenPicture& picture, QWidget* parent) : QWidget(parent), picture_(picture)
{
    setFixedSize(picture_.image().size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Painted at once, not at the next event-loop pass: the user should see the picture fill in block by block
    // even when the reads keep the event loop waiting.
    connect(&picture_, &ScreenPicture::changed, this, [this](const QRect& area) {
        if (isVisible())
            repaint(area);
    });
}

QSize PictureView::sizeHint() const
{
    return picture_.image().size();
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.drawImage(event->rect().topLeft(), picture_.image(), event->rect());
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
    resize(15240 / 15, 11550 / 15);  // 1016 x 770 as designed; the picture's last columns scroll into view

    // Copy the picture to the clipboard, for a report or a mail, without storing a file first.
    auto* copy = new QAction(u"Copy Picture"_s, this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WindowShortcut);
    connect(copy, &QAction::triggered, this, [&picture] { QGuiApplication::clipboard()->setImage(picture.image()); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void DownloadWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit unloaded();
}

}  // namespace qv
