#pragma once
// The module-level state of one running program. Everything that talks to the instrument shares one device
// handle, one receive buffer and the read and queue counters, exactly as the instrument's protocol expects:
// exchanges are strictly one after another, so nothing here is locked.

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdint>

namespace qv {

// An opaque 0xAARRGGBB colour, the same layout as QtGui's QRgb (this layer does without QtGui).
using Rgb = uint32_t;

// The colours of the instrument maker's 16-colour palette that the panel uses, as RGB.
namespace palette {
inline constexpr Rgb Black = 0xff000000;   // palette entry 0
inline constexpr Rgb Grey = 0xffc0c0c0;    // palette entry 7, a lamp that is off
inline constexpr Rgb Blue = 0xff0000ff;    // palette entry 9
inline constexpr Rgb Green = 0xff00ff00;   // palette entry 10
inline constexpr Rgb Red = 0xffff0000;     // palette entry 12
inline constexpr Rgb Yellow = 0xffffff00;  // palette entry 14
inline constexpr Rgb White = 0xffffffff;   // palette entry 15
}  // namespace palette

inline constexpr int kReplyBufferSize = 10000;
inline constexpr int kSerialNumberSize = 100;
inline constexpr int kLogRecordSize = 50;

struct SharedState {
    // USB link
    uint32_t DeviceHandle = 0;  // written only by a successful open; never cleared
    std::array<char, kSerialNumberSize> SerialNumber{};
    std::array<uint8_t, 2> KeyMessage{};
    uint32_t BytesWritten = 0;
    bool WaitDone = false;

    // Transfers and the live poll
    std::array<uint8_t, kReplyBufferSize> ReplyBuffer{};
    int32_t BytesRead = 0;
    int32_t QueuedBytes = 0;  // kept between transfers on purpose: the instrument's queue outlives them
    bool TransferBusy = false;
    bool SignalPresent = false;
    bool DisplayFlag = false;
    bool DeviceFound = false;
    bool KnobHeld = false;
    uint8_t ModeCode = 0;

    // Screen capture
    int16_t ScreenTypeCode = 0;
    std::array<uint8_t, 4> AudioLevel{};  // AudioLevel1..4
    int BlockIndex = 0;

    // Error log
    std::array<char, kLogRecordSize> LogRecord{};
    bool LogFailed = false;

    // Status box record and printing
    QString StatusLog;
    int PrinterIndex = 0;
    int PrinterCount = 0;
    QString PictureFileName;

    // Fills ReplyBuffer with nine at-signs and blanks, the poll's sentinel: bytes a short read leaves unfilled
    // then decode as 0x40.
    void fillReplySentinel();
};

}  // namespace qv
