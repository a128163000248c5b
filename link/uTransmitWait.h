// The wait of an exchange between writing its request and turning the line round: the line
// must carry the frame's last bit and half a byte more, then turn at once. A thread that spins
// for the whole frame costs a core per port; this one sleeps until shortly before the moment
// and spins only the rest. How shortly is learnt from how late this thread's wake-ups come.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "uClock.h"

namespace dikton {

class TTransmitWait {
 public:
  static constexpr int64_t kMinMarginUs = 50;     // spin at least this long before the moment
  static constexpr int64_t kMaxMarginUs = 2000;   // a wake-up later than this is not waited for
  static constexpr int64_t kFirstMarginUs = 500;  // until the first wake-ups have been seen

  explicit TTransmitWait(const TClock& clock);

  // Returns once the counter has gone 'ticks' (fractional) past t0, as soon after as it can.
  // A wake-up that comes after that moment returns at once.
  void Until(int64_t t0, long double ticks);

  // The spin before the moment, in counter ticks: how late the wake-ups have come, the few
  // latest of the recent ones set aside, kept within kMinMarginUs and kMaxMarginUs. Those few
  // turn the line round a little late, which costs nothing: the reply that arrives meanwhile is
  // kept. Waiting out every one of them would spin a thread for nothing most of the time.
  int64_t MarginTicks() const;

  static constexpr size_t kHistory = 32;  // wake-ups remembered
  static constexpr size_t kSetAside = 3;  // the latest of them, not waited for

  // What the waits have cost so far, for the benchmark: counter ticks spent spinning, the
  // sleeps, and the wake-ups that came after the moment.
  struct TStats {
    int64_t SpinTicks = 0;
    uint64_t Sleeps = 0;
    uint64_t LateWakes = 0;
  };
  const TStats& Stats() const { return stats_; }

 private:
  int64_t UsToTicks(int64_t us) const;
  void Remember(int64_t lateTicks);

  const TClock& clock_;
  std::unique_ptr<TSleeper> sleeper_;
  int64_t frequency_;
  std::array<int64_t, kHistory> lateness_{};  // ticks each recent wake-up came after its time
  size_t next_ = 0;
  TStats stats_;
};

}  // namespace dikton
