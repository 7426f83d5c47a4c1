#pragma once
// The visible state of the drawn front panel, kept apart from the widgets. The logic (keys, poll, transfers)
// writes here; the main window mirrors it, and headless runs and tests read it directly.

#include <QObject>
#include <QString>

#include "protocol/keys.h"
#include "state/colours.h"
#include <QtGlobal>

#include <cstdint>

#include <array>
#include <optional>

namespace qv {

enum class Menu : int {
    GetLog, PrintLog, EraseLog, Clear, Select,
    Get1Frame, Files, PrintFrame, Reverse, Select1,
    About,
    Count
};
inline constexpr int kMenuCount = int(Menu::Count);

// Windows whose mouse pointer a long operation turns into the hourglass.
enum class PointerOwner : int { MainWindow, Download, Count };

class PanelModel : public QObject {
    Q_OBJECT
public:
    explicit PanelModel(QObject* parent = nullptr);

    // Highlight = caption bold and underlined; the two always change together here.
    bool highlighted(Key k) const { return highlight_[size_t(k)]; }
    void setHighlight(Key k, bool on);

    // Lamps Picture1..Picture9; nullopt is the toolkit's default background (never coloured yet).
    std::optional<Rgb> lamp(int n) const { return lamps_.at(size_t(n - 1)); }
    void setLamp(int n, Rgb colour);

    // Soft-key captions lblKey1..lblKey9.
    QString caption(int n) const { return captions_.at(size_t(n - 1)); }
    void setCaption(int n, const QString& text);

    // The status box Text1: every writer replaces the whole text.
    QString statusText() const { return statusText_; }
    bool statusBold() const { return statusBold_; }
    Rgb statusColour() const { return statusColour_; }
    void setStatusText(const QString& text);
    void setStatusBold(bool bold);
    void setStatusColour(Rgb colour);
    // The status box's running record, which the transfers append to line by line and write into the box.
    QString& statusLog() { return statusLog_; }

    bool menuEnabled(Menu m) const { return menus_[size_t(m)]; }
    void setMenuEnabled(Menu m, bool on);

    bool busyPointer(PointerOwner w) const { return busy_[size_t(w)]; }
    void setBusyPointer(PointerOwner w, bool busy);

signals:
    void changed();                               // anything at all changed
    void statusTextWritten(const QString& text);  // every write, even of the same text

private:
    std::array<bool, kKeyCount> highlight_{};
    std::array<std::optional<Rgb>, 9> lamps_{};
    std::array<QString, 9> captions_;
    QString statusText_;
    QString statusLog_;
    bool statusBold_ = false;
    Rgb statusColour_ = 0xff000000;
    std::array<bool, kMenuCount> menus_{};
    std::array<bool, size_t(PointerOwner::Count)> busy_{};
};

}  // namespace qv
