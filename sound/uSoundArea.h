// The sound area in the memory image: the FragmentDirectory at 0x3000 and the packed samples
// from StartSoundAddr on.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "TData.h"
#include "uFragmentCatalogue.h"

namespace dikton {

// Packs one fragment's samples (signed 16-bit) at image[p...], end mark included; returns the
// number of bytes written. The caller makes sure they fit.
uint32_t PackFragment(std::span<const int16_t> samples, uint8_t* out);
uint32_t PackedLength(size_t samples);

struct TBuildFailure {
  std::string Path;  // the fragment file that could not be read, or no longer fits
};

// Builds into a copy of 'image' (at least end + 1 bytes long) and swaps it in only when every
// loaded fragment was packed. Returns the byte total (fragment bytes plus 225) or the failure.
std::variant<uint32_t, TBuildFailure> BuildSoundArea(const TFragmentCatalogue& catalogue,
                                                     TData& image, uint32_t startSoundAddr,
                                                     uint32_t endSoundAddr);

}  // namespace dikton
