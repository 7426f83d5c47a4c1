#include "render/draw_surface.h"

#include <QFontMetricsF>

#include <algorithm>

namespace qv {

namespace {
constexpr int kDotsPerMeter96Dpi = 3780;  // the instrument maker's screens were laid out at 96 dpi

QColor colour(Rgb c)
{
    return QColor::fromRgb(c);
}

DrawOp shape(DrawOp::Kind kind, double x1, double y1, double x2, double y2, Rgb c)
{
    DrawOp op;
    op.kind = kind;
    op.x1 = x1;
    op.y1 = y1;
    op.x2 = x2;
    op.y2 = y2;
    op.colour = c;
    return op;
}

QRectF between(double x1, double y1, double x2, double y2)
{
    // Corners may come in any order: the rectangle is the one between them.
    return QRectF(QPointF(std::min(x1, x2), std::min(y1, y2)), QPointF(std::max(x1, x2), std::max(y1, y2)));
}
}  // namespace

DrawSurface::DrawSurface(QImage& image) : image_(image)
{
    image_.setDotsPerMeterX(kDotsPerMeter96Dpi);
    image_.setDotsPerMeterY(kDotsPerMeter96Dpi);
}

DrawSurface::~DrawSurface()
{
    finish();
}

QPainter& DrawSurface::painter()
{
    if (!painter_) {
        painter_.emplace(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setBackgroundMode(Qt::TransparentMode);
    }
    return *painter_;
}

void DrawSurface::finish()
{
    painter_.reset();
}

void DrawSurface::note(DrawOp op)
{
    if (record)
        record->push_back(std::move(op));
}

const QFont& DrawSurface::font()
{
    const QString key = fontName + QLatin1Char('/') + QString::number(fontSize);
    auto it = fonts_.find(key);
    if (it == fonts_.end()) {
        QFont f(fontName);
        f.setPointSizeF(fontSize);
        f.setStyleHint(QFont::SansSerif);
        it = fonts_.insert(key, f);
    }
    return *it;
}

void DrawSurface::clear()
{
    note(shape(DrawOp::Clear, 0, 0, 0, 0, 0));
    finish();
    image_.fill(Qt::black);
}

void DrawSurface::line(double x1, double y1, double x2, double y2)
{
    note(shape(DrawOp::Line, x1, y1, x2, y2, foreColor));
    QPainter& p = painter();
    p.setPen(QPen(colour(foreColor), 0));
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void DrawSurface::box(double x1, double y1, double x2, double y2)
{
    note(shape(DrawOp::Box, x1, y1, x2, y2, foreColor));
    QPainter& p = painter();
    p.setPen(QPen(colour(foreColor), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(between(x1, y1, x2, y2));
}

void DrawSurface::fillBox(double x1, double y1, double x2, double y2)
{
    fillBox(x1, y1, x2, y2, foreColor);
}

void DrawSurface::fillBox(double x1, double y1, double x2, double y2, Rgb c)
{
    note(shape(DrawOp::FillBox, x1, y1, x2, y2, c));
    QPainter& p = painter();
    p.setPen(QPen(colour(c), 0));
    p.setBrush(colour(c));
    p.drawRect(between(x1, y1, x2, y2));
}

void DrawSurface::circle(double cx, double cy, double radius)
{
    note(shape(DrawOp::Circle, cx, cy, radius, 0, foreColor));
    QPainter& p = painter();
    p.setPen(QPen(colour(foreColor), 0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(cx, cy), radius, radius);
}

void DrawSurface::pset(double x, double y, Rgb c)
{
    note(shape(DrawOp::Pixel, x, y, 0, 0, c));
    const int ix = int(std::floor(x)), iy = int(std::floor(y));
    if (ix < 0 || iy < 0 || ix >= image_.width() || iy >= image_.height())
        return;
    finish();  // a direct write must not race a painter's pending work
    reinterpret_cast<QRgb*>(image_.scanLine(iy))[ix] = c;
}

Rgb DrawSurface::point(int x, int y) const
{
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return palette::Black;
    const_cast<DrawSurface*>(this)->finish();
    return reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x] | 0xff000000u;
}

void DrawSurface::print(const QString& text)
{
    DrawOp op = shape(DrawOp::Text, currentX, currentY, 0, 0, foreColor);
    op.text = text;
    op.font = fontName;
    op.size = fontSize;
    note(std::move(op));
    QPainter& p = painter();
    const QFont& f = font();
    p.setFont(f);
    p.setPen(colour(foreColor));
    // The position is the text's top-left corner; the painter wants the baseline.
    const QFontMetricsF m(f, &image_);
    p.drawText(QPointF(currentX, currentY + m.ascent()), text);
    // Like the instrument maker's Print, the next text goes on the following line.
    currentY += m.height();
}

}  // namespace qv
