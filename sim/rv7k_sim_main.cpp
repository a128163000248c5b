// rv7k-sim: runs the virtual RV-7K device until SIGINT or SIGTERM. Prints the path of the
// pseudo-terminal to open on its first line of output.
#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rv7k_sim.h"

namespace {

using rv7ksim::TFault;
using rv7ksim::TFaultKind;
using rv7ksim::TSimOptions;

constexpr uint32_t kMaxAddress24 = 0xFFFFFF;  // device addresses are 24 bits
constexpr uint32_t kMaxDeviceAddress = 255;   // one byte on the wire
constexpr uint32_t kDefaultSeed = 1;
constexpr double kMaxTurnaroundMs = 10000;  // ms; anything longer is a typo

constexpr std::string_view kUsage =
    "usage: rv7k-sim [options]\n"
    "  --memory-size N        memory size in bytes (default 1048576)\n"
    "  --fill HEX             initial content byte (default FF)\n"
    "  --load FILE            load raw memory content from FILE\n"
    "  --dump FILE            write the raw memory content to FILE at exit\n"
    "  --realistic [SEED]     generate a header, fragment directory and sound data\n"
    "  --start ADDR           first address of the sound area (default 0x3000)\n"
    "  --end ADDR             last address of the sound area (default 0xFFFFF)\n"
    "  --address N            device address (default 127)\n"
    "  --answer-all           answer every address\n"
    "  --extra-address N[:START:END]\n"
    "                         also answer address N (repeatable), its range query with\n"
    "                         START..END (default: the device's range); memory is shared\n"
    "  --line-timing          deliver replies no earlier than the wire would\n"
    "  --turnaround MS        answer delay after the request (default 2)\n"
    "  --echo                 echo every request, as a two-wire line does\n"
    "  --echo-delay MS        echo each request MS after it has left the wire (implies --echo)\n"
    "  --no-rate-check        answer frames sent at any line rate\n"
    "  --fault KIND[:key=val,...]\n"
    "                         KIND: silence bad-crc wrong-code refuse-write short-reply\n"
    "                         partial-reply extra-data lying-count corrupt length-ff;\n"
    "                         keys: frame command address times value\n"
    "  --transcript FILE      write every frame to FILE\n"
    "  --help                 this text\n"
    "Numbers may be given in hex as 0x...\n";

std::optional<uint64_t> ParseNumber(std::string_view text, int base = 0) {
  if (text.empty()) return std::nullopt;
  const std::string s(text);
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(s.c_str(), &end, base);
  if (errno != 0 || end != s.c_str() + s.size() || s[0] == '-') return std::nullopt;
  return v;
}

std::string Normalise(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return out;
}

std::optional<TFaultKind> KindByName(std::string_view name) {
  struct TName {
    std::string_view Name;
    TFaultKind Kind;
  };
  static constexpr TName kNames[] = {
      {"silence", TFaultKind::Silence},         {"badcrc", TFaultKind::BadCrc},
      {"wrongcode", TFaultKind::WrongCode},     {"refusewrite", TFaultKind::RefuseWrite},
      {"refuse", TFaultKind::RefuseWrite},      {"shortreply", TFaultKind::ShortReply},
      {"short", TFaultKind::ShortReply},        {"partialreply", TFaultKind::PartialReply},
      {"partial", TFaultKind::PartialReply},    {"extradata", TFaultKind::ExtraData},
      {"extra", TFaultKind::ExtraData},         {"lyingcount", TFaultKind::LyingCount},
      {"lying", TFaultKind::LyingCount},        {"corrupt", TFaultKind::CorruptByte},
      {"corruptbyte", TFaultKind::CorruptByte}, {"lengthff", TFaultKind::LengthFF},
  };
  const std::string n = Normalise(name);
  for (const auto& e : kNames) {
    if (e.Name == n) return e.Kind;
  }
  return std::nullopt;
}

// "KIND:key=val,key=val"
std::optional<TFault> ParseFault(std::string_view text, std::string& error) {
  const size_t colon = text.find(':');
  const auto kind = KindByName(text.substr(0, colon));
  if (!kind) {
    error = "unknown fault kind in '" + std::string(text) + "'";
    return std::nullopt;
  }
  TFault f;
  f.Kind = *kind;
  std::string_view rest =
      colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      error = "fault option '" + std::string(item) + "' is not key=value";
      return std::nullopt;
    }
    const std::string key = Normalise(item.substr(0, eq));
    const auto value = ParseNumber(item.substr(eq + 1));
    if (!value) {
      error = "bad number in fault option '" + std::string(item) + "'";
      return std::nullopt;
    }
    if (key == "frame" && *value <= UINT32_MAX) {
      f.Frame = static_cast<uint32_t>(*value);
    } else if ((key == "command" || key == "cmd" || key == "code") && *value <= 0xFF) {
      f.Command = static_cast<uint8_t>(*value);
    } else if ((key == "address" || key == "addr") && *value <= kMaxAddress24) {
      f.Address = static_cast<int64_t>(*value);
    } else if (key == "times" && *value <= UINT32_MAX) {
      f.Times = static_cast<uint32_t>(*value);
    } else if (key == "value" && *value <= UINT32_MAX) {
      f.Value = static_cast<uint32_t>(*value);
    } else {
      error = "unknown or out-of-range fault option '" + std::string(item) + "'";
      return std::nullopt;
    }
  }
  if (f.Kind == TFaultKind::CorruptByte && (f.Address < 0 || f.Value > 0xFF)) {
    error = "corrupt needs address=ADDR and value=0..255";
    return std::nullopt;
  }
  return f;
}

// "N" or "N:START:END"; without a range the device's own (as given so far) is reported.
std::optional<rv7ksim::TExtraAddress> ParseExtraAddress(std::string_view text,
                                                        const TSimOptions& sim) {
  rv7ksim::TExtraAddress e;
  e.StartSound = sim.StartSound;
  e.EndSound = sim.EndSound;
  const size_t c1 = text.find(':');
  const auto n = ParseNumber(text.substr(0, c1));
  if (!n || *n > kMaxDeviceAddress) return std::nullopt;
  e.Address = static_cast<uint8_t>(*n);
  if (c1 == std::string_view::npos) return e;
  const std::string_view rest = text.substr(c1 + 1);
  const size_t c2 = rest.find(':');
  if (c2 == std::string_view::npos) return std::nullopt;
  const auto start = ParseNumber(rest.substr(0, c2));
  const auto end = ParseNumber(rest.substr(c2 + 1));
  if (!start || !end || *start > kMaxAddress24 || *end > kMaxAddress24) return std::nullopt;
  e.StartSound = static_cast<uint32_t>(*start);
  e.EndSound = static_cast<uint32_t>(*end);
  return e;
}

struct TProgramOptions {
  TSimOptions Sim;
  std::string Load, Dump;
  std::optional<uint32_t> Seed;
  std::vector<TFault> Faults;
};

int Fail(const std::string& message) {
  std::cerr << "rv7k-sim: " << message << "\n(--help lists the options)\n";
  return 1;
}

// Returns an exit code when the program is to end now.
std::optional<int> ParseArgs(int argc, char** argv, TProgramOptions& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view& v) -> bool {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    auto number = [&](uint64_t max, uint64_t& n) -> std::optional<int> {
      std::string_view v;
      if (!value(v)) return Fail(std::string(arg) + " needs a value");
      const auto parsed = ParseNumber(v);
      if (!parsed || *parsed > max)
        return Fail("bad value for " + std::string(arg) + ": " + std::string(v));
      n = *parsed;
      return std::nullopt;
    };
    uint64_t n = 0;
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--memory-size") {
      if (auto r = number(kMaxAddress24 + 1, n)) return r;
      if (n == 0) return Fail("--memory-size must be at least 1");
      out.Sim.MemorySize = static_cast<size_t>(n);
    } else if (arg == "--fill") {
      if (!value(v)) return Fail("--fill needs a value");
      const auto parsed = ParseNumber(v, 16);
      if (!parsed || *parsed > 0xFF) return Fail("bad value for --fill: " + std::string(v));
      out.Sim.FillByte = static_cast<uint8_t>(*parsed);
    } else if (arg == "--load") {
      if (!value(v)) return Fail("--load needs a file");
      out.Load = v;
    } else if (arg == "--dump") {
      if (!value(v)) return Fail("--dump needs a file");
      out.Dump = v;
    } else if (arg == "--realistic") {
      out.Seed = kDefaultSeed;
      if (i + 1 < argc) {
        if (const auto seed = ParseNumber(argv[i + 1]); seed && *seed <= UINT32_MAX) {
          out.Seed = static_cast<uint32_t>(*seed);
          ++i;
        }
      }
    } else if (arg == "--start") {
      if (auto r = number(kMaxAddress24, n)) return r;
      out.Sim.StartSound = static_cast<uint32_t>(n);
    } else if (arg == "--end") {
      if (auto r = number(kMaxAddress24, n)) return r;
      out.Sim.EndSound = static_cast<uint32_t>(n);
    } else if (arg == "--address") {
      if (auto r = number(kMaxDeviceAddress, n)) return r;
      out.Sim.Address = static_cast<uint8_t>(n);
    } else if (arg == "--extra-address") {
      if (!value(v)) return Fail("--extra-address needs N[:START:END]");
      const auto extra = ParseExtraAddress(v, out.Sim);
      if (!extra) return Fail("bad value for --extra-address: " + std::string(v));
      out.Sim.ExtraAddresses.push_back(*extra);
    } else if (arg == "--answer-all") {
      out.Sim.AnswerAll = true;
    } else if (arg == "--line-timing") {
      out.Sim.LineTiming = true;
    } else if (arg == "--turnaround") {
      if (!value(v)) return Fail("--turnaround needs a value");
      char* end = nullptr;
      const std::string s(v);
      const double ms = std::strtod(s.c_str(), &end);
      if (s.empty() || end != s.c_str() + s.size() || !(ms >= 0) || ms > kMaxTurnaroundMs) {
        return Fail("bad value for --turnaround: " + s);
      }
      out.Sim.TurnaroundMs = ms;
    } else if (arg == "--echo") {
      out.Sim.Echo = true;
    } else if (arg == "--echo-delay") {
      if (!value(v)) return Fail("--echo-delay needs a value");
      char* end = nullptr;
      const std::string s(v);
      const double ms = std::strtod(s.c_str(), &end);
      if (s.empty() || end != s.c_str() + s.size() || !(ms > 0) || ms > kMaxTurnaroundMs) {
        return Fail("bad value for --echo-delay: " + s);
      }
      out.Sim.Echo = true;
      out.Sim.EchoDelayMs = ms;
    } else if (arg == "--no-rate-check") {
      out.Sim.CheckRate = false;
    } else if (arg == "--fault") {
      if (!value(v)) return Fail("--fault needs a value");
      std::string error;
      const auto f = ParseFault(v, error);
      if (!f) return Fail(error);
      out.Faults.push_back(*f);
    } else if (arg == "--transcript") {
      if (!value(v)) return Fail("--transcript needs a file");
      out.Sim.TranscriptPath = v;
    } else {
      return Fail("unknown option " + std::string(arg));
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  TProgramOptions options;
  if (const auto code = ParseArgs(argc, argv, options)) return *code;

  // Blocked before the device thread exists, so that it inherits the mask and the signals
  // are taken only by sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return Fail("cannot block signals");

  rv7ksim::TVirtualDevice device(options.Sim);
  if (options.Seed) device.GenerateRealisticContent(*options.Seed);
  if (!options.Load.empty() && !device.LoadMemory(options.Load)) {
    return Fail("cannot read " + options.Load);
  }
  for (const TFault& f : options.Faults) device.AddFault(f);
  if (!device.Start()) return Fail("cannot open a pseudo-terminal");

  std::cout << device.Path() << std::endl;

  int taken = 0;
  while (sigwait(&stopSignals, &taken) != 0) {
  }

  if (!options.Dump.empty() && !device.DumpMemory(options.Dump)) {
    std::cerr << "rv7k-sim: cannot write " << options.Dump << "\n";
    return 1;
  }
  return 0;
}
