#include "rv7k_sim_content.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "rv7k_sim_wire.h"

namespace rv7ksim::content {
namespace {

constexpr std::string_view kModel = "RV-7K";  // model string at address 0
constexpr uint8_t kVersionMajor = 2;
constexpr uint8_t kVersionMinor = 10;
constexpr std::string_view kMaker = "ZORIX";  // maker field of the signature record
constexpr int kSampleRate = 10000;            // samples per second
constexpr uint32_t kMinSamples = 600;         // 60 ms
constexpr uint32_t kSpanSamples = 2400;       // up to 300 ms more
constexpr uint32_t kMinToneHz = 150;
constexpr uint32_t kSpanToneHz = 1650;
constexpr uint32_t kAttackSamples = 40;  // 4 ms rise
constexpr uint32_t kTailSamples = 100;   // 10 ms of silence at the end
constexpr int kMinExtraFragments = 3;    // fragments besides slot 0
constexpr int kSpanExtraFragments = 4;

// A small generator of our own: its sequence does not depend on the standard library.
class TRandom {
 public:
  explicit TRandom(uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

// A decaying tone in integer arithmetic only (a parabolic sine), so that the content is the
// same on every platform.
std::vector<int16_t> MakeTone(TRandom& rnd) {
  const uint32_t count = kMinSamples + rnd.Below(kSpanSamples);
  const uint32_t hz = kMinToneHz + rnd.Below(kSpanToneHz);
  const uint32_t step = static_cast<uint32_t>((uint64_t{hz} << 32) / kSampleRate);
  int64_t amp = 20000 + rnd.Below(45000);          // Q16 fraction of full scale
  const int64_t decay = 65536 - 1 - rnd.Below(6);  // Q16 per sample
  std::vector<int16_t> out(count + kTailSamples, 0);
  uint32_t phase = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t x = static_cast<int32_t>(phase) >> 16;  // -32768..32767 is -pi..pi
    const int32_t ax = x < 0 ? -x : x;
    int32_t y = (x * (32768 - ax)) >> 13;
    y = std::clamp(y, -32767, 32767);
    int64_t a = amp;
    if (i < kAttackSamples) a = a * i / kAttackSamples;
    out[i] = static_cast<int16_t>(y * a >> 16);
    amp = amp * decay >> 16;
    phase += step;
  }
  return out;
}

void PutBytes(std::vector<uint8_t>& memory, uint32_t at, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n && at + i < memory.size(); ++i) memory[at + i] = bytes[i];
}

}  // namespace

void Generate(std::vector<uint8_t>& memory, uint32_t startSound, uint32_t endSound, uint32_t seed) {
  TRandom rnd(seed);
  std::fill(memory.begin(), memory.end(), kErased);

  // Header: model, a zero, version, serial number.
  std::vector<uint8_t> header(kModel.begin(), kModel.end());
  header.push_back(0);
  header.push_back(kVersionMajor);
  header.push_back(kVersionMinor);
  const uint32_t serial = rnd.Below(10000);
  header.push_back(serial & 0xFF);
  header.push_back((serial >> 8) & 0xFF);
  PutBytes(memory, 0, header.data(), header.size());

  // Directory and the bytes after it: zero until fragments are placed.
  const std::vector<uint8_t> zeros(kDirectoryPadEnd - kDirectoryAddr + 1, 0);
  PutBytes(memory, kDirectoryAddr, zeros.data(), zeros.size());

  if (memory.empty()) return;
  const uint32_t last = std::min<uint64_t>(endSound, memory.size() - 1);
  const uint32_t dataStart = startSound > kSignaturePtrAddr + 2 ? startSound : kFirstFreeData;
  // Keep room for the signature record at the end of the range.
  const bool withSignature = last == endSound && last >= dataStart + kSignatureSize;
  const uint32_t dataLast = withSignature ? last - kSignatureSize : last;

  // Slot 0 and a few distinct slots out of 1..75, in slot order.
  std::vector<uint32_t> slots{0};
  const int extra = kMinExtraFragments + static_cast<int>(rnd.Below(kSpanExtraFragments));
  while (slots.size() < static_cast<size_t>(extra) + 1) {
    const uint32_t slot = 1 + rnd.Below(kDirectoryEntries);
    if (std::find(slots.begin(), slots.end(), slot) == slots.end()) slots.push_back(slot);
  }
  std::sort(slots.begin(), slots.end());

  uint32_t p = dataStart;
  for (uint32_t slot : slots) {
    const std::vector<uint8_t> packed = wire::PackSamples(MakeTone(rnd));
    if (dataStart > dataLast || uint64_t{p} + packed.size() - 1 > dataLast) break;
    if (slot > 0) {
      uint8_t entry[3];
      wire::Put24(entry, p);
      PutBytes(memory, kDirectoryAddr + 3 * (slot - 1), entry, sizeof entry);
    }
    PutBytes(memory, p, packed.data(), packed.size());
    p += static_cast<uint32_t>(packed.size());
  }

  if (withSignature) {
    const uint32_t record = endSound - (kSignatureSize - 1);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.2u%.2u%.2u%.2u%.2u", 1 + rnd.Below(28),
                  1 + rnd.Below(12), 20 + rnd.Below(10), rnd.Below(24), rnd.Below(60));
    std::array<uint8_t, kSignatureSize> sig{};
    std::copy_n(digits, 10, sig.begin());
    std::copy(kMaker.begin(), kMaker.end(), sig.begin() + 10);
    PutBytes(memory, record, sig.data(), sig.size());
    uint8_t ptr[3];
    wire::Put24(ptr, record);
    PutBytes(memory, kSignaturePtrAddr, ptr, sizeof ptr);
  }
}

}  // namespace rv7ksim::content
