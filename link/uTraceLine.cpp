#include "uTraceLine.h"

#include <cstdio>

namespace dikton {
namespace {

constexpr size_t kPosLength = 1;  // index of L, the bytes before the CRC
constexpr size_t kCrcBytes = 1;   // after the L bytes
constexpr char kSent = '>';
constexpr char kReceived = '<';
constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

TTraceLog::TTraceLog(std::ostream& out, const TClock& clock)
    : out_(out), clock_(clock), origin_(clock.Counter()) {}

std::string TTraceLog::Stamp() const {
  const int64_t f = clock_.Frequency();
  const double seconds = f > 0 ? double(clock_.Counter() - origin_) / double(f) : 0.0;
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", seconds);
  return text;
}

void TTraceLog::Frame(char direction, int32_t baud, const uint8_t* bytes, size_t n) {
  std::string line = Stamp();
  line += ' ';
  line += direction;
  line += ' ';
  line += std::to_string(baud);
  for (size_t i = 0; i < n; ++i) {
    line += ' ';
    line += kHexDigits[bytes[i] >> 4];
    line += kHexDigits[bytes[i] & 0xF];
  }
  line += '\n';
  std::lock_guard lock(mutex_);
  out_ << line;
  out_.flush();
}

void TTraceLog::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  out_ << "# " << text << '\n';
  out_.flush();
}

bool TTraceLog::Good() const {
  std::lock_guard lock(mutex_);
  return bool(out_);
}

TTraceLine::TTraceLine(std::unique_ptr<TSerialLine> inner, TTraceLog& log)
    : inner_(std::move(inner)), log_(log) {}

TTraceLine::~TTraceLine() { FlushInput(true); }

bool TTraceLine::Open(const std::string& device) {
  const bool ok = inner_->Open(device);
  log_.Note((ok ? "open " : "cannot open ") + device);
  return ok;
}

void TTraceLine::Close() {
  FlushInput(true);
  if (inner_->IsOpen()) log_.Note("close");
  inner_->Close();
}

bool TTraceLine::SetupComm(uint32_t inQueue, uint32_t outQueue) {
  return inner_->SetupComm(inQueue, outQueue);
}

bool TTraceLine::SetTimeouts(const TCommTimeouts& t) { return inner_->SetTimeouts(t); }

bool TTraceLine::SetState(const TLineSettings& s) {
  // Bytes already in were received at the old rate.
  FlushInput(true);
  // The rate goes on the line even where the driver refuses another field of the settings
  // (Wine and some adapters refuse the RTS toggle), and the link takes it as set: so does the log.
  const bool ok = inner_->SetState(s);
  baud_ = s.BaudRate;
  return ok;
}

bool TTraceLine::Escape(TEscape fn) { return inner_->Escape(fn); }

bool TTraceLine::Purge(uint32_t flags) {
  if (flags & (PurgeRxClear | PurgeRxAbort)) FlushInput(true);
  return inner_->Purge(flags);
}

bool TTraceLine::Write(const uint8_t* data, size_t n, size_t& done) {
  FlushInput(true);
  const bool ok = inner_->Write(data, n, done);
  log_.Frame(kSent, baud_, data, done);
  return ok;
}

bool TTraceLine::Read(uint8_t* data, size_t n, size_t& done) {
  const bool ok = inner_->Read(data, n, done);
  input_.insert(input_.end(), data, data + done);
  FlushInput(false);
  return ok;
}

void TTraceLine::FlushInput(bool all) {
  size_t pos = 0;
  while (input_.size() - pos > kPosLength) {
    const size_t frame = size_t(input_[pos + kPosLength]) + kCrcBytes;
    // A length byte that cannot start a frame: the rest is logged as it came.
    if (frame <= kPosLength) break;
    if (input_.size() - pos < frame) break;
    log_.Frame(kReceived, baud_, input_.data() + pos, frame);
    pos += frame;
  }
  if (all && pos < input_.size()) {
    log_.Frame(kReceived, baud_, input_.data() + pos, input_.size() - pos);
    pos = input_.size();
  }
  input_.erase(input_.begin(), input_.begin() + std::ptrdiff_t(pos));
}

}  // namespace dikton
