// The device's own reading of the wire: frame layout, codes, the frame parser and the packing
// of sound samples. Kept apart from the program's link code on purpose, so that the tests
// compare two independent readings of the protocol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rv7ksim::wire {

// Frame layout (0-based indices into a frame).
inline constexpr size_t kPosAddress = 0;        // device address
inline constexpr size_t kPosLength = 1;         // L: bytes before the CRC
inline constexpr size_t kPosZero = 2;           // requests: always 0
inline constexpr size_t kPosCommand = 3;        // requests: command code
inline constexpr size_t kPosReplyCode = 2;      // replies: reply code
inline constexpr size_t kPosArg = 4;            // requests: first argument byte
inline constexpr size_t kMinRequestLength = 4;  // L of the shortest frame with a command code
inline constexpr size_t kMaxLength = 255;       // L fits one byte

// Request codes.
inline constexpr uint8_t kCmdPrepare = 0x0D;
inline constexpr uint8_t kCmdModeSwitch = 0x33;  // '3'
inline constexpr uint8_t kCmdRange = 0x3F;       // '?'
inline constexpr uint8_t kCmdRead = 0x43;        // 'C'
inline constexpr uint8_t kCmdWrite = 0x41;       // 'A'

// Reply codes.
inline constexpr uint8_t kReplyPrepare = 0x0E;
inline constexpr uint8_t kReplyModeSwitch = 0x34;  // '4'
inline constexpr uint8_t kReplyRange = 0x3E;       // '>'
inline constexpr uint8_t kReplyData = 0x44;        // 'D'
inline constexpr uint8_t kReplyWriteAck = 0x42;    // 'B'
inline constexpr uint8_t kReplyUnknown = 0x3F;     // '?': what a confused device says
inline constexpr uint8_t kReplyRefused = 0x21;     // '!': write not done

inline constexpr uint8_t kModeSwitchArg = 0xA0;
inline constexpr uint8_t kModeEnter = 0x00;
inline constexpr uint8_t kModeLeave = 0x01;
inline constexpr uint8_t kRangeSeparator = 0x2C;  // ','

inline constexpr size_t kShortReplyLength = 5;  // L of the plain acknowledgements
inline constexpr size_t kRangeReplyLength = 10;
inline constexpr size_t kDataReplyOverhead = 4;  // L = n + 4
inline constexpr size_t kReadRequestLength = 8;
inline constexpr size_t kWriteRequestOverhead = 7;  // L = N + 7
inline constexpr size_t kModeRequestLength = 6;
inline constexpr size_t kMaxDataBytes = kMaxLength - kDataReplyOverhead;  // 251

inline constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

enum class TInspect { Frame, Garbage, NeedMore };

// Looks at the bytes at the front of a receive buffer. Frame: *frameLength bytes form a frame
// with a valid CRC. Garbage: the first byte cannot start a frame. NeedMore: not decided yet.
TInspect InspectFront(const uint8_t* bytes, size_t n, size_t* frameLength);

// 24-bit little-endian value at bytes[0..2].
inline uint32_t Get24(const uint8_t* bytes) {
  return bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16);
}
inline void Put24(uint8_t* bytes, uint32_t value) {
  bytes[0] = value & 0xFF;
  bytes[1] = (value >> 8) & 0xFF;
  bytes[2] = (value >> 16) & 0xFF;
}

// Packs signed 16-bit samples the way the device stores them: 10 bits per sample, two samples
// in three bytes, no byte 0xFF inside; the end mark 0xFF is appended.
std::vector<uint8_t> PackSamples(const std::vector<int16_t>& samples);

}  // namespace rv7ksim::wire
