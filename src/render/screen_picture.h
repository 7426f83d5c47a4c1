#pragma once
// The screen picture: the one persistent 1025 x 769 image (x 0..1024, y 0..768) into which graticules,
// meters and the instrument's pixels are drawn, and which the user sees, stores and prints.

#include <QImage>
#include <QObject>

namespace qv {

inline constexpr int kPictureWidth = 1025;
inline constexpr int kPictureHeight = 769;

class ScreenPicture : public QObject {
    Q_OBJECT
public:
    explicit ScreenPicture(QObject* parent = nullptr);

    const QImage& image() const { return image_; }
    QImage& image() { return image_; }
    // Drawing code calls this after it has changed the image, so that the window repaints.
    void touch() { emit changed(); }

signals:
    void changed();

private:
    QImage image_;
};

}  // namespace qv
