// An in-process device behind the serial boundary, for runs over a full 1 MiB that would take
// minutes on a pseudo-terminal. It answers at once, with the virtual device's CRC, and logs
// every request.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "rv7k_sim.h"
#include "uSerialLine.h"

namespace dikton::test {

struct TFakeDevice {
  std::vector<uint8_t> Memory = std::vector<uint8_t>(0x100000, 0xFF);
  uint32_t Start = 0x3000, End = 0xFFFFF;
  std::vector<std::vector<uint8_t>> Requests;
  std::deque<uint8_t> Pending;
  // Called on the worker's thread with every request before it is answered.
  std::function<void(const std::vector<uint8_t>&)> OnRequest;

  void Answer(const std::vector<uint8_t>& f) {
    Requests.push_back(f);
    if (OnRequest) OnRequest(f);
    if (f.size() < 5 || f[1] + 1u != f.size()) return;
    std::vector<uint8_t> r{f[0], 0};
    const uint32_t addr = f.size() >= 8 ? f[4] | (f[5] << 8) | (uint32_t(f[6]) << 16) : 0;
    switch (f[3]) {
      case 0x0D: r.insert(r.end(), {0x0E, 0, 0}); break;
      case 0x33: r.insert(r.end(), {0x34, 0xA0, 0}); break;
      case 0x3F:
        r.insert(r.end(), {0x3E, 0x2C, uint8_t(Start), uint8_t(Start >> 8), uint8_t(Start >> 16),
                           uint8_t(End), uint8_t(End >> 8), uint8_t(End >> 16)});
        break;
      case 0x43: {
        r.insert(r.end(), {0x44, f[7]});
        for (uint32_t i = 0; i < f[7]; ++i)
          r.push_back(addr + i < Memory.size() ? Memory[addr + i] : 0xFF);
        break;
      }
      case 0x41:
        for (size_t i = 7; i + 1 < f.size(); ++i)
          if (addr + i - 7 < Memory.size()) Memory[addr + i - 7] = f[i];
        r.insert(r.end(), {0x42, 0, 0});
        break;
      default: return;
    }
    r[1] = uint8_t(r.size());
    r.push_back(rv7ksim::SimCrc8(r.data(), r.size()));
    Pending.insert(Pending.end(), r.begin(), r.end());
  }
};

class TFakeDeviceLine : public TSerialLine {
 public:
  explicit TFakeDeviceLine(std::shared_ptr<TFakeDevice> d) : d_(std::move(d)) {}
  bool Open(const std::string&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool SetupComm(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const TCommTimeouts&) override { return true; }
  bool SetState(const TLineSettings&) override { return true; }
  bool Escape(TEscape) override { return true; }
  // The answer is computed when the request is written; the purges that follow belong to the
  // transmit phase and must not drop it.
  bool Purge(uint32_t) override { return true; }
  bool Write(const uint8_t* data, size_t n, size_t& done) override {
    d_->Answer({data, data + n});
    done = n;
    return true;
  }
  bool Read(uint8_t* data, size_t n, size_t& done) override {
    done = 0;
    while (done < n && !d_->Pending.empty()) {
      data[done++] = d_->Pending.front();
      d_->Pending.pop_front();
    }
    return true;
  }

 private:
  std::shared_ptr<TFakeDevice> d_;
  bool open_ = false;
};

}  // namespace dikton::test
