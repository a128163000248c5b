// The virtual device's frame parser and its faults on arbitrary line bytes. The first bytes
// choose the device (address, memory content, range) and a fault; the rest is the line, either
// raw or as frame bodies that get a valid CRC. Without a fault every answer is compared with a
// small model of the device written here, framed with the program's own CRC; with a fault each
// answer must still be a frame of at most 256 bytes from this device, whole and with a valid
// CRC unless the fault is one that spoils exactly that. The memory never changes size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "rv7k_sim.h"
#include "uCommandSet.h"
#include "uConst_Orbis.h"

using namespace dikton;
using rv7ksim::TFaultKind;

namespace {

constexpr size_t kConfigBytes = 8;     // bytes of the input that set the device up
constexpr size_t kMemoryBytes = 4096;  // the device's memory in these runs
constexpr size_t kFaultKinds = 10;     // TFaultKind values; higher selectors mean no fault
constexpr uint8_t kCodes[] = {
    0, kCmdPrepare, kCmdModeSwitch, kCmdRangeQuery, kCmdReadBlock, kCmdWriteBlock};
constexpr size_t kMaxWire = 256;          // L = 255 and its CRC
constexpr size_t kMaxDataBytes = 251;     // a data reply's n when L is 255
constexpr uint8_t kReplyPrepare = 0x0E;   // the device's answer to the preparatory command
constexpr uint8_t kFlagAnswerAll = 0x01;  // config flags
constexpr uint8_t kFlagFrames = 0x02;     // the line is given as frame bodies

// The CRC of the program's link: over the first L bytes (L = bytes[1]), or all when fewer.
uint8_t ProgramCrc(const std::vector<uint8_t>& bytes) {
  return TRV7KSoundThread::Crc8(TFrame::FromBytes(bytes));
}

struct TModel {
  std::vector<uint8_t> Memory;
  uint8_t Address = 0;
  bool AnswerAll = false;
  uint32_t Start = 0, End = 0;

  uint8_t At(uint32_t a) const { return a < Memory.size() ? Memory[a] : 0xFF; }

  // The answer to one well-framed request, or nothing.
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& f) {
    const size_t length = f[1];
    if (!(AnswerAll || f[0] == Address) || f[2] != 0) return {};
    std::vector<uint8_t> r{Address, 0};
    switch (f[3]) {
      case kCmdPrepare:
        r.insert(r.end(), {kReplyPrepare, 0, 0});
        break;
      case kCmdModeSwitch:
        if (length < 6 || f[4] != kModeSwitchArg || f[5] > kModeLeave) return {};
        r.insert(r.end(), {kReplyModeSwitch, kModeSwitchArg, f[5]});
        break;
      case kCmdRangeQuery:
        r.insert(r.end(), {kReplyRange, kRangeSeparator, 0, 0, 0, 0, 0, 0});
        Put24(&r[4], Start);
        Put24(&r[7], End);
        break;
      case kCmdReadBlock: {
        if (length < 8) return {};
        const uint32_t a = Get24(&f[4]);
        const size_t n = std::min<size_t>(f[7], kMaxDataBytes);
        r.push_back(kReplyData);
        r.push_back(uint8_t(n));
        for (size_t i = 0; i < n; ++i) r.push_back(At(uint32_t(a + i)));
        break;
      }
      case kCmdWriteBlock: {
        if (length < 7) return {};
        const uint32_t a = Get24(&f[4]);
        for (size_t i = 7; i < length; ++i)
          if (a + i - 7 < Memory.size()) Memory[a + i - 7] = f[i];
        r.insert(r.end(), {kReplyWriteAck, uint8_t(length - 7), 0});
        break;
      }
      default:
        return {};
    }
    r[1] = uint8_t(r.size());
    r.push_back(ProgramCrc(r));
    return r;
  }
};

// The frames in the line as the device must find them: a frame is an L of at least 4 and L
// bytes whose CRC follows; anything else moves on by one byte.
std::vector<std::vector<uint8_t>> Frames(const std::vector<uint8_t>& line) {
  std::vector<std::vector<uint8_t>> out;
  size_t pos = 0;
  while (pos < line.size()) {
    const size_t left = line.size() - pos;
    const size_t length = left >= 2 ? line[pos + 1] : 0;
    if (left < 2 || length < 4 || left < length + 1) {
      ++pos;
      continue;
    }
    std::vector<uint8_t> f(line.begin() + ptrdiff_t(pos),
                           line.begin() + ptrdiff_t(pos + length + 1));
    if (ProgramCrc(f) != f[length]) {
      ++pos;
      continue;
    }
    out.push_back(std::move(f));
    pos += length + 1;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kConfigBytes) return 0;
  const uint8_t faultSel = data[0];
  const uint8_t flags = data[6];
  rv7ksim::TSimOptions o;
  o.MemorySize = kMemoryBytes;
  o.FillByte = data[1];
  o.Address = data[2];
  o.AnswerAll = (flags & kFlagAnswerAll) != 0;
  o.StartSound = uint32_t(data[3]) << 4;
  o.EndSound = o.StartSound + (uint32_t(data[4]) << 8);
  rv7ksim::TVirtualDevice device(o);

  const bool faulty = faultSel < kFaultKinds;
  rv7ksim::TFault fault;
  if (faulty) {
    fault.Kind = TFaultKind(faultSel);
    fault.Command = kCodes[data[5] % std::size(kCodes)];
    fault.Frame = data[5] / std::size(kCodes) % 4;  // 0: any frame
    fault.Times = data[7] >> 4;                     // 0: every time
    fault.Value = data[7] & 0x0F;
    fault.Address = fault.Kind == TFaultKind::CorruptByte ? int64_t(data[7]) : -1;
    device.AddFault(fault);
  }

  // The line.
  std::vector<uint8_t> line;
  if (flags & kFlagFrames) {
    for (size_t at = kConfigBytes; at < size;) {
      const size_t n = std::min<size_t>(data[at], size - at - 1);
      std::vector<uint8_t> body(data + at + 1, data + at + 1 + n);
      at += 1 + n;
      if (body.size() < 2) continue;
      body.push_back(ProgramCrc(body));
      line.insert(line.end(), body.begin(), body.end());
    }
  } else {
    line.assign(data + kConfigBytes, data + size);
  }

  const std::vector<std::vector<uint8_t>> answers = device.Receive(line);
  const std::vector<std::vector<uint8_t>> frames = Frames(line);
  FUZZ_CHECK(answers.size() <= frames.size());
  FUZZ_CHECK(device.Memory().size() == kMemoryBytes);
  FUZZ_CHECK(device.RequestCount() == frames.size());
  FUZZ_CHECK(device.Transcript().size() == frames.size() + answers.size());

  if (!faulty) {
    TModel model{std::vector<uint8_t>(kMemoryBytes, o.FillByte), o.Address, o.AnswerAll,
                 o.StartSound, o.EndSound};
    std::vector<std::vector<uint8_t>> expected;
    for (const auto& f : frames) {
      std::vector<uint8_t> r = model.Answer(f);
      if (!r.empty()) expected.push_back(std::move(r));
    }
    FUZZ_CHECK(answers == expected);
    FUZZ_CHECK(device.Memory() == model.Memory);
    return 0;
  }

  const bool spoilsFrame = fault.Kind == TFaultKind::BadCrc ||
                           fault.Kind == TFaultKind::PartialReply ||
                           fault.Kind == TFaultKind::LyingCount;
  for (const auto& a : answers) {
    FUZZ_CHECK(!a.empty() && a.size() <= kMaxWire);
    FUZZ_CHECK(a[0] == o.Address);
    if (spoilsFrame) continue;
    // A read of 0 bytes gets a data reply of L = 4: whole, though shorter than the program takes.
    FUZZ_CHECK(a.size() >= 5 && size_t(a[1]) + 1 == a.size());
    FUZZ_CHECK(ProgramCrc(a) == a.back());
    // A data reply's count is what it carries.
    if (a[2] == kReplyData) FUZZ_CHECK(size_t(a[3]) + 5 == a.size());
  }
  return 0;
}
