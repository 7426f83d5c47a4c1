// The block decoder with any block index and any number of bytes.

#include "render/pixel_decoder.h"
#include "render/screen_picture.h"

#include <QImage>

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QImage picture(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    if (size < 2)
        return 0;
    // A signed index, so that blocks before the first and far past the last are tried too.
    const int block = int(int8_t(data[0])) * 2 + (data[1] & 1);
    decodeBlock(picture, block, data + 2, int(size - 2));
    return 0;
}
