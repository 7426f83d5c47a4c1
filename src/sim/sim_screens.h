#pragma once
// What the simulated instrument shows on its screen, as the instrument sends it: 1020 x 768 grey pixels, each
// a 4-bit index, packed two to a byte in 48 blocks of 16 rows. Traces look like the real thing for each screen
// type: a 75 % colour-bar waveform, vectorscope dots on the colour targets, the audio phase display, the four
// quarters of the tiled display, and text for the pages without a graticule.

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace qv {

inline constexpr int kSimScreenWidth = 1020;
inline constexpr int kSimScreenHeight = 768;

// A grey picture (Format_Grayscale8, 1020 x 768) of the screen for a screen-type code; page picks the text of
// the pages that have no graticule. frame varies the noise and the audio phase display from one capture to
// the next.
QImage simScreen(int screenTypeCode, int page, uint32_t frame);

// Block b of the screen (8160 bytes): row r of the block is screen row 16·b + r, high nibble = left pixel.
QByteArray packBlock(const QImage& screen, int block);

}  // namespace qv
