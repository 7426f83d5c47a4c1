#pragma once
// Operations the graticules share: labels in the two fixed fonts, and the vectorscope target box with its
// inner cross and optional tolerance corners.

#include <QPointF>
#include <QString>

#include <array>

namespace qv {

class DrawSurface;

// "MS Sans Serif" 14 and 8 point, top-left corner of the text at (x, y).
void largeText(DrawSurface& s, double x, double y, const QString& text);
void smallText(DrawSurface& s, double x, double y, const QString& text);

// A target's place about the vectorscope centre and the four corners of the region
// (angle ± delta, radius ± d): C1 = (θ−δ, r+d), C2 = (θ−δ, r−d), C3 = (θ+δ, r−d), C4 = (θ+δ, r+d).
struct TargetCorners {
    double radius = 0;
    double angle = 0;
    std::array<QPointF, 4> c;
    bool valid = false;  // false only for a target on the centre itself, which has no direction
};
TargetCorners targetCorners(double centreX, double centreY, double x, double y, double delta, double d);

// The target box for the colour target at (x, y), using the surface's vectorscope geometry.
void targetBox(DrawSurface& s, double x, double y);

// A small upright cross: (x−6, y)–(x+6, y), then (x, y+6)–(x, y−6).
void plusMark(DrawSurface& s, double x, double y);

}  // namespace qv
