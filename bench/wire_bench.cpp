// Wire-speed benchmark: reads, then writes and verifies, N KiB through the real link from the
// virtual device (a separate rv7k-sim process on a pseudo-terminal) at 115200 baud with line
// timing and a 1 ms turnaround, and compares the time with what the wire itself needs.
//
//   wire_bench [--kib N] [--sim PATH] [--read-only | --write-only] [--transcript FILE]
//              [--load N] [--user NAME]
//   wire_bench --port NAME ...   (a device already started with the same options, e.g. the
//                                 Windows build under Wine on a COM port mapped to rv7k-sim)
//
// --load N keeps N cores busy (stress-ng --cpu N) for the whole run, and --user NAME, given to
// root, runs the benchmark as that ordinary user, who gets no real-time priority: together they
// show whether replies survive a host that is turned round late (POSIX only).
#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7KWriteThread.h"
#include "uRV7K_v210_Sound.h"

using namespace dikton;

namespace {

constexpr double kTurnaroundMs = 1.0;    // the device's answer delay, ms
constexpr size_t kReadRequest = 9;       // read-block request on the wire, bytes
constexpr size_t kWriteOverhead = 8;     // write-block request besides its data, bytes
constexpr size_t kDataReplyOverhead = 5;  // data reply besides its data, bytes
constexpr size_t kAckReply = 6;          // write acknowledgement, bytes

#ifndef _WIN32
// A child process, ended at destruction. The device's pty path is the first line it prints;
// other children print nothing that is read.
class TChildProcess {
 public:
  TChildProcess(const std::string& exe, const std::vector<std::string>& args, bool readPath) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv{const_cast<char*>(exe.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execvp(exe.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    char c;
    while (readPath && read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
  }
  ~TChildProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;
  const std::string& Path() const { return path_; }
  bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

// Root becomes the named ordinary user for the rest of the run.
bool BecomeUser(const std::string& name) {
  const passwd* pw = getpwnam(name.c_str());
  if (!pw) return false;
  return setgroups(0, nullptr) == 0 && setgid(pw->pw_gid) == 0 && setuid(pw->pw_uid) == 0;
}
#endif

// Answers the worker as a progress window that says yes to the verify question.
class TAutoWindow : public TNotifyTarget {
 public:
  void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override {
    std::lock_guard lock(mutex_);
    if (message == UM_WRITE_FINISHED || (message == UM_ERROR && wParam == 1)) wakes_++;
    if (message == UM_DONE || (message == UM_ERROR && wParam == 0 && lParam == 0)) {
      done_ = true;
      failed_ = message == UM_ERROR;
    }
    cv_.notify_all();
  }
  // Returns false on a link failure.
  bool Serve(TThread& worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
      cv_.wait(lock, [&] { return done_ || wakes_ > 0; });
      while (wakes_ > 0) {
        --wakes_;
        worker.Wake();
      }
      if (done_) return !failed_;
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int wakes_ = 0;
  bool done_ = false, failed_ = false;
};

#ifdef _WIN32
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto s = [](FILETIME t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;  // 100 ns units
  };
  return s(kernel) + s(user);
}
#else
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}
#endif

double Wire(size_t bytes) { return double(bytes) * 10.0 / kFastBaud; }

struct TPlan {
  double WireSeconds = 0;  // request and reply time plus turnaround, per exchange
  double BusySeconds = 0;  // the transmit busy-wait of every request
  void Exchange(size_t request, size_t reply) {
    WireSeconds += Wire(request + reply) + kTurnaroundMs / 1000;
    BusySeconds += TransmitSeconds(request, kFastBaud);
  }
  void Blocks(uint32_t from, uint32_t to, bool write) {
    for (uint32_t a = from; a < to; a += kBlockSize) {
      const size_t n = std::min<uint32_t>(kBlockSize, to - a);
      write ? Exchange(kWriteOverhead + n, kAckReply)
            : Exchange(kReadRequest, kDataReplyOverhead + n);
    }
  }
};

bool EnterFastMode(TRV7KSoundThread& w) {
  TFrame reply;
  w.SetDeviceAddress(127);
  w.SetBaudRate(kSlowBaud);
  w.Exchange(BuildPrepare(127), reply);
  if (!w.Exchange(BuildModeSwitch(127, kModeEnter), reply) || !IsModeSwitchReply(reply))
    return false;
  w.SetBaudRate(kFastBaud);
  return true;
}

void LeaveFastMode(TRV7KSoundThread& w) {
  TFrame reply;
  w.Exchange(BuildModeSwitch(127, kModeLeave), reply);
}

void Report(const char* what, double measured, const TPlan& plan, uint64_t retries,
            double cpu) {
  std::printf("%s\n", what);
  std::printf("  measured        %9.3f s\n", measured);
  std::printf("  wire-time limit %9.3f s\n", plan.WireSeconds);
  std::printf("  ratio           %9.4f  (target >= 0.97)\n", plan.WireSeconds / measured);
  std::printf("  retries         %9llu\n", static_cast<unsigned long long>(retries));
  std::printf("  cpu besides the transmit busy-wait %.3f s (%.1f%% of the run)\n",
              cpu - plan.BusySeconds, 100.0 * (cpu - plan.BusySeconds) / measured);
}

// Runs the worker's job to its end and reports it; false on a link failure.
bool Measure(const char* what, TRV7KSoundThread& worker, TAutoWindow& window, const TPlan& plan) {
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  worker.Resume();
  const bool ok = window.Serve(worker);
  worker.WaitFor();
  const double measured =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  Report(what, measured, plan, worker.RetryCount(), CpuSeconds() - cpu0);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t kib = 256;
  bool doRead = true, doWrite = true;
  std::string transcript;  // the device's transcript file, for a look at what went over
  std::string port;        // a device started by the caller
  int loadCores = 0;
  std::string user;
  std::string sim = (std::filesystem::path(argv[0]).parent_path() / ".." / "sim" / "rv7k-sim")
                        .lexically_normal()
                        .string();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--kib" && i + 1 < argc) {
      kib = uint32_t(std::stoul(argv[++i]));
    } else if (a == "--port" && i + 1 < argc) {
      port = argv[++i];
    } else if (a == "--sim" && i + 1 < argc) {
      sim = argv[++i];
    } else if (a == "--transcript" && i + 1 < argc) {
      transcript = argv[++i];
    } else if (a == "--load" && i + 1 < argc) {
      loadCores = std::stoi(argv[++i]);
    } else if (a == "--user" && i + 1 < argc) {
      user = argv[++i];
    } else if (a == "--read-only") {
      doWrite = false;
    } else if (a == "--write-only") {
      doRead = false;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--kib N] [--sim PATH | --port NAME] [--read-only|--write-only] "
                   "[--transcript FILE] [--load N] [--user NAME]\n",
                   argv[0]);
      return 2;
    }
  }
  if (kib < 16 || kib > 16384) {
    std::fprintf(stderr, "--kib must be 16 to 16384\n");
    return 2;
  }
  const uint32_t end = kib * 1024 - 1;
  std::vector<std::string> simArgs{"--memory-size", std::to_string(end + 1), "--realistic",
                                   "--start", "0x3000", "--end", std::to_string(end),
                                   "--line-timing", "--turnaround", "1"};
  if (!transcript.empty()) simArgs.insert(simArgs.end(), {"--transcript", transcript});
  TPortMap ports;
#ifdef _WIN32
  if (loadCores > 0 || !user.empty()) {
    std::fprintf(stderr, "--load and --user are for POSIX hosts\n");
    return 2;
  }
  if (port.empty()) {
    std::fprintf(stderr, "--port NAME: start rv7k-sim with these options first:");
    for (const auto& a : simArgs) std::fprintf(stderr, " %s", a.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const std::string devicePath = port;
#else
  if (!user.empty() && !BecomeUser(user)) {
    std::fprintf(stderr, "cannot run as %s\n", user.c_str());
    return 2;
  }
  std::unique_ptr<TChildProcess> load;
  if (loadCores > 0) {
    load = std::make_unique<TChildProcess>(
        "stress-ng",
        std::vector<std::string>{"--cpu", std::to_string(loadCores), "--quiet", "--temp-path",
                                 "/tmp"},
        false);
    if (!load->Running()) {
      std::fprintf(stderr, "stress-ng could not be started (Debian package stress-ng)\n");
      return 2;
    }
  }
  std::printf("user %d%s, %d cores loaded\n", int(getuid()),
              getuid() == 0 ? " (root: real-time priority)" : " (no real-time priority)",
              loadCores);
  std::unique_ptr<TChildProcess> device;
  if (port.empty()) {
    device = std::make_unique<TChildProcess>(sim, simArgs, true);
    if (device->Path().empty()) {
      std::fprintf(stderr, "could not start %s\n", sim.c_str());
      return 1;
    }
  }
  const std::string devicePath = device ? device->Path() : port;
#endif
  ports.Map(1, devicePath);
  TLinkContext ctx;
  ctx.Ports = &ports;
  std::printf("%u KiB at %d baud, turnaround %.1f ms, device %s\n", kib, kFastBaud, kTurnaroundMs,
              devicePath.c_str());

  TData image;
  int rc = 0;
  if (doRead) {
    TAutoWindow window;
    TRV7KSoundThread worker(&image, ctx);
    worker.SetNotifyWindow(&window);
    if (!worker.OpenPort(1) || !EnterFastMode(worker)) return std::puts("no device"), 1;
    TPlan plan;
    plan.Exchange(7, 11);  // the range query
    plan.Blocks(0, end + 1, false);
    const bool ok = Measure("read all", worker, window, plan);
    if (!ok || worker.BytesDone != int32_t(end + 1)) rc = 1, std::puts("  READ FAILED");
    LeaveFastMode(worker);
  }
  if (doWrite) {
    if (image.size() != end + 1) image.assign(end + 1, 0x5A);
    for (size_t i = 0; i < image.size(); ++i) image[i] ^= 0x33;  // something to write
    TAutoWindow window;
    TRV7KWriteThread worker(&image, ctx);
    worker.SetNotifyWindow(&window);
    worker.StartSoundAddr = 0x3000;
    worker.EndSoundAddr = int32_t(end);
    worker.DirectoryAddr = int32_t(kDirectoryAddr);
    worker.DirectoryCount = int32_t(kDirectoryCount);
    if (!worker.OpenPort(1) || !EnterFastMode(worker)) return std::puts("no device"), 1;
    TPlan plan;
    plan.Blocks(0, kRegionAEnd, true);
    plan.Blocks(kDirectoryAddr, end + 1, true);
    plan.Exchange(kWriteOverhead + kSignatureSize, kAckReply);
    plan.Blocks(0, kRegionAEnd, false);
    plan.Blocks(kDirectoryAddr, end + 1, false);
    plan.Exchange(kReadRequest, kDataReplyOverhead + kSignatureSize);
    const bool ok = Measure("write all and verify", worker, window, plan);
    if (!ok || worker.BytesDone != worker.BytesTotal || !worker.Mismatches.empty())
      rc = 1, std::puts("  WRITE FAILED");
    LeaveFastMode(worker);
  }
  return rc;
}
