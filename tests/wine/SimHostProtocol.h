// The line protocol between the Windows test programs (running under Wine) and the native host
// of virtual devices. One connection is one device; each request is one text line, each answer
// one line starting with "OK" or "ERR". Byte strings travel as hex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv7ksim::host {

// NEW: memory size, fill byte, start, end, address, answer all, line timing, turnaround ms,
// echo, check rate, echo delay ms, the number of extra addresses, each as address start end.
inline constexpr char kNew[] = "NEW";      // makes the device, not started yet
inline constexpr char kStart[] = "START";  // -> OK <name the program opens>
inline constexpr char kFault[] = "FAULT";  // kind frame command address times value
inline constexpr char kClearFaults[] = "CLEARFAULTS";
inline constexpr char kMemory[] = "MEMORY";          // -> OK <hex>
inline constexpr char kSetMemory[] = "SETMEMORY";    // address hex
inline constexpr char kPeek[] = "PEEK";              // address -> OK value
inline constexpr char kSetRange[] = "SETRANGE";      // start end
inline constexpr char kGenerate[] = "GENERATE";      // seed
inline constexpr char kTranscript[] = "TRANSCRIPT";  // -> OK entries "host,baud,ignored,hex" / ";"
inline constexpr char kClearTranscript[] = "CLEARTRANSCRIPT";
inline constexpr char kCount[] = "COUNT";      // command -> OK n
inline constexpr char kWait[] = "WAIT";        // count timeoutMs -> OK 0|1
inline constexpr char kPending[] = "PENDING";  // -> OK bytes the host has not read
inline constexpr char kHangUp[] = "HANGUP";    // -> OK 0|1
inline constexpr char kRate[] = "RATE";        // -> OK baud

inline std::string ToHex(const uint8_t* b, size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += kDigits[b[i] >> 4];
    s += kDigits[b[i] & 0xF];
  }
  return s;
}

inline std::optional<std::vector<uint8_t>> FromHex(std::string_view s) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (s.size() % 2) return std::nullopt;
  std::vector<uint8_t> out(s.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    const int hi = digit(s[2 * i]), lo = digit(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = uint8_t(hi << 4 | lo);
  }
  return out;
}

}  // namespace rv7ksim::host
