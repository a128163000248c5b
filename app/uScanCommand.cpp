#include "uScanCommand.h"

#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uUserDialog.h"

namespace dikton {

std::vector<TScanHit> ScanAddresses(uint8_t port, const TLinkContext& link, uint8_t first,
                                    uint8_t last, const std::function<bool(uint8_t)>& beforeEach) {
  // Only the worker's link is used; its thread never runs.
  TRV7KSoundThread worker(nullptr, link);
  worker.Retries = kScanRetries;
  if (!worker.OpenPort(port)) throw TAppError(txt::CantOpenPort);
  worker.SetBaudRate(kSlowBaud);
  std::vector<TScanHit> hits;
  for (unsigned a = first; a <= last; ++a) {
    const uint8_t address = uint8_t(a);
    if (beforeEach && !beforeEach(address)) break;
    worker.SetDeviceAddress(address);
    TFrame reply;
    if (!worker.Exchange(BuildRangeQuery(address), reply)) continue;
    if (const auto range = DecodeRangeReply(reply))
      hits.push_back({address, range->Start, range->End});
  }
  return hits;
}

}  // namespace dikton
