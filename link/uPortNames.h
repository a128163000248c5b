// Which device a port number opens. On Windows port n is "COMn" (10 and up need the "\\.\"
// form); on POSIX the owner maps numbers to devices, by default COMn -> /dev/ttyS(n-1).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace dikton {

class TPortMap {
 public:
  void Map(int port, std::string device) { map_[port] = std::move(device); }
  std::string DeviceFor(int port) const;
  // Parses "N=PATH" as given to --com; nullopt when it is not of that form or N is not 1..16.
  static std::optional<std::pair<int, std::string>> ParseOption(std::string_view arg);

 private:
  std::map<int, std::string> map_;
};

// "COM" followed by the number in decimal.
std::string ComName(uint8_t port);

}  // namespace dikton
