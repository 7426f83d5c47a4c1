#include "gui/knob_icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>

namespace qv {

using namespace Qt::StringLiterals;

namespace {

// An icon drawn by a function in a square of designed size, scaled to the rectangle it is painted into. A
// painter on a high-density screen draws at device pixels; a pixmap asked for is drawn at its own size.
class PaintedIcon : public QIconEngine {
public:
    PaintedIcon(std::function<void(QPainter&)> draw, qreal designSize) : draw_(std::move(draw)), design_(designSize) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::TextAntialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / design_, rect.height() / design_);
        draw_(*painter);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QIconEngine* clone() const override { return new PaintedIcon(draw_, design_); }

    // The sizes offered to the window system for the title bar and the task list.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int s : {16, 24, 32, 48, 64, 128, 256})
            sizes << QSize(s, s);
        return sizes;
    }

private:
    std::function<void(QPainter&)> draw_;
    qreal design_;
};

void drawKnob(QPainter& p, int knob)
{
    const bool clockwise = knob % 2 == 0;
    const QString mark = knob <= 2 ? u"H"_s : knob <= 4 ? u"V"_s : u"VOL"_s;

    QRadialGradient shade(QPointF(20, 19), 20);
    shade.setColorAt(0, QColor(90, 140, 255));
    shade.setColorAt(1, QColor(0, 40, 200));
    p.setBrush(shade);
    p.setPen(QPen(QColor(0, 20, 110), 1));
    p.drawEllipse(QPointF(24, 24), 15, 15);

    // The arrow runs round three quarters of the disc and points the way the knob turns.
    const QRectF ring(3, 3, 42, 42);
    const qreal startDeg = 120, spanDeg = 270;
    QPen arrowPen(Qt::black, 2.6, Qt::SolidLine, Qt::FlatCap);
    p.setPen(arrowPen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, int(startDeg * 16), int((clockwise ? -spanDeg : spanDeg) * 16));
    const qreal endDeg = clockwise ? startDeg - spanDeg : startDeg + spanDeg;
    const qreal a = endDeg * M_PI / 180.0;
    const QPointF tip(24 + 21 * std::cos(a), 24 - 21 * std::sin(a));
    // Tangent in the direction of travel (counter-clockwise in screen terms is +angle).
    const qreal dir = clockwise ? -1 : 1;
    const QPointF tangent(-std::sin(a) * dir, -std::cos(a) * dir);
    const QPointF normal(std::cos(a), -std::sin(a));
    QPainterPath head;
    head.moveTo(tip + tangent * 6);
    head.lineTo(tip - tangent * 1 + normal * 5);
    head.lineTo(tip - tangent * 1 - normal * 5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(head);

    // The mark is a path, not text: it scales with the painter like the rest, without hinting to a pixel grid
    // of the designed size.
    QFont f(u"DejaVu Sans"_s);
    f.setBold(true);
    f.setPixelSize(mark.size() > 1 ? 9 : 15);
    QPainterPath letters;
    letters.addText(0, 0, f, mark);
    const QRectF box = letters.boundingRect();
    p.setBrush(Qt::black);
    p.drawPath(letters.translated(QPointF(24, 24) - box.center()));
}

void drawScope(QPainter& p)
{
    p.setBrush(QColor(60, 60, 66));
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.drawRoundedRect(QRectF(2, 6, 60, 52), 6, 6);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(8, 12, 48, 34));
    p.setPen(QPen(QColor(0, 90, 0), 1));
    for (int y = 18; y < 46; y += 7)
        p.drawLine(QPointF(8, y), QPointF(56, y));
    QPainterPath trace;
    trace.moveTo(8, 36);
    for (int x = 8; x <= 56; ++x)
        trace.lineTo(x, 29 - 10 * std::sin((x - 8) / 48.0 * 2 * M_PI));
    p.setPen(QPen(QColor(0, 255, 0), 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 60, 230));
    p.drawEllipse(QPointF(52, 52), 4, 4);
}

}  // namespace

QIcon knobIcon(int knob)
{
    return QIcon(new PaintedIcon([knob](QPainter& p) { drawKnob(p, knob); }, 48));
}

QIcon appIcon()
{
    return QIcon(new PaintedIcon(drawScope, 64));
}

}  // namespace qv
