#include "rv7k_sim_wire.h"

#include <array>

#include "rv7k_sim.h"

namespace rv7ksim {
namespace {

constexpr uint8_t kCrcPoly = 0x8C;       // x^8 + x^5 + x^4 + 1, reflected
constexpr size_t kDeviantEntry = 0xF9;   // this entry differs from the published table
constexpr uint8_t kDeviantValue = 0xFC;  // published value there: 0xE8

constexpr std::array<uint8_t, 256> MakeCrcTable() {
  std::array<uint8_t, 256> table{};
  for (size_t i = 0; i < table.size(); ++i) {
    uint8_t crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc =
          (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ kCrcPoly) : static_cast<uint8_t>(crc >> 1);
    }
    table[i] = crc;
  }
  table[kDeviantEntry] = kDeviantValue;
  return table;
}

constexpr std::array<uint8_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[0x01] == 0x5E && kCrcTable[0x80] == 0x8C && kCrcTable[0xFF] == 0x35);

constexpr uint32_t kOffsetBinary = 0x8000;  // signed sample -> offset binary
constexpr uint8_t kEndMark = 0xFF;          // closes every fragment
constexpr uint8_t kHighMax = 0xFE;          // a high byte 0xFF is stored as this
constexpr int kLowShift = 6;                // the two bits kept below the high byte
constexpr int kSecondLowShift = 4;          // sample B's two bits in the middle byte

struct TPacked {
  uint8_t Hi;
  uint8_t Lo2;
};

TPacked Split(int16_t sample) {
  const auto u =
      static_cast<uint16_t>(static_cast<uint32_t>(sample + static_cast<int32_t>(kOffsetBinary)));
  uint8_t hi = static_cast<uint8_t>(u >> 8);
  if (hi == kEndMark) hi = kHighMax;
  return {hi, static_cast<uint8_t>((u >> kLowShift) & 3)};
}

}  // namespace

uint8_t SimCrc8(const uint8_t* bytes, size_t n) {
  uint8_t crc = 0;
  for (size_t i = 0; i < n; ++i) crc = kCrcTable[crc ^ bytes[i]];
  return crc;
}

namespace wire {

TInspect InspectFront(const uint8_t* bytes, size_t n, size_t* frameLength) {
  if (n <= kPosLength) return TInspect::NeedMore;
  const size_t length = bytes[kPosLength];
  if (length < kMinRequestLength) return TInspect::Garbage;
  if (n < length + 1) return TInspect::NeedMore;
  if (SimCrc8(bytes, length) != bytes[length]) return TInspect::Garbage;
  *frameLength = length + 1;
  return TInspect::Frame;
}

std::vector<uint8_t> PackSamples(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out;
  out.reserve(samples.size() / 2 * 3 + 3);
  size_t i = 0;
  for (; i + 1 < samples.size(); i += 2) {
    const TPacked a = Split(samples[i]);
    const TPacked b = Split(samples[i + 1]);
    out.push_back(a.Hi);
    out.push_back(static_cast<uint8_t>((b.Lo2 << kSecondLowShift) | a.Lo2));
    out.push_back(b.Hi);
  }
  if (i < samples.size()) {
    const TPacked a = Split(samples[i]);
    out.push_back(a.Hi);
    out.push_back(a.Lo2);
  }
  out.push_back(kEndMark);
  return out;
}

}  // namespace wire
}  // namespace rv7ksim
