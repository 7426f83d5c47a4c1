#include "render/screen_picture.h"

#include <QBuffer>
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
    // Encoded in memory first: a full disk then fails a plain write, not the image writer in the middle of its
    // work (which leaves its own buffers behind), and the file is still written whole or not at all.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format ? format : pictureFormatFor(fileName)))
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace qv
