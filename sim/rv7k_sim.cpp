#include "rv7k_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "rv7k_sim_content.h"
#include "rv7k_sim_fd.h"
#include "rv7k_sim_wire.h"

namespace rv7ksim {
namespace {

using namespace wire;

constexpr int32_t kSlowRate = 9600;    // baud, until the mode switch (enter)
constexpr int32_t kFastRate = 115200;  // baud, after it
constexpr int kGarbageGapMs = 20;    // ms without new bytes after which a partial frame is dropped
constexpr size_t kReadChunk = 4096;  // bytes per read from the master
constexpr size_t kFileFlushBytes = 1 << 20;  // transcript text buffered before it is written
constexpr int64_t kNsPerSecond = 1000000000;
constexpr unsigned long kTimerSlackNs = 1;  // ns; timer slack of the device thread
constexpr int64_t kSpinNs = 300000;         // ns before a reply deadline spent spinning

struct TRateName {
  speed_t Speed;
  int32_t Baud;
};
constexpr std::array<TRateName, 12> kRates{{{B1200, 1200},
                                            {B2400, 2400},
                                            {B4800, 4800},
                                            {B9600, 9600},
                                            {B19200, 19200},
                                            {B38400, 38400},
                                            {B57600, 57600},
                                            {B115200, 115200},
                                            {B230400, 230400},
#ifdef B460800
                                            {B460800, 460800},
#else
                                            {B0, 0},
#endif
#ifdef B921600
                                            {B921600, 921600},
#else
                                            {B0, 0},
#endif
                                            {B0, 0}}};

int32_t BaudOf(speed_t speed) {
  for (const auto& r : kRates) {
    if (r.Speed == speed) return r.Baud;
  }
  return 0;
}

timespec Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t;
}

timespec AddNs(timespec t, int64_t ns) {
  int64_t total = t.tv_nsec + ns;
  int64_t seconds = total / kNsPerSecond;
  total %= kNsPerSecond;
  if (total < 0) {  // negative offsets borrow a second
    total += kNsPerSecond;
    --seconds;
  }
  t.tv_sec += static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>(total);
  return t;
}

int64_t WireNs(size_t bytes, int32_t baud) {
  if (baud <= 0) return 0;
  return static_cast<int64_t>(bytes) * kBitsPerByte * kNsPerSecond / baud;
}

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Sleeps to just short of the deadline and spins the rest: a timed sleep alone wakes up to
// 150 us late on a loaded machine, which is several byte times at 115200 baud.
void SleepUntil(const timespec& deadline) {
  const timespec early = AddNs(deadline, -kSpinNs);
  if (Before(Now(), early)) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &early, nullptr) == EINTR) {
    }
  }
  while (Before(Now(), deadline)) {
  }
}

bool IsDataFault(TFaultKind k) {
  return k == TFaultKind::ShortReply || k == TFaultKind::ExtraData || k == TFaultKind::LyingCount;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

struct TVirtualDevice::TImpl {
  explicit TImpl(TSimOptions o)
      : Options(std::move(o)),
        Memory(Options.MemorySize, Options.FillByte),
        StartSound(Options.StartSound),
        EndSound(Options.EndSound) {}

  struct TActiveFault {
    TFault Fault;
    uint32_t Left;  // firings left; unused when Fault.Times is 0
  };

  struct TMatched {
    bool Any = false;
    TFaultKind Kind = TFaultKind::Silence;
    uint32_t Value = 0;
  };

  const TSimOptions Options;

  mutable std::mutex Mutex;
  mutable std::condition_variable Changed;
  std::vector<uint8_t> Memory;
  uint32_t StartSound;
  uint32_t EndSound;
  std::vector<TActiveFault> Faults;
  std::vector<std::pair<uint32_t, uint8_t>> Stuck;  // CorruptByte: address, stuck value
  std::vector<TTranscriptEntry> Entries;
  std::array<size_t, 256> PerCode{};
  size_t Requests = 0;
  uint32_t Accepted = 0;  // frames taken as requests to this device
  std::atomic<int32_t> Rate{kSlowRate};
  std::string FileText;  // device thread only
  std::ofstream File;

  TUniqueFd Master, Slave, WakeRead, WakeWrite;
  std::string SlavePath;
  std::thread Thread;

  // ---- memory, all with Mutex held ----
  uint8_t ByteAt(uint32_t a) const { return a < Memory.size() ? Memory[a] : 0xFF; }
  void ApplyStuck() {
    for (const auto& [a, v] : Stuck) {
      if (a < Memory.size()) Memory[a] = v;
    }
  }
  void Store(uint32_t a, const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (a + i < Memory.size()) Memory[a + i] = bytes[i];
    }
    ApplyStuck();
  }

  // ---- host line ----
  int32_t HostBaud() const {
    termios tio{};
    if (tcgetattr(Slave.Get(), &tio) != 0) return 0;
    return BaudOf(cfgetospeed(&tio));
  }

  bool WriteMaster(const uint8_t* bytes, size_t n) {
    while (n > 0) {
      const ssize_t w = ::write(Master.Get(), bytes, n);
      if (w > 0) {
        bytes += w;
        n -= static_cast<size_t>(w);
        continue;
      }
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && errno != EAGAIN) return false;
      // The host does not read and the pty is full: wait for room, or for the stop.
      pollfd fds[2] = {{Master.Get(), POLLOUT, 0}, {WakeRead.Get(), POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
      if (fds[1].revents) return false;
    }
    return true;
  }

  const TExtraAddress* ExtraFor(uint8_t address) const {
    for (const TExtraAddress& e : Options.ExtraAddresses)
      if (e.Address == address && address != Options.Address) return &e;
    return nullptr;
  }

  // ---- faults ----
  TMatched MatchFault(uint8_t code, bool hasAddress, uint32_t address) {
    for (auto it = Faults.begin(); it != Faults.end(); ++it) {
      const TFault& f = it->Fault;
      if (f.Kind == TFaultKind::CorruptByte) continue;
      if (f.Frame != 0 && f.Frame != Accepted) continue;
      if (f.Command != 0 && f.Command != code) continue;
      if (f.Address >= 0 && (!hasAddress || static_cast<int64_t>(address) != f.Address)) continue;
      if (f.Kind == TFaultKind::RefuseWrite && code != kCmdWrite) continue;
      if (IsDataFault(f.Kind) && code != kCmdRead) continue;
      TMatched m{true, f.Kind, f.Value};
      if (f.Times != 0 && --it->Left == 0) Faults.erase(it);
      return m;
    }
    return {};
  }

  // ---- replies ----
  void AppendData(std::vector<uint8_t>& body, uint32_t address, size_t n) const {
    body.push_back(static_cast<uint8_t>(n));
    for (size_t i = 0; i < n; ++i) body.push_back(ByteAt(static_cast<uint32_t>(address + i)));
  }

  // Builds the answer to a request addressed to this device (Mutex held). Empty: no answer.
  // *newRate is set when the answer completes a mode switch.
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& frame, int32_t* newRate) {
    const size_t length = frame[kPosLength];
    const uint8_t code = frame[kPosCommand];
    const TExtraAddress* extra = ExtraFor(frame[kPosAddress]);
    const uint8_t me = extra ? extra->Address : Options.Address;
    const bool isBlock = (code == kCmdRead && length >= kReadRequestLength) ||
                         (code == kCmdWrite && length >= kWriteRequestOverhead);
    const uint32_t address = isBlock ? Get24(&frame[kPosArg]) : 0;

    // Is the request well formed? Malformed and unknown requests get no answer.
    switch (code) {
      case kCmdPrepare:
      case kCmdRange:
        break;
      case kCmdModeSwitch:
        if (length < kModeRequestLength || frame[kPosArg] != kModeSwitchArg ||
            frame[kPosArg + 1] > kModeLeave) {
          return {};
        }
        break;
      case kCmdRead:
      case kCmdWrite:
        if (!isBlock) return {};
        break;
      default:
        return {};
    }

    const TMatched fault = MatchFault(code, isBlock, address);
    if (fault.Any && fault.Kind == TFaultKind::Silence) return {};  // the request was lost

    std::vector<uint8_t> body{me, 0};
    if (fault.Any && fault.Kind == TFaultKind::WrongCode) {
      body.insert(body.end(), {kReplyUnknown, 0, 0});
    } else if (fault.Any && fault.Kind == TFaultKind::RefuseWrite) {
      body.insert(body.end(), {kReplyRefused, 0, 0});
    } else {
      switch (code) {
        case kCmdPrepare:
          body.insert(body.end(), {kReplyPrepare, 0, 0});
          break;
        case kCmdModeSwitch: {
          const uint8_t flag = frame[kPosArg + 1];
          body.insert(body.end(), {kReplyModeSwitch, kModeSwitchArg, flag});
          *newRate = flag == kModeEnter ? kFastRate : kSlowRate;
          break;
        }
        case kCmdRange:
          body.insert(body.end(), {kReplyRange, kRangeSeparator, 0, 0, 0, 0, 0, 0});
          Put24(&body[4], extra ? extra->StartSound : StartSound);
          Put24(&body[7], extra ? extra->EndSound : EndSound);
          break;
        case kCmdRead: {
          const size_t asked = std::min<size_t>(frame[kReadRequestLength - 1], kMaxDataBytes);
          size_t n = asked;
          if (fault.Any && fault.Kind == TFaultKind::ShortReply)
            n = std::min<size_t>(fault.Value, kMaxDataBytes);
          if (fault.Any && fault.Kind == TFaultKind::ExtraData)
            n = std::min<size_t>(asked + fault.Value, kMaxDataBytes);
          if (fault.Any && fault.Kind == TFaultKind::LengthFF) n = kMaxDataBytes;
          body.push_back(kReplyData);
          AppendData(body, address, n);
          if (fault.Any && fault.Kind == TFaultKind::LyingCount) {
            body[kPosReplyCode + 1] = static_cast<uint8_t>(asked + fault.Value);
          }
          break;
        }
        case kCmdWrite: {
          const size_t n = length - kWriteRequestOverhead;
          Store(address, &frame[kWriteRequestOverhead], n);
          body.insert(body.end(), {kReplyWriteAck, static_cast<uint8_t>(n), 0});
          break;
        }
        default:
          break;
      }
    }
    if (fault.Any && fault.Kind == TFaultKind::LengthFF) body.resize(kMaxLength, 0);
    body[kPosLength] = static_cast<uint8_t>(body.size());
    body.push_back(SimCrc8(body.data(), body.size()));
    if (fault.Any && fault.Kind == TFaultKind::BadCrc) body.back() ^= 0xFF;
    if (fault.Any && fault.Kind == TFaultKind::PartialReply && fault.Value < body.size()) {
      body.resize(fault.Value);
    }
    return body;
  }

  void Record(TTranscriptEntry entry) {
    if (File.is_open()) {
      FileText += entry.FromHost ? "H> " : "D< ";
      FileText += std::to_string(entry.Baud);
      for (uint8_t b : entry.Bytes) {
        FileText += ' ';
        FileText += kHexDigits[b >> 4];
        FileText += kHexDigits[b & 0xF];
      }
      if (entry.Ignored) FileText += " ignored";
      FileText += '\n';
    }
    Entries.push_back(std::move(entry));
  }

  void FlushFile() {
    if (!File.is_open() || FileText.empty()) return;
    File.write(FileText.data(), static_cast<std::streamsize>(FileText.size()));
    File.flush();
    FileText.clear();
  }

  // One frame with a valid CRC, whose first byte arrived at t0. Returns the time at which
  // the frame would have left the wire, for the next frame's arrival.
  timespec HandleFrame(const std::vector<uint8_t>& frame, const timespec& t0) {
    const int32_t hostBaud = HostBaud();
    const int32_t deviceRate = Rate.load();
    const int32_t lineBaud = hostBaud > 0 ? hostBaud : deviceRate;
    const timespec sent = AddNs(t0, WireNs(frame.size(), lineBaud));
    if (Options.Echo && Options.EchoDelayMs > 0) {
      SleepUntil(AddNs(sent, static_cast<int64_t>(Options.EchoDelayMs * 1e6)));
      WriteMaster(frame.data(), frame.size());
    }

    std::vector<uint8_t> reply;
    int32_t newRate = 0;
    {
      std::lock_guard lock(Mutex);
      ++Requests;
      ++PerCode[frame[kPosCommand]];
      const bool forMe = Options.AnswerAll || frame[kPosAddress] == Options.Address ||
                         ExtraFor(frame[kPosAddress]) != nullptr;
      const bool rateOk = !Options.CheckRate || hostBaud == deviceRate;
      if (forMe && rateOk && frame[kPosZero] == 0) {
        ++Accepted;
        reply = Answer(frame, &newRate);
      }
      Record({true, frame, hostBaud, reply.empty()});
    }
    Changed.notify_all();
    if (reply.empty()) return sent;

    int64_t delayNs = static_cast<int64_t>(Options.TurnaroundMs * 1e6);
    if (Options.LineTiming) delayNs += WireNs(reply.size(), lineBaud);
    SleepUntil(AddNs(sent, delayNs));
    {
      // Recorded before the write, so that a host that has the reply finds it here.
      std::lock_guard lock(Mutex);
      Record({false, reply, lineBaud, false});
      if (newRate != 0) Rate.store(newRate);
    }
    Changed.notify_all();
    WriteMaster(reply.data(), reply.size());
    if (FileText.size() >= kFileFlushBytes) FlushFile();
    return sent;
  }

  // Takes every frame off the front of the buffer. final: no more bytes are coming, so a
  // frame that is not complete is garbage too.
  void Sweep(std::vector<uint8_t>& buffer, timespec& t0, const timespec& lastRead, bool final) {
    size_t pos = 0;
    while (pos < buffer.size()) {
      size_t frameLength = 0;
      const TInspect r = InspectFront(buffer.data() + pos, buffer.size() - pos, &frameLength);
      if (r == TInspect::NeedMore && !final) break;
      if (r == TInspect::Frame) {
        const std::vector<uint8_t> frame(
            buffer.begin() + static_cast<ptrdiff_t>(pos),
            buffer.begin() + static_cast<ptrdiff_t>(pos + frameLength));
        pos += frameLength;
        const timespec sent = HandleFrame(frame, t0);
        // The next frame cannot have started before this one ended, nor before it was read.
        t0 = (sent.tv_sec > lastRead.tv_sec ||
              (sent.tv_sec == lastRead.tv_sec && sent.tv_nsec > lastRead.tv_nsec))
                 ? sent
                 : lastRead;
        continue;
      }
      ++pos;  // resynchronise byte by byte
    }
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(pos));
  }

  void Run() {
#ifdef __linux__
    // Wake at the reply deadline itself, not up to the default 50 us later.
    prctl(PR_SET_TIMERSLACK, kTimerSlackNs, 0, 0, 0);
#endif
    std::vector<uint8_t> buffer;
    std::array<uint8_t, kReadChunk> chunk{};
    timespec t0{}, lastRead{};
    for (;;) {
      pollfd fds[2] = {{Master.Get(), POLLIN, 0}, {WakeRead.Get(), POLLIN, 0}};
      const int r = poll(fds, 2, buffer.empty() ? -1 : kGarbageGapMs);
      if (r < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents) break;
      if (r == 0) {
        Sweep(buffer, t0, lastRead, true);
        buffer.clear();
        continue;
      }
      if (fds[0].revents & POLLIN) {
        const timespec now = Now();
        const ssize_t n = ::read(Master.Get(), chunk.data(), chunk.size());
        if (n > 0) {
          if (buffer.empty()) t0 = now;
          lastRead = now;
          if (Options.Echo && Options.EchoDelayMs <= 0)
            WriteMaster(chunk.data(), static_cast<size_t>(n));
          buffer.insert(buffer.end(), chunk.begin(), chunk.begin() + n);
          Sweep(buffer, t0, lastRead, false);
          continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        break;  // the pty is gone
      }
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
    }
  }

  bool Open() {
    Master.Reset(posix_openpt(O_RDWR | O_NOCTTY));
    if (!Master.Valid()) return false;
    if (grantpt(Master.Get()) != 0 || unlockpt(Master.Get()) != 0) return false;
#ifdef __linux__
    char name[256];
    if (ptsname_r(Master.Get(), name, sizeof name) != 0) return false;
    SlavePath = name;
#else
    const char* name = ptsname(Master.Get());
    if (name == nullptr) return false;
    SlavePath = name;
#endif
    // Held for the device's life: the pty does not hang up when the program closes its side,
    // and the host's line settings are read here.
    Slave.Reset(::open(SlavePath.c_str(), O_RDWR | O_NOCTTY));
    if (!Slave.Valid()) return false;
    termios tio{};
    if (tcgetattr(Slave.Get(), &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(Slave.Get(), TCSANOW, &tio) != 0) return false;
    const int flags = fcntl(Master.Get(), F_GETFL);
    if (flags < 0 || fcntl(Master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) return false;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    WakeRead.Reset(pipeFds[0]);
    WakeWrite.Reset(pipeFds[1]);
    fcntl(WakeRead.Get(), F_SETFD, FD_CLOEXEC);
    fcntl(WakeWrite.Get(), F_SETFD, FD_CLOEXEC);
    fcntl(Master.Get(), F_SETFD, FD_CLOEXEC);
    fcntl(Slave.Get(), F_SETFD, FD_CLOEXEC);
    if (!Options.TranscriptPath.empty()) {
      File.open(Options.TranscriptPath, std::ios::binary | std::ios::trunc);
      if (!File.is_open()) return false;
    }
    return true;
  }

  void Stop() {
    if (Thread.joinable()) {
      const char stop = 1;
      while (::write(WakeWrite.Get(), &stop, 1) < 0 && errno == EINTR) {
      }
      Thread.join();
    }
    FlushFile();
  }
};

TVirtualDevice::TVirtualDevice(TSimOptions options)
    : impl_(std::make_unique<TImpl>(std::move(options))) {}

TVirtualDevice::~TVirtualDevice() { impl_->Stop(); }

bool TVirtualDevice::Start() {
  if (impl_->Thread.joinable()) return true;
  if (!impl_->Open()) {
    impl_->Master.Reset();
    impl_->Slave.Reset();
    return false;
  }
  impl_->Thread = std::thread([this] { impl_->Run(); });
  return true;
}

const std::string& TVirtualDevice::Path() const { return impl_->SlavePath; }

void TVirtualDevice::AddFault(const TFault& fault) {
  std::lock_guard lock(impl_->Mutex);
  if (fault.Kind == TFaultKind::CorruptByte) {
    if (fault.Address >= 0) {
      impl_->Stuck.emplace_back(static_cast<uint32_t>(fault.Address),
                                static_cast<uint8_t>(fault.Value));
      impl_->ApplyStuck();
    }
    return;
  }
  impl_->Faults.push_back({fault, fault.Times});
}

void TVirtualDevice::ClearFaults() {
  std::lock_guard lock(impl_->Mutex);
  impl_->Faults.clear();
  impl_->Stuck.clear();
}

std::vector<uint8_t> TVirtualDevice::Memory() const {
  std::lock_guard lock(impl_->Mutex);
  return impl_->Memory;
}

void TVirtualDevice::SetMemory(uint32_t address, const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(impl_->Mutex);
  impl_->Store(address, bytes.data(), bytes.size());
}

uint8_t TVirtualDevice::Peek(uint32_t address) const {
  std::lock_guard lock(impl_->Mutex);
  return impl_->ByteAt(address);
}

void TVirtualDevice::SetRange(uint32_t start, uint32_t end) {
  std::lock_guard lock(impl_->Mutex);
  impl_->StartSound = start;
  impl_->EndSound = end;
}

void TVirtualDevice::GenerateRealisticContent(uint32_t seed) {
  std::lock_guard lock(impl_->Mutex);
  content::Generate(impl_->Memory, impl_->StartSound, impl_->EndSound, seed);
  impl_->ApplyStuck();
}

bool TVirtualDevice::LoadMemory(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  std::lock_guard lock(impl_->Mutex);
  const size_t n = std::min(bytes.size(), impl_->Memory.size());
  std::copy_n(bytes.begin(), n, impl_->Memory.begin());
  impl_->ApplyStuck();
  return true;
}

bool TVirtualDevice::DumpMemory(const std::string& path) const {
  const std::vector<uint8_t> bytes = Memory();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

std::vector<TTranscriptEntry> TVirtualDevice::Transcript() const {
  std::lock_guard lock(impl_->Mutex);
  return impl_->Entries;
}

void TVirtualDevice::ClearTranscript() {
  std::lock_guard lock(impl_->Mutex);
  impl_->Entries.clear();
  impl_->PerCode.fill(0);
  impl_->Requests = 0;
}

size_t TVirtualDevice::RequestCount(uint8_t command) const {
  std::lock_guard lock(impl_->Mutex);
  return command == 0 ? impl_->Requests : impl_->PerCode[command];
}

bool TVirtualDevice::WaitForRequests(size_t count, int timeoutMs) const {
  std::unique_lock lock(impl_->Mutex);
  return impl_->Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return impl_->Requests >= count; });
}

int32_t TVirtualDevice::CurrentRate() const { return impl_->Rate.load(); }

size_t TVirtualDevice::HostInputPending() const {
  int n = 0;
  if (!impl_->Slave.Valid() || ioctl(impl_->Slave.Get(), FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<size_t>(n);
}

bool TVirtualDevice::HangUp() {
#ifdef TIOCVHANGUP
  return impl_->Slave.Valid() && ioctl(impl_->Slave.Get(), TIOCVHANGUP) == 0;
#else
  return false;
#endif
}

}  // namespace rv7ksim
