// A trace of the wire: a decorator of the serial line that forwards every call to the line it
// wraps and logs one line per frame, "TIME DIR RATE HEX...", where TIME is seconds since the
// log began, DIR is ">" for bytes sent and "<" for bytes received, and RATE is the line rate in
// baud at that moment. Bytes received are cut into frames by their length byte (position 2);
// bytes that make no whole frame are logged as they are when the next request goes out, a
// purge drops the input, or the line closes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "uClock.h"
#include "uSerialLine.h"

namespace dikton {

// Where the lines go: shared by every line a run opens (each command opens the port anew).
class TTraceLog {
 public:
  explicit TTraceLog(std::ostream& out, const TClock& clock = SystemClock());
  // One complete line; safe from any thread.
  void Frame(char direction, int32_t baud, const uint8_t* bytes, size_t n);
  void Note(const std::string& text);  // "# text"
  bool Good() const;

 private:
  std::string Stamp() const;

  mutable std::mutex mutex_;
  std::ostream& out_;
  const TClock& clock_;
  int64_t origin_;
};

class TTraceLine final : public TSerialLine {
 public:
  TTraceLine(std::unique_ptr<TSerialLine> inner, TTraceLog& log);
  ~TTraceLine() override;

  bool Open(const std::string& device) override;
  void Close() override;
  bool IsOpen() const override { return inner_->IsOpen(); }
  bool SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  bool SetTimeouts(const TCommTimeouts& t) override;
  bool SetState(const TLineSettings& s) override;
  bool Escape(TEscape fn) override;
  bool Purge(uint32_t flags) override;
  bool Write(const uint8_t* data, size_t n, size_t& done) override;
  bool Read(uint8_t* data, size_t n, size_t& done) override;

 private:
  // Logs the whole frames at the front of the input; 'all' logs what is left over too.
  void FlushInput(bool all);

  std::unique_ptr<TSerialLine> inner_;
  TTraceLog& log_;
  int32_t baud_ = 0;
  std::vector<uint8_t> input_;
};

}  // namespace dikton
