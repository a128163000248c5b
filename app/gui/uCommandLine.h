// The GUI program's command line: "--com N=PATH" (repeatable) maps port N to a device,
// "--demo" starts the built-in virtual device on COM1.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "uPortNames.h"

namespace dikton::gui {

struct TCommandLine {
  TPortMap Ports;
  bool Demo = false;
};

// The parsed options, or the text that tells what was wrong.
std::variant<TCommandLine, std::string> ParseCommandLine(const std::vector<std::string>& args);

inline constexpr const char* kUsage =
    "usage: dikton [--com N=PATH]... [--demo]\n"
    "  --com N=PATH  port N (1..16) opens the device PATH\n"
    "  --demo        start the built-in virtual RV-7K device and map COM1 to it\n";

}  // namespace dikton::gui
