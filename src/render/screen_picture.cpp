#include "render/screen_picture.h"

#include <QPainter>

namespace qv {

ScreenPicture::ScreenPicture(QObject* parent)
    : QObject(parent), image_(kPictureWidth, kPictureHeight, QImage::Format_RGB32), surface_(image_)
{
    image_.fill(Qt::black);
}

void ScreenPicture::show(const QImage& loaded)
{
    surface_.finish();
    image_.fill(Qt::black);
    {
        QPainter p(&image_);
        p.drawImage(0, 0, loaded);
    }
    emit changed(QRect(0, 0, kPictureWidth, kPictureHeight));
}

}  // namespace qv
