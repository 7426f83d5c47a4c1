#pragma once
// The About window, caption "Help": the version and the makers, and a short legal notice.

#include <QWidget>

class QLabel;

namespace qv {

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
    void fill();
    QLabel* lblVersion() const { return version_; }
    QLabel* lblCopyright() const { return copyright_; }

private:
    QLabel* version_;
    QLabel* copyright_;
};

}  // namespace qv
