#include "gui/about_window.h"

#include "state/twips.h"

#include <QLabel>

namespace qv {

using namespace Qt::StringLiterals;

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(u"Help"_s);
    setFixedSize(twipsToPixels(6510), twipsToPixels(3090));
    version_ = new QLabel(this);
    version_->setGeometry(twipRect(720, 120, 5655, 1215));
    version_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    copyright_ = new QLabel(this);
    copyright_->setGeometry(twipRect(720, 1560, 5655, 1335));
    copyright_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void AboutWindow::fill()
{
    // Lines are separated by CR LF as the instrument maker's texts are; the label shows them as line breaks.
    const QString version = u"Version 1.1 for Windows.\r\n"
                            "qv7700-remote, remote control for the\r\n"
                            "Corvane QV7700 video and audio scope,\r\n"
                            "by the qv7700-remote developers."_s;
    const QString legal = u"Copyright (C) 2026 the qv7700-remote developers.\r\n"
                          "Free software under the MIT licence:\r\n"
                          "use, copy and change it; no warranty of any kind."_s;
    version_->setText(QString(version).replace(u"\r\n"_s, u"\n"_s));
    copyright_->setText(QString(legal).replace(u"\r\n"_s, u"\n"_s));
}

}  // namespace qv
