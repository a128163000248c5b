// Finding the devices on a line: one range query to every address, one attempt each (a silent
// address then costs one read time-out, not three).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "uRV7K_v210_Sound.h"

namespace dikton {

struct TScanHit {
  uint8_t Address = 0;
  uint32_t StartSoundAddr = 0;
  uint32_t EndSoundAddr = 0;
  bool operator==(const TScanHit&) const = default;
};

inline constexpr uint8_t kScanRetries = 1;  // attempts per address

// Asks the addresses first..last in turn at 9600 baud over one opening of the port.
// 'beforeEach' is called with each address before its query; false ends the scan there.
// Raises TAppError("Не могу открыть порт!") when the port cannot be opened.
std::vector<TScanHit> ScanAddresses(uint8_t port, const TLinkContext& link, uint8_t first,
                                    uint8_t last,
                                    const std::function<bool(uint8_t)>& beforeEach = {});

}  // namespace dikton
