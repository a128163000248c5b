#include "uCliOptions.h"

#include <charconv>
#include <optional>

#include "uConst_Orbis.h"

namespace dikton::cli {

namespace {

struct TCommandName {
  std::string_view Name;
  TCommand Command;
  size_t Arguments;
  std::string_view ArgumentNames;
};

constexpr TCommandName kCommands[] = {
    {"range", TCommand::Range, 0, ""},
    {"read", TCommand::Read, 1, "FILE"},
    {"write", TCommand::Write, 1, "FILE"},
    {"sound", TCommand::Sound, 1, "LIST"},
    {"verify", TCommand::Verify, 1, "FILE"},
    {"info", TCommand::Info, 1, "FILE"},
    {"extract", TCommand::Extract, 2, "FILE DIR"},
    {"scan", TCommand::Scan, 0, ""},
};

bool ParseInt(std::string_view text, int& out) {
  if (text.empty()) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && p == text.data() + text.size();
}

}  // namespace

TParsed ParseCliArgs(const std::vector<std::string>& args) {
  TCliOptions o;
  std::vector<std::string> words;
  bool portGiven = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value" or "--name value"; short options take the next word.
    std::string name = arg;
    std::string inlineValue;
    bool hasInline = false;
    if (arg.rfind("--", 0) == 0) {
      if (const size_t eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
        hasInline = true;
      }
    }
    auto value = [&](std::string& out) -> bool {
      if (hasInline) {
        out = inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto flag = [&](bool& out) -> std::optional<TUsageError> {
      if (hasInline) return TUsageError{"option " + name + " takes no value"};
      out = true;
      return std::nullopt;
    };
    std::optional<TUsageError> error;
    if (name == "-h" || name == "--help") {
      return TInfoRequest::Help;
    } else if (name == "--version") {
      return TInfoRequest::Version;
    } else if (name == "-p" || name == "--port") {
      std::string v;
      if (!value(v) || v.empty()) return TUsageError{"option " + name + " needs a port"};
      if (auto portError = AddPorts(v, o.Ports)) return TUsageError{*portError};
      portGiven = true;
    } else if (name == "-a" || name == "--address") {
      std::string v;
      if (!value(v)) return TUsageError{"option " + name + " needs an address"};
      if (auto addressError = AddAddresses(v, o.Addresses)) return TUsageError{*addressError};
    } else if (name == "--no-verify") {
      error = flag(o.NoVerify);
    } else if (name == "--stop-on-difference") {
      error = flag(o.StopOnDifference);
    } else if (name == "--trace") {
      if (!value(o.TracePath) || o.TracePath.empty())
        return TUsageError{"option --trace needs a file"};
    } else if (name == "--log") {
      if (!value(o.LogPath) || o.LogPath.empty()) return TUsageError{"option --log needs a file"};
    } else if (name == "--json") {
      error = flag(o.Json);
    } else if (name == "--demo") {
      // An optional count: "--demo=4", or "--demo 4" where a number follows.
      std::string v;
      int n = 1;
      if (hasInline) {
        if (!ParseInt(inlineValue, n)) return TUsageError{"--demo takes a count of devices"};
      } else if (i + 1 < args.size() && ParseInt(args[i + 1], n)) {
        ++i;
      }
      if (n < 1 || n > kMaxDemoDevices)
        return TUsageError{"--demo takes 1 to " + std::to_string(kMaxDemoDevices) + " devices"};
      o.Demo = true;
      o.DemoCount = n;
    } else if (name == "--loop") {
      error = flag(o.Loop);
    } else if (name == "--count") {
      std::string v;
      if (!value(v) || !ParseInt(v, o.Count) || o.Count < 1)
        return TUsageError{"option --count needs a number of devices, 1 or more"};
    } else if (name == "-q" || name == "--quiet") {
      error = flag(o.Quiet);
    } else {
      return TUsageError{"unknown option " + name};
    }
    if (error) return *error;
  }
  if (o.Demo && portGiven) return TUsageError{"--demo and --port cannot be used together"};
  if (!o.Ports.empty()) {
    o.Port = o.Ports[0].Number != 0 ? o.Ports[0].Number : uint8_t(kMinPort);
    o.PortPath = o.Ports[0].Path;
  }
  if (!o.Addresses.empty()) o.Address = o.Addresses[0];
  if (words.empty()) return TUsageError{"no command given"};
  for (const TCommandName& c : kCommands) {
    if (c.Name != words[0]) continue;
    const size_t given = words.size() - 1;
    if (given < c.Arguments)
      return TUsageError{std::string(c.Name) + " needs " + std::string(c.ArgumentNames)};
    if (given > c.Arguments)
      return TUsageError{"too many arguments for " + std::string(c.Name) + ": " +
                         words[c.Arguments + 1]};
    o.Command = c.Command;
    o.Args.assign(words.begin() + 1, words.end());
    if (o.Count > 0 && !o.Loop) return TUsageError{"--count is for --loop"};
    const bool oneDevice = o.Command == TCommand::Info || o.Command == TCommand::Extract ||
                           o.Command == TCommand::Scan;
    if (oneDevice && o.Loop) return TUsageError{std::string(c.Name) + " has no loop"};
    if (oneDevice && (o.Ports.size() > 1 || o.DemoCount > 1))
      return TUsageError{std::string(c.Name) + " takes one port"};
    if (oneDevice && o.Addresses.size() > 1)
      return TUsageError{std::string(c.Name) + " takes one address"};
    return o;
  }
  return TUsageError{"unknown command " + words[0]};
}

const std::string_view kUsage =
    "usage: dikton-cli [options] COMMAND [ARGUMENTS]\n"
    "commands: range | read FILE | write FILE | sound LIST | verify FILE | info FILE |\n"
    "          extract FILE DIR | scan\n"
    "options: -p PORTS, -a ADDRESSES, --no-verify, --stop-on-difference, --trace FILE,\n"
    "         --log FILE, --json, --demo [N], --loop, --count N, -q\n"
    "(dikton-cli --help explains them)\n";

const std::string_view kHelp =
    R"(usage: dikton-cli [options] COMMAND [ARGUMENTS]

The command-line programmer of the RV-7K voice annunciator: the same memory commands as
the Dikton window program, one command per run, an exit status, messages on stderr.

Commands:
  range                 ask the device for its sound range; prints
                        "StartSoundAddr=S EndSoundAddr=E Size=Z"
  read FILE             read the whole memory and save it as an image file
  write FILE            load an image file, write it, read it back
  sound LIST            load a fragment list, build the sound area, write it, read it back
  verify FILE           compare the device with an image file; nothing is written
  info FILE             show an image file: range, checksums, the fragment directory with
                        each slot's name, address, bytes, samples and seconds, the signature
  extract FILE DIR      write every fragment of an image file as slotNN.wav (10000 Hz,
                        16-bit mono) into DIR, with a paths.txt list file naming them
  scan                  ask every address 1 to 127 for its range; print those that answer

Options (anywhere on the line; "--" ends them):
  -p, --port PORTS      1 to 16 (COMn on Windows; the port map on POSIX, where port n is
                        /dev/ttyS(n-1)), or a device path such as /dev/ttyUSB0 (default 1);
                        a list and ranges ("1,3,5-8") or -p again name several ports, and
                        range, read, write, sound and verify then run on all of them at once,
                        one row each; read FILE saves FILE-PORT.EXT for each port
  -a, --address N       device address, 1 to 127 (default 127); a list and ranges
                        ("5,7,10-12") or -a again name several devices on one line, and
                        each port then programs them one after another, in that order, one
                        row each; read FILE then saves FILE-PORT-aN.EXT for each
      --no-verify       answer no to the read-back question after a write
      --stop-on-difference   answer no at the first difference (default: yes, list them all)
      --trace FILE      one line per frame: time, direction, rate, bytes in hex
      --log FILE        after every device job append its production record to FILE: one
                        JSON object per line (JSON Lines), flushed to the disk
      --json            print that record on stdout in place of the text result
      --demo [N]        the built-in virtual device (POSIX): 1 MiB, sound area 0x3200 to
                        0xFFFFF, address 127; N (up to 16) starts N of them, each with its
                        own content, on ports 1 to N
      --loop            on every port, program each device put on it: wait until one
                        answers, run the command, wait until it is taken off, and again,
                        until Ctrl+C; every device gets its record with --log
      --count N         with --loop: end after N devices in all
  -q, --quiet           no progress bar
  -h, --help            this text
      --version         the program's version

What the commands do:
  read   asks the device for its range, reads address 0 to the end of the sound range at
         115200 baud and saves the image file (a 16-byte header with the range and two
         checksums, then the memory). The file is written whole or not at all.
  write  checks the image file, asks the device for its range (it must equal the file's),
         writes the first 4 KiB and 0x3000 to the end with a signature record of the
         current date and time, then reads everything back unless --no-verify is given.
  sound  reads a fragment list (as saved by the window program or by extract; the WAV
         files lie beside it), asks the device for its range, packs the fragments into
         the sound area, writes the directory and the data, and reads them back. A list
         that names a file which is not beside it is refused before anything is sent.
  verify checks the image file, asks the device for its range (it must equal the file's),
         reads back the regions write writes (the first 4 KiB, 0x3000 to the end) and
         lists every difference; the signature pointer and record, which write replaces,
         are left out and the device's signature is printed. Nothing is written.
  info and extract only read the image file; they talk to no device (no record is made).
  scan   sends one range query to each address (one attempt, 0.4 s for a silent address).

Progress: on a terminal a bar with the percentage, the bytes, the rate, the time left and,
during the read-back, the differences found; otherwise one line per 10 %. Every difference
is listed with its address, the byte in the file and the byte in the device, and the count
is given at the end. Ctrl+C stops the run the way the window's stop button does (the device
is told to leave the fast mode); a second Ctrl+C ends the program at once.

Messages are the window program's own texts, for example "Прибор не отвечает!" (no answer),
"Файл открыть не удалось!\nФайл повреждён." (a damaged image file), "Открыт файл другого
формата!\nПродолжение невозможно." (the device's range differs from the file's).

Exit status:
  0    done
  1    the device does not answer, the port cannot be opened, or the link failed
  2    bad usage (nothing was sent)
  3    a file was refused: cannot be opened, damaged, another format, does not fit
  3    also: a log file that cannot be appended to (nothing is sent)
  4    the read-back found differences, or the write ended short
  130  stopped by Ctrl+C

Examples:
  dikton-cli --demo read memory.bin
  dikton-cli -p /dev/ttyUSB0 -a 5 write memory.bin
  dikton-cli -p 3 --trace wire.log sound voices/paths.txt
  dikton-cli -p 3 --log production.jsonl write memory.bin && dikton-cli -p 3 verify memory.bin
  dikton-cli info memory.bin && dikton-cli extract memory.bin voices
)";

}  // namespace dikton::cli
