// The host side of the virtual device's pseudo-terminal, as a test drives it: raw 8N1, its
// own line rate, requests framed with the device's CRC, replies read with a generous time-out.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rv7k_sim.h"

namespace rv7ksim::test {

inline constexpr int kReplyTimeoutMs = 5000;  // ms; only a broken device takes this long

// body: positions 1..L with position 2 filled in here; returns the frame with its CRC.
inline std::vector<uint8_t> Frame(std::vector<uint8_t> body) {
  body[1] = static_cast<uint8_t>(body.size());
  body.push_back(SimCrc8(body.data(), body.size()));
  return body;
}

class THost {
 public:
  explicit THost(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    SetRate(B9600);
  }
  ~THost() {
    if (fd_ >= 0) ::close(fd_);
  }
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;

  bool Valid() const { return fd_ >= 0; }

  void SetRate(speed_t speed) {
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tcsetattr(fd_, TCSANOW, &tio);
  }

  void WriteRaw(const std::vector<uint8_t>& bytes) {
    (void)!::write(fd_, bytes.data(), bytes.size());
  }
  void Send(const std::vector<uint8_t>& body) { WriteRaw(Frame(body)); }

  // Reads until n bytes have come or the time-out has passed.
  std::vector<uint8_t> Read(size_t n, int timeoutMs = kReplyTimeoutMs) {
    std::vector<uint8_t> out;
    uint8_t chunk[512];
    while (out.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) break;
      const ssize_t r = ::read(fd_, chunk, std::min(sizeof chunk, n - out.size()));
      if (r <= 0) break;
      out.insert(out.end(), chunk, chunk + r);
    }
    return out;
  }

  // One reply frame as its L announces it.
  std::vector<uint8_t> ReadFrame() {
    std::vector<uint8_t> out = Read(2);
    if (out.size() == 2 && out[1] >= 2) {
      const std::vector<uint8_t> rest = Read(size_t{out[1]} + 1 - 2);
      out.insert(out.end(), rest.begin(), rest.end());
    }
    return out;
  }

  std::vector<uint8_t> Exchange(const std::vector<uint8_t>& body) {
    Send(body);
    return ReadFrame();
  }

 private:
  int fd_;
};

}  // namespace rv7ksim::test
