#include "uCommandLine.h"

namespace dikton::gui {

std::variant<TCommandLine, std::string> ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--demo") {
      line.Demo = true;
    } else if (arg == "--com") {
      if (i + 1 >= args.size()) return std::string("--com needs N=PATH");
      const auto mapping = TPortMap::ParseOption(args[++i]);
      if (!mapping) return "--com " + args[i] + ": expected N=PATH with N from 1 to 16";
      line.Ports.Map(mapping->first, mapping->second);
    } else {
      return "unknown option: " + arg;
    }
  }
  return line;
}

}  // namespace dikton::gui
