// dikton-cli: the command-line programmer of the RV-7K.
#include <iostream>
#include <string>
#include <vector>

#include "uCli.h"
#include "uTerminal.h"

int main(int argc, char* argv[]) {
  dikton::cli::PrepareConsole();
  dikton::cli::TStopRequest stop;
  // Before any other thread: workers and the demo device inherit the blocked Ctrl+C.
  dikton::cli::TInterruptWatcher watcher(stop);
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool terminal = dikton::cli::StderrIsTerminal();
  dikton::cli::TCliEnv env(std::cout, std::cerr);
  env.ErrIsTerminal = terminal;
  env.TerminalEscapes = terminal && dikton::cli::EnableTerminalEscapes();
  env.Columns = terminal ? dikton::cli::TerminalColumns() : 0;
  env.Stop = &stop;
  const int status = dikton::cli::RunCli(args, env);
  std::cout.flush();
  return status;
}
