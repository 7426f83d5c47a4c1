#include "gui/knob_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace qv {

KnobButton::KnobButton(const QIcon& picture, QWidget* parent) : QWidget(parent), picture_(picture)
{
    setFocusPolicy(Qt::StrongFocus);
}

void KnobButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // Drawn at the painter's own pixel density: sharp on a scaled screen, not a 48-pixel picture blown up.
    picture_.paint(&p, rect());
    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

void KnobButton::endHold()
{
    keyDown_ = false;
    if (!held_)
        return;
    held_ = false;
    emit released();
}

void KnobButton::mousePressEvent(QMouseEvent*)
{
    held_ = true;
    emit pressed();  // any button: the instrument's knobs have no left or right
}

void KnobButton::mouseReleaseEvent(QMouseEvent*)
{
    held_ = false;
    keyDown_ = false;
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
        held_ = true;
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
    held_ = false;
    emit released();
}

// A key released after the focus has moved goes to another widget; the knob would never hear of it.
void KnobButton::focusOutEvent(QFocusEvent* event)
{
    endHold();
    QWidget::focusOutEvent(event);
}

// Minimising hides the window's widgets too, so this also ends a hold when the window is minimised.
void KnobButton::hideEvent(QHideEvent* event)
{
    endHold();
    QWidget::hideEvent(event);
}

void KnobButton::changeEvent(QEvent* event)
{
    // A disabled widget is sent no mouse or key events, the release among them.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        endHold();
    QWidget::changeEvent(event);
}

bool KnobButton::event(QEvent* event)
{
    // Deactivation reaches every child of the window; a lost grab means the release goes elsewhere.
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::UngrabMouse)
        endHold();
    return QWidget::event(event);
}

}  // namespace qv
