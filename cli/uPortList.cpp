#include "uPortList.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

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

// The elements of a comma-separated list, empty ones included.
std::vector<std::string_view> Items(std::string_view value) {
  std::vector<std::string_view> items;
  for (size_t from = 0;;) {
    const size_t comma = value.find(',', from);
    if (comma == std::string_view::npos) {
      items.push_back(value.substr(from));
      return items;
    }
    items.push_back(value.substr(from, comma - from));
    from = comma + 1;
  }
}

// "a-b" with digits on both sides: its two ends.
std::optional<std::pair<std::string_view, std::string_view>> RangeEnds(std::string_view item) {
  const size_t dash = item.find('-', 1);
  if (dash == std::string_view::npos) return std::nullopt;
  const std::string_view a = item.substr(0, dash), b = item.substr(dash + 1);
  if (!IsDigits(a) || !IsDigits(b)) return std::nullopt;
  return std::pair{a, b};
}

// Appends 'added' to 'list', or leaves the list as it was and names the first element that is
// in it already or comes twice.
template <class T, class TName>
std::optional<std::string> AppendOnce(std::vector<T>& list, const std::vector<T>& added,
                                      TName name) {
  std::vector<T> all = list;
  for (const T& x : added) {
    if (std::find(all.begin(), all.end(), x) != all.end()) return name(x) + " is named twice";
    all.push_back(x);
  }
  list = std::move(all);
  return std::nullopt;
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
    for (const std::string_view item : Items(value)) {
      if (item.empty()) return "empty port in list " + std::string(value);
      if (HasComPrefix(item) || IsDigits(item)) {
        const auto n = Number(IsDigits(item) ? item : item.substr(3));
        if (!InRange(n)) return OutOfRange(item);
        added.push_back({uint8_t(*n), {}});
      } else if (const auto ends = RangeEnds(item)) {
        const auto a = Number(ends->first), b = Number(ends->second);
        if (!InRange(a)) return OutOfRange(ends->first);
        if (!InRange(b)) return OutOfRange(ends->second);
        if (*a > *b) return "port range " + std::string(item) + " runs backwards";
        for (int n = *a; n <= *b; ++n) added.push_back({uint8_t(n), {}});
      } else if (item.find_first_not_of("+-0123456789") == std::string_view::npos) {
        return OutOfRange(item);
      } else {
        added.push_back({0, std::string(item)});
      }
    }
  }
  return AppendOnce(ports, added, [](const TPortSpec& p) { return "port " + p.Given(); });
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
  std::vector<uint8_t> added;
  for (const std::string_view item : Items(value)) {
    if (item.empty()) return "empty address in list " + std::string(value);
    if (const auto ends = RangeEnds(item)) {
      const auto a = address(ends->first), b = address(ends->second);
      if (!a) return outside(ends->first);
      if (!b) return outside(ends->second);
      if (*a > *b) return "address range " + std::string(item) + " runs backwards";
      for (int n = *a; n <= *b; ++n) added.push_back(uint8_t(n));
    } else {
      const auto n = address(item);
      if (!n) return outside(item);
      added.push_back(uint8_t(*n));
    }
  }
  return AppendOnce(addresses, added, [](uint8_t a) { return "address " + std::to_string(a); });
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
