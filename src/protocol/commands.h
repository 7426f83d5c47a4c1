#pragma once
// The one-byte requests the PC sends (each followed by the trailer byte), and the sizes of what comes back.

#include <cstdint>

namespace qv::wire {

inline constexpr uint8_t kTrailer = 0xF0;  // every message is two bytes: code, trailer

inline constexpr uint8_t kStartScreen = 0xB0;
inline constexpr uint8_t kEndScreen = 0xB1;
inline constexpr uint8_t kNextBlock = 0xB2;
inline constexpr uint8_t kStartLog = 0xB3;
inline constexpr uint8_t kNextRecord = 0xB4;
inline constexpr uint8_t kEraseLog = 0xB5;
inline constexpr uint8_t kStatusRequest = 0xB6;

inline constexpr int kStatusReplyBytes = 3;
inline constexpr int kScreenHeaderBytes = 5;  // screen type, then four audio levels
inline constexpr int kLogRecordBytes = 50;
// The shortest record the instrument sends: the log fetch reads once this much is queued.
inline constexpr int kLogRecordReady = 36;
// A screen block is 16 rows of 510 bytes; the instrument's own rule is to read once five bytes short of that
// are queued.
inline constexpr int kBlockReady = 8155;

}  // namespace qv::wire
