// The clock boundary: the high-resolution counter for the transmit busy-wait, the system timer
// resolution held while a worker exists, and the local date and time for the signature record.
#pragma once

#include <cstdint>

namespace dikton {

struct TLocalTime {
  int Day = 1, Month = 1, Year = 2000, Hour = 0, Minute = 0;
};

class TClock {
 public:
  virtual ~TClock() = default;
  // QueryPerformanceFrequency; 0 when the platform has no such counter.
  virtual int64_t Frequency() const = 0;
  virtual int64_t Counter() const = 0;
  virtual void BeginTimerPeriod() const {}
  virtual void EndTimerPeriod() const {}
  // Called on a worker's own thread before its job: lets the thread that busy-waits through
  // every transmission run ahead of ordinary threads where the system allows it, so that the
  // line is turned round on time. Refusal is of no consequence.
  virtual void EnterTimingCritical() const {}
  virtual TLocalTime Now() const = 0;
};

// The machine's clock. Stateless, so one shared instance serves every worker.
const TClock& SystemClock();

}  // namespace dikton
