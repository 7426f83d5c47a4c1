#pragma once
// The panel's colours, without QtGui.

#include <cstdint>

namespace qv {

// An opaque 0xAARRGGBB colour, the same layout as QtGui's QRgb (this layer does without QtGui).
using Rgb = uint32_t;

// The colours of the instrument maker's 16-colour palette that the panel uses, as RGB.
namespace palette {
inline constexpr Rgb Black = 0xff000000;   // palette entry 0
inline constexpr Rgb Grey = 0xffc0c0c0;    // palette entry 7, a lamp that is off
inline constexpr Rgb Blue = 0xff0000ff;    // palette entry 9
inline constexpr Rgb Green = 0xff00ff00;   // palette entry 10
inline constexpr Rgb Red = 0xffff0000;     // palette entry 12
inline constexpr Rgb Yellow = 0xffffff00;  // palette entry 14
inline constexpr Rgb White = 0xffffffff;   // palette entry 15
}  // namespace palette

}  // namespace qv
