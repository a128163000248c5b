#include "uClock.h"

#include <ctime>

#ifdef _WIN32
#include <windows.h>
// after windows.h, whose types it uses
#include <timeapi.h>
#else
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#endif

namespace dikton {
namespace {

#ifdef _WIN32
// Windows 10 1803 and later; older headers do not name it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

int64_t PerformanceCounter() {
  LARGE_INTEGER c{};
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

// A high-resolution waitable timer wakes the thread within a fraction of a millisecond. Where
// the system has none (before Windows 10 1803), Sleep under the 1 ms timer resolution that
// every worker holds sleeps whole milliseconds, and the spin does the rest.
class TWaitableTimerSleeper final : public TSleeper {
 public:
  explicit TWaitableTimerSleeper(int64_t frequency) : frequency_(frequency) {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
  }
  ~TWaitableTimerSleeper() override {
    if (timer_) CloseHandle(timer_);
  }
  TWaitableTimerSleeper(const TWaitableTimerSleeper&) = delete;
  TWaitableTimerSleeper& operator=(const TWaitableTimerSleeper&) = delete;

  void SleepUntil(int64_t until) override {
    const int64_t left = until - PerformanceCounter();
    if (left <= 0 || frequency_ <= 0) return;
    if (timer_) {
      // A negative due time is relative, in 100 ns units.
      LARGE_INTEGER due{};
      due.QuadPart = -static_cast<LONGLONG>(static_cast<long double>(left) * 1e7L / frequency_);
      if (due.QuadPart < 0 && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
        WaitForSingleObject(timer_, INFINITE);
        return;
      }
    }
    const auto ms = static_cast<DWORD>(left * 1000 / frequency_);
    if (ms > 0) Sleep(ms);
  }

 private:
  int64_t frequency_;
  HANDLE timer_ = nullptr;
};
#else
int64_t Monotonic() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// An absolute sleep on the monotonic clock that the counter reads, so no drift between the
// two and no loss to a signal that interrupts it.
class TMonotonicSleeper final : public TSleeper {
 public:
  void SleepUntil(int64_t until) override {
    timespec ts{};
    ts.tv_sec = time_t(until / 1000000000);
    ts.tv_nsec = long(until % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
  }
};
#endif

class TSystemClock final : public TClock {
 public:
#ifdef _WIN32
  int64_t Frequency() const override {
    LARGE_INTEGER f{};
    return QueryPerformanceFrequency(&f) ? f.QuadPart : 0;
  }
  int64_t Counter() const override { return PerformanceCounter(); }
  std::unique_ptr<TSleeper> CreateSleeper() const override {
    return std::make_unique<TWaitableTimerSleeper>(Frequency());
  }
  void BeginTimerPeriod() const override { timeBeginPeriod(1); }
  void EndTimerPeriod() const override { timeEndPeriod(1); }
  void EnterTimingCritical() const override {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  }
#else
  // Nanoseconds of CLOCK_MONOTONIC: the clock the sleeper sleeps on.
  int64_t Frequency() const override { return 1000000000; }
  int64_t Counter() const override { return Monotonic(); }
  std::unique_ptr<TSleeper> CreateSleeper() const override {
    return std::make_unique<TMonotonicSleeper>();
  }
  // A thread woken late turns the line round late. The lowest real-time priority puts it ahead
  // of ordinary threads when it wakes (unprivileged users are simply refused), and the
  // smallest timer slack has the kernel wake it on time rather than up to 50 us later.
  void EnterTimingCritical() const override {
    sched_param sp{};
    sp.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
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
