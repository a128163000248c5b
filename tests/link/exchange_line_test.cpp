// The exchange against a simulated line whose clock the test controls: the order of the
// line calls, the transmit wait, the line's echo and a late turn-round, tick by tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "rv7k_sim.h"
#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7K_v210_Sound.h"

namespace dikton {
namespace {

// Microsecond ticks; every look at the counter costs one tick, so a busy-wait ends. With
// CanSleep, a link made afterwards gets a sleeper that jumps the counter to the time it was
// asked for plus WakeLateUs, as a system that wakes threads late does.
class TStepClock : public TClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() const override { return now_++; }
  TLocalTime Now() const override { return {}; }
  int64_t Peek() const { return now_; }
  void AdvanceTo(int64_t t) { now_ = std::max(now_, t); }

  std::unique_ptr<TSleeper> CreateSleeper() const override {
    if (!CanSleep) return nullptr;
    struct TStepSleeper : TSleeper {
      explicit TStepSleeper(TStepClock& c) : clock(c) {}
      void SleepUntil(int64_t until) override {
        clock.AdvanceTo(until + clock.WakeLateUs);
        clock.Wakes.push_back(clock.Peek());
      }
      TStepClock& clock;
    };
    return std::make_unique<TStepSleeper>(const_cast<TStepClock&>(*this));
  }
  bool CanSleep = false;
  int64_t WakeLateUs = 0;
  std::vector<int64_t> Wakes;  // the counter at every wake-up

 private:
  mutable int64_t now_ = 1000;
};

// A half-duplex line with a device on it. Bytes arrive at set times; a purge of the input
// drops what has arrived by then; a read takes what arrives before its time-out.
struct TLineWorld {
  TStepClock Clock;
  int32_t Baud = 9600;
  bool Echo = false;
  int64_t EchoDelayUs = 0;      // after the frame has left the wire; negative: during it
  int64_t TurnaroundUs = 3000;  // device's answer delay after the frame has left the wire
  int64_t LateUs = 0;           // the host is preempted this long just after its write
  bool Silent = false;
  std::vector<std::string> Calls;
  std::vector<uint32_t> ReadTimeouts;  // every total read time-out set, ms
  int64_t WriteAt = 0, TurnedAt = 0;
  std::vector<std::pair<int64_t, uint8_t>> Input;  // arrival time, byte
  std::vector<uint8_t> LastReply;
  uint32_t timeoutMs = 0;

  int64_t WireUs(size_t n) const { return int64_t(n) * 10 * 1000000 / Baud; }
  void Arrive(int64_t at, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) Input.emplace_back(at, b);
    std::stable_sort(Input.begin(), Input.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
};

class TWorldLine : public TSerialLine {
 public:
  explicit TWorldLine(std::shared_ptr<TLineWorld> w) : w_(std::move(w)) {}
  bool Open(const std::string&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool SetupComm(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const TCommTimeouts& t) override {
    w_->timeoutMs = t.ReadTotalTimeoutConstant;
    w_->ReadTimeouts.push_back(t.ReadTotalTimeoutConstant);
    return true;
  }
  bool SetState(const TLineSettings& s) override {
    w_->Baud = s.BaudRate;
    return true;
  }
  bool Escape(TEscape fn) override {
    static const char* names[] = {"SETRTS", "CLRRTS", "SETDTR", "CLRDTR"};
    w_->Calls.push_back(names[int(fn)]);
    if (fn == TEscape::ClrRts) w_->TurnedAt = w_->Clock.Peek();
    return true;
  }
  bool Purge(uint32_t flags) override {
    static const std::pair<uint32_t, const char*> names[] = {{PurgeTxClear, "TXCLEAR"},
                                                             {PurgeTxAbort, "TXABORT"},
                                                             {PurgeRxClear, "RXCLEAR"},
                                                             {PurgeRxAbort, "RXABORT"}};
    for (const auto& [f, name] : names)
      if (flags & f) w_->Calls.push_back(name);
    if (flags & (PurgeRxClear | PurgeRxAbort)) {
      const int64_t now = w_->Clock.Peek();
      std::erase_if(w_->Input, [now](const auto& a) { return a.first <= now; });
    }
    return true;
  }
  bool Write(const uint8_t* d, size_t n, size_t& done) override {
    w_->Calls.push_back("WRITE");
    const std::vector<uint8_t> frame(d, d + n);
    w_->WriteAt = w_->Clock.Peek();
    const int64_t left = w_->WriteAt + w_->WireUs(n);
    if (w_->Echo) w_->Arrive(left + w_->EchoDelayUs, frame);
    if (!w_->Silent) {
      // Any request gets a mode-switch style answer of its own code + 1.
      std::vector<uint8_t> r{frame[0], 5, uint8_t(frame[3] + 1), 0xA0, 0};
      r.push_back(rv7ksim::SimCrc8(r.data(), r.size()));
      w_->LastReply = r;
      w_->Arrive(left + w_->TurnaroundUs + w_->WireUs(r.size()), r);
    }
    w_->Clock.AdvanceTo(w_->Clock.Peek() + w_->LateUs);
    done = n;
    return true;
  }
  bool Read(uint8_t* d, size_t n, size_t& done) override {
    w_->Calls.push_back("READ");
    done = 0;
    const int64_t deadline = w_->Clock.Peek() + int64_t(w_->timeoutMs) * 1000;
    auto& in = w_->Input;
    while (done < n && !in.empty() && in.front().first <= deadline) {
      w_->Clock.AdvanceTo(in.front().first);
      d[done++] = in.front().second;
      in.erase(in.begin());
    }
    if (done < n) w_->Clock.AdvanceTo(deadline);
    return true;
  }

 private:
  std::shared_ptr<TLineWorld> w_;
  bool open_ = false;
};

class LineWorld : public ::testing::Test {
 protected:
  std::shared_ptr<TLineWorld> world = std::make_shared<TLineWorld>();
  std::unique_ptr<TRV7KSoundThread> Open(int32_t baud = kSlowBaud) {
    TLinkContext c;
    c.Clock = &world->Clock;
    auto w = world;
    c.LineFactory = [w] { return std::make_unique<TWorldLine>(w); };
    auto t = std::make_unique<TRV7KSoundThread>(nullptr, c);
    EXPECT_TRUE(t->OpenPort(1));
    t->SetBaudRate(baud);
    return t;
  }
  size_t Writes() const {
    return size_t(std::count(world->Calls.begin(), world->Calls.end(), "WRITE"));
  }
};

TEST_F(LineWorld, OneAttemptInOrderWithNoPurgeOnceTheFrameIsOut) {
  auto t = Open();
  TFrame reply;
  ASSERT_TRUE(t->Exchange(BuildRangeQuery(127), reply));
  const std::vector<std::string> expected = {"CLRDTR",  "SETRTS", "TXCLEAR", "TXABORT", "RXCLEAR",
                                             "RXABORT", "WRITE",  "CLRRTS",  "SETDTR",  "READ"};
  EXPECT_EQ(world->Calls, expected)
      << "the line turns to receive after the transmit wait; nothing is purged after the "
         "write, so a reply that is already there is kept";
}

TEST_F(LineWorld, TransmitWaitOfExchangeIsTenBitsPerByteAndHalfAByte) {
  struct {
    int32_t baud;
    TFrame request;
    int64_t waitUs;  // (n + 0.5) x 10 / baud, rounded up to whole ticks
  } cases[] = {
      {kSlowBaud, BuildRangeQuery(127), 7813},  // 7 bytes: 7.8125 ms
      {kFastBaud, BuildWriteBlock(127, 0, std::vector<uint8_t>(32).data(), 32), 3516},  // 40
  };
  for (const auto& c : cases) {
    auto t = Open(c.baud);
    TFrame reply;
    ASSERT_TRUE(t->Exchange(c.request, reply));
    // t0 is taken one look before the write.
    const int64_t waited = world->TurnedAt - (world->WriteAt - 1);
    EXPECT_GE(waited, c.waitUs) << c.baud;
    EXPECT_LE(waited, c.waitUs + 2) << c.baud;
  }
}

TEST_F(LineWorld, SleepingTransmitWaitTurnsRoundAtTheComputedTickAndSpinsOnlyItsMargin) {
  struct {
    int32_t baud;
    TFrame request;
    int64_t waitUs;  // (n + 0.5) x 10 / baud, rounded up to whole ticks
    int64_t wakeLateUs;
  } cases[] = {
      {kSlowBaud, BuildRangeQuery(127), 7813, 0},
      {kSlowBaud, BuildRangeQuery(127), 7813, 120},
      {kFastBaud, BuildWriteBlock(127, 0, std::vector<uint8_t>(32).data(), 32), 3516, 0},
      {kFastBaud, BuildWriteBlock(127, 0, std::vector<uint8_t>(32).data(), 32), 3516, 120},
  };
  for (const auto& c : cases) {
    world = std::make_shared<TLineWorld>();
    world->Clock.CanSleep = true;
    world->Clock.WakeLateUs = c.wakeLateUs;
    auto t = Open(c.baud);
    // The first wake-ups are spun out from a cautious margin; then the margin is what the
    // wake-ups have shown, and the spin after a wake-up shrinks to its floor.
    constexpr size_t kLearnt = TTransmitWait::kHistory - TTransmitWait::kSetAside;
    for (size_t round = 0; round < kLearnt + 4; ++round) {
      world->Clock.Wakes.clear();
      TFrame reply;
      ASSERT_TRUE(t->Exchange(c.request, reply));
      const int64_t waited = world->TurnedAt - (world->WriteAt - 1);
      EXPECT_GE(waited, c.waitUs) << c.baud << " round " << round;
      EXPECT_LE(waited, c.waitUs + 2) << c.baud << " round " << round;
      ASSERT_EQ(world->Clock.Wakes.size(), 1u) << "one sleep per transmission";
      const int64_t spun = world->TurnedAt - world->Clock.Wakes[0];
      const int64_t margin = round < kLearnt ? TTransmitWait::kFirstMarginUs
                                             : std::max(c.wakeLateUs, TTransmitWait::kMinMarginUs);
      EXPECT_LE(spun, margin - c.wakeLateUs + 3) << c.baud << " round " << round;
    }
    EXPECT_EQ(t->RetryCount(), 0u);
  }
}

TEST_F(LineWorld, MarginWidenedByLateWakeUpsNarrowsAgainOverFramesTooShortToSleep) {
  world->Clock.CanSleep = true;
  world->Clock.WakeLateUs = 3000;  // a stretch of very late wake-ups: the margin goes to 2 ms
  auto t = Open(kFastBaud);
  const TFrame write = BuildWriteBlock(127, 0, std::vector<uint8_t>(32).data(), 32);  // 3.5 ms
  const TFrame read = BuildReadBlock(127, 0, 32);  // 9 bytes: 0.8 ms, shorter than the margin
  TFrame reply;
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(t->Exchange(write, reply));
  world->Clock.WakeLateUs = 40;  // the stretch has passed
  world->Clock.Wakes.clear();
  int spunWhole = 0;
  while (world->Clock.Wakes.empty() && spunWhole < 2000) {
    ASSERT_TRUE(t->Exchange(read, reply));
    ++spunWhole;
  }
  EXPECT_FALSE(world->Clock.Wakes.empty()) << "short frames would be spun whole for ever";
  // Once it sleeps again, it learns the wake-ups as they are now.
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(t->Exchange(read, reply));
  world->Clock.Wakes.clear();
  ASSERT_TRUE(t->Exchange(read, reply));
  ASSERT_EQ(world->Clock.Wakes.size(), 1u);
  EXPECT_LE(world->TurnedAt - world->Clock.Wakes[0], TTransmitWait::kMinMarginUs - 40 + 3);
  EXPECT_EQ(t->RetryCount(), 0u);
}

TEST_F(LineWorld, WakeUpAfterTheMomentTurnsTheLineRoundAtOnceAndKeepsTheReply) {
  for (int32_t baud : {kSlowBaud, kFastBaud}) {
    world = std::make_shared<TLineWorld>();
    world->Clock.CanSleep = true;
    world->Clock.WakeLateUs = 25000;  // past the frame, the turnaround and the reply
    auto t = Open(baud);
    TFrame reply;
    ASSERT_TRUE(t->Exchange(BuildModeSwitch(127, kModeEnter), reply)) << baud;
    ASSERT_EQ(world->Clock.Wakes.size(), 1u);
    EXPECT_LE(world->TurnedAt - world->Clock.Wakes[0], 2) << baud << ": no spin after a late wake";
    EXPECT_EQ(reply.Bytes(), world->LastReply) << baud;
    EXPECT_EQ(t->RetryCount(), 0u) << baud << ": the reply that came meanwhile is kept";
  }
}

TEST(SystemSleeper, ReturnsNoEarlierThanItsTime) {
  // Whatever the system's timer, the wait must not end before the moment it was asked for:
  // the spin after it relies on that to lose no time, not on the sleep to be exact.
  auto sleeper = SystemClock().CreateSleeper();
  ASSERT_TRUE(sleeper);
  const int64_t f = SystemClock().Frequency();
  for (int64_t us : {-1000, 0, 200, 1500, 3000}) {
    const int64_t until = SystemClock().Counter() + us * f / 1000000;
    sleeper->SleepUntil(until);
    EXPECT_GE(SystemClock().Counter(), until) << us;
  }
}

TEST_F(LineWorld, EchoAndLateTurnRoundNeverCostTheReply) {
  struct {
    const char* what;
    bool echo;
    int64_t echoDelayUs, lateUs;
    int32_t baud;
  } cases[] = {
      {"echo heard during the transmission", true, -500, 0, kSlowBaud},
      {"echo 1.5 ms after the frame, reply after 3 ms", true, 1500, 0, kSlowBaud},
      {"the same at 115200", true, 1500, 0, kFastBaud},
      {"turned round after the reply has come", false, 0, 20000, kSlowBaud},
      {"turned round after the echo and the reply have come", true, 1500, 20000, kFastBaud},
  };
  for (const auto& c : cases) {
    world = std::make_shared<TLineWorld>();
    world->Echo = c.echo;
    world->EchoDelayUs = c.echoDelayUs;
    world->LateUs = c.lateUs;
    auto t = Open(c.baud);
    TFrame reply;
    ASSERT_TRUE(t->Exchange(BuildModeSwitch(127, kModeEnter), reply)) << c.what;
    EXPECT_EQ(reply.Bytes(), world->LastReply) << c.what << ": the device's reply, not the echo";
    EXPECT_EQ(t->RetryCount(), 0u) << c.what;
  }
}

TEST_F(LineWorld, AfterAnEchoTheReplyMustComeWithinTheSameAttemptsReadTime) {
  struct {
    const char* what;
    int64_t echoDelayUs, turnaroundUs;
    bool valid;
  } cases[] = {
      {"reply 250 ms after the read began", 150000, 250000, true},
      {"reply 450 ms after the read began", 150000, 450000, false},
  };
  for (const auto& c : cases) {
    world = std::make_shared<TLineWorld>();
    world->Echo = true;
    world->EchoDelayUs = c.echoDelayUs;
    world->TurnaroundUs = c.turnaroundUs;
    auto t = Open();
    t->Retries = 1;
    TFrame reply;
    EXPECT_EQ(t->Exchange(BuildRangeQuery(127), reply), c.valid) << c.what;
    ASSERT_GE(world->ReadTimeouts.size(), 3u) << c.what;
    const auto& rt = world->ReadTimeouts;
    EXPECT_LT(rt[rt.size() - 2], kReadTimeoutMs) << c.what << ": the rest of the 400 ms";
    EXPECT_EQ(rt.back(), kReadTimeoutMs) << c.what << ": restored for the next exchange";
  }
}

TEST_F(LineWorld, EchoOfASilentDeviceIsNoReply) {
  world->Echo = true;
  world->EchoDelayUs = 1500;
  world->Silent = true;
  auto t = Open();
  TFrame reply;
  EXPECT_FALSE(t->Exchange(BuildRangeQuery(127), reply));
  EXPECT_EQ(Writes(), 3u);
}

}  // namespace
}  // namespace dikton
