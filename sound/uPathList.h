// Fragment list files: 76 NUL-terminated file names in the Windows-1251 code page, then
// 0x00, the start address, 0x00 and the end address (32-bit, least significant byte first).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uFragmentCatalogue.h"

namespace dikton {

// UTF-8 <-> Windows-1251. ToCp1251 gives nullopt for a character the code page cannot hold.
std::optional<std::string> ToCp1251(std::string_view utf8);
std::string FromCp1251(std::string_view cp1251);

// The bytes of a list file for the catalogue and range; nullopt and the offending name when a
// loaded slot's name cannot be stored.
struct TListBytes {
  std::vector<uint8_t> Bytes;
  std::string BadName;  // set when Bytes is empty because of it
};
TListBytes BuildPathList(const TFragmentCatalogue& catalogue, uint32_t start, uint32_t end);

// Writes the list to 'path'; false when it cannot be written. A read-only file at 'path' is
// refused untouched; a replaced file keeps its mode.
bool SavePathList(const std::string& path, const std::vector<uint8_t>& bytes);

struct TListRange {
  uint32_t Start = 0;
  uint32_t End = 0;
};
// A name the list holds whose slot stays empty: no such file beside the list (also not in
// another case), a name too long or with a folder in it, or a file that holds no sound data.
struct TMissingName {
  int Slot = 0;
  std::string Name;  // UTF-8, as far as the list holds it
  bool operator==(const TMissingName&) const = default;
};

// Reads a list into the catalogue, looking the names up in the list file's folder. The range
// is returned only when the file holds both addresses whole. 'missing', when given, receives
// every name that left its slot empty, in slot order.
std::optional<TListRange> LoadPathList(const std::string& path, TFragmentCatalogue& catalogue,
                                       std::vector<TMissingName>* missing = nullptr);

}  // namespace dikton
