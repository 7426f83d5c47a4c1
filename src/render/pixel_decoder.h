#pragma once
// The instrument's screen pixels: each byte of a block holds two 4-bit grey indices, high nibble on the left.
// Index 0 is "no trace" and leaves the graticule showing; 1 to 15 are grey levels.

#include "state/colours.h"

#include <QImage>

#include <cstdint>

namespace qv {

inline constexpr int kBlockRows = 16;
inline constexpr int kRowBytes = 510;
inline constexpr int kBlockBytes = kBlockRows * kRowBytes;  // 8160
inline constexpr int kBlockCount = 48;

// The grey level of an index 1..15 as an opaque RGB; index 0 is never drawn.
Rgb greyOf(int index);

// Paints the n bytes of block b into the picture, straight into its scan lines. Row r of block b is screen row
// 16·b + r; pixels land in columns 2 to 1021; rows 0 to 15 are never painted; bytes beyond one block run on
// into the next rows, and anything that would fall outside the picture is dropped. A picture that is not
// QImage::Format_RGB32 is left as it is.
void decodeBlock(QImage& picture, int block, const uint8_t* bytes, int count);

}  // namespace qv
