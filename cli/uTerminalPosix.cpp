// Ctrl+C on POSIX: SIGINT is blocked in every thread and taken by sigwait on a thread of its
// own, so nothing runs in signal context and no global is needed.
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "uTerminal.h"

namespace dikton::cli {

namespace {
constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it
}

struct TInterruptWatcher::TImpl {
  explicit TImpl(TStopRequest& s) : stop(s) {
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    // Threads started later (workers, the demo device) inherit the mask.
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    thread = std::thread([this] { Run(); });
  }
  ~TImpl() {
    closing = true;
    pthread_kill(thread.native_handle(), SIGINT);
    thread.join();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  void Run() {
    int taken = 0;
    bool first = true;
    for (;;) {
      if (sigwait(&set, &taken) != 0) continue;
      if (closing) return;
      // A second Ctrl+C: the user does not want to wait for the device.
      if (!first) std::_Exit(kExitInterrupted);
      first = false;
      stop.Request();
    }
  }

  TStopRequest& stop;
  sigset_t set{};
  sigset_t previous{};
  std::atomic<bool> closing{false};
  std::thread thread;
};

TInterruptWatcher::TInterruptWatcher(TStopRequest& stop) : impl_(std::make_unique<TImpl>(stop)) {}
TInterruptWatcher::~TInterruptWatcher() = default;

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void PrepareConsole() {}

bool EnableTerminalEscapes() { return true; }

std::unique_ptr<std::ostream> OpenConsoleStream(TStdStream) { return nullptr; }

}  // namespace dikton::cli
