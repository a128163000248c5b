// The virtual device for the Windows tests: the same interface as the device itself, each call
// forwarded to a device that the native host (rv7k-sim-host) runs on a Linux pseudo-terminal and
// maps to a COM port of the Wine prefix. The host's TCP port is read from the file named by
// DIKTON_SIM_HOST_FILE.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "SimHostProtocol.h"
#include "rv7k_sim.h"

namespace rv7ksim {
namespace {

class TWinsock {
 public:
  TWinsock() {
    WSADATA data{};
    ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~TWinsock() {
    if (ok_) WSACleanup();
  }
  TWinsock(const TWinsock&) = delete;
  TWinsock& operator=(const TWinsock&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_ = false;
};

bool WinsockReady() {
  static const TWinsock winsock;
  return winsock.Ok();
}

int HostPort() {
  const char* file = std::getenv("DIKTON_SIM_HOST_FILE");
  if (!file) return 0;
  std::ifstream in(file);
  int port = 0;
  in >> port;
  return port;
}

}  // namespace

struct TVirtualDevice::TImpl {
  SOCKET sock = INVALID_SOCKET;
  std::string buf;
  std::string path;

  ~TImpl() {
    if (sock != INVALID_SOCKET) closesocket(sock);
  }

  bool Connect() {
    const int port = HostPort();
    if (!WinsockReady() || port <= 0) return false;
    sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock == INVALID_SOCKET) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(u_short(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      closesocket(sock);
      sock = INVALID_SOCKET;
      return false;
    }
    return true;
  }

  // One request line, one answer line; the answer without its "OK ", or nullopt on "ERR".
  std::optional<std::string> Call(const std::string& request) {
    if (sock == INVALID_SOCKET) return std::nullopt;
    const std::string line = request + "\n";
    for (size_t done = 0; done < line.size();) {
      const int w = send(sock, line.data() + done, int(line.size() - done), 0);
      if (w <= 0) return std::nullopt;
      done += size_t(w);
    }
    for (;;) {
      if (const auto nl = buf.find('\n'); nl != std::string::npos) {
        std::string answer = buf.substr(0, nl);
        buf.erase(0, nl + 1);
        if (answer.rfind("OK", 0) != 0) return std::nullopt;
        return answer.size() > 3 ? answer.substr(3) : std::string();
      }
      char chunk[65536];
      const int r = recv(sock, chunk, sizeof chunk, 0);
      if (r <= 0) return std::nullopt;
      buf.append(chunk, size_t(r));
    }
  }

  uint64_t Number(const std::string& request) {
    const auto a = Call(request);
    return a ? std::strtoull(a->c_str(), nullptr, 10) : 0;
  }
};

TVirtualDevice::TVirtualDevice(TSimOptions o) : impl_(std::make_unique<TImpl>()) {
  if (!impl_->Connect()) return;
  std::ostringstream req;
  req << host::kNew << ' ' << o.MemorySize << ' ' << unsigned(o.FillByte) << ' ' << o.StartSound
      << ' ' << o.EndSound << ' ' << unsigned(o.Address) << ' ' << int(o.AnswerAll) << ' '
      << int(o.LineTiming) << ' ' << o.TurnaroundMs << ' ' << int(o.Echo) << ' ' << int(o.CheckRate)
      << ' ' << o.EchoDelayMs << ' ' << o.ExtraAddresses.size();
  for (const auto& x : o.ExtraAddresses)
    req << ' ' << unsigned(x.Address) << ' ' << x.StartSound << ' ' << x.EndSound;
  impl_->Call(req.str());
}

TVirtualDevice::~TVirtualDevice() = default;

bool TVirtualDevice::Start() {
  const auto name = impl_->Call(host::kStart);
  if (!name) return false;
  impl_->path = *name;
  return true;
}

const std::string& TVirtualDevice::Path() const { return impl_->path; }

void TVirtualDevice::AddFault(const TFault& f) {
  std::ostringstream req;
  req << host::kFault << ' ' << int(f.Kind) << ' ' << f.Frame << ' ' << unsigned(f.Command) << ' '
      << f.Address << ' ' << f.Times << ' ' << f.Value;
  impl_->Call(req.str());
}

void TVirtualDevice::ClearFaults() { impl_->Call(host::kClearFaults); }

std::vector<uint8_t> TVirtualDevice::Memory() const {
  const auto a = impl_->Call(host::kMemory);
  if (!a) return {};
  return host::FromHex(*a).value_or(std::vector<uint8_t>{});
}

void TVirtualDevice::SetMemory(uint32_t address, const std::vector<uint8_t>& bytes) {
  impl_->Call(std::string(host::kSetMemory) + " " + std::to_string(address) + " " +
              host::ToHex(bytes.data(), bytes.size()));
}

uint8_t TVirtualDevice::Peek(uint32_t address) const {
  return uint8_t(impl_->Number(std::string(host::kPeek) + " " + std::to_string(address)));
}

void TVirtualDevice::SetRange(uint32_t start, uint32_t end) {
  impl_->Call(std::string(host::kSetRange) + " " + std::to_string(start) + " " +
              std::to_string(end));
}

void TVirtualDevice::GenerateRealisticContent(uint32_t seed) {
  impl_->Call(std::string(host::kGenerate) + " " + std::to_string(seed));
}

// Files named by a Windows program mean nothing to the Linux host.
bool TVirtualDevice::LoadMemory(const std::string&) { return false; }
bool TVirtualDevice::DumpMemory(const std::string&) const { return false; }

std::vector<TTranscriptEntry> TVirtualDevice::Transcript() const {
  std::vector<TTranscriptEntry> out;
  const auto a = impl_->Call(host::kTranscript);
  if (!a) return out;
  std::istringstream in(*a);
  std::string item;
  while (std::getline(in, item, ';')) {
    if (item.empty()) continue;
    TTranscriptEntry e;
    int fromHost = 0, ignored = 0;
    char hex[1024] = {};
    if (std::sscanf(item.c_str(), "%d,%d,%d,%1023s", &fromHost, &e.Baud, &ignored, hex) < 3)
      continue;
    e.FromHost = fromHost;
    e.Ignored = ignored;
    e.Bytes = host::FromHex(hex).value_or(std::vector<uint8_t>{});
    out.push_back(std::move(e));
  }
  return out;
}

void TVirtualDevice::ClearTranscript() { impl_->Call(host::kClearTranscript); }

size_t TVirtualDevice::RequestCount(uint8_t command) const {
  return size_t(impl_->Number(std::string(host::kCount) + " " + std::to_string(command)));
}

bool TVirtualDevice::WaitForRequests(size_t count, int timeoutMs) const {
  return impl_->Number(std::string(host::kWait) + " " + std::to_string(count) + " " +
                       std::to_string(timeoutMs)) == 1;
}

int32_t TVirtualDevice::CurrentRate() const { return int32_t(impl_->Number(host::kRate)); }

size_t TVirtualDevice::HostInputPending() const { return size_t(impl_->Number(host::kPending)); }

bool TVirtualDevice::HangUp() { return impl_->Number(host::kHangUp) == 1; }

}  // namespace rv7ksim
