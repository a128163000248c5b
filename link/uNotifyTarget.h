// The notification target of a worker: its progress window. Post never blocks.
#pragma once

#include <cstdint>

namespace dikton {

class TNotifyTarget {
 public:
  virtual ~TNotifyTarget() = default;
  // Called from the worker's thread.
  virtual void Post(uint32_t message, uint32_t wParam, uint32_t lParam) = 0;
};

}  // namespace dikton
