#include "render/pixel_decoder.h"

#include <array>

namespace qv {

namespace {
constexpr std::array<int, 16> kGrey = {0, 64, 96, 128, 140, 170, 180, 192, 210, 220, 255, 255, 255, 255, 255, 255};

constexpr std::array<Rgb, 16> makeTable()
{
    std::array<Rgb, 16> t{};
    for (size_t i = 0; i < 16; ++i)
        t[i] = 0xff000000u | Rgb(kGrey[i]) << 16 | Rgb(kGrey[i]) << 8 | Rgb(kGrey[i]);
    return t;
}
constexpr std::array<Rgb, 16> kGreyRgb = makeTable();
}  // namespace

Rgb greyOf(int index)
{
    return kGreyRgb[size_t(index & 0x0F)];
}

void decodeBlock(QImage& picture, int block, const uint8_t* bytes, int count)
{
    // Rows are written as 32-bit pixels: a picture of any other layout would be written past its rows.
    if (!bytes || count <= 0 || block < 0 || picture.format() != QImage::Format_RGB32)
        return;
    const int height = picture.height();
    const int width = picture.width();
    for (int start = 0; start < count; start += kRowBytes) {
        const int y = kBlockRows * block + start / kRowBytes;
        if (y >= height)
            break;
        if (y <= 15)
            continue;  // the instrument's top rows carry its own menu line: never painted
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        const int end = std::min(count, start + kRowBytes);
        for (int i = start; i < end; ++i) {
            const uint8_t b = bytes[i];
            if (!b)
                continue;
            const int x = 2 * (i - start) + 2;
            if (x + 1 >= width)
                continue;
            if (b >> 4)
                row[x] = kGreyRgb[b >> 4];
            if (b & 0x0F)
                row[x + 1] = kGreyRgb[b & 0x0F];
        }
    }
}

}  // namespace qv
