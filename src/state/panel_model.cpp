#include "state/panel_model.h"

namespace qv {

using namespace Qt::StringLiterals;

PanelModel::PanelModel(QObject* parent) : QObject(parent)
{
    menus_.fill(true);  // the design enables every item; start-up greys the print items
    captions_.fill(u" "_s);
    captions_[0] = QString();  // lblKey1 starts empty, the other eight with one blank
}

void PanelModel::setHighlight(Key k, bool on)
{
    if (highlight_[size_t(k)] == on)
        return;
    highlight_[size_t(k)] = on;
    emit changed();
}

void PanelModel::setLamp(int n, Rgb colour)
{
    auto& lamp = lamps_.at(size_t(n - 1));
    if (lamp == colour)
        return;
    lamp = colour;
    emit changed();
}

void PanelModel::setCaption(int n, const QString& text)
{
    auto& caption = captions_.at(size_t(n - 1));
    if (caption == text)
        return;
    caption = text;
    emit changed();
}

void PanelModel::setStatusText(const QString& text)
{
    statusText_ = text;
    emit statusTextWritten(text);
    emit changed();
}

void PanelModel::setStatusBold(bool bold)
{
    if (statusBold_ == bold)
        return;
    statusBold_ = bold;
    emit changed();
}

void PanelModel::setStatusColour(Rgb colour)
{
    if (statusColour_ == colour)
        return;
    statusColour_ = colour;
    emit changed();
}

void PanelModel::setMenuEnabled(Menu m, bool on)
{
    if (menus_[size_t(m)] == on)
        return;
    menus_[size_t(m)] = on;
    emit changed();
}

void PanelModel::setBusyPointer(PointerOwner w, bool busy)
{
    if (busy_[size_t(w)] == busy)
        return;
    busy_[size_t(w)] = busy;
    emit changed();
}

}  // namespace qv
