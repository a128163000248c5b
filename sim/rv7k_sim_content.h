// Synthetic memory content that looks like a programmed device: a header, an erased service
// area, a fragment directory, a few packed sound fragments and a signature record.
#pragma once

#include <cstdint>
#include <vector>

namespace rv7ksim::content {

inline constexpr uint32_t kDirectoryAddr = 0x3000;     // fragment directory
inline constexpr uint32_t kDirectoryEntries = 75;      // 3 bytes each, fragments 1 to 75
inline constexpr uint32_t kDirectoryPadEnd = 0x30E3;   // last byte kept zero after it
inline constexpr uint32_t kSignaturePtrAddr = 0x31FD;  // 3 bytes: address of the record
inline constexpr uint32_t kFirstFreeData = 0x3200;     // data start when the range starts lower
inline constexpr uint32_t kSignatureSize = 16;         // bytes of the signature record
inline constexpr uint8_t kErased = 0xFF;               // an erased EEPROM byte

// Overwrites the whole memory. Fragments go from startSound on (or from kFirstFreeData when the
// range would overlap the directory) and never past endSound or the memory's end.
// Deterministic for a given seed.
void Generate(std::vector<uint8_t>& memory, uint32_t startSound, uint32_t endSound, uint32_t seed);

}  // namespace rv7ksim::content
