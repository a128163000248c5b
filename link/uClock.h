// The clock boundary: the high-resolution counter and the sleep of the transmit wait, the
// system timer resolution held while a worker exists, and the local date and time for the
// signature record.
#pragma once

#include <cstdint>
#include <memory>

namespace dikton {

struct TLocalTime {
  int Day = 1, Month = 1, Year = 2000, Hour = 0, Minute = 0;
};

// Puts the calling thread to sleep until a counter value. One belongs to one link, which uses
// it from one thread at a time; it may hold a system timer.
class TSleeper {
 public:
  virtual ~TSleeper() = default;
  // Returns once the clock's counter has reached 'until', or later: the system wakes a thread
  // late, by how much it alone knows. Returns at once when 'until' has passed.
  virtual void SleepUntil(int64_t until) = 0;
};

class TClock {
 public:
  virtual ~TClock() = default;
  // QueryPerformanceFrequency; 0 when the platform has no such counter.
  virtual int64_t Frequency() const = 0;
  virtual int64_t Counter() const = 0;
  // A sleeper on this clock's counter; nullptr when the clock has none, and the transmit wait
  // then spins throughout.
  virtual std::unique_ptr<TSleeper> CreateSleeper() const { return nullptr; }
  virtual void BeginTimerPeriod() const {}
  virtual void EndTimerPeriod() const {}
  // Called on a worker's own thread before its job: lets the thread that turns the line round
  // after every transmission run ahead of ordinary threads where the system allows it, and be
  // woken as close to its time as the system can. Refusal is of no consequence. The thread
  // sleeps through most of each transmission, so it does not starve the others.
  virtual void EnterTimingCritical() const {}
  virtual TLocalTime Now() const = 0;
};

// The machine's clock. Stateless, so one shared instance serves every worker.
const TClock& SystemClock();

}  // namespace dikton
