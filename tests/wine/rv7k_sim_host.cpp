// Native host of virtual devices for the Windows tests running under Wine. Each TCP connection
// from a test program is one rv7k_sim device on a pseudo-terminal; when the test starts it, the
// host links a COM port of the Wine prefix (dosdevices/comN) to the pty and answers with the
// name the program opens. The test then asks for faults, memory and the transcript over the
// same connection. Usage: rv7k-sim-host PORT_FILE WINEPREFIX [PID_FILE]
// With PID_FILE it goes to the background once it listens, and its process id is written there:
// the starter returns as soon as the host is ready, without waiting on anything.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "SimHostProtocol.h"
#include "rv7k_sim.h"
#include "rv7k_sim_fd.h"

namespace rv7ksim::host {
namespace {

namespace fs = std::filesystem;

constexpr int kFirstCom = 3;        // COM1 and COM2 are left to Wine's own serial ports
constexpr int kLastCom = 16;        // highest port number the program knows
constexpr int kFirstWideForm = 10;  // from here the name needs the "\\.\" form
// Under Wine each serial call of the program goes through Wine's server, so the program ends
// its transmit phase and purges its input a few ms later than it would natively, more so on a
// busy machine. A reply that comes before that purge is lost and costs a retry that the tests
// would count; the devices of this host therefore never answer sooner than this.
constexpr double kMinTurnaroundMs = 10.0;  // ms

// Hands out COM numbers in rotation, so one run uses both name forms.
class TComPool {
 public:
  explicit TComPool(fs::path dosdevices) : dosdevices_(std::move(dosdevices)) {}
  int Take(const std::string& target) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i <= kLastCom - kFirstCom; ++i) {
      const int n = next_;
      next_ = next_ == kLastCom ? kFirstCom : next_ + 1;
      if (used_.count(n)) continue;
      const fs::path link = Link(n);
      std::error_code ec;
      fs::remove(link, ec);
      fs::create_symlink(target, link, ec);
      if (ec) return 0;
      used_.insert(n);
      return n;
    }
    return 0;
  }
  void Give(int n) {
    std::lock_guard lock(mutex_);
    std::error_code ec;
    fs::remove(Link(n), ec);
    used_.erase(n);
  }

 private:
  fs::path Link(int n) const { return dosdevices_ / ("com" + std::to_string(n)); }
  fs::path dosdevices_;
  std::mutex mutex_;
  std::set<int> used_;
  int next_ = kFirstCom;
};

class TSession {
 public:
  TSession(TUniqueFd fd, TComPool& pool) : fd_(std::move(fd)), pool_(pool) {}
  ~TSession() {
    device_.reset();
    if (com_) pool_.Give(com_);
  }
  void Run() {
    std::string line;
    while (ReadLine(line))
      if (!Send(Handle(line) + "\n")) break;
  }

 private:
  bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
      if (const auto nl = buf_.find('\n'); nl != std::string::npos) {
        line = buf_.substr(0, nl);
        buf_.erase(0, nl + 1);
        return true;
      }
      char chunk[4096];
      const ssize_t r = ::recv(fd_.Get(), chunk, sizeof chunk, 0);
      if (r <= 0) return false;
      buf_.append(chunk, size_t(r));
    }
  }
  bool Send(const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
      const ssize_t w = ::send(fd_.Get(), s.data() + done, s.size() - done, MSG_NOSIGNAL);
      if (w <= 0) return false;
      done += size_t(w);
    }
    return true;
  }

  std::string Handle(const std::string& line) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd == kNew) {
      TSimOptions o;
      unsigned fill = 0, address = 0;
      int answerAll = 0, timing = 0, echo = 0, checkRate = 0;
      in >> o.MemorySize >> fill >> o.StartSound >> o.EndSound >> address >> answerAll >> timing >>
          o.TurnaroundMs >> echo >> checkRate >> o.EchoDelayMs;
      size_t extra = 0;
      in >> extra;
      for (size_t i = 0; in && i < extra; ++i) {
        TExtraAddress x;
        unsigned a = 0;
        in >> a >> x.StartSound >> x.EndSound;
        x.Address = uint8_t(a);
        o.ExtraAddresses.push_back(x);
      }
      if (!in) return "ERR options";
      o.FillByte = uint8_t(fill);
      o.Address = uint8_t(address);
      o.AnswerAll = answerAll;
      o.LineTiming = timing;
      o.Echo = echo;
      o.CheckRate = checkRate;
      o.TurnaroundMs = std::max(o.TurnaroundMs, kMinTurnaroundMs);
      device_ = std::make_unique<TVirtualDevice>(o);
      return "OK";
    }
    if (!device_) return "ERR no device";
    if (cmd == kStart) {
      if (com_ || !device_->Start()) return "ERR start";
      com_ = pool_.Take(device_->Path());
      if (!com_) return "ERR no COM port";
      const std::string n = std::to_string(com_);
      return "OK " + (com_ >= kFirstWideForm ? "\\\\.\\COM" + n : "COM" + n);
    }
    if (cmd == kFault) {
      int kind = 0;
      unsigned command = 0;
      TFault f;
      in >> kind >> f.Frame >> command >> f.Address >> f.Times >> f.Value;
      if (!in) return "ERR fault";
      f.Kind = TFaultKind(kind);
      f.Command = uint8_t(command);
      device_->AddFault(f);
      return "OK";
    }
    if (cmd == kClearFaults) {
      device_->ClearFaults();
      return "OK";
    }
    if (cmd == kMemory) {
      const auto m = device_->Memory();
      return "OK " + ToHex(m.data(), m.size());
    }
    if (cmd == kSetMemory) {
      uint32_t address = 0;
      std::string hex;
      in >> address >> hex;
      const auto bytes = FromHex(hex);
      if (!bytes) return "ERR hex";
      device_->SetMemory(address, *bytes);
      return "OK";
    }
    if (cmd == kPeek) {
      uint32_t address = 0;
      in >> address;
      return "OK " + std::to_string(device_->Peek(address));
    }
    if (cmd == kSetRange) {
      uint32_t start = 0, end = 0;
      in >> start >> end;
      device_->SetRange(start, end);
      return "OK";
    }
    if (cmd == kGenerate) {
      uint32_t seed = 1;
      in >> seed;
      device_->GenerateRealisticContent(seed);
      return "OK";
    }
    if (cmd == kTranscript) {
      std::string out = "OK ";
      for (const auto& e : device_->Transcript()) {
        out += std::to_string(int(e.FromHost)) + "," + std::to_string(e.Baud) + "," +
               std::to_string(int(e.Ignored)) + "," + ToHex(e.Bytes.data(), e.Bytes.size()) + ";";
      }
      return out;
    }
    if (cmd == kClearTranscript) {
      device_->ClearTranscript();
      return "OK";
    }
    if (cmd == kCount) {
      unsigned command = 0;
      in >> command;
      return "OK " + std::to_string(device_->RequestCount(uint8_t(command)));
    }
    if (cmd == kWait) {
      size_t count = 0;
      int timeoutMs = 0;
      in >> count >> timeoutMs;
      return "OK " + std::to_string(int(device_->WaitForRequests(count, timeoutMs)));
    }
    if (cmd == kRate) return "OK " + std::to_string(device_->CurrentRate());
    if (cmd == kPending) return "OK " + std::to_string(device_->HostInputPending());
    if (cmd == kHangUp) return "OK " + std::to_string(int(device_->HangUp()));
    return "ERR unknown";
  }

  TUniqueFd fd_;
  TComPool& pool_;
  std::unique_ptr<TVirtualDevice> device_;
  int com_ = 0;
  std::string buf_;
};

int Main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: rv7k-sim-host PORT_FILE WINEPREFIX [PID_FILE]\n");
    return 2;
  }
  const fs::path dosdevices = fs::path(argv[2]) / "dosdevices";
  std::error_code ec;
  fs::create_directories(dosdevices, ec);
  TComPool pool(dosdevices);

  TUniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;  // any free port; it is written to PORT_FILE
  socklen_t len = sizeof addr;
  if (!listener.Valid() || ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
      ::listen(listener.Get(), SOMAXCONN) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("rv7k-sim-host: socket");
    return 1;
  }
  {
    // Written whole under another name first: the starter waits for the file to appear.
    const fs::path portFile = argv[1];
    const fs::path part = portFile.string() + ".part";
    std::ofstream(part) << ntohs(addr.sin_port) << "\n";
    fs::rename(part, portFile, ec);
  }
  if (argc == 4) {
    const pid_t child = ::fork();
    if (child < 0) return 1;
    if (child > 0) {
      std::ofstream(argv[3]) << child << "\n";
      return 0;
    }
    ::setsid();
    // Let go of the starter's output, or CTest waits for it to close.
    TUniqueFd null(::open("/dev/null", O_RDWR));
    for (int fd : {0, 1, 2}) ::dup2(null.Get(), fd);
  }
  for (;;) {
    TUniqueFd conn(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!conn.Valid()) continue;
    std::thread([c = std::move(conn), &pool]() mutable {
      TSession s(std::move(c), pool);
      s.Run();
    }).detach();
  }
}

}  // namespace
}  // namespace rv7ksim::host

int main(int argc, char** argv) { return rv7ksim::host::Main(argc, argv); }
