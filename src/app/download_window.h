#pragma once
// frmDownload, caption "Corvane": the screen picture shown unscaled, scrolling when the window is smaller.

#include <QWidget>

class QScrollArea;

namespace qv {

class ScreenPicture;

class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(ScreenPicture& picture, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScreenPicture& picture_;
};

class DownloadWindow : public QWidget {
    Q_OBJECT
public:
    explicit DownloadWindow(ScreenPicture& picture, QWidget* parent = nullptr);
    PictureView* view() const { return view_; }

signals:
    void unloaded();  // closed with the window's close box: the picture can no longer be printed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    PictureView* view_;
    QScrollArea* scroll_;
};

}  // namespace qv
