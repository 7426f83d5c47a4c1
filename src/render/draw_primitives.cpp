#include "render/draw_primitives.h"

#include "render/draw_surface.h"
#include "render/fonts.h"

#include <cmath>

namespace qv {

using namespace Qt::StringLiterals;

namespace {
// The instrument maker's constants, kept exactly: a left-hand target's angle is taken from 3.142, not π.
constexpr double kHalfTurn = 3.142;
constexpr double kBoxHalfAngle = 0.052;
constexpr double kToleranceHalfAngle = 0.156;
constexpr double kToleranceTangentAngle = 0.104;

QPointF polar(double cx, double cy, double angle, double radius)
{
    // Lines take single-precision coordinates, unrounded.
    return {double(float(cx + radius * std::cos(angle))), double(float(cy - radius * std::sin(angle)))};
}

void segment(DrawSurface& s, QPointF a, QPointF b)
{
    s.line(a.x(), a.y(), b.x(), b.y());
}

QPointF mid(QPointF a, QPointF b)
{
    return (a + b) / 2;
}
}  // namespace

void largeText(DrawSurface& s, double x, double y, const QString& text)
{
    s.setFont(kPanelFont, 14);
    s.currentX = x;
    s.currentY = y;
    s.print(text);
}

void smallText(DrawSurface& s, double x, double y, const QString& text)
{
    s.setFont(kPanelFont, 8);
    s.currentX = x;
    s.currentY = y;
    s.print(text);
}

TargetCorners targetCorners(double cx, double cy, double x, double y, double delta, double d)
{
    TargetCorners t;
    t.radius = std::sqrt((x - cx) * (x - cx) + (cy - y) * (cy - y));
    if (!(t.radius > 0))
        return t;
    const double s = std::clamp((cy - y) / t.radius, -1.0, 1.0);
    const double c = std::sqrt(1 - s * s);
    // arcsin written as the maker wrote it, arctan(s / √(1 − s²)); straight up or down it is ±π/2.
    const double a = c > 0 ? std::atan(s / c) : std::copysign(M_PI / 2, s);
    t.angle = x < cx ? kHalfTurn - a : a;
    t.c = {polar(cx, cy, t.angle - delta, t.radius + d), polar(cx, cy, t.angle - delta, t.radius - d),
           polar(cx, cy, t.angle + delta, t.radius - d), polar(cx, cy, t.angle + delta, t.radius + d)};
    t.valid = true;
    return t;
}

void targetBox(DrawSurface& s, double x, double y)
{
    const VectorGeometry& g = s.vector;
    const double h = g.targetHalfSize;
    const TargetCorners box = targetCorners(g.centreX, g.centreY, x, y, kBoxHalfAngle, h);
    if (!box.valid)
        return;
    const auto& c = box.c;
    segment(s, c[0], c[1]);
    segment(s, c[1], c[2]);
    segment(s, c[2], c[3]);
    segment(s, c[3], c[0]);
    segment(s, mid(c[0], c[1]), mid(c[2], c[3]));
    segment(s, mid(c[0], c[3]), mid(c[1], c[2]));
    if (!g.toleranceCorners)
        return;
    const double r = box.radius;
    const auto outer = targetCorners(g.centreX, g.centreY, x, y, kToleranceHalfAngle, r / 5).c;
    const auto radial = targetCorners(g.centreX, g.centreY, x, y, kToleranceHalfAngle, r / 5 - h).c;
    const auto tangential = targetCorners(g.centreX, g.centreY, x, y, kToleranceTangentAngle, r / 5).c;
    for (int i = 0; i < 4; ++i)
        segment(s, radial[size_t(i)], outer[size_t(i)]);
    for (int i = 0; i < 4; ++i)
        segment(s, tangential[size_t(i)], outer[size_t(i)]);
}

void plusMark(DrawSurface& s, double x, double y)
{
    s.line(x - 6, y, x + 6, y);
    s.line(x, y + 6, x, y - 6);
}

}  // namespace qv
