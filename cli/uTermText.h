// Text on a terminal: UTF-8 counted in characters, as the terminal advances by them.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace dikton::cli {

// Characters, not bytes, of a UTF-8 string.
inline size_t Width(std::string_view s) {
  return size_t(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The first 'chars' characters of a UTF-8 string.
inline std::string Cut(const std::string& s, size_t chars) {
  size_t seen = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((s[i] & 0xC0) == 0x80) continue;
    if (seen++ == chars) return s.substr(0, i);
  }
  return s;
}

}  // namespace dikton::cli
