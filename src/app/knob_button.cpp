#include "app/knob_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace qv {

KnobButton::KnobButton(const QPixmap& picture, QWidget* parent) : QWidget(parent), picture_(picture)
{
    setFocusPolicy(Qt::StrongFocus);
}

void KnobButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap((width() - picture_.width()) / 2, (height() - picture_.height()) / 2, picture_);
    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

void KnobButton::mousePressEvent(QMouseEvent*)
{
    emit pressed();  // any button: the instrument's knobs have no left or right
}

void KnobButton::mouseReleaseEvent(QMouseEvent*)
{
    emit released();
}

static bool isPressKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

void KnobButton::keyPressEvent(QKeyEvent* event)
{
    if (!isPressKey(event->key())) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Auto-repeat of a held key is ignored: the hold loop itself repeats, as for a held mouse button.
    if (!event->isAutoRepeat() && !keyDown_) {
        keyDown_ = true;
        emit pressed();
    }
}

void KnobButton::keyReleaseEvent(QKeyEvent* event)
{
    if (!isPressKey(event->key()) || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    keyDown_ = false;
    emit released();
}

}  // namespace qv
