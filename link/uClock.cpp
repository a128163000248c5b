#include "uClock.h"

#include <chrono>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#include <timeapi.h>
#else
#include <pthread.h>
#include <sched.h>
#endif

namespace dikton {
namespace {

class TSystemClock final : public TClock {
 public:
  int64_t Frequency() const override {
    using P = std::chrono::steady_clock::period;
    return P::den / P::num;
  }
  int64_t Counter() const override {
    return std::chrono::steady_clock::now().time_since_epoch().count();
  }
#ifdef _WIN32
  void BeginTimerPeriod() const override { timeBeginPeriod(1); }
  void EndTimerPeriod() const override { timeEndPeriod(1); }
  void EnterTimingCritical() const override {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  }
#else
  // A preempted busy-wait turns the line round late and loses the device's reply to the
  // purge. The lowest real-time priority is enough; unprivileged users are simply refused.
  void EnterTimingCritical() const override {
    sched_param sp{};
    sp.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);
  }
#endif
  TLocalTime Now() const override {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return {tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min};
  }
};

}  // namespace

const TClock& SystemClock() {
  static const TSystemClock clock;
  return clock;
}

}  // namespace dikton
