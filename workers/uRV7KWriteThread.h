// The write-all worker: writes the first 4 KiB and the sound area up to EndSoundAddr, stamps
// device and image with the signature record, and on request reads everything back.
#pragma once

#include <array>
#include <optional>

#include "uRV7K_v210_Sound.h"

namespace dikton {

class TRV7KWriteThread : public TRV7KSoundThread {
 public:
  explicit TRV7KWriteThread(TData* image, const TLinkContext& ctx = {});
  ~TRV7KWriteThread() override;

  // Whether this image and range can hold the fixed memory map the worker writes: the
  // signature pointer at 0x31FD..0x31FF, the record at EndSoundAddr - 15, 24-bit addresses.
  static bool CanWrite(const TData& image, uint32_t endSoundAddr);
  // "%.2d%.2d%.2d%.2d%.2d" of day, month, year mod 100, hour and minute, "ZORIX", 0x00.
  static std::array<uint8_t, 16> SignatureRecord(const TLocalTime& t);

  // Verify only ("dikton-cli verify"): nothing is written and the image is left as it is; the
  // same regions are read back and compared with the image, the signature pointer and record
  // left out (write-all replaces them), and the device's record is read into RecordRead.
  bool VerifyOnly = false;

  // How the job went, for the command's result.
  std::optional<std::array<uint8_t, 16>> RecordWritten;  // the record the device acknowledged
  std::optional<std::array<uint8_t, 16>> RecordRead;     // verify: the device's record
  bool VerifyDeclined = false;      // stopped while waiting for the read-back question
  bool DifferenceDeclined = false;  // stopped while waiting after a difference

 protected:
  void Execute() override;
};

}  // namespace dikton
