// A serial line double: records what is written and hands out scripted replies, one chunk per
// Read call. A missing chunk reads as nothing (a time-out).
#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "uSerialLine.h"

namespace dikton::test {

struct TFakeLineScript {
  bool OpenOk = true;
  std::deque<std::vector<uint8_t>> Reads;  // what each Read returns, at most what it asks for
  std::vector<std::vector<uint8_t>> Writes;
  int Opens = 0;
};

class TFakeLine : public TSerialLine {
 public:
  explicit TFakeLine(std::shared_ptr<TFakeLineScript> s) : s_(std::move(s)) {}
  bool Open(const std::string&) override {
    ++s_->Opens;
    open_ = s_->OpenOk;
    return open_;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool SetupComm(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const TCommTimeouts&) override { return true; }
  bool SetState(const TLineSettings&) override { return true; }
  bool Escape(TEscape) override { return true; }
  bool Purge(uint32_t) override { return true; }
  bool Write(const uint8_t* d, size_t n, size_t& done) override {
    s_->Writes.emplace_back(d, d + n);
    done = n;
    return true;
  }
  bool Read(uint8_t* d, size_t n, size_t& done) override {
    done = 0;
    if (s_->Reads.empty()) return true;
    auto chunk = s_->Reads.front();
    s_->Reads.pop_front();
    done = std::min(n, chunk.size());
    std::copy_n(chunk.begin(), done, d);
    return true;
  }

 private:
  std::shared_ptr<TFakeLineScript> s_;
  bool open_ = false;
};

}  // namespace dikton::test
