// Wire-speed benchmark: reads, then writes and verifies, N KiB through the real link from the
// virtual device (a separate rv7k-sim process on a pseudo-terminal) at 115200 baud with line
// timing and a 1 ms turnaround, and compares the time with what the wire itself needs. With
// --ports N it does so on N devices at once, each its own rv7k-sim, link and worker, after the
// first of them alone, and prints a row per port with the CPU time of that port's threads.
//
//   wire_bench [--kib N] [--ports N] [--sim PATH] [--read-only | --write-only]
//              [--transcript FILE] [--load N] [--user NAME]
//   wire_bench --port NAME [--port NAME ...] ...   (devices already started with the same
//              options, e.g. the Windows build under Wine on COM ports mapped to rv7k-sim)
//
// --load N keeps N cores busy (stress-ng --cpu N) for the whole run, and --user NAME, given to
// root, runs the benchmark as that ordinary user, who gets no real-time priority: together they
// show whether replies survive a host that is turned round late (POSIX only). All the while an
// ordinary thread sleeps 1 ms again and again and reports how late it wakes.
#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7KWriteThread.h"
#include "uRV7K_v210_Sound.h"

using namespace dikton;

namespace {

constexpr double kTurnaroundMs = 1.0;     // the device's answer delay, ms
constexpr size_t kReadRequest = 9;        // read-block request on the wire, bytes
constexpr size_t kWriteOverhead = 8;      // write-block request besides its data, bytes
constexpr size_t kDataReplyOverhead = 5;  // data reply besides its data, bytes
constexpr size_t kAckReply = 6;           // write acknowledgement, bytes

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
double FileTimeSeconds(FILETIME t) {
  return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;  // 100 ns units
}
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}
// The calling thread's own CPU time.
double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}
int Cores() {
  SYSTEM_INFO si{};
  GetSystemInfo(&si);
  return int(si.dwNumberOfProcessors);
}
#else
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}
double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
int Cores() { return int(sysconf(_SC_NPROCESSORS_ONLN)); }
#endif

double Wire(size_t bytes) { return double(bytes) * 10.0 / kFastBaud; }

// What the wire itself needs: request and reply time plus the device's turnaround, per exchange.
struct TPlan {
  double WireSeconds = 0;
  void Exchange(size_t request, size_t reply) {
    WireSeconds += Wire(request + reply) + kTurnaroundMs / 1000;
  }
  void Blocks(uint32_t from, uint32_t to, bool write) {
    for (uint32_t a = from; a < to; a += kBlockSize) {
      const size_t n = std::min<uint32_t>(kBlockSize, to - a);
      write ? Exchange(kWriteOverhead + n, kAckReply)
            : Exchange(kReadRequest, kDataReplyOverhead + n);
    }
  }
};

// A worker that takes the CPU time of its own thread over its job.
template <class TWorker>
class TTimed final : public TWorker {
 public:
  using TWorker::TWorker;
  ~TTimed() override { this->Shutdown(); }
  double JobCpuSeconds = 0;

 protected:
  void Execute() override {
    const double c0 = ThreadCpuSeconds();
    TWorker::Execute();
    JobCpuSeconds = ThreadCpuSeconds() - c0;
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

struct TPhase {
  bool Run = false, Ok = false;
  double Seconds = 0, WireSeconds = 0;
  double Ratio() const { return Seconds > 0 ? WireSeconds / Seconds : 0; }
};

// One port's run: the read, then the write with its read-back, each job on its worker's thread
// while this thread serves it as the progress window would.
struct TPortRun {
  std::string Device;
  TPhase Read, Write;
  uint64_t Retries = 0;
  double CpuSeconds = 0;   // this port's threads: the one driving it and its workers'
  double SpinSeconds = 0;  // of that, the spin of the transmit waits
  uint64_t LateWakes = 0;  // transmit waits whose sleep ended after the turn-round moment

  template <class TWorker>
  void Measure(TPhase& phase, TWorker& worker, TAutoWindow& window) {
    const auto t0 = std::chrono::steady_clock::now();
    worker.Resume();
    phase.Ok = window.Serve(worker);
    worker.WaitFor();
    phase.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    phase.Run = true;
    Retries += worker.RetryCount();
    CpuSeconds += worker.JobCpuSeconds;
    const auto& w = worker.TransmitWaitStats();
    SpinSeconds += double(w.SpinTicks) / double(worker.CounterFrequency);
    LateWakes += w.LateWakes;
  }

  void Go(uint32_t kib, bool doRead, bool doWrite) {
    const double cpu0 = ThreadCpuSeconds();
    const uint32_t end = kib * 1024 - 1;
    TPortMap ports;
    ports.Map(1, Device);
    TLinkContext ctx;
    ctx.Ports = &ports;
    TData image;
    if (doRead) {
      TAutoWindow window;
      TTimed<TRV7KSoundThread> worker(&image, ctx);
      worker.SetNotifyWindow(&window);
      if (worker.OpenPort(1) && EnterFastMode(worker)) {
        TPlan plan;
        plan.Exchange(7, 11);  // the range query
        plan.Blocks(0, end + 1, false);
        Read.WireSeconds = plan.WireSeconds;
        Measure(Read, worker, window);
        Read.Ok = Read.Ok && worker.BytesDone == int32_t(end + 1);
        LeaveFastMode(worker);
      }
      Read.Run = true;
    }
    if (doWrite) {
      if (image.size() != end + 1) image.assign(end + 1, 0x5A);
      for (size_t i = 0; i < image.size(); ++i) image[i] ^= 0x33;  // something to write
      TAutoWindow window;
      TTimed<TRV7KWriteThread> worker(&image, ctx);
      worker.SetNotifyWindow(&window);
      worker.StartSoundAddr = 0x3000;
      worker.EndSoundAddr = int32_t(end);
      worker.DirectoryAddr = int32_t(kDirectoryAddr);
      worker.DirectoryCount = int32_t(kDirectoryCount);
      if (worker.OpenPort(1) && EnterFastMode(worker)) {
        TPlan plan;
        plan.Blocks(0, kRegionAEnd, true);
        plan.Blocks(kDirectoryAddr, end + 1, true);
        plan.Exchange(kWriteOverhead + kSignatureSize, kAckReply);
        plan.Blocks(0, kRegionAEnd, false);
        plan.Blocks(kDirectoryAddr, end + 1, false);
        plan.Exchange(kReadRequest, kDataReplyOverhead + kSignatureSize);
        Write.WireSeconds = plan.WireSeconds;
        Measure(Write, worker, window);
        Write.Ok = Write.Ok && worker.BytesDone == worker.BytesTotal && worker.Mismatches.empty();
        LeaveFastMode(worker);
      }
      Write.Run = true;
    }
    CpuSeconds += ThreadCpuSeconds() - cpu0;
  }
  bool Ok() const { return (!Read.Run || Read.Ok) && (!Write.Run || Write.Ok); }
};

// An ordinary thread that sleeps 1 ms again and again and notes how late it wakes: what the
// ports' threads leave of the machine to everything else (a shell, the desktop).
class TLatencyProbe {
 public:
  TLatencyProbe() : thread_([this] { Loop(); }) {}
  ~TLatencyProbe() { Stop(); }
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  // Lateness in microseconds: mean, 99th percentile, largest.
  void Print() {
    Stop();
    if (late_.empty()) return;
    std::sort(late_.begin(), late_.end());
    double sum = 0;
    for (double v : late_) sum += v;
    std::printf(
        "ordinary thread sleeping 1 ms, %zu wake-ups: late by %.0f us on average, "
        "%.0f us at the 99th percentile, %.0f us at most\n",
        late_.size(), sum / double(late_.size()),
        late_[std::min(late_.size() - 1, late_.size() * 99 / 100)], late_.back());
  }

 private:
  void Loop() {
    using namespace std::chrono;
    std::unique_lock lock(mutex_);
    while (!stop_) {
      const auto t0 = steady_clock::now();
      // The wait is the measurement: a timed sleep that a stop may cut short.
      if (cv_.wait_until(lock, t0 + 1ms, [&] { return stop_; })) break;
      late_.push_back(duration<double, std::micro>(steady_clock::now() - t0).count() - 1000.0);
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::vector<double> late_;
  std::thread thread_;
};

void PrintHeader() {
  std::printf("%-6s %-14s %9s %9s %7s %9s %9s %7s %8s %8s %8s %6s\n", "port", "device", "read s",
              "limit s", "ratio", "write+v s", "limit s", "ratio", "retries", "cpu s", "spin s",
              "late");
}

void PrintRow(const std::string& name, const TPortRun& p) {
  auto phase = [](const TPhase& ph) {
    char buf[64];
    if (!ph.Run)
      std::snprintf(buf, sizeof buf, "%9s %9s %7s", "-", "-", "-");
    else
      std::snprintf(buf, sizeof buf, "%9.3f %9.3f %7.4f", ph.Seconds, ph.WireSeconds, ph.Ratio());
    return std::string(buf);
  };
  std::printf("%-6s %-14s %s %s %8llu %8.3f %8.3f %6llu%s\n", name.c_str(), p.Device.c_str(),
              phase(p.Read).c_str(), phase(p.Write).c_str(),
              static_cast<unsigned long long>(p.Retries), p.CpuSeconds, p.SpinSeconds,
              static_cast<unsigned long long>(p.LateWakes), p.Ok() ? "" : "  FAILED");
}

// Runs every port at once and prints a row each and the total line; false when one failed.
bool RunAll(std::vector<TPortRun>& runs, uint32_t kib, bool doRead, bool doWrite,
            const TPortRun* alone) {
  PrintHeader();
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  {
    std::vector<std::thread> threads;
    for (auto& r : runs)
      threads.emplace_back([&r, kib, doRead, doWrite] { r.Go(kib, doRead, doWrite); });
    for (auto& t : threads) t.join();
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = CpuSeconds() - cpu0;
  bool ok = true;
  double worst = 1e9, worstOfAlone = 1e9;
  uint64_t retries = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    PrintRow(std::to_string(i + 1), runs[i]);
    ok = ok && runs[i].Ok();
    retries += runs[i].Retries;
    for (auto [ph, al] : {std::pair{&runs[i].Read, alone ? &alone->Read : nullptr},
                          std::pair{&runs[i].Write, alone ? &alone->Write : nullptr}}) {
      if (!ph->Run) continue;
      worst = std::min(worst, ph->Ratio());
      if (al && al->Ratio() > 0) worstOfAlone = std::min(worstOfAlone, ph->Ratio() / al->Ratio());
    }
  }
  double linkCpu = 0;
  for (const auto& r : runs) linkCpu += r.CpuSeconds;
  std::printf(
      "total  %zu port%s, %.1f s: the ports' threads %.1f%% of one core (%.1f%% of the "
      "machine's %d), the whole process %.1f%%; worst ratio %.4f",
      runs.size(), runs.size() == 1 ? "" : "s", wall, 100.0 * linkCpu / wall,
      100.0 * linkCpu / wall / Cores(), Cores(), 100.0 * cpu / wall, worst);
  if (alone) std::printf(" (%.3f of one port alone)", worstOfAlone);
  std::printf(", retries %llu\n", static_cast<unsigned long long>(retries));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t kib = 256;
  int portCount = 0;
  bool doRead = true, doWrite = true;
  std::string transcript;          // the device's transcript file, for a look at what went over
  std::vector<std::string> given;  // devices started by the caller
  int loadCores = 0;
  std::string user;
  std::string sim = (std::filesystem::path(argv[0]).parent_path() / ".." / "sim" / "rv7k-sim")
                        .lexically_normal()
                        .string();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--kib" && i + 1 < argc) {
      kib = uint32_t(std::stoul(argv[++i]));
    } else if (a == "--ports" && i + 1 < argc) {
      portCount = std::stoi(argv[++i]);
    } else if (a == "--port" && i + 1 < argc) {
      given.push_back(argv[++i]);
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
                   "usage: %s [--kib N] [--ports N] [--sim PATH | --port NAME ...] "
                   "[--read-only|--write-only] [--transcript FILE] [--load N] [--user NAME]\n",
                   argv[0]);
      return 2;
    }
  }
  if (kib < 16 || kib > 16384) {
    std::fprintf(stderr, "--kib must be 16 to 16384\n");
    return 2;
  }
  if (!given.empty() && portCount != 0 && portCount != int(given.size())) {
    std::fprintf(stderr, "--ports must count the --port devices given\n");
    return 2;
  }
  if (portCount == 0) portCount = given.empty() ? 1 : int(given.size());
  if (portCount < 1 || portCount > 16) {
    std::fprintf(stderr, "--ports must be 1 to 16\n");
    return 2;
  }
  const uint32_t end = kib * 1024 - 1;
  std::vector<std::string> simArgs{
      "--memory-size", std::to_string(end + 1), "--realistic",   "--start",      "0x3000",
      "--end",         std::to_string(end),     "--line-timing", "--turnaround", "1"};
  if (!transcript.empty()) simArgs.insert(simArgs.end(), {"--transcript", transcript});
  std::vector<TPortRun> runs(static_cast<size_t>(portCount));
#ifdef _WIN32
  if (loadCores > 0 || !user.empty()) {
    std::fprintf(stderr, "--load and --user are for POSIX hosts\n");
    return 2;
  }
  if (given.empty()) {
    std::fprintf(stderr, "--port NAME (one per port): start rv7k-sim with these options first:");
    for (const auto& a : simArgs) std::fprintf(stderr, " %s", a.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  for (size_t i = 0; i < runs.size(); ++i) runs[i].Device = given[i];
#else
  if (!user.empty() && !BecomeUser(user)) {
    std::fprintf(stderr, "cannot run as %s\n", user.c_str());
    return 2;
  }
  std::unique_ptr<TChildProcess> load;
  if (loadCores > 0) {
    load =
        std::make_unique<TChildProcess>("stress-ng",
                                        std::vector<std::string>{"--cpu", std::to_string(loadCores),
                                                                 "--quiet", "--temp-path", "/tmp"},
                                        false);
    if (!load->Running()) {
      std::fprintf(stderr, "stress-ng could not be started (Debian package stress-ng)\n");
      return 2;
    }
  }
  std::printf("user %d%s, %d cores loaded\n", int(getuid()),
              getuid() == 0 ? " (root: real-time priority)" : " (no real-time priority)",
              loadCores);
  // One virtual device per port, each a process of its own as a real device is.
  std::vector<std::unique_ptr<TChildProcess> > devices;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (i < given.size()) {
      runs[i].Device = given[i];
      continue;
    }
    devices.push_back(std::make_unique<TChildProcess>(sim, simArgs, true));
    if (devices.back()->Path().empty()) {
      std::fprintf(stderr, "could not start %s\n", sim.c_str());
      return 1;
    }
    runs[i].Device = devices.back()->Path();
  }
#endif
  std::printf("%u KiB a port at %d baud, turnaround %.1f ms, %d port%s\n", kib, kFastBaud,
              kTurnaroundMs, portCount, portCount == 1 ? "" : "s");

  TLatencyProbe probe;
  bool ok = true;
  if (portCount == 1) {
    ok = RunAll(runs, kib, doRead, doWrite, nullptr);
  } else {
    // The first port alone, then every port at once: the same machine in the same run is the
    // only fair yardstick on a shared host whose pace drifts.
    std::vector<TPortRun> alone(1);
    alone[0].Device = runs[0].Device;
    std::printf("one port alone:\n");
    ok = RunAll(alone, kib, doRead, doWrite, nullptr);
    std::printf("%d ports at once:\n", portCount);
    ok = RunAll(runs, kib, doRead, doWrite, &alone[0]) && ok;
  }
  probe.Print();
  return ok ? 0 : 1;
}
