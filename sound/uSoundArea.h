// The sound area in the memory image: the FragmentDirectory at 0x3000 and the packed samples
// from StartSoundAddr on.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "TData.h"
#include "uFragmentCatalogue.h"

namespace dikton {

// Packs one fragment's samples (signed 16-bit) at image[p...], end mark included; returns the
// number of bytes written. The caller makes sure they fit.
uint32_t PackFragment(std::span<const int16_t> samples, uint8_t* out);
uint32_t PackedLength(size_t samples);

// The samples back from a packed fragment (end mark excluded): each keeps its top 8 bits and
// the 2 below them, the rest 0. 'size' must be a whole number of samples
// (PackedSamples gives it).
std::vector<int16_t> UnpackFragment(const uint8_t* packed, uint32_t size);
// Samples held by 'size' packed bytes (end mark excluded); nullopt when no count packs to it.
std::optional<uint32_t> PackedSamples(uint32_t size);

// One fragment found in the sound area of an image.
struct TAreaFragment {
  int Slot = 0;          // 0 to 75
  uint32_t Address = 0;  // first byte
  uint32_t Size = 0;     // packed bytes, end mark excluded
  bool Closed = false;   // an end mark was found inside the sound range
};

// Walks the FragmentDirectory and the data: slot 0 is taken to lie at the start when no entry
// points there and the data there is closed by an end mark. Entries that point outside the
// range (or past the image) are left out and named in 'bad'.
struct TAreaContent {
  std::vector<TAreaFragment> Fragments;  // in slot order
  std::vector<int> BadSlots;
};
TAreaContent ReadSoundArea(const TData& image, uint32_t startSoundAddr, uint32_t endSoundAddr);

struct TBuildFailure {
  std::string Path;  // the fragment file that could not be read, or no longer fits
};

// Builds into a copy of 'image' (at least end + 1 bytes long) and swaps it in only when every
// loaded fragment was packed. Returns the byte total (fragment bytes plus 225) or the failure.
std::variant<uint32_t, TBuildFailure> BuildSoundArea(const TFragmentCatalogue& catalogue,
                                                     TData& image, uint32_t startSoundAddr,
                                                     uint32_t endSoundAddr);

}  // namespace dikton
