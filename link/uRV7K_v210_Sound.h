// TRV7KSoundThread: owner of the COM port and worker thread in one. It frames a request with
// its CRC-8, sends it on the half-duplex line, turns the line round after the computed transmit
// time, reads and checks one reply, and retries. Its own job reads the whole memory.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "TData.h"
#include "uClock.h"
#include "uNotifyTarget.h"
#include "uPortNames.h"
#include "uSerialLine.h"
#include "uThread.h"
#include "uTransmitWait.h"

namespace dikton {

// A length-prefixed byte string of capacity 255, as requests and replies are kept. Positions
// count from 1: At(1) is the device address, At(2) is L.
class TFrame {
 public:
  static constexpr size_t kCapacity = 255;
  size_t Length() const { return len_; }
  void Clear() { len_ = 0; }
  // False when the frame would grow past its capacity; nothing is changed then.
  bool Resize(size_t n);
  bool Append(uint8_t b);
  uint8_t At(size_t pos) const { return pos >= 1 && pos <= len_ ? bytes_[pos - 1] : 0; }
  void Set(size_t pos, uint8_t b) {
    if (pos >= 1 && pos <= len_) bytes_[pos - 1] = b;
  }
  const uint8_t* Data() const { return bytes_.data(); }
  uint8_t* Data() { return bytes_.data(); }
  std::vector<uint8_t> Bytes() const { return {bytes_.begin(), bytes_.begin() + len_}; }
  static TFrame FromBytes(const std::vector<uint8_t>& b);

 private:
  std::array<uint8_t, kCapacity> bytes_{};
  size_t len_ = 0;
};

// What a worker needs from its surroundings besides the image; the defaults are the machine's.
struct TLinkContext {
  const TPortMap* Ports = nullptr;  // nullptr: the default map of the platform
  const TClock* Clock = nullptr;    // nullptr: SystemClock()
  // Makes the serial line; nullptr: the platform backend (tests may put a double here).
  std::function<std::unique_ptr<TSerialLine>()> LineFactory;
};

// Transmit time of n bytes at the given rate, in seconds: ten bit times per byte plus half a
// byte of margin.
double TransmitSeconds(size_t n, int32_t baud);

class TRV7KSoundThread : public TThread {
 public:
  // Empties the image (the read-all and range-query commands rely on it).
  explicit TRV7KSoundThread(TData* image, const TLinkContext& ctx = {});
  ~TRV7KSoundThread() override;

  bool OpenPort(uint8_t port);
  void ClosePort();
  bool PortOpen() const { return line_ && line_->IsOpen(); }
  void SetBaudRate(int32_t rate);
  void SetNotifyWindow(TNotifyTarget* target) { NotifyWindow = target; }
  void SetDeviceAddress(uint8_t address) { DeviceAddress = address; }

  static uint8_t Crc8(const TFrame& frame);
  // One request and its reply, with up to Retries attempts. True when a valid reply is in
  // 'reply'. 'capacity' is that of the reply buffer, always 255.
  bool Exchange(const TFrame& request, TFrame& reply, size_t capacity = TFrame::kCapacity);
  virtual int32_t CompareBlock(const uint8_t* a, const uint8_t* b, uint8_t count) const;

  // Attempts made by the exchanges so far beyond the first of each; the benchmark reports it.
  uint64_t RetryCount() const { return retryCount_; }
  // What the transmit waits of this link have cost so far; the benchmark reports it.
  const TTransmitWait::TStats& TransmitWaitStats() const { return transmitWait_.Stats(); }
  // Whether the job ran to its end and posted UM_DONE; a stopped or failed job did not.
  bool JobCompleted() const { return jobCompleted_; }

  // Fields, as the owner and the jobs use them.
  TData* ImageRef = nullptr;
  TNotifyTarget* NotifyWindow = nullptr;
  int64_t CounterFrequency = 0;
  int32_t BaudRate = kDefaultBaud;
  uint8_t Retries = 3;
  uint8_t DeviceAddress = 0;
  int32_t StartSoundAddr = 0;
  int32_t EndSoundAddr = 0;
  int32_t DirectoryAddr = 0;
  int32_t DirectoryCount = 0;
  int32_t BytesDone = 0;
  int32_t BytesTotal = 0;
  std::vector<MismatchRecord> Mismatches;

 protected:
  // Derived workers: the same defaults, but the image is left as it is.
  struct TKeepImage {};
  TRV7KSoundThread(TData* image, const TLinkContext& ctx, TKeepImage);

  // The read-all job.
  void Execute() override;
  void BeforeExecute() override { clock_->EnterTimingCritical(); }

  void Post(uint32_t message, uint32_t wParam, uint32_t lParam);
  // Before every request of a job: waits out a hold, then tells whether the job may go on. A
  // stop confirmed while the job was held therefore sends nothing more.
  bool NextStep();
  enum class TBlockResult { Accepted, Stopped, Failed };
  // Sends one block request until 'usable' accepts the answer. Failed: the link failed, or
  // kMaxUnusableAnswers answers in a row were not usable (a write-protected or faulty device
  // would otherwise be asked for ever); the caller reports it as a link failure.
  TBlockResult SendBlock(const TFrame& request, TFrame& reply,
                         const std::function<bool(const TFrame&)>& usable);
  // UM_ERROR (0, 0) and the stop: how a job ends on a link failure.
  void LinkFailed();
  const TClock& Clock() const { return *clock_; }

 private:
  static constexpr int32_t kDefaultBaud = 9600;
  bool Attempt(const TFrame& frame, TFrame& reply, size_t capacity);
  // Reads one reply after the frame 'sent' has gone out, dropping the line's echo of it.
  bool ReadReply(const TFrame& sent, TFrame& reply, size_t cap);

  const TClock* clock_;
  TTransmitWait transmitWait_;
  TPortMap defaultPorts_;
  const TPortMap* ports_;
  std::function<std::unique_ptr<TSerialLine>()> lineFactory_;
  std::unique_ptr<TSerialLine> line_;
  uint64_t retryCount_ = 0;
  bool jobCompleted_ = false;
};

}  // namespace dikton
