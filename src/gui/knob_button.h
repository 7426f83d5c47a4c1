#pragma once
// A knob of the drawn panel (Image1..Image6): a picture that reacts to pressing and releasing with any mouse
// button, and to Space or Enter held down when it has the keyboard focus.
//
// While a knob is held the device stays open and the knob's message repeats, so a hold must never outlive
// the user's hand: it also ends when the release can no longer reach the knob (the focus moves away, the knob
// is hidden or disabled, the window is deactivated or minimised, the mouse grab is lost).

#include <QIcon>
#include <QWidget>

namespace qv {

class KnobButton : public QWidget {
    Q_OBJECT
public:
    KnobButton(const QIcon& picture, QWidget* parent = nullptr);

signals:
    void pressed();
    void released();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void endHold();

    QIcon picture_;
    bool held_ = false;
    bool keyDown_ = false;
};

}  // namespace qv
