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
  // A console takes the text through streams of its own; files and pipes get the bytes.
  const auto consoleOut = dikton::cli::OpenConsoleStream(dikton::cli::TStdStream::Out);
  const auto consoleErr = dikton::cli::OpenConsoleStream(dikton::cli::TStdStream::Err);
  dikton::cli::TCliEnv env(consoleOut ? *consoleOut : std::cout,
                           consoleErr ? *consoleErr : std::cerr);
  env.ErrIsTerminal = terminal;
  env.TerminalEscapes = terminal && dikton::cli::EnableTerminalEscapes();
  env.Columns = terminal ? dikton::cli::TerminalColumns() : 0;
  env.Stop = &stop;
  const int status = dikton::cli::RunCli(args, env);
  env.Out.flush();
  env.Err.flush();
  return status;
}
