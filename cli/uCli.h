// dikton-cli as a function: the program's main() and the tests call this with the arguments
// and the streams, so that every command can be driven in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "uCommandResult.h"
#include "uRV7K_v210_Sound.h"
#include "uStopRequest.h"

namespace dikton::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNoDevice = 1;     // no answer, port not opened, link failed
inline constexpr int kExitUsage = 2;        // nothing was sent
inline constexpr int kExitFileRefused = 3;  // cannot be opened, damaged, another format, too big
inline constexpr int kExitDifferences = 4;  // the read-back differed, or the write ended short
inline constexpr int kExitStopped = 130;    // Ctrl+C, as shells report an interrupt

struct TCliEnv {
  TCliEnv(std::ostream& out, std::ostream& err) : Out(out), Err(err) {}
  std::ostream& Out;
  std::ostream& Err;
  bool ErrIsTerminal = false;
  int Columns = 0;               // of that terminal; 0: not known
  TStopRequest* Stop = nullptr;  // nullptr: nothing stops a run
  // The clock and the line factory pass through (tests fix the date, or put a double on the
  // line); the port map is the run's own.
  TLinkContext Link;
};

int RunCli(const std::vector<std::string>& args, TCliEnv& env);

// The one table from a command's outcome to the exit status.
int ExitStatusOf(TOutcome outcome);

}  // namespace dikton::cli
