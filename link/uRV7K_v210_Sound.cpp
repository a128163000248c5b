#include "uRV7K_v210_Sound.h"

#include <algorithm>

#include "uCommandSet.h"
#include "uConst_Orbis.h"

namespace dikton {
namespace {

constexpr size_t kReplyHead = 6;       // bytes of the first read of a reply
constexpr size_t kMinReplyLength = 5;  // smallest L of an acceptable reply

// CRC-8/MAXIM (reflected 0x8C), except entry 0xF9: the device uses 0xFC there.
constexpr std::array<uint8_t, 256> kCrcTable = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t c = uint8_t(i);
    for (int b = 0; b < 8; ++b) c = (c & 1) ? uint8_t((c >> 1) ^ 0x8C) : uint8_t(c >> 1);
    t[i] = c;
  }
  t[0xF9] = 0xFC;
  return t;
}();
static_assert(kCrcTable[0x01] == 0x5E && kCrcTable[0x80] == 0x8C && kCrcTable[0xFF] == 0x35);

}  // namespace

bool TFrame::Resize(size_t n) {
  if (n > kCapacity) return false;
  if (n > len_) std::fill(bytes_.begin() + len_, bytes_.begin() + n, 0);
  len_ = n;
  return true;
}

bool TFrame::Append(uint8_t b) {
  if (len_ >= kCapacity) return false;
  bytes_[len_++] = b;
  return true;
}

TFrame TFrame::FromBytes(const std::vector<uint8_t>& b) {
  TFrame f;
  for (uint8_t x : b)
    if (!f.Append(x)) break;
  return f;
}

double TransmitSeconds(size_t n, int32_t baud) {
  if (baud <= 0) return 0;
  return (double(n) + 0.5) * 10.0 / double(baud);
}

TRV7KSoundThread::TRV7KSoundThread(TData* image, const TLinkContext& ctx)
    : TRV7KSoundThread(image, ctx, TKeepImage{}) {
  if (ImageRef) ImageRef->clear();
}

TRV7KSoundThread::TRV7KSoundThread(TData* image, const TLinkContext& ctx, TKeepImage)
    : ImageRef(image),
      clock_(ctx.Clock ? ctx.Clock : &SystemClock()),
      transmitWait_(*clock_),
      ports_(ctx.Ports ? ctx.Ports : &defaultPorts_),
      lineFactory_(ctx.LineFactory ? ctx.LineFactory : std::function(&CreateSerialLine)) {
  clock_->BeginTimerPeriod();
  CounterFrequency = std::max<int64_t>(clock_->Frequency(), 0);
}

TRV7KSoundThread::~TRV7KSoundThread() {
  // The job is stopped, woken, released and joined before the port closes: closing the line
  // under a job that is inside an exchange would pull it away mid-read. The job returns after
  // the exchange in hand.
  Shutdown();
  ClosePort();
  clock_->EndTimerPeriod();
  Mismatches.clear();
}

bool TRV7KSoundThread::OpenPort(uint8_t port) {
  ClosePort();
  // Only COM1 to COM16 exist for the program; another number must not open whatever device a
  // map or the system happens to have under that name.
  if (port < kMinPort || port > kMaxPort) return false;
  line_ = lineFactory_();
  if (!line_ || !line_->Open(ports_->DeviceFor(port))) {
    line_.reset();
    return false;
  }
  line_->SetupComm(kQueueSize, kQueueSize);
  TCommTimeouts t;
  t.ReadTotalTimeoutConstant = kReadTimeoutMs;
  line_->SetTimeouts(t);
  return true;
}

void TRV7KSoundThread::ClosePort() {
  if (line_) {
    line_->Close();
    line_.reset();
  }
}

void TRV7KSoundThread::SetBaudRate(int32_t rate) {
  if (!PortOpen()) return;
  TLineSettings s;
  s.BaudRate = rate;
  line_->SetState(s);
  BaudRate = rate;
}

uint8_t TRV7KSoundThread::Crc8(const TFrame& frame) {
  // The count comes from L, never more than the frame holds.
  const size_t n = std::min<size_t>(frame.At(2), frame.Length());
  uint8_t crc = 0;
  for (size_t i = 1; i <= n; ++i) crc = kCrcTable[crc ^ frame.At(i)];
  return crc;
}

bool TRV7KSoundThread::Exchange(const TFrame& request, TFrame& reply, size_t capacity) {
  reply.Clear();
  if (!PortOpen()) return false;
  // The frame with its CRC must fit in the buffer.
  if (request.Length() + 1 > TFrame::kCapacity) return false;
  TFrame frame = request;
  frame.Append(Crc8(request));
  for (uint8_t attempt = 1; attempt <= Retries; ++attempt) {
    if (attempt > 1) ++retryCount_;
    if (Attempt(frame, reply, capacity)) return true;
  }
  return false;
}

bool TRV7KSoundThread::Attempt(const TFrame& frame, TFrame& reply, size_t capacity) {
  TSerialLine& line = *line_;
  line.Escape(TEscape::ClrDtr);
  line.Escape(TEscape::SetRts);
  line.Purge(PurgeTxClear);
  line.Purge(PurgeTxAbort);
  line.Purge(PurgeRxClear);
  line.Purge(PurgeRxAbort);
  // Without a counter the transmit time cannot be kept: the attempt fails.
  if (CounterFrequency <= 0) {
    line.Escape(TEscape::ClrRts);
    line.Escape(TEscape::SetDtr);
    return false;
  }
  const int64_t t0 = clock_->Counter();
  const size_t n = frame.Length();
  size_t written = 0;
  line.Write(frame.Data(), n, written);
  // The line turns round half a byte after the frame's last bit: the thread sleeps through
  // most of the frame and spins to that moment, far finer than a sleep alone could keep it.
  const long double perByteUs = (1000000.0L / BaudRate) * 10.0L;
  const long double threshold = (n + 0.5L) * perByteUs * CounterFrequency / 1000000.0L;
  transmitWait_.Until(t0, threshold);
  // No purge here: what has arrived since the frame went out is the line's echo of it, or,
  // when this thread was turned round late, the device's reply already. ReadReply drops the
  // echo and keeps the reply.
  line.Escape(TEscape::ClrRts);
  line.Escape(TEscape::SetDtr);
  if (written != n) return false;
  return ReadReply(frame, reply, std::min(capacity, TFrame::kCapacity));
}

bool TRV7KSoundThread::ReadReply(const TFrame& sent, TFrame& reply, size_t cap) {
  TSerialLine& line = *line_;
  const int64_t readStart = clock_->Counter();
  reply.Resize(kReplyHead);
  size_t r = 0;
  line.Read(reply.Data(), kReplyHead, r);

  // Every request is longer than a reply's head, so six bytes equal to the frame's first six
  // may be its echo: the rest decides. A reply is never the request itself (its code differs).
  const size_t n = sent.Length();
  bool timeoutsShortened = false;
  if (r == kReplyHead && n > kReplyHead && n <= cap &&
      std::equal(sent.Data(), sent.Data() + kReplyHead, reply.Data())) {
    reply.Resize(n);
    size_t more = 0;
    line.Read(reply.Data() + kReplyHead, n - kReplyHead, more);
    if (more == n - kReplyHead && std::equal(sent.Data(), sent.Data() + n, reply.Data())) {
      // The echo: the reply follows it, within what is left of this attempt's read time.
      const int64_t elapsedMs = (clock_->Counter() - readStart) * 1000 / CounterFrequency;
      if (elapsedMs >= int64_t(kReadTimeoutMs)) return false;
      TCommTimeouts t;
      t.ReadTotalTimeoutConstant = uint32_t(int64_t(kReadTimeoutMs) - elapsedMs);
      line.SetTimeouts(t);
      timeoutsShortened = true;
      reply.Resize(kReplyHead);
      line.Read(reply.Data(), kReplyHead, r);
    } else {
      // Not the echo but a frame that starts like it: L is the request's, so it is complete.
      r = kReplyHead + more;
    }
  }
  if (r == kReplyHead && reply.At(2) > kMinReplyLength) {
    const size_t total = size_t(reply.At(2)) + 1;
    // L = 255 needs 256 bytes: it cannot be held, so the attempt fails.
    if (total > cap) {
      r = 0;
    } else if (reply.Length() < total) {
      const size_t have = reply.Length();
      reply.Resize(total);
      size_t more = 0;
      line.Read(reply.Data() + have, total - have, more);
      r = have + more;
    }
  }
  if (timeoutsShortened) {
    TCommTimeouts t;
    t.ReadTotalTimeoutConstant = kReadTimeoutMs;
    line.SetTimeouts(t);
  }
  return r > kMinReplyLength && r == size_t(reply.At(2)) + 1 && reply.At(r) == Crc8(reply);
}

int32_t TRV7KSoundThread::CompareBlock(const uint8_t* a, const uint8_t* b, uint8_t count) const {
  for (int32_t i = 0; i < count; ++i)
    if (a[i] != b[i]) return i;
  return -1;
}

void TRV7KSoundThread::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
  HoldPoint();  // a held worker posts nothing
  if (message == UM_DONE) jobCompleted_ = true;
  if (NotifyWindow) NotifyWindow->Post(message, wParam, lParam);
}

bool TRV7KSoundThread::NextStep() {
  HoldPoint();
  return !Terminated();
}

TRV7KSoundThread::TBlockResult TRV7KSoundThread::SendBlock(
    const TFrame& request, TFrame& reply, const std::function<bool(const TFrame&)>& usable) {
  for (int unusable = 0; unusable < kMaxUnusableAnswers; ++unusable) {
    if (!NextStep()) return TBlockResult::Stopped;
    if (!Exchange(request, reply)) return TBlockResult::Failed;
    if (usable(reply)) return TBlockResult::Accepted;
  }
  return TBlockResult::Failed;
}

void TRV7KSoundThread::LinkFailed() {
  Post(UM_ERROR, 0, 0);
  Terminate();
}

}  // namespace dikton

namespace dikton {

void TRV7KSoundThread::Execute() {
  TFrame reply;
  if (!NextStep()) return;
  // Without the device's range there is nothing sensible to read: a failed or unsupported
  // query ends the job as a link failure.
  const bool gotReply = Exchange(BuildRangeQuery(DeviceAddress), reply);
  const auto range = gotReply ? DecodeRangeReply(reply) : std::nullopt;
  if (!range) return LinkFailed();
  StartSoundAddr = int32_t(range->Start);
  EndSoundAddr = int32_t(range->End);
  const uint32_t end = range->End + 1;  // exclusive
  ImageRef->resize(end, 0);

  BytesDone = 0;
  TFrame request = BuildReadBlock(DeviceAddress, 0, kBlockSize);
  uint32_t pos = 0;
  for (;;) {
    SetBlockAddress(request, pos);
    const uint8_t count = uint8_t(std::min<uint32_t>(kBlockSize, end - pos));
    request.Set(8, count);
    // A reply of another code, or one carrying no data, moves nothing: the block is asked for
    // again. Progress is told after every answer, taken or not.
    const auto result = SendBlock(request, reply, [&](const TFrame& r) {
      const auto data = DecodeDataReply(r, count);
      const bool accepted = data && !data->empty();
      if (accepted) {
        std::copy(data->begin(), data->end(), ImageRef->begin() + pos);
        pos += uint32_t(data->size());
        BytesDone = int32_t(pos);
      }
      if ((pos & (kProgressStep - 1)) == 0) Post(UM_PROGRESS, pos, uint32_t(EndSoundAddr));
      return accepted;
    });
    if (result == TBlockResult::Stopped) return;
    if (result == TBlockResult::Failed) return LinkFailed();
    if (pos >= end) {
      if (!NextStep()) return;
      Post(UM_DONE, 0, 0);
      Terminate();
      return;
    }
  }
}

}  // namespace dikton
