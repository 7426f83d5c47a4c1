#pragma once
// The panel and its dialogs were laid out in twips, the unit of the instrument maker's design tools: 1440 to
// the inch, so 15 to a pixel at 96 dpi. Every placed control converts through here.

#include <QRect>

namespace qv {

constexpr int twipsToPixels(int twips) { return twips / 15; }

inline QRect twipRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

}  // namespace qv
