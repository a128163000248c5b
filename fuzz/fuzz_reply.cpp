// Arbitrary reply bytes through the exchange, the command set's decoders and the jobs of the
// three workers. A scripted serial line answers each request from the input:
//
//   input   := selector record*
//   record  := ctl len byte{len}      ctl < 0x80: one reply made of the bytes; ctl bit 0 sets
//                                     L to their count, bit 1 appends their CRC, bit 2 puts the
//                                     echo of the request in front of them
//            | ctl                    ctl >= 0x80: the next (ctl & 0x7F) + 1 requests are
//                                     answered by an honest in-process device
//
// Once the input is used up the line stays silent, so every exchange fails after its attempts
// and a job ends with its link failure: a run always ends, whatever the replies made the job
// do before. The notification target answers every notification that waits for an answer.
//
// What must hold: an accepted reply is a whole frame with a valid CRC and an exchange makes at
// most three attempts, each sending the same frame; the decoders take nothing outside the reply
// and never more data than asked; a job ends with exactly one final notification, never sends
// or asks for bytes outside its image and regions, keeps the image the size the range names
// (within 24 bits), and reports as differences only bytes that differ; with honest answers only
// it reads the device's memory exactly and finds no difference.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "rv7k_sim.h"
#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7KWriteSoundThread.h"
#include "uRV7KWriteThread.h"

using namespace dikton;

namespace {

constexpr uint8_t kDevice = 5;                  // device address in the requests
constexpr uint8_t kHonest = 0x80;               // ctl: honest answers follow
constexpr uint8_t kCtlSetLength = 0x01;         // ctl: L := byte count
constexpr uint8_t kCtlAddCrc = 0x02;            // ctl: append the CRC
constexpr uint8_t kCtlEcho = 0x04;              // ctl: the request's echo first
constexpr size_t kDeviceMemory = 0x4000;        // bytes of the honest device
constexpr uint32_t kWriteAllLeastEnd = 0x31FF;  // the smallest range end the write-all job takes
constexpr uint32_t kSoundStart = 0x3100;        // write-sound: first data byte
constexpr uint32_t kSoundEnd = 0x31FF;          // write-sound: range end, inclusive
constexpr size_t kRequestHead = 7;              // block requests: bytes before the data
constexpr uint32_t kAddressSpace = 0x1000000;   // 24-bit addresses

// An honest device: answers every well-framed request as the protocol says, with the virtual
// device's CRC. Small and made per run (the tests' in-process device holds a whole 1 MiB).
struct THonestDevice {
  std::vector<uint8_t> Memory;
  uint32_t Start = 0, End = 0;

  std::vector<uint8_t> Answer(const std::vector<uint8_t>& f) {
    if (f.size() < 5 || size_t(f[1]) + 1 != f.size()) return {};
    std::vector<uint8_t> r{f[0], 0};
    const uint32_t addr = f.size() >= 8 ? Get24(&f[4]) : 0;
    switch (f[3]) {
      case kCmdPrepare:
        r.insert(r.end(), {0x0E, 0, 0});
        break;
      case kCmdModeSwitch:
        r.insert(r.end(), {kReplyModeSwitch, kModeSwitchArg, 0});
        break;
      case kCmdRangeQuery:
        r.insert(r.end(), {kReplyRange, kRangeSeparator, 0, 0, 0, 0, 0, 0});
        Put24(&r[4], Start);
        Put24(&r[7], End);
        break;
      case kCmdReadBlock:
        r.insert(r.end(), {kReplyData, f[7]});
        for (uint32_t i = 0; i < f[7]; ++i)
          r.push_back(addr + i < Memory.size() ? Memory[addr + i] : 0xFF);
        break;
      case kCmdWriteBlock:
        for (size_t i = kRequestHead; i + 1 < f.size(); ++i)
          if (addr + i - kRequestHead < Memory.size()) Memory[addr + i - kRequestHead] = f[i];
        r.insert(r.end(), {kReplyWriteAck, 0, 0});
        break;
      default:
        return {};
    }
    r[1] = uint8_t(r.size());
    r.push_back(rv7ksim::SimCrc8(r.data(), r.size()));
    return r;
  }
};

// The input as the line hands it out, with a log of every frame the program wrote.
struct TScript {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t At = 0;
  unsigned HonestLeft = 0;
  bool RawUsed = false;  // some reply came from the input rather than the honest device
  THonestDevice Device;
  std::vector<uint8_t> Staged;  // the reply to the last frame, readable after the purge
  std::deque<uint8_t> Pending;
  std::vector<std::vector<uint8_t>> Writes;

  void Answer(const std::vector<uint8_t>& frame) {
    Staged.clear();
    auto honest = [&] { Staged = Device.Answer(frame); };
    if (HonestLeft > 0) {
      --HonestLeft;
      return honest();
    }
    if (At >= Size) return;  // silence from now on
    const uint8_t ctl = Data[At++];
    if (ctl & kHonest) {
      HonestLeft = ctl & ~kHonest;
      return honest();
    }
    RawUsed = true;
    size_t len = 0;
    if (At < Size) {
      const uint8_t named = Data[At++];
      len = std::min<size_t>(named, Size - At);
    }
    std::vector<uint8_t> body(Data + At, Data + At + len);
    At += len;
    if ((ctl & kCtlSetLength) && body.size() >= 2) body[1] = uint8_t(body.size());
    if (ctl & kCtlAddCrc) body.push_back(rv7ksim::SimCrc8(body.data(), body.size()));
    if (ctl & kCtlEcho) Staged = frame;
    Staged.insert(Staged.end(), body.begin(), body.end());
  }
};

class TScriptedLine : public TSerialLine {
 public:
  explicit TScriptedLine(std::shared_ptr<TScript> s) : s_(std::move(s)) {}
  bool Open(const std::string&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool SetupComm(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const TCommTimeouts&) override { return true; }
  bool SetState(const TLineSettings&) override { return true; }
  bool Escape(TEscape) override { return true; }
  // What arrived before the reply (leftovers of the last one) is dropped; the reply itself
  // comes after the turn-round.
  bool Purge(uint32_t flags) override {
    if (flags & PurgeRxClear) s_->Pending.clear();
    return true;
  }
  bool Write(const uint8_t* d, size_t n, size_t& done) override {
    s_->Writes.emplace_back(d, d + n);
    s_->Answer(s_->Writes.back());
    done = n;
    return true;
  }
  // Returns at once with what there is: a missing byte is a time-out.
  bool Read(uint8_t* d, size_t n, size_t& done) override {
    s_->Pending.insert(s_->Pending.end(), s_->Staged.begin(), s_->Staged.end());
    s_->Staged.clear();
    done = 0;
    while (done < n && !s_->Pending.empty()) {
      d[done++] = s_->Pending.front();
      s_->Pending.pop_front();
    }
    return true;
  }

 private:
  std::shared_ptr<TScript> s_;
  bool open_ = false;
};

// The transmit wait ends at once.
class TInstantClock : public TClock {
 public:
  int64_t Frequency() const override { return 1; }
  int64_t Counter() const override { return ticks_ += 1000; }
  TLocalTime Now() const override { return {7, 12, 2026, 14, 5}; }

 private:
  mutable std::atomic<int64_t> ticks_{0};
};

struct TPost {
  uint32_t Message, W, L;
};

// Records every notification; answers the write-finished one and each difference.
class TAnsweringTarget : public TNotifyTarget {
 public:
  TThread* Worker = nullptr;
  std::vector<TPost> Posts;
  void Post(uint32_t m, uint32_t w, uint32_t l) override {
    Posts.push_back({m, w, l});
    if (m == UM_WRITE_FINISHED || (m == UM_ERROR && w == 1)) Worker->Wake();
  }
};

bool IsFinal(const TPost& p) { return p.Message == UM_DONE || (p.Message == UM_ERROR && p.W == 0); }

// A frame the program wrote: whole, with the program's address and a CRC the device accepts.
void CheckRequest(const std::vector<uint8_t>& w) {
  FUZZ_CHECK(w.size() >= 7 && w[0] == kDevice && size_t(w[1]) + 1 == w.size() && w[2] == 0);
  FUZZ_CHECK(rv7ksim::SimCrc8(w.data(), w[1]) == w.back());
}

// A reply the exchange accepted: a whole frame with a valid CRC.
void CheckAccepted(const TFrame& reply) {
  FUZZ_CHECK(reply.Length() >= 6 && reply.Length() == size_t(reply.At(2)) + 1);
  FUZZ_CHECK(rv7ksim::SimCrc8(reply.Data(), reply.At(2)) == reply.At(reply.Length()));
}

void CheckDecoders(const TFrame& reply, uint8_t asked) {
  if (const auto range = DecodeRangeReply(reply)) {
    FUZZ_CHECK(reply.Length() >= 10 && reply.At(3) == kReplyRange &&
               reply.At(4) == kRangeSeparator);
    FUZZ_CHECK(range->Start < kAddressSpace && range->End < kAddressSpace);
    FUZZ_CHECK(range->Start == Get24(reply.Data() + 4) && range->End == Get24(reply.Data() + 7));
  }
  if (const auto data = DecodeDataReply(reply, asked)) {
    FUZZ_CHECK(reply.At(3) == kReplyData && data->size() == reply.At(4));
    // No data byte beyond what L says the frame carries (an empty answer carries none).
    FUZZ_CHECK(data->size() <= asked && (data->empty() || data->size() + 4 <= reply.At(2)));
    FUZZ_CHECK(data->data() == reply.Data() + 4 && 4 + data->size() <= reply.Length());
  }
  FUZZ_CHECK(IsModeSwitchReply(reply) ==
             (reply.At(3) == kReplyModeSwitch && reply.At(4) == kModeSwitchArg));
  FUZZ_CHECK(IsWriteAck(reply) == (reply.At(3) == kReplyWriteAck));
}

// Exchanges of every request the program sends, until the input is used up.
void RunExchanges(TRV7KSoundThread& link, TScript& s) {
  const uint8_t block[kBlockSize] = {1, 2, 3, 0xFF, 0};
  for (unsigned k = 0; s.At < s.Size || s.HonestLeft > 0; ++k) {
    const uint8_t asked = uint8_t(1 + k % kBlockSize);
    TFrame request;
    switch (k % 5) {
      case 0:
        request = BuildPrepare(kDevice);
        break;
      case 1:
        request = BuildModeSwitch(kDevice, kModeEnter);
        break;
      case 2:
        request = BuildRangeQuery(kDevice);
        break;
      case 3:
        request = BuildReadBlock(kDevice, 0x12345 * k, asked);
        break;
      default:
        request = BuildWriteBlock(kDevice, 0x10 * k, block, uint8_t(k % 6));
        break;
    }
    const size_t before = s.Writes.size();
    TFrame reply;
    const bool ok = link.Exchange(request, reply);
    const size_t attempts = s.Writes.size() - before;
    FUZZ_CHECK(attempts >= 1 && attempts <= kRetries && (ok || attempts == kRetries));
    std::vector<uint8_t> frame = request.Bytes();
    frame.push_back(rv7ksim::SimCrc8(frame.data(), frame.size()));
    for (size_t i = before; i < s.Writes.size(); ++i) FUZZ_CHECK(s.Writes[i] == frame);
    if (ok) CheckAccepted(reply);
    CheckDecoders(reply, asked);
  }
}

// What every job must leave behind: one final notification, last; differences numbered in
// order and real.
void CheckPosts(const TAnsweringTarget& target, const TRV7KSoundThread& worker,
                const TData& image) {
  FUZZ_CHECK(!target.Posts.empty() && IsFinal(target.Posts.back()));
  size_t finals = 0, differences = 0;
  for (const TPost& p : target.Posts) {
    if (p.Message == UM_DONE) ++finals;
    if (p.Message == UM_ERROR && p.W == 1) FUZZ_CHECK(p.L == differences++);
  }
  FUZZ_CHECK(finals <= 1);
  FUZZ_CHECK(differences == worker.Mismatches.size());
  for (const MismatchRecord& m : worker.Mismatches) {
    FUZZ_CHECK(m.Address < image.size() && m.ImageByte == image[m.Address]);
    FUZZ_CHECK(m.DeviceByte != m.ImageByte);
  }
}

struct TRequestView {
  uint8_t Code;
  uint32_t Address;
  size_t Count;  // read: asked; write: data bytes
  const uint8_t* Data;
};
TRequestView View(const std::vector<uint8_t>& w) {
  return {w[3], Get24(&w[4]), w[3] == kCmdReadBlock ? w[7] : w.size() - 1 - kRequestHead,
          w.data() + kRequestHead};
}

void RunReadAll(const TLinkContext& ctx, TScript& s) {
  TData image(3, 0x77);  // the read-all worker empties it
  TAnsweringTarget target;
  {
    TRV7KSoundThread worker(&image, ctx);
    FUZZ_CHECK(image.empty());
    target.Worker = &worker;
    worker.SetNotifyWindow(&target);
    worker.SetDeviceAddress(kDevice);
    FUZZ_CHECK(worker.OpenPort(1));
    worker.SetBaudRate(kFastBaud);
    worker.Resume();
    worker.WaitFor();
    CheckPosts(target, worker, image);
    if (image.empty()) {
      // No range taken: the job ends at once as a link failure.
      FUZZ_CHECK(target.Posts.size() == 1 && target.Posts[0].Message == UM_ERROR);
    } else {
      FUZZ_CHECK(worker.EndSoundAddr >= 0 && uint32_t(worker.EndSoundAddr) < kAddressSpace &&
                 image.size() == size_t(worker.EndSoundAddr) + 1);
      FUZZ_CHECK(image.capacity() <= kAddressSpace);
    }
    FUZZ_CHECK(worker.BytesDone >= 0 && size_t(worker.BytesDone) <= image.size());
    if (target.Posts.back().Message == UM_DONE)
      FUZZ_CHECK(size_t(worker.BytesDone) == image.size());
  }
  for (const auto& w : s.Writes) {
    if (w.size() > 3 && w[3] == kCmdRangeQuery) continue;  // the job's first request
    CheckRequest(w);
    const TRequestView r = View(w);
    FUZZ_CHECK(r.Code == kCmdReadBlock && r.Count >= 1 && r.Count <= kBlockSize &&
               r.Address + r.Count <= image.size());
  }
  if (!s.RawUsed && target.Posts.back().Message == UM_DONE) {
    const auto& mem = s.Device.Memory;
    for (size_t a = 0; a < image.size(); ++a)
      FUZZ_CHECK(image[a] == (a < mem.size() ? mem[a] : 0xFF));
  }
}

// Writes of the image's bytes only, inside the image; reads inside the image. The signature
// record goes into the image only once acknowledged, after the area around it was written with
// the image's earlier bytes: there a byte may be either.
void CheckWriterRequests(const TScript& s, const TData& before, const TData& image,
                         uint32_t signatureAt) {
  for (const auto& w : s.Writes) {
    CheckRequest(w);
    const TRequestView r = View(w);
    FUZZ_CHECK(r.Code == kCmdReadBlock || r.Code == kCmdWriteBlock);
    FUZZ_CHECK(r.Count <= kBlockSize && r.Address + r.Count <= image.size());
    if (r.Code == kCmdReadBlock) {
      FUZZ_CHECK(r.Count >= 1);
      continue;
    }
    const bool record = r.Address == signatureAt && r.Count == kSignatureSize;
    for (size_t k = 0; k < r.Count; ++k) {
      const size_t a = r.Address + k;
      const bool inRecord =
          signatureAt != 0 && a >= signatureAt && a < signatureAt + kSignatureSize;
      if (record) continue;
      FUZZ_CHECK(r.Data[k] == image[a] || (inRecord && r.Data[k] == before[a]));
    }
  }
}

template <class TWorker>
void RunWriter(const TLinkContext& ctx, TScript& s, TData& image, uint32_t start, uint32_t end,
               uint32_t signatureAt) {
  TAnsweringTarget target;
  // The image as the job sends it: the write-all job puts the record's pointer in first.
  TData before = image;
  if (signatureAt != 0) Put24(&before[kSignaturePtrAddr], signatureAt);
  const size_t size = image.size();
  TWorker worker(&image, ctx);
  FUZZ_CHECK(image.size() == size);
  target.Worker = &worker;
  worker.SetNotifyWindow(&target);
  worker.SetDeviceAddress(kDevice);
  worker.DirectoryAddr = int32_t(kDirectoryAddr);
  worker.DirectoryCount = int32_t(kDirectoryCount);
  worker.StartSoundAddr = int32_t(start);
  worker.EndSoundAddr = int32_t(end);
  FUZZ_CHECK(worker.OpenPort(1));
  worker.SetBaudRate(kFastBaud);
  worker.Resume();
  worker.WaitFor();
  FUZZ_CHECK(image.size() == size);
  CheckPosts(target, worker, image);
  CheckWriterRequests(s, before, image, signatureAt);
  if (!s.RawUsed && s.At >= s.Size) {
    // Honest answers throughout, as long as they lasted: nothing differs.
    FUZZ_CHECK(worker.Mismatches.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  auto script = std::make_shared<TScript>();
  script->Data = data + 4;
  script->Size = size - 4;
  script->Device.Memory.resize(kDeviceMemory);
  for (size_t a = 0; a < kDeviceMemory; ++a) script->Device.Memory[a] = uint8_t(a * 7 + data[1]);
  const TInstantClock clock;
  TLinkContext ctx;
  ctx.Clock = &clock;
  ctx.LineFactory = [script] { return std::make_unique<TScriptedLine>(script); };

  switch (data[0] % 4) {
    case 0: {
      TRV7KSoundThread link(nullptr, ctx);
      FUZZ_CHECK(link.OpenPort(1));
      link.SetDeviceAddress(kDevice);
      RunExchanges(link, *script);
      break;
    }
    case 1:
      // The honest device's range: a small one, unless the input answers the query itself.
      script->Device.Start = 0x100;
      script->Device.End = 0x100 + data[2];
      RunReadAll(ctx, *script);
      break;
    case 2: {
      // The input sets the range end, and with it the last block and the record's place (at
      // the least end the record covers its own pointer).
      const uint32_t end = kWriteAllLeastEnd + data[2];
      TData image(end + 1);
      for (size_t a = 0; a < image.size(); ++a) image[a] = uint8_t(a * 13 + data[1]);
      const uint32_t signatureAt = end - (kSignatureSize - 1);
      RunWriter<TRV7KWriteThread>(ctx, *script, image, kSoundStart, end, signatureAt);
      break;
    }
    default: {
      // A directory with one entry the input may point anywhere, and data without 0xFF but the
      // end mark the input places.
      TData image(kSoundEnd + 1, 0);
      for (uint32_t a = kSoundStart; a <= kSoundEnd; ++a) image[a] = uint8_t(a % 0xFF);
      image[kSoundStart + data[1] % (kSoundEnd - kSoundStart + 1)] = 0xFF;
      const uint32_t entry = kDirectoryAddr + 3 * (data[2] % kDirectoryCount);
      Put24(&image[entry], data[3] == 0 ? kSoundStart : kSoundStart - 0x80 + data[3] * 2u);
      RunWriter<TRV7KWriteSoundThread>(ctx, *script, image, kSoundStart, kSoundEnd, 0);
      break;
    }
  }
  return 0;
}
