// Ctrl+C on Windows: the console calls its handler on a thread of its own. The handler has no
// argument, so the one stop request in force is held where it can find it: that pointer is the
// only global the program has, and only the watcher sets it.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <streambuf>
#include <string>

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

namespace {

// Gathers the program's UTF-8 and writes it to the console as UTF-16 on every flush and line
// end. A character cut by the end of the buffer waits for its remaining bytes.
class TConsoleBuf : public std::streambuf {
 public:
  explicit TConsoleBuf(HANDLE console) : console_(console) {}
  ~TConsoleBuf() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : c;
    pending_ += traits_type::to_char_type(c);
    if (pending_.size() >= kFlushBytes) sync();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, size_t(n));
    if (pending_.size() >= kFlushBytes) sync();
    return n;
  }
  int sync() override {
    // Only whole characters: back from the end over continuation bytes to a lead byte, and
    // keep that character if it has not all arrived yet.
    size_t whole = pending_.size();
    size_t lead = whole;
    while (lead > 0 && (static_cast<unsigned char>(pending_[lead - 1]) & 0xC0) == 0x80) --lead;
    if (lead > 0) {
      const auto b = static_cast<unsigned char>(pending_[lead - 1]);
      const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      if (whole - (lead - 1) < length) whole = lead - 1;
    }
    if (whole == 0) return 0;
    const int wide = MultiByteToWideChar(CP_UTF8, 0, pending_.data(), int(whole), nullptr, 0);
    std::wstring text(size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pending_.data(), int(whole), text.data(), wide);
    pending_.erase(0, whole);
    for (size_t at = 0; at < text.size();) {
      DWORD written = 0;
      if (!WriteConsoleW(console_, text.data() + at, DWORD(text.size() - at), &written, nullptr) ||
          written == 0)
        return -1;
      at += written;
    }
    return 0;
  }

 private:
  static constexpr size_t kFlushBytes = 4096;
  HANDLE console_;  // the process's standard handle: not ours to close
  std::string pending_;
};

class TConsoleStream : public std::ostream {
 public:
  // Flushed after every output, as std::cerr is: the console shows what was written at once.
  explicit TConsoleStream(HANDLE console) : std::ostream(nullptr), buf_(console) {
    rdbuf(&buf_);
    setf(std::ios::unitbuf);
  }
  ~TConsoleStream() override { flush(); }

 private:
  TConsoleBuf buf_;
};

}  // namespace

std::unique_ptr<std::ostream> OpenConsoleStream(TStdStream which) {
  const HANDLE h = GetStdHandle(which == TStdStream::Err ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h == nullptr || h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return nullptr;
  return std::make_unique<TConsoleStream>(h);
}

}  // namespace dikton::cli
