// dikton-cli as a function: the program's main() and the tests call this with the arguments
// and the streams, so that every command can be driven in-process.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "uCliOptions.h"
#include "uCommandResult.h"
#include "uJobRecord.h"
#include "uRV7K_v210_Sound.h"
#include "uStopRequest.h"
#include "uTermDialog.h"
#include "uTraceLine.h"

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
  bool TerminalEscapes = true;   // that terminal redraws rows in place (the station's view)
  int Columns = 0;               // of that terminal; 0: not known
  TStopRequest* Stop = nullptr;  // nullptr: nothing stops a run
  // The clock and the line factory pass through (tests fix the date, or put a double on the
  // line); the port map is the run's own.
  TLinkContext Link;
  TTermHooks Hooks;  // a station's port: its messages and progress go to the port's row
};

int RunCli(const std::vector<std::string>& args, TCliEnv& env);

// The one table from a command's outcome to the exit status.
int ExitStatusOf(TOutcome outcome);

// One device job on one port, as a run of one port does it and as the station does it for each
// of its ports: the exit status, the command's result and the job's seconds.
struct TJobOutcome {
  int Status = kExitDone;
  TCommandResult Result;
  double Seconds = 0;
};
// The --trace of a run: the file and the log that every line the link makes writes to.
class TTrace {
 public:
  // Opens the file anew and wraps the link's line factory; false when it cannot be written.
  bool Start(const std::string& path, TLinkContext& link);

 private:
  std::ofstream file_;
  std::unique_ptr<TTraceLog> log_;
};

TJobOutcome RunJob(const TCliOptions& o, TCliEnv& env, TStopRequest& stop, const TLinkContext& link,
                   TJobLog* log, uint8_t port, std::string portGiven, std::string portOpened);

}  // namespace dikton::cli
