#include "uRV7KWriteThread.h"

#include <algorithm>
#include <cstdio>

#include "uCommandSet.h"
#include "uConst_Orbis.h"

namespace dikton {
namespace {

constexpr uint32_t kSignaturePtrBytes = 3;  // bytes of the pointer to the record

struct TRegion {
  uint32_t Begin;
  uint32_t End;  // exclusive
};

}  // namespace

TRV7KWriteThread::TRV7KWriteThread(TData* image, const TLinkContext& ctx)
    : TRV7KSoundThread(image, ctx, TKeepImage{}) {}

TRV7KWriteThread::~TRV7KWriteThread() { Shutdown(); }

bool TRV7KWriteThread::CanWrite(const TData& image, uint32_t endSoundAddr) {
  // The record at EndSoundAddr - 15 must lie wholly above the pointer at 0x31FD..0x31FF.
  return endSoundAddr >= kSignaturePtrAddr + 2 + kSignatureSize && endSoundAddr <= kMaxDeviceAddr &&
         image.size() >= size_t(endSoundAddr) + 1;
}

std::array<uint8_t, 16> TRV7KWriteThread::SignatureRecord(const TLocalTime& t) {
  std::array<uint8_t, 16> rec{};
  char digits[16] = {};
  std::snprintf(digits, sizeof digits, "%.2d%.2d%.2d%.2d%.2d", t.Day % 100, t.Month % 100,
                t.Year % 100, t.Hour % 100, t.Minute % 100);
  static constexpr char kMaker[] = "ZORIX";
  std::copy_n(digits, 10, rec.begin());
  std::copy_n(kMaker, 5, rec.begin() + 10);
  rec[15] = 0x00;
  return rec;
}

void TRV7KWriteThread::Execute() {
  TData& image = *ImageRef;
  const uint32_t end = uint32_t(EndSoundAddr);
  // The command refuses such an image; never touch it here.
  if (!CanWrite(image, end)) return LinkFailed();
  const uint32_t sigAddr = end - (kSignatureSize - 1);
  if (!VerifyOnly) Put24(&image[kSignaturePtrAddr], sigAddr);
  BytesTotal = int32_t(kRegionAEnd + (end - uint32_t(DirectoryAddr) + 1));
  const TRegion regions[] = {{kRegionAStart, kRegionAEnd}, {uint32_t(DirectoryAddr), end + 1}};

  TFrame reply;
  int32_t lastPosted = 0;
  auto progress = [&] {
    if (BytesDone - lastPosted > int32_t(kProgressStep)) {
      Post(UM_PROGRESS, uint32_t(BytesDone), uint32_t(BytesTotal));
      lastPosted = BytesDone;
    }
  };
  // Both passes step through the regions alike; 'usable' judges an answer and takes it in.
  auto pass = [&](auto makeRequest, auto usable) {
    for (const TRegion& r : regions) {
      for (uint32_t addr = r.Begin; addr < r.End;) {
        const uint8_t n = uint8_t(std::min<uint32_t>(kBlockSize, r.End - addr));
        const auto result = SendBlock(makeRequest(addr, n), reply,
                                      [&](const TFrame& f) { return usable(f, addr, n); });
        if (result != TBlockResult::Accepted) return result;
        BytesDone += n;
        addr += n;
        progress();
      }
    }
    return TBlockResult::Accepted;
  };

  // Write pass. A refused block is sent again at the same address.
  BytesDone = 0;
  auto result = TBlockResult::Accepted;
  if (!VerifyOnly) {
    result = pass([&](uint32_t addr,
                      uint8_t n) { return BuildWriteBlock(DeviceAddress, addr, &image[addr], n); },
                  [](const TFrame& f, uint32_t, uint8_t) { return IsWriteAck(f); });
    if (result == TBlockResult::Failed) return LinkFailed();
  }

  // The signature record, sent once; only an acknowledged record goes into the image.
  if (!VerifyOnly && result == TBlockResult::Accepted && NextStep()) {
    const auto record = SignatureRecord(Clock().Now());
    if (!Exchange(BuildWriteBlock(DeviceAddress, sigAddr, record.data(), kSignatureSize), reply))
      return LinkFailed();
    if (IsWriteAck(reply)) {
      std::copy(record.begin(), record.end(), image.begin() + sigAddr);
      RecordWritten = record;
    }
    Post(UM_WRITE_FINISHED, 1, 0);
    WaitForWake();
    VerifyDeclined = Terminated();
  }
  if (VerifyOnly && NextStep()) Post(UM_VERIFY_STARTED, 0, 0);

  // Verify pass: the first differing byte of each block is recorded. BytesDone starts again
  // also when a stop is pending, so a stopped or declined run never reads as complete.
  BytesDone = 0;
  lastPosted = 0;
  auto compare = [&](const TFrame& f, uint32_t addr, uint8_t n) -> bool {  // true: accepted
    const auto data = DecodeDataReply(f, n);
    // A reply with another count than asked for is read again, like one with another code.
    if (!data || data->size() != n) return false;
    // Verify only: the signature pointer and record are taken as equal.
    std::array<uint8_t, kBlockSize> seen{};
    const uint8_t* got = data->data();
    if (VerifyOnly) {
      for (uint8_t k = 0; k < n && k < kBlockSize; ++k) {
        const uint32_t a = addr + k;
        const bool replaced =
            (a >= kSignaturePtrAddr && a < kSignaturePtrAddr + kSignaturePtrBytes) || a >= sigAddr;
        seen[k] = replaced ? image[a] : (*data)[k];
      }
      got = seen.data();
    }
    const int32_t i = CompareBlock(got, &image[addr], n);
    if (i >= 0) {
      Mismatches.push_back({image[addr + i], (*data)[i], addr + uint32_t(i)});
      Post(UM_ERROR, 1, uint32_t(Mismatches.size() - 1));
      WaitForWake();
      DifferenceDeclined = Terminated();
    }
    return true;
  };
  result = pass([&](uint32_t addr, uint8_t n) { return BuildReadBlock(DeviceAddress, addr, n); },
                compare);
  if (result == TBlockResult::Stopped) return;
  if (result == TBlockResult::Failed) return LinkFailed();

  // The record read back once; a failure here still ends with UM_DONE.
  if (!NextStep()) return;
  if (!Exchange(BuildReadBlock(DeviceAddress, sigAddr, kSignatureSize), reply)) {
    Post(UM_ERROR, 0, 0);
  } else if (VerifyOnly) {
    const auto data = DecodeDataReply(reply, kSignatureSize);
    if (data && data->size() == kSignatureSize) {
      RecordRead.emplace();
      std::copy(data->begin(), data->end(), RecordRead->begin());
    }
  } else {
    compare(reply, sigAddr, kSignatureSize);
  }
  if (!NextStep()) return;
  Post(UM_DONE, 0, 0);
  Terminate();
}

}  // namespace dikton
