#pragma once
// The one drawing surface of the screen picture: clear, line, box, filled box, circle, pixel set and read, and
// text at a point in a named font. Coordinates are the picture's pixels, passed on unrounded. The surface keeps
// the drawing state that the graticule routines share and leave behind them: foreground colour, font name and
// size, the current text position, and the vectorscope geometry.

#include "state/colours.h"
#include "render/fonts.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QString>

#include <optional>
#include <vector>

namespace qv {

// Where the vectorscope targets are measured from, and how they are drawn.
struct VectorGeometry {
    double centreX = 512;
    double centreY = 384;
    double targetHalfSize = 13;
    bool toleranceCorners = false;
};

// One drawing call, as tests and benchmarks see it.
struct DrawOp {
    enum Kind { Clear, Line, Box, FillBox, Circle, Pixel, Text };
    Kind kind = Clear;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // Circle: centre and radius in x2; Text: the position
    Rgb colour = 0;
    QString text;
    QString font;
    double size = 0;
};

class DrawSurface {
public:
    explicit DrawSurface(QImage& image);
    ~DrawSurface();
    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;

    // Shared drawing state.
    Rgb foreColor = palette::Green;
    QString fontName = kPanelFont;
    double fontSize = 8;
    double currentX = 0, currentY = 0;
    VectorGeometry vector;

    void setFont(const QString& name, double points)
    {
        fontName = name;
        fontSize = points;
    }

    void clear();                                              // to the black background
    void line(double x1, double y1, double x2, double y2);     // foreground, both ends included
    void box(double x1, double y1, double x2, double y2);      // outline, foreground
    void fillBox(double x1, double y1, double x2, double y2);  // filled and outlined, foreground
    void fillBox(double x1, double y1, double x2, double y2, Rgb colour);
    void circle(double cx, double cy, double radius);
    void pset(double x, double y, Rgb colour);
    void pset(double x, double y) { pset(x, y, foreColor); }
    Rgb point(int x, int y) const;                             // black outside the picture
    void print(const QString& text);                           // at the current position, transparent

    // Ends the painter: call before the image is read, saved, written directly or shown.
    void finish();
    QImage& image() { return image_; }

    // When set, every call is appended here as well as drawn.
    std::vector<DrawOp>* record = nullptr;

private:
    QPainter& painter();
    const QFont& font();
    void note(DrawOp op);

    QImage& image_;
    std::optional<QPainter> painter_;
    QHash<QString, QFont> fonts_;
};

}  // namespace qv
