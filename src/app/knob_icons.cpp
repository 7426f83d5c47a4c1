#include "app/knob_icons.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace qv {

using namespace Qt::StringLiterals;

QPixmap knobPixmap(int knob, int size)
{
    const bool clockwise = knob % 2 == 0;
    const QString mark = knob <= 2 ? u"H"_s : knob <= 4 ? u"V"_s : u"VOL"_s;

    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 48.0;
    p.scale(s, s);

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

    QFont f(u"DejaVu Sans"_s);
    f.setBold(true);
    f.setPixelSize(mark.size() > 1 ? 9 : 15);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRectF(9, 9, 30, 30), Qt::AlignCenter, mark);
    return pm;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
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
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace qv
