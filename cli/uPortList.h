// The ports of one run: -p takes numbers, ranges and device paths ("1,3,5-8", "COM4",
// "/dev/ttyUSB0"), and may be given again to add more.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dikton::cli {

struct TPortSpec {
  uint8_t Number = 0;  // 1..16, or 0 when Path names the device
  std::string Path;
  bool operator==(const TPortSpec&) const = default;
  // As the port goes into file names and rows: "COM3", or the device's own name ("ttyUSB0").
  std::string Name() const;
  // As the user gave it, for the record: "3" or the path.
  std::string Given() const;
};

// Adds the ports of one -p value to 'ports'. A value with a path separator is one device path;
// otherwise it is a comma-separated list of numbers 1 to 16, ranges a-b and COMn names, and
// anything else in it is a device path. Returns a one-line error for a number outside 1 to 16,
// a reversed range, an empty element, or a port named twice (the list is left as it was).
std::optional<std::string> AddPorts(std::string_view value, std::vector<TPortSpec>& ports);

// Adds the device addresses of one -a value: a comma-separated list of addresses 1 to 127 and
// ranges a-b, kept in the order given (devices sharing one line are programmed in that order).
// Returns a one-line error for an address outside 1 to 127, a reversed range, an empty
// element, or an address named twice (the list is left as it was).
std::optional<std::string> AddAddresses(std::string_view value, std::vector<uint8_t>& addresses);

// "memory.bin" and "COM3" -> "memory-COM3.bin"; without an extension the name is appended
// ("dump" -> "dump-COM3"). Only the file's own name changes, not its folder.
std::string WithPortName(const std::string& path, const std::string& portName);

}  // namespace dikton::cli
