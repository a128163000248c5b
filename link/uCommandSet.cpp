#include "uCommandSet.h"

#include "uConst_Orbis.h"

namespace dikton {
namespace {

constexpr uint8_t kShortRequestLength = 6;  // L of the preparatory, mode and range requests
constexpr uint8_t kReadRequestLength = 8;   // L of a read-block request
constexpr uint8_t kWriteHeaderLength = 7;   // L of a write-block request without its data
constexpr size_t kDataStart = 5;            // position of the first data byte of a reply

TFrame Header(uint8_t device, uint8_t length, uint8_t code) {
  TFrame f;
  f.Append(device);
  f.Append(length);
  f.Append(0x00);
  f.Append(code);
  return f;
}

}  // namespace

TFrame BuildPrepare(uint8_t device) {
  TFrame f = Header(device, kShortRequestLength, kCmdPrepare);
  f.Append(0x00);
  f.Append(0x00);
  return f;
}

TFrame BuildModeSwitch(uint8_t device, uint8_t flag) {
  TFrame f = Header(device, kShortRequestLength, kCmdModeSwitch);
  f.Append(kModeSwitchArg);
  f.Append(flag);
  return f;
}

TFrame BuildRangeQuery(uint8_t device) {
  TFrame f = Header(device, kShortRequestLength, kCmdRangeQuery);
  f.Append(kRangeSeparator);
  f.Append(0x00);
  return f;
}

TFrame BuildReadBlock(uint8_t device, uint32_t address, uint8_t count) {
  TFrame f = Header(device, kReadRequestLength, kCmdReadBlock);
  f.Resize(kReadRequestLength);
  SetBlockAddress(f, address);
  f.Set(8, count);
  return f;
}

TFrame BuildWriteBlock(uint8_t device, uint32_t address, const uint8_t* data, uint8_t count) {
  TFrame f = Header(device, uint8_t(kWriteHeaderLength + count), kCmdWriteBlock);
  f.Resize(kWriteHeaderLength);
  SetBlockAddress(f, address);
  for (uint8_t i = 0; i < count; ++i) f.Append(data[i]);
  return f;
}

void SetBlockAddress(TFrame& request, uint32_t address) {
  request.Set(5, uint8_t(address & 0xFF));
  request.Set(6, uint8_t((address >> 8) & 0xFF));
  request.Set(7, uint8_t((address >> 16) & 0xFF));
}

std::optional<TRange> DecodeRangeReply(const TFrame& reply) {
  // Positions 5 to 10 must really be there.
  if (reply.Length() < 10 || reply.At(3) != kReplyRange || reply.At(4) != kRangeSeparator)
    return std::nullopt;
  return TRange{Get24(reply.Data() + 4), Get24(reply.Data() + 7)};
}

std::optional<std::span<const uint8_t>> DecodeDataReply(const TFrame& reply, uint8_t asked) {
  if (reply.At(3) != kReplyData) return std::nullopt;
  const size_t n = reply.At(4);
  const size_t carried = reply.At(2) >= 4 ? size_t(reply.At(2)) - 4 : 0;
  // A count above what was asked for, or above what the frame carries, is not trusted.
  if (n > asked || n > carried || kDataStart - 1 + n > reply.Length()) return std::nullopt;
  return std::span<const uint8_t>(reply.Data() + kDataStart - 1, n);
}

bool IsModeSwitchReply(const TFrame& reply) {
  return reply.At(3) == kReplyModeSwitch && reply.At(4) == kModeSwitchArg;
}

bool IsWriteAck(const TFrame& reply) { return reply.At(3) == kReplyWriteAck; }

}  // namespace dikton
