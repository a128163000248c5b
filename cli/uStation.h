// The programming station: one command on every port of the run at once. Each port is a
// session of its own (its commands, link, worker and answers, on a thread of its own); what
// happens on one never stops, holds or slows another. The sessions report to one view, and a
// stop request reaches every one of them.
#pragma once

#include "uCli.h"

namespace dikton::cli {

// Runs the command on every port the options name (or on --demo N's devices) and returns the
// worst port's exit status: 0 only when every port is done; else 1 before 4 before 3 before 2;
// 130 when the run was stopped.
int RunStation(const TCliOptions& o, TCliEnv& env, TStopRequest& stop, TJobLog* log);

// Which port's status makes the run's: the higher, the worse.
int StationSeverity(int status);

}  // namespace dikton::cli
