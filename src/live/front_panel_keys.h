#pragma once
// What each key of the drawn front panel does: open the device, send the key's message, close, and update the
// panel at once so that the user sees the effect before the next poll confirms it. The arrow and volume knobs
// repeat their message while held. Used by the window's buttons and by the headless --press option alike.

#include "state/panel_model.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QTimer;

namespace qv {

class UsbLink;

// The six knobs Image1..Image6: Move Left/Right, Move Up/Down, Decrease/Increase Volume.
inline constexpr int kKnobCount = 6;

class FrontPanelKeys {
public:
    FrontPanelKeys(UsbLink& link, QTimer& timer3) : link_(link), timer3_(timer3) {}

    static int keyCode(Key k);
    static int knobCode(int knob) { return 0x99 + knob; }  // knob 1..6 -> 0x9A..0x9F

    // Click of a push button. When another exchange holds the device the click runs as soon as it lets go.
    void click(Key k);
    // MouseDown / MouseUp of Image1..Image6 (any mouse button, or the keyboard).
    void knobDown(int knob);
    void knobUp(int knob);

    // Names for the command line: the key captions, and LEFT RIGHT UP DOWN VOL- VOL+ for the knobs.
    struct Named {
        std::optional<Key> key;
        int knob = 0;
    };
    static std::optional<Named> byName(const QString& name);
    // The command-line name of a push button (soft keys are 1..9); every name byName accepts, keys first.
    static QString nameOf(Key k);
    static QStringList allNames();

private:
    void runClick(Key k);
    void runNumbered(Key k);
    void runModeKey(Key k);
    void runGuardedKey(Key k);
    void runKnob(int knob, bool releasedAlready);
    void exchange(int code);  // open, send, close with the key handlers' "Close Failed"

    UsbLink& link_;
    QTimer& timer3_;
    unsigned pressCount_ = 0;
    unsigned releasedUpTo_ = 0;
};

}  // namespace qv
