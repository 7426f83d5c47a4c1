#pragma once
// The screen window, caption "Corvane": the screen picture at its actual size, scrolling when the window is smaller,
// or scaled to fit the window; the right-button menu switches between the two and copies the picture.

#include <QWidget>

class QAction;
class QScrollArea;

namespace qv {

class ScreenPicture;

// Where a picture scaled to fit a viewport goes: as large as fits with its proportions kept, centred.
QRect fittedRect(const QSize& picture, const QSize& viewport);

class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(ScreenPicture& picture, QWidget* parent = nullptr);
    QSize sizeHint() const override;

    bool fitted() const { return fit_; }
    void setFitted(bool fit);
    // Repaints, at once, the part of the view that shows this area of the picture.
    void repaintPicture(const QRect& area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect target() const;

    ScreenPicture& picture_;
    bool fit_ = false;
};

class DownloadWindow : public QWidget {
    Q_OBJECT
public:
    explicit DownloadWindow(ScreenPicture& picture, QWidget* parent = nullptr);
    PictureView* view() const { return view_; }
    QAction* fitAction() const { return fit_; }
    QAction* actualSizeAction() const { return actual_; }

signals:
    void unloaded();  // closed with the window's close box: the picture can no longer be printed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setFitted(bool fit);

    PictureView* view_;
    QScrollArea* scroll_;
    QAction* fit_;
    QAction* actual_;
};

}  // namespace qv
