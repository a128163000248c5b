#include "uRV7KWriteSoundThread.h"

#include <algorithm>
#include <span>
#include <vector>

#include "uCommandSet.h"
#include "uConst_Orbis.h"

namespace dikton {

TRV7KWriteSoundThread::TRV7KWriteSoundThread(TData* image, const TLinkContext& ctx)
    : TRV7KSoundThread(image, ctx, TKeepImage{}) {}

TRV7KWriteSoundThread::~TRV7KWriteSoundThread() { Shutdown(); }

std::optional<uint32_t> TRV7KWriteSoundThread::FindEndOfData() {
  const TData& image = *ImageRef;
  const uint32_t dir = uint32_t(DirectoryAddr);
  const uint32_t end = uint32_t(EndSoundAddr);
  for (int32_t k = DirectoryCount - 1; k >= 0; --k) {
    if (Terminated()) return std::nullopt;
    const size_t at = dir + 3 * size_t(k);
    if (at + 3 > image.size()) continue;
    uint32_t p = Get24(&image[at]);
    if (p == 0) continue;
    // An entry that points outside the image or past the range (an image from a file can
    // hold anything) leaves nothing to search: the data runs to the end of the range.
    if (p >= image.size() || p > end) return end;
    while (image[p] != 0xFF && p < end && p + 1 < image.size()) {
      if (Terminated()) return std::nullopt;
      ++p;
    }
    return p;
  }
  return dir + 3 * uint32_t(DirectoryCount) - 1;
}

void TRV7KWriteSoundThread::Execute() {
  const auto endOfData = FindEndOfData();
  if (!endOfData) return;
  const TData& image = *ImageRef;
  const uint32_t start = uint32_t(StartSoundAddr);
  const uint32_t dirLength = 3 * uint32_t(DirectoryCount);
  // With every entry 0 the end of data lies below the start: the data region is empty and
  // neither pass touches it.
  const uint32_t dataLength = *endOfData >= start ? *endOfData - start + 1 : 0;
  if (BytesTotal == 0) BytesTotal = int32_t(dataLength + dirLength);

  struct TRegion {
    uint32_t Begin;
    uint32_t Length;
    bool Directory;
  };
  std::vector<TRegion> regions{{uint32_t(DirectoryAddr), dirLength, true}};
  if (dataLength > 0) regions.push_back({start, dataLength, false});
  // Never send bytes the image does not hold.
  for (const TRegion& r : regions)
    if (size_t(r.Begin) + r.Length > image.size()) return LinkFailed();

  TFrame reply;
  int32_t lastPosted = 0;

  // Write pass: full blocks, then a final block of the rest (also when that is 0 bytes).
  // A refused block is sent again at the same address until it is acknowledged.
  BytesDone = 0;
  TBlockResult result = TBlockResult::Accepted;
  for (const TRegion& r : regions) {
    uint32_t addr = r.Begin;
    const uint32_t fullEnd = r.Begin + r.Length / kBlockSize * kBlockSize;
    const uint8_t rest = uint8_t(r.Length % kBlockSize);
    for (bool finalSent = false; !finalSent && result == TBlockResult::Accepted;) {
      const bool full = addr < fullEnd;
      const uint8_t n = full ? kBlockSize : rest;
      result = SendBlock(BuildWriteBlock(DeviceAddress, addr, image.data() + addr, n), reply,
                         IsWriteAck);
      if (result != TBlockResult::Accepted) break;
      addr += n;
      BytesDone += n;
      finalSent = !full;
      if (r.Directory) {
        Post(UM_PROGRESS, uint32_t(BytesDone), uint32_t(BytesTotal));
      } else if (BytesDone - lastPosted > int32_t(kProgressStep)) {
        Post(UM_PROGRESS, uint32_t(BytesDone), uint32_t(BytesTotal));
        if (full) lastPosted = BytesDone;
      }
    }
  }
  if (result == TBlockResult::Failed) return LinkFailed();
  if (result == TBlockResult::Accepted && NextStep()) {
    Post(UM_WRITE_FINISHED, 1, 0);
    WaitForWake();
    VerifyDeclined = Terminated();
  }

  // Verify pass: every differing byte is reported, each with a wait for the answer. BytesDone
  // starts again also when a stop is pending, so a stopped run never reads as complete.
  BytesDone = 0;
  lastPosted = 0;
  for (const TRegion& r : regions) {
    uint32_t addr = r.Begin;
    const uint32_t regionEnd = r.Begin + r.Length;
    while (addr < regionEnd) {
      const uint8_t n = uint8_t(std::min<uint32_t>(kBlockSize, regionEnd - addr));
      std::span<const uint8_t> data;
      // A reply with another count than asked for is read again, like one with another code.
      result = SendBlock(BuildReadBlock(DeviceAddress, addr, n), reply, [&](const TFrame& f) {
        const auto d = DecodeDataReply(f, n);
        if (!d || d->size() != n) return false;
        data = *d;
        return true;
      });
      if (result == TBlockResult::Stopped) return;
      if (result == TBlockResult::Failed) return LinkFailed();
      BytesDone += n;
      for (uint8_t k = 0; k < n; ++k) {
        if (data[k] == image[addr + k]) continue;
        if (Terminated()) return;
        Mismatches.push_back({image[addr + k], data[k], addr + k});
        Post(UM_ERROR, 1, uint32_t(Mismatches.size() - 1));
        WaitForWake();
        DifferenceDeclined = Terminated();
      }
      addr += n;
      if (BytesDone - lastPosted > int32_t(kProgressStep)) {
        Post(UM_PROGRESS, uint32_t(BytesDone), uint32_t(BytesTotal));
        lastPosted = BytesDone;
      }
    }
  }
  if (!NextStep()) return;
  Post(UM_DONE, 0, 0);
  Terminate();
}

}  // namespace dikton
