// Memory image files: a 16-byte header (sound range and two checksums, 32-bit little-endian
// each) followed by the device memory from address 0 to the end address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "TData.h"

namespace dikton {

inline constexpr size_t kImageHeaderSize = 16;   // bytes before the image
inline constexpr size_t kHeaderStartOffset = 0;  // start address field, bytes
inline constexpr size_t kHeaderEndOffset = 4;    // end address field, bytes
inline constexpr size_t kHeaderSumAOffset = 8;   // checksum A, bytes
inline constexpr size_t kHeaderSumBOffset = 12;  // checksum B, bytes
inline constexpr size_t kChecksumGroup = 8;      // bytes per checksum group

struct TImageChecksum {
  uint32_t A = 0;
  uint32_t B = 0;
  bool operator==(const TImageChecksum&) const = default;
};

// A is the XOR of the first 32-bit word of every complete 8-byte group, B that of the second;
// an incomplete last group does not count.
TImageChecksum ImageChecksum(const uint8_t* data, size_t size);

// Test seam of the writer: called before each piece is written with the bytes written so far
// and the size of the piece; false makes that write fail.
using TImageWriteHook = std::function<bool(uint64_t written, size_t size)>;

// Writes a complete image file: the whole content goes into a new file beside 'path', which
// replaces 'path' only once it is written, flushed and closed. False when anything failed; the
// earlier file at 'path' is then untouched and no temporary file is left. The image must hold
// exactly end + 1 bytes (end at most 0xFFFFFF), or nothing is written: such a file could never
// be opened again. A read-only file at 'path' is refused untouched; a replaced file keeps its
// mode.
bool WriteImageFile(const std::string& path, uint32_t start, uint32_t end, const TData& image,
                    const TImageWriteHook& hook = {});

enum class TImageLoadStatus {
  Ok,
  BadSize,  // shorter than the header
  Damaged,  // size or checksums do not match the header, or the file cannot be read
};

struct TImageFileContent {
  TImageLoadStatus Status = TImageLoadStatus::Damaged;
  uint32_t Start = 0;
  uint32_t End = 0;
  TData Image;  // end + 1 bytes when Status is Ok
};

TImageFileContent ReadImageFile(const std::string& path);

}  // namespace dikton
