#include "uSoundArea.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "uConst_Orbis.h"
#include "uWavFile.h"

namespace dikton {

namespace {

constexpr uint32_t kEntryBytes = 3;         // one directory entry: a 24-bit address
constexpr uint16_t kOffsetBinary = 0x8000;  // signed sample -> offset binary
constexpr uint8_t kEndMark = 0xFF;          // closes every fragment
constexpr uint8_t kHighestHi = 0xFE;        // a high byte never equals the end mark
constexpr uint32_t kGroupBytes = 3;         // two samples share three bytes
constexpr uint32_t kMidShiftB = 4;          // bits 5-4 of the middle byte: lo2 of B

}  // namespace

uint32_t PackedLength(size_t samples) {
  return uint32_t((samples / 2) * kGroupBytes + 2 * (samples % 2) + 1);
}

uint32_t PackFragment(std::span<const int16_t> samples, uint8_t* out) {
  uint32_t p = 0;
  for (const int16_t s : samples) {
    const uint16_t u = uint16_t(uint16_t(s) ^ kOffsetBinary);
    uint8_t hi = uint8_t(u >> 8);
    if (hi == kEndMark) hi = kHighestHi;
    const uint8_t lo2 = uint8_t((u >> 6) & 0x03);
    if (p % kGroupBytes == 0) {  // sample A of a group: its high byte and the middle byte
      out[p] = hi;
      out[p + 1] = lo2;
      p += 2;
    } else {  // sample B: its high byte, its low bits into the middle byte
      out[p] = hi;
      out[p - 1] = uint8_t(out[p - 1] | (lo2 << kMidShiftB));
      p += 1;
    }
  }
  out[p++] = kEndMark;
  return p;
}

std::variant<uint32_t, TBuildFailure> BuildSoundArea(const TFragmentCatalogue& catalogue,
                                                     TData& image, uint32_t startSoundAddr,
                                                     uint32_t endSoundAddr) {
  // The caller checks the range; a range that would put data over the directory, or past the
  // image, is refused here too (with no path to name).
  if (startSoundAddr <= kDirectoryPadEnd || startSoundAddr > endSoundAddr ||
      endSoundAddr > kMaxDeviceAddr || image.size() <= endSoundAddr)
    return TBuildFailure{};

  TData built = image;
  // One entry per slot from 0x3000 on; slot 0's entry is dropped below.
  uint32_t d = kDirectoryAddr;
  uint64_t p = startSoundAddr;
  for (int i = 0; i < TFragmentCatalogue::Count(); ++i, d += kEntryBytes) {
    const TStringCell& cell = catalogue.Row(i).Cell;
    if (cell.Loaded != 1) {
      Put24(&built[d], 0);
      continue;
    }
    // Read again: the file may have changed, or a path typed over the row may name another.
    const uint64_t room = uint64_t(endSoundAddr) + 1 - p;
    const std::optional<TWavInfo> info = ReadWavInfo(cell.Path);
    if (!info || !info->FormatOk || PackedLength(info->DataSize / 2) > room)
      return TBuildFailure{cell.Path};
    const std::optional<std::vector<int16_t>> samples = ReadWavSamples(cell.Path);
    if (!samples || PackedLength(samples->size()) > room) return TBuildFailure{cell.Path};
    Put24(&built[d], uint32_t(p));
    p += PackFragment(*samples, &built[p]);
  }
  std::memmove(&built[kDirectoryAddr], &built[kDirectoryAddr + kEntryBytes], kDirectoryBytes);
  for (uint32_t a = kDirectoryAddr + kDirectoryBytes; a <= kDirectoryPadEnd; ++a) built[a] = 0;

  image.swap(built);
  return uint32_t(p - startSoundAddr) + kDirectoryBytes;
}

}  // namespace dikton

namespace dikton {

std::optional<uint32_t> PackedSamples(uint32_t size) {
  // A pair takes 3 bytes and a lone last sample 2: a remainder of 1 cannot occur.
  if (size % kGroupBytes == 1) return std::nullopt;
  return size / kGroupBytes * 2 + (size % kGroupBytes == 2 ? 1 : 0);
}

std::vector<int16_t> UnpackFragment(const uint8_t* packed, uint32_t size) {
  std::vector<int16_t> samples;
  samples.reserve(size / kGroupBytes * 2 + 1);
  constexpr unsigned kHiShift = 8;   // bits 15-8 of the offset-binary value
  constexpr unsigned kLoShift = 6;   // bits 7-6
  constexpr uint8_t kLoMask = 0x03;  // two bits
  auto sample = [&](uint8_t hi, uint8_t lo2) {
    const uint16_t u = uint16_t((hi << kHiShift) | ((lo2 & kLoMask) << kLoShift));
    samples.push_back(int16_t(uint16_t(u ^ kOffsetBinary)));
  };
  uint32_t p = 0;
  while (p + 1 < size) {  // sample A: high byte and the middle byte
    sample(packed[p], packed[p + 1]);
    if (p + 2 < size) sample(packed[p + 2], uint8_t(packed[p + 1] >> kMidShiftB));
    p += kGroupBytes;
  }
  return samples;
}

TAreaContent ReadSoundArea(const TData& image, uint32_t startSoundAddr, uint32_t endSoundAddr) {
  TAreaContent area;
  if (startSoundAddr > endSoundAddr || image.size() < size_t(kDirectoryAddr) + kDirectoryBytes)
    return area;
  // The data may not run past the image or the range.
  const uint64_t last = std::min<uint64_t>(endSoundAddr, uint64_t(image.size()) - 1);
  auto fragmentAt = [&](int slot, uint32_t address) {
    TAreaFragment f;
    f.Slot = slot;
    f.Address = address;
    uint64_t p = address;
    while (p <= last && image[size_t(p)] != kEndMark) ++p;
    f.Closed = p <= last;
    f.Size = uint32_t(p - address);
    return f;
  };
  std::vector<std::pair<int, uint32_t>> entries;
  bool startTaken = false;
  for (uint32_t k = 0; k < kDirectoryCount; ++k) {
    const uint32_t a = Get24(&image[kDirectoryAddr + kEntryBytes * k]);
    if (a == 0) continue;
    const int slot = int(k) + 1;
    if (a < startSoundAddr || a > last) {
      area.BadSlots.push_back(slot);
      continue;
    }
    startTaken = startTaken || a == startSoundAddr;
    entries.emplace_back(slot, a);
  }
  if (!startTaken && startSoundAddr <= last) {
    const TAreaFragment f0 = fragmentAt(0, startSoundAddr);
    if (f0.Closed) area.Fragments.push_back(f0);
  }
  for (const auto& [slot, a] : entries) area.Fragments.push_back(fragmentAt(slot, a));
  return area;
}

}  // namespace dikton
