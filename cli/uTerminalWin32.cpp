// Ctrl+C on Windows: the console calls its handler on a thread of its own. The handler has no
// argument, so the one stop request in force is held where it can find it: that pointer is the
// only global the program has, and only the watcher sets it.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "uTerminal.h"

namespace dikton::cli {

namespace {
constexpr int kExitInterrupted = 130;  // as POSIX shells report an interrupt
std::atomic<TStopRequest*> gStop{nullptr};
std::atomic<int> gCount{0};

BOOL WINAPI OnConsoleEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (gCount.fetch_add(1) > 0) std::_Exit(kExitInterrupted);
  if (TStopRequest* stop = gStop.load()) stop->Request();
  return TRUE;
}
}  // namespace

struct TInterruptWatcher::TImpl {
  explicit TImpl(TStopRequest& stop) {
    gStop = &stop;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  }
  ~TImpl() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    gStop = nullptr;
  }
};

TInterruptWatcher::TInterruptWatcher(TStopRequest& stop) : impl_(std::make_unique<TImpl>(stop)) {}
TInterruptWatcher::~TInterruptWatcher() = default;

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }

bool EnableTerminalEscapes() {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(err, &mode)) return false;
  // Windows 10 and later; an older console refuses it, and the rows are then lines.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace dikton::cli
