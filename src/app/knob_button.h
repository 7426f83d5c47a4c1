#pragma once
// A knob of the drawn panel (Image1..Image6): a picture that reacts to pressing and releasing with any mouse
// button, and to Space or Enter held down when it has the keyboard focus.

#include <QPixmap>
#include <QWidget>

namespace qv {

class KnobButton : public QWidget {
    Q_OBJECT
public:
    KnobButton(const QPixmap& picture, QWidget* parent = nullptr);

signals:
    void pressed();
    void released();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QPixmap picture_;
    bool keyDown_ = false;
};

}  // namespace qv
