#pragma once
// The screen picture: the one persistent 1025 x 769 image (x 0..1024, y 0..768) into which graticules,
// meters and the instrument's pixels are drawn, and which the user sees, stores and prints.

#include "render/draw_surface.h"

#include <QImage>
#include <QObject>

namespace qv {

inline constexpr int kPictureWidth = 1025;
inline constexpr int kPictureHeight = 769;

class ScreenPicture : public QObject {
    Q_OBJECT
public:
    explicit ScreenPicture(QObject* parent = nullptr);

    DrawSurface& surface() { return surface_; }
    // The finished image: any drawing still in the painter is flushed first.
    const QImage& image()
    {
        surface_.finish();
        return image_;
    }
    // Replaces the picture with a loaded one, drawn from the top left at its own size over black.
    void show(const QImage& loaded);
    // Drawing code calls this after it has changed the image, so that the window repaints that part now.
    void touch(const QRect& area = QRect(0, 0, kPictureWidth, kPictureHeight))
    {
        surface_.finish();
        emit changed(area);
    }

signals:
    void changed(const QRect& area);

private:
    QImage image_;
    DrawSurface surface_;
};

// The file format a picture is stored in: a name ending in .png gets a PNG file, anything else a bitmap.
const char* pictureFormatFor(const QString& fileName);
// True when the name ends in a picture format the program writes (.png or .bmp).
bool isPictureFileName(const QString& fileName);
// Writes the picture whole or not at all: into a temporary file beside the final name, renamed into place only
// when complete, so a full disk or a crash never leaves half a picture under that name.
bool savePicture(const QImage& image, const QString& fileName, const char* format = nullptr);

}  // namespace qv
