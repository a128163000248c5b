#include "uTransmitWait.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace dikton {

TTransmitWait::TTransmitWait(const TClock& clock)
    : clock_(clock), sleeper_(clock.CreateSleeper()), frequency_(clock.Frequency()) {
  lateness_.fill(UsToTicks(kFirstMarginUs));
}

int64_t TTransmitWait::UsToTicks(int64_t us) const {
  return frequency_ > 0 ? int64_t(std::ceil(static_cast<long double>(us) * frequency_ / 1e6L)) : 0;
}

int64_t TTransmitWait::MarginTicks() const {
  auto recent = lateness_;
  std::nth_element(recent.begin(), recent.begin() + kSetAside, recent.end(), std::greater<>());
  return std::clamp(recent[kSetAside], UsToTicks(kMinMarginUs), UsToTicks(kMaxMarginUs));
}

void TTransmitWait::Remember(int64_t lateTicks) {
  lateness_[next_] = lateTicks;
  next_ = (next_ + 1) % kHistory;
}

void TTransmitWait::Until(int64_t t0, long double ticks) {
  int64_t now = clock_.Counter();
  auto due = [&] { return static_cast<long double>(now - t0) >= ticks; };
  if (sleeper_) {
    const int64_t wakeAt = t0 + int64_t(std::floor(ticks)) - MarginTicks();
    if (now < wakeAt) {
      sleeper_->SleepUntil(wakeAt);
      now = clock_.Counter();
      Remember(std::max<int64_t>(now - wakeAt, 0));
      ++stats_.Sleeps;
      if (due()) ++stats_.LateWakes;
    } else {
      // Too short to sleep within the margin: no wake-up to learn from. The oldest one is
      // aged instead, to seven eighths of the usual, so that a burst of late wake-ups does not
      // keep the margin wide, and a run of short frames spun whole, once it has passed.
      auto recent = lateness_;
      std::nth_element(recent.begin(), recent.begin() + kHistory / 2, recent.end());
      Remember(recent[kHistory / 2] * 7 / 8);
    }
  }
  const int64_t spinFrom = now;
  // The spin gives the core to any thread of the same priority that is waiting for it (another
  // port's wait that has woken): several ports spinning at real-time priority would otherwise
  // keep each other's wake-ups waiting, and each late wake-up widens the next margin.
  while (!due()) {
    std::this_thread::yield();
    now = clock_.Counter();
  }
  stats_.SpinTicks += now - spinFrom;
}

}  // namespace dikton
