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
#ifdef _WIN32
  int64_t Frequency() const override {
    LARGE_INTEGER f{};
    return QueryPerformanceFrequency(&f) ? f.QuadPart : 0;
  }
  int64_t Counter() const override {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    return c.QuadPart;
  }
#else
  int64_t Frequency() const override {
    using P = std::chrono::steady_clock::period;
    return P::den / P::num;
  }
  int64_t Counter() const override {
    return std::chrono::steady_clock::now().time_since_epoch().count();
  }
#endif
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
#ifdef _WIN32
  TLocalTime Now() const override {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return {st.wDay, st.wMonth, st.wYear, st.wHour, st.wMinute};
  }
#else
  TLocalTime Now() const override {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min};
  }
#endif
};

}  // namespace

const TClock& SystemClock() {
  static const TSystemClock clock;
  return clock;
}

}  // namespace dikton
