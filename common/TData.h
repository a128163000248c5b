// The memory image and the records shared by the workers and the windows.
#pragma once

#include <cstdint>
#include <vector>

namespace dikton {

// A growable array of bytes; the MemoryImage is one, indexed by device address.
using TData = std::vector<uint8_t>;

// One byte found different when a writing worker reads the device back.
struct MismatchRecord {
  uint8_t ImageByte = 0;
  uint8_t DeviceByte = 0;
  uint32_t Address = 0;
  bool operator==(const MismatchRecord&) const = default;
};

// 24-bit little-endian values as the device, the image and the files store them.
inline uint32_t Get24(const uint8_t* p) { return p[0] | (p[1] << 8) | (uint32_t(p[2]) << 16); }
inline void Put24(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
}
inline uint32_t Get32(const uint8_t* p) { return Get24(p) | (uint32_t(p[3]) << 24); }
inline void Put32(uint8_t* p, uint32_t v) {
  Put24(p, v);
  p[3] = uint8_t(v >> 24);
}

}  // namespace dikton
