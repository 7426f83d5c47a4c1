#pragma once
// The screen window, caption "Corvane": the screen picture at its actual size, scrolling when the window is smaller,
// or scaled to fit the window; the right-button menu switches between the two and copies the picture. With the
// session's live view it also has a View menu and a Live switch: while on, the picture is copied again every
// interval (chosen in View > Live Interval) and the switch's note says when, or why there is no new picture.

#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QScrollArea;

namespace qv {

class LiveView;
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
    explicit DownloadWindow(ScreenPicture& picture, LiveView* live = nullptr, QWidget* parent = nullptr);
    PictureView* view() const { return view_; }
    QAction* fitAction() const { return fit_; }
    QAction* actualSizeAction() const { return actual_; }
    // With a live view: the switch, its menu item and the note beside it.
    QCheckBox* liveSwitch() const { return liveSwitch_; }
    QAction* liveAction() const { return liveAction_; }
    QLabel* liveNote() const { return liveNote_; }

signals:
    void unloaded();  // closed with the window's close box: the picture can no longer be printed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setFitted(bool fit);
    void buildLive(LiveView& live);
    void setLive(bool on);

    PictureView* view_;
    QScrollArea* scroll_;
    QAction* fit_;
    QAction* actual_;
    LiveView* live_ = nullptr;
    QCheckBox* liveSwitch_ = nullptr;
    QAction* liveAction_ = nullptr;
    QLabel* liveNote_ = nullptr;
};

}  // namespace qv
