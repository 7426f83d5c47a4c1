#include "render/screen_picture.h"

#include <QPainter>
#include <QSaveFile>

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

const char* pictureFormatFor(const QString& fileName)
{
    return fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? "PNG" : "BMP";
}

bool isPictureFileName(const QString& fileName)
{
    return fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ||
           fileName.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive);
}

bool savePicture(const QImage& image, const QString& fileName, const char* format)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!image.save(&file, format ? format : pictureFormatFor(fileName))) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace qv
