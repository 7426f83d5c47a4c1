#include "render/screen_picture.h"

namespace qv {

ScreenPicture::ScreenPicture(QObject* parent)
    : QObject(parent), image_(kPictureWidth, kPictureHeight, QImage::Format_RGB32)
{
    image_.fill(Qt::black);
}

}  // namespace qv
