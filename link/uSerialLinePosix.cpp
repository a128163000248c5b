// The serial line on POSIX: termios in raw 8N1, an exclusive open (TIOCEXCL for other users,
// flock for everyone, root included), modem lines by TIOCMBIS/TIOCMBIC, purges by tcflush,
// and a read whose total time-out is kept with poll() against a monotonic deadline.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "uSerialLine.h"

namespace dikton {
namespace {

speed_t SpeedFor(int32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return B0;
  }
}

class TPosixSerialLine final : public TSerialLine {
 public:
  ~TPosixSerialLine() override { Close(); }

  bool Open(const std::string& device) override {
    Close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // Another opener is refused: flock covers root too, TIOCEXCL the others.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
      ::close(fd);
      return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
      ::close(fd);
      return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    fd_ = fd;
#ifdef __linux__
    // USB adapters otherwise hold small replies back for up to 16 ms.
    serial_struct ss{};
    if (::ioctl(fd_, TIOCGSERIAL, &ss) == 0) {
      ss.flags |= ASYNC_LOW_LATENCY;
      ::ioctl(fd_, TIOCSSERIAL, &ss);
    }
#endif
    return true;
  }

  void Close() override {
    if (fd_ >= 0) {
      // The exclusive mode belongs to the terminal, not to this descriptor: it would outlive
      // the close wherever another holds the device open (a pseudo-terminal's own device
      // side), and refuse every later open but root's.
      ::ioctl(fd_, TIOCNXCL);
      ::close(fd_);  // releases the flock
      fd_ = -1;
    }
  }

  bool IsOpen() const override { return fd_ >= 0; }

  bool SetupComm(uint32_t, uint32_t) override { return IsOpen(); }  // the driver sizes its queues

  bool SetTimeouts(const TCommTimeouts& t) override {
    readTotalMs_ = t.ReadTotalTimeoutConstant;
    return IsOpen();
  }

  bool SetState(const TLineSettings& s) override {
    if (!IsOpen()) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return false;
    const speed_t sp = SpeedFor(s.BaudRate);
    if (sp == B0) return false;
    ::cfsetispeed(&tio, sp);
    ::cfsetospeed(&tio, sp);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
    byteNs_ = kBitsPerByte * 1000000000LL / s.BaudRate;
#ifdef __linux__
    // RTS raised by the driver while it sends, where it can; otherwise the link's own
    // switching of RTS does the job. Failure is of no consequence.
    if (s.RtsToggle) {
      serial_rs485 rs{};
      rs.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
      ::ioctl(fd_, TIOCSRS485, &rs);
    }
#endif
    return true;
  }

  bool Escape(TEscape fn) override {
    if (!IsOpen()) return false;
    int bits = (fn == TEscape::SetRts || fn == TEscape::ClrRts) ? TIOCM_RTS : TIOCM_DTR;
    const bool set = fn == TEscape::SetRts || fn == TEscape::SetDtr;
    // Pseudo-terminals have no modem lines; the call then fails harmlessly.
    return ::ioctl(fd_, set ? TIOCMBIS : TIOCMBIC, &bits) == 0;
  }

  bool Purge(uint32_t flags) override {
    if (!IsOpen()) return false;
    const bool tx = flags & (PurgeTxClear | PurgeTxAbort);
    const bool rx = flags & (PurgeRxClear | PurgeRxAbort);
    if (tx && rx) return ::tcflush(fd_, TCIOFLUSH) == 0;
    if (tx) return ::tcflush(fd_, TCOFLUSH) == 0;
    if (rx) return ::tcflush(fd_, TCIFLUSH) == 0;
    return true;
  }

  bool Write(const uint8_t* data, size_t n, size_t& done) override {
    done = 0;
    if (!IsOpen()) return false;
    while (done < n) {
      const ssize_t w = ::write(fd_, data + done, n - done);
      if (w > 0) {
        done += size_t(w);
        continue;
      }
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, kWriteStallMs) <= 0) return false;
        continue;
      }
      return false;
    }
    return true;
  }

  bool Read(uint8_t* data, size_t n, size_t& done) override {
    done = 0;
    if (!IsOpen()) return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(readTotalMs_);
    while (done < n) {
      const ssize_t r = ::read(fd_, data + done, n - done);
      if (r > 0) {
        done += size_t(r);
        // A reply comes at the line's pace: rather than wake for every byte, sleep until the
        // rest can have come, within the time-out. A device that pauses is met by poll().
        if (done < n && byteNs_ > 0) {
          const auto rest = std::chrono::nanoseconds(byteNs_ * int64_t(n - done));
          std::this_thread::sleep_until(std::min(Clock::now() + rest, deadline));
        }
        continue;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno != EAGAIN) return false;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      const int pr = ::poll(&p, 1, int(left) + 1);
      if (pr < 0 && errno == EINTR) continue;
      if (pr <= 0) break;
      // A line that has hung up (a USB adapter pulled out) reports itself readable for ever
      // while every read gives nothing: take what is left and end the read at once.
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        const ssize_t last = ::read(fd_, data + done, n - done);
        if (last > 0) done += size_t(last);
        return false;
      }
    }
    return true;
  }

 private:
  static constexpr int kWriteStallMs = 1000;   // a write that cannot go on this long fails, ms
  static constexpr int64_t kBitsPerByte = 10;  // start, 8 data, stop
  int fd_ = -1;
  uint32_t readTotalMs_ = 0;
  int64_t byteNs_ = 0;  // one byte on the wire at the line's rate, ns; 0 until it is set
};

}  // namespace

std::unique_ptr<TSerialLine> CreateSerialLine() { return std::make_unique<TPosixSerialLine>(); }

}  // namespace dikton
