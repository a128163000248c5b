// Reading the virtual device's transcript.
#pragma once

#include <vector>

#include "rv7k_sim.h"

namespace dikton::test {

// Requests with this command code (0: all), as they went over the wire.
inline std::vector<std::vector<uint8_t>> Requests(const rv7ksim::TVirtualDevice& d,
                                                  uint8_t command = 0) {
  std::vector<std::vector<uint8_t>> out;
  for (const auto& e : d.Transcript())
    if (e.FromHost && e.Bytes.size() > 3 && (command == 0 || e.Bytes[3] == command))
      out.push_back(e.Bytes);
  return out;
}

inline uint32_t BlockAddress(const std::vector<uint8_t>& request) {
  return request[4] | (request[5] << 8) | (uint32_t(request[6]) << 16);
}

}  // namespace dikton::test
