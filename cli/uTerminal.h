// What the platform gives the terminal program: Ctrl+C turned into a stop request, and whether
// stderr is a terminal. One implementation file per platform, chosen by CMake.
#pragma once

#include <memory>
#include <ostream>

#include "uStopRequest.h"

namespace dikton::cli {

// While it exists, Ctrl+C requests a stop instead of ending the process; a second Ctrl+C ends
// the process at once with status 130. Create it before any other thread starts.
class TInterruptWatcher {
 public:
  explicit TInterruptWatcher(TStopRequest& stop);
  ~TInterruptWatcher();
  TInterruptWatcher(const TInterruptWatcher&) = delete;
  TInterruptWatcher& operator=(const TInterruptWatcher&) = delete;

  struct TImpl;

 private:
  std::unique_ptr<TImpl> impl_;
};

bool StderrIsTerminal();
// Characters per line of the terminal on stderr; 0 when it cannot be told.
int TerminalColumns();
// Makes the console show UTF-8 where it needs to be told.
void PrepareConsole();
// Lets the terminal on stderr take the cursor escapes that redraw rows in place (on Windows,
// virtual terminal processing); false where it cannot.
bool EnableTerminalEscapes();

// The program writes UTF-8. Where a standard stream is a console that wants its text in a form
// of its own (Windows: UTF-16 through WriteConsoleW, whatever the code pages say), the stream
// that hands it over so; nullptr where the standard stream does the job as it is.
enum class TStdStream { Out, Err };
std::unique_ptr<std::ostream> OpenConsoleStream(TStdStream which);

}  // namespace dikton::cli
