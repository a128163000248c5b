#include "uPortNames.h"

#include <charconv>

#include "uConst_Orbis.h"

namespace dikton {

std::string ComName(uint8_t port) { return "COM" + std::to_string(port); }

std::string TPortMap::DeviceFor(int port) const {
  if (auto it = map_.find(port); it != map_.end()) return it->second;
#ifdef _WIN32
  return port >= 10 ? "\\\\.\\COM" + std::to_string(port) : "COM" + std::to_string(port);
#else
  return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

std::optional<std::pair<int, std::string>> TPortMap::ParseOption(std::string_view arg) {
  const auto eq = arg.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 >= arg.size()) return std::nullopt;
  int port = 0;
  auto [p, ec] = std::from_chars(arg.data(), arg.data() + eq, port);
  if (ec != std::errc() || p != arg.data() + eq || port < kMinPort || port > kMaxPort)
    return std::nullopt;
  return std::make_pair(port, std::string(arg.substr(eq + 1)));
}

}  // namespace dikton
