// The command line of dikton-cli.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "uPortList.h"

namespace dikton::cli {

inline constexpr int kMaxDemoDevices = 16;  // --demo N

enum class TCommand { Range, Read, Write, Sound, Verify, Info, Extract, Scan };

struct TCliOptions {
  TCommand Command = TCommand::Range;
  std::vector<std::string> Args;  // the command's arguments, as many as it takes
  uint8_t Port = 1;               // 1..16
  std::string PortPath;           // a device path given to --port instead of a number
  // Every port -p named, in order; with more than one, the station runs the command on each
  // at once. Port and PortPath hold the first.
  std::vector<TPortSpec> Ports;
  int DemoCount = 0;      // --demo [N]: N virtual devices on ports 1..N
  bool Loop = false;      // --loop: each port programs every device put on it, until Ctrl+C
  int Count = 0;          // --count N: the loop ends after N devices in all; 0: no end
  int Device = 0;         // set by the station's loop for each job: the device's number
  uint8_t Address = 127;  // 1..127: the first of Addresses, or the default
  // Every address -a named, in order; with more than one, the station programs them one after
  // another on each port's line.
  std::vector<uint8_t> Addresses;
  bool NoVerify = false;
  bool StopOnDifference = false;
  std::string TracePath;
  std::string LogPath;  // --log: the production record is appended there
  bool Json = false;    // --json: the record on stdout in place of the text result
  bool Demo = false;
  bool Quiet = false;
};

// --help and --version end the run at once with status 0.
enum class TInfoRequest { Help, Version };

// The options, what to show instead, or a one-line error.
struct TUsageError {
  std::string Text;
};
using TParsed = std::variant<TCliOptions, TInfoRequest, TUsageError>;

TParsed ParseCliArgs(const std::vector<std::string>& args);

extern const std::string_view kUsage;  // the synopsis shown after a usage error
extern const std::string_view kHelp;   // the whole --help

}  // namespace dikton::cli
