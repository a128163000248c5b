// The requests the program sends and the replies it accepts. Requests are built without their
// CRC; Exchange adds it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "uRV7K_v210_Sound.h"

namespace dikton {

TFrame BuildPrepare(uint8_t device);
TFrame BuildModeSwitch(uint8_t device, uint8_t flag);  // kModeEnter or kModeLeave
TFrame BuildRangeQuery(uint8_t device);
TFrame BuildReadBlock(uint8_t device, uint32_t address, uint8_t count);
// Rebuilds for N data bytes taken from 'data' (L = N + 7).
TFrame BuildWriteBlock(uint8_t device, uint32_t address, const uint8_t* data, uint8_t count);
// Rewrites positions 5 to 7 of a block request.
void SetBlockAddress(TFrame& request, uint32_t address);

struct TRange {
  uint32_t Start = 0;
  uint32_t End = 0;
};
// ">" "," and two 24-bit addresses.
std::optional<TRange> DecodeRangeReply(const TFrame& reply);
// Code 'D' with a byte count that the frame really carries and that is not above 'asked'.
// Anything else is nullopt: the sender asks for the block again.
std::optional<std::span<const uint8_t>> DecodeDataReply(const TFrame& reply, uint8_t asked);
bool IsModeSwitchReply(const TFrame& reply);
bool IsWriteAck(const TFrame& reply);

}  // namespace dikton
