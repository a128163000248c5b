#include "uPortList.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "uConst_Orbis.h"

namespace dikton::cli {
namespace {

bool IsDigits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A port number written in decimal digits; a number too long to be one is out of range (0).
std::optional<int> Number(std::string_view s) {
  if (!IsDigits(s)) return std::nullopt;
  if (s.size() > 3) return 0;
  int n = 0;
  std::from_chars(s.data(), s.data() + s.size(), n);
  return n;
}

bool InRange(const std::optional<int>& n) { return n && *n >= kMinPort && *n <= kMaxPort; }

bool HasComPrefix(std::string_view s) {
  return s.size() > 3 && std::toupper((unsigned char)s[0]) == 'C' &&
         std::toupper((unsigned char)s[1]) == 'O' && std::toupper((unsigned char)s[2]) == 'M' &&
         IsDigits(s.substr(3));
}

std::string OutOfRange(std::string_view s) {
  return "port " + std::string(s) + " is outside 1 to 16";
}

}  // namespace

std::string TPortSpec::Name() const {
  if (Number != 0) return "COM" + std::to_string(Number);
  const size_t cut = Path.find_last_of("/\\");
  std::string base = cut == std::string::npos ? Path : Path.substr(cut + 1);
  return base.empty() ? Path : base;
}

std::string TPortSpec::Given() const { return Number != 0 ? std::to_string(Number) : Path; }

std::optional<std::string> AddPorts(std::string_view value, std::vector<TPortSpec>& ports) {
  std::vector<TPortSpec> added;
  if (value.empty()) return "option -p needs a port";
  if (value.find_first_of("/\\") != std::string_view::npos) {
    added.push_back({0, std::string(value)});
  } else {
    size_t from = 0;
    for (;;) {
      const size_t comma = value.find(',', from);
      const std::string_view item = value.substr(
          from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
      if (item.empty()) return "empty port in list " + std::string(value);
      const size_t dash = item.find('-', 1);
      if (HasComPrefix(item) || IsDigits(item)) {
        const auto n = Number(IsDigits(item) ? item : item.substr(3));
        if (!InRange(n)) return OutOfRange(item);
        added.push_back({uint8_t(*n), {}});
      } else if (dash != std::string_view::npos && IsDigits(item.substr(0, dash)) &&
                 IsDigits(item.substr(dash + 1))) {
        const auto a = Number(item.substr(0, dash));
        const auto b = Number(item.substr(dash + 1));
        if (!InRange(a)) return OutOfRange(item.substr(0, dash));
        if (!InRange(b)) return OutOfRange(item.substr(dash + 1));
        if (*a > *b) return "port range " + std::string(item) + " runs backwards";
        for (int n = *a; n <= *b; ++n) added.push_back({uint8_t(n), {}});
      } else if (item.find_first_not_of("+-0123456789") == std::string_view::npos) {
        return OutOfRange(item);
      } else {
        added.push_back({0, std::string(item)});
      }
      if (comma == std::string_view::npos) break;
      from = comma + 1;
    }
  }
  std::vector<TPortSpec> all = ports;
  for (const TPortSpec& p : added) {
    if (std::find(all.begin(), all.end(), p) != all.end())
      return "port " + p.Given() + " is named twice";
    all.push_back(p);
  }
  ports = std::move(all);
  return std::nullopt;
}

std::optional<std::string> AddAddresses(std::string_view value, std::vector<uint8_t>& addresses) {
  auto outside = [](std::string_view s) {
    return "address " + std::string(s) + " is outside 1 to 127";
  };
  auto address = [](std::string_view s) -> std::optional<int> {
    const auto n = Number(s);
    if (!n || *n < kMinDeviceAddress || *n > kMaxDeviceAddress) return std::nullopt;
    return n;
  };
  if (value.empty()) return outside(value);
  std::vector<uint8_t> all = addresses;
  auto add = [&](int n) -> std::optional<std::string> {
    if (std::find(all.begin(), all.end(), uint8_t(n)) != all.end())
      return "address " + std::to_string(n) + " is named twice";
    all.push_back(uint8_t(n));
    return std::nullopt;
  };
  for (size_t from = 0;;) {
    const size_t comma = value.find(',', from);
    const std::string_view item = value.substr(
        from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
    if (item.empty()) return "empty address in list " + std::string(value);
    const size_t dash = item.find('-', 1);
    if (dash != std::string_view::npos && IsDigits(item.substr(0, dash)) &&
        IsDigits(item.substr(dash + 1))) {
      const auto a = address(item.substr(0, dash));
      const auto b = address(item.substr(dash + 1));
      if (!a) return outside(item.substr(0, dash));
      if (!b) return outside(item.substr(dash + 1));
      if (*a > *b) return "address range " + std::string(item) + " runs backwards";
      for (int n = *a; n <= *b; ++n)
        if (auto error = add(n)) return error;
    } else {
      const auto n = address(item);
      if (!n) return outside(item);
      if (auto error = add(*n)) return error;
    }
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  addresses = std::move(all);
  return std::nullopt;
}

std::string WithPortName(const std::string& path, const std::string& portName) {
  const size_t slash = path.find_last_of("/\\");
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  // A leading dot ("/x/.bin") is a hidden file's name, not an extension.
  if (dot == std::string::npos || dot <= nameAt) return path + "-" + portName;
  return path.substr(0, dot) + "-" + portName + path.substr(dot);
}

}  // namespace dikton::cli
