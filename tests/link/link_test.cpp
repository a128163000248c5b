#include <gtest/gtest.h>

#include <thread>

#include "FakeLine.h"
#include "SimFixture.h"
#include "UnderWine.h"
#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uPortNames.h"
#include "uRV7K_v210_Sound.h"

namespace dikton {
namespace {

using test::TFakeLine;
using test::TFakeLineScript;

std::vector<uint8_t> WithCrc(std::vector<uint8_t> b) {
  b.push_back(TRV7KSoundThread::Crc8(TFrame::FromBytes(b)));
  return b;
}

TEST(Crc8, MatchesTheDeviceTableIncludingEntryF9) {
  struct {
    std::vector<uint8_t> frame;
    uint8_t crc;
  } cases[] = {
      {{0x01, 0x06, 0x00, 0x3F, 0x2C, 0x00}, 0xA6},
      {{0x04, 0x08, 0x00, 0x43, 0x00, 0x00, 0x00, 0x20}, 0x03},  // CRC-8/MAXIM would say 0x60
      {{0x2A, 0x06, 0x00, 0x3F, 0x2C, 0x00}, 0xFC},              // and 0xE8 here
  };
  for (const auto& c : cases) EXPECT_EQ(TRV7KSoundThread::Crc8(TFrame::FromBytes(c.frame)), c.crc);
}

TEST(Crc8, CountsTheBytesNamedByLNotTheStringLength) {
  // A received reply carries its CRC as the last byte: the CRC covers positions 1 to L only.
  auto reply = WithCrc({0x7F, 0x05, 0x34, 0xA0, 0x00});
  EXPECT_EQ(TRV7KSoundThread::Crc8(TFrame::FromBytes(reply)), reply.back());
}

TEST(CommandSet, RequestBytes) {
  const uint8_t ab[] = {0xAA, 0xBB};
  EXPECT_EQ(BuildRangeQuery(1).Bytes(), (std::vector<uint8_t>{1, 6, 0, 0x3F, 0x2C, 0}));
  EXPECT_EQ(BuildReadBlock(1, 0x12345, 32).Bytes(),
            (std::vector<uint8_t>{1, 8, 0, 0x43, 0x45, 0x23, 0x01, 0x20}));
  EXPECT_EQ(BuildWriteBlock(1, 0x10, ab, 2).Bytes(),
            (std::vector<uint8_t>{1, 9, 0, 0x41, 0x10, 0, 0, 0xAA, 0xBB}));
  EXPECT_EQ(BuildPrepare(5).Bytes(), (std::vector<uint8_t>{5, 6, 0, 0x0D, 0, 0}));
  EXPECT_EQ(BuildModeSwitch(5, kModeLeave).Bytes(), (std::vector<uint8_t>{5, 6, 0, 0x33, 0xA0, 1}));
  EXPECT_EQ(BuildWriteBlock(1, 0, ab, 0).Length(), 7u);  // a final block with no data
}

TEST(CommandSet, ReplyDecoding) {
  auto range = DecodeRangeReply(
      TFrame::FromBytes(WithCrc({1, 0x0A, 0x3E, 0x2C, 0x00, 0x30, 0x00, 0xFF, 0xFF, 0x0F})));
  ASSERT_TRUE(range);
  EXPECT_EQ(range->Start, 0x3000u);
  EXPECT_EQ(range->End, 0xFFFFFu);
  EXPECT_FALSE(DecodeRangeReply(TFrame::FromBytes(WithCrc({1, 5, 0x3E, 0x2D, 0}))));
  // A short range reply cannot be read past its end.
  EXPECT_FALSE(DecodeRangeReply(TFrame::FromBytes(WithCrc({1, 5, 0x3E, 0x2C, 0}))));

  auto data = TFrame::FromBytes(WithCrc({1, 7, 0x44, 3, 9, 8, 7}));
  ASSERT_TRUE(DecodeDataReply(data, 3));
  EXPECT_EQ(DecodeDataReply(data, 3)->size(), 3u);
  EXPECT_FALSE(DecodeDataReply(data, 2)) << "more than was asked for";
  auto lying = TFrame::FromBytes(WithCrc({1, 7, 0x44, 9, 9, 8, 7}));
  EXPECT_FALSE(DecodeDataReply(lying, 32)) << "n above what L carries";
  EXPECT_TRUE(IsModeSwitchReply(TFrame::FromBytes(WithCrc({1, 5, 0x34, 0xA0, 0}))));
  EXPECT_FALSE(IsModeSwitchReply(TFrame::FromBytes(WithCrc({1, 5, 0x34, 0xA1, 0}))));
}

TEST(TransmitTime, TenBitsPerByteAndHalfAByteOfMargin) {
  EXPECT_DOUBLE_EQ(TransmitSeconds(7, 9600) * 1000, 7.8125);
  EXPECT_DOUBLE_EQ(TransmitSeconds(40, 115200) * 1000, 3.515625);
}

TEST(CompareBlock, FirstDifferenceOrMinusOne) {
  TRV7KSoundThread t(nullptr);
  const uint8_t a[] = {1, 2, 3, 4}, b[] = {1, 2, 3, 5}, c[] = {1, 9, 3, 9};
  EXPECT_EQ(t.CompareBlock(a, a, 4), -1);
  EXPECT_EQ(t.CompareBlock(a, b, 4), 3);
  EXPECT_EQ(t.CompareBlock(a, c, 4), 1);
}

// The exchange's reading and checking of replies, against a scripted line.
class FakeLineExchange : public ::testing::Test {
 protected:
  std::shared_ptr<TFakeLineScript> script = std::make_shared<TFakeLineScript>();
  TLinkContext Ctx() {
    TLinkContext c;
    auto s = script;
    c.LineFactory = [s] { return std::make_unique<TFakeLine>(s); };
    return c;
  }
};

TEST_F(FakeLineExchange, RepliesByLength) {
  struct {
    const char* what;
    std::vector<std::vector<uint8_t>> reads;  // one attempt's reads
    bool valid;
  } cases[] = {
      {"L = 5 is complete after the first read", {WithCrc({1, 5, 0x42, 0, 0})}, true},
      {"L = 4", {{1, 4, 0x42, 0, 0, 0}}, false},
      {"L = 0", {{1, 0, 0x42, 0, 0, 0}}, false},
      {"shorter than 6 bytes", {{1, 5, 0x42}}, false},
      {"bad CRC", {{1, 5, 0x42, 0, 0, 0x00}}, false},
      {"second part in full", {{1, 6, 0x44, 2, 9, 8}, {WithCrc({1, 6, 0x44, 2, 9, 8}).back()}},
       true},
      {"second part short", {{1, 9, 0x44, 4, 9, 8}, {7}}, false},
      {"second part never comes", {{1, 9, 0x44, 4, 9, 8}}, false},
      {"L = 255 cannot be held", {{1, 255, 0x44, 250, 0, 0}, std::vector<uint8_t>(250, 0)}, false},
      {"garbage", {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, false},
  };
  for (const auto& c : cases) {
    script->Reads.assign(c.reads.begin(), c.reads.end());
    script->Writes.clear();
    TRV7KSoundThread t(nullptr, Ctx());
    t.Retries = 1;
    ASSERT_TRUE(t.OpenPort(1));
    TFrame reply;
    EXPECT_EQ(t.Exchange(BuildPrepare(1), reply), c.valid) << c.what;
    EXPECT_EQ(script->Writes.size(), 1u) << c.what;
  }
}

TEST_F(FakeLineExchange, ClosedPortRefusedAtOnceWithNothingWritten) {
  TRV7KSoundThread t(nullptr, Ctx());
  TFrame reply;
  EXPECT_FALSE(t.Exchange(BuildRangeQuery(1), reply));
  EXPECT_EQ(reply.Length(), 0u);
  EXPECT_EQ(script->Opens, 0);
  EXPECT_TRUE(script->Writes.empty());
}

TEST_F(FakeLineExchange, ThreeAttemptsWithTheSameFrame) {
  TRV7KSoundThread t(nullptr, Ctx());
  ASSERT_TRUE(t.OpenPort(1));
  TFrame reply;
  EXPECT_FALSE(t.Exchange(BuildRangeQuery(1), reply));
  ASSERT_EQ(script->Writes.size(), 3u);
  EXPECT_EQ(script->Writes[0], WithCrc({1, 6, 0, 0x3F, 0x2C, 0}));
  EXPECT_EQ(script->Writes[2], script->Writes[0]);
  EXPECT_EQ(t.RetryCount(), 2u);
}

class NoCounterClock : public TClock {
 public:
  int64_t Frequency() const override { return 0; }
  int64_t Counter() const override { return 0; }
  TLocalTime Now() const override { return {}; }
};

TEST_F(FakeLineExchange, ClockWithoutFrequencyFailsTheAttempt) {
  NoCounterClock clock;
  auto ctx = Ctx();
  ctx.Clock = &clock;
  TRV7KSoundThread t(nullptr, ctx);
  ASSERT_TRUE(t.OpenPort(1));
  script->Reads.push_back(WithCrc({1, 5, 0x42, 0, 0}));
  TFrame reply;
  EXPECT_FALSE(t.Exchange(BuildPrepare(1), reply));
  EXPECT_TRUE(script->Writes.empty());
}

// Port n opens "COMn" on Windows, and ports 10 to 16 open only in the "\\.\COMn" form; on
// POSIX the default map is /dev/ttyS(n-1).
TEST(PortNames, DefaultDeviceOfEachPortNumber) {
  EXPECT_EQ(ComName(3), "COM3");
  const TPortMap ports;
  const bool windows = ports.DeviceFor(1) == "COM1";
  for (int n = 1; n <= 16; ++n) {
    const std::string expected = !windows ? "/dev/ttyS" + std::to_string(n - 1)
                                 : n < 10 ? "COM" + std::to_string(n)
                                          : "\\\\.\\COM" + std::to_string(n);
    EXPECT_EQ(ports.DeviceFor(n), expected) << n;
  }
}

TEST_F(FakeLineExchange, PortNumbersOutsideOneToSixteenAreNeverOpened) {
  for (uint8_t port : {0, 17, 255}) {
    TRV7KSoundThread t(nullptr, Ctx());
    EXPECT_FALSE(t.OpenPort(port)) << int(port);
    EXPECT_FALSE(t.PortOpen()) << int(port);
  }
  EXPECT_EQ(script->Opens, 0);
}

TEST(Worker, ConstructorDefaultsAndImage) {
  TData image(10, 1);
  TRV7KSoundThread t(&image);
  EXPECT_TRUE(image.empty()) << "the base worker empties the image";
  EXPECT_EQ(t.BaudRate, 9600);
  EXPECT_EQ(t.Retries, 3);
  EXPECT_EQ(t.DeviceAddress, 0);
  EXPECT_FALSE(t.PortOpen());
  t.SetBaudRate(115200);  // before OpenPort: nothing changes
  EXPECT_EQ(t.BaudRate, 9600);
}

// Over a real pseudo-terminal against the virtual device.
class SimExchange : public test::TSimTest {
 protected:
  std::unique_ptr<TRV7KSoundThread> Open(uint8_t device = 127) {
    auto t = std::make_unique<TRV7KSoundThread>(nullptr, Link);
    t->SetDeviceAddress(device);
    EXPECT_TRUE(t->OpenPort(1));
    t->SetBaudRate(kSlowBaud);
    return t;
  }
};

TEST_F(SimExchange, RangeQuery) {
  StartDevice();
  auto t = Open();
  TFrame reply;
  ASSERT_TRUE(t->Exchange(BuildRangeQuery(127), reply));
  auto range = DecodeRangeReply(reply);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->Start, 0x3000u);
  EXPECT_EQ(range->End, 0x7FFFu);
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 1u);
  EXPECT_EQ(t->RetryCount(), 0u);
}

// The frames as they went over the line, both ways, and the rate each was seen at: the mode
// switch and its answer at 9600, then a range query and its answer at 115200. Under Wine this
// is the Windows program on a COM port against the device on its pseudo-terminal.
TEST_F(SimExchange, TranscriptHoldsTheExactFramesAtBothRates) {
  StartDevice();
  auto t = Open();
  TFrame reply;
  ASSERT_TRUE(t->Exchange(BuildModeSwitch(127, kModeEnter), reply));
  t->SetBaudRate(kFastBaud);
  ASSERT_TRUE(t->Exchange(BuildRangeQuery(127), reply));

  struct TSeen {
    bool fromHost;
    int32_t baud;
    std::vector<uint8_t> bytes;
  };
  std::vector<TSeen> seen;
  for (const auto& e : Device->Transcript()) seen.push_back({e.FromHost, e.Baud, e.Bytes});
  const std::vector<TSeen> expected{
      {true, 9600, {0x7F, 0x06, 0x00, 0x33, 0xA0, 0x00, 0xF4}},
      {false, 9600, {0x7F, 0x05, 0x34, 0xA0, 0x00, 0x2D}},
      {true, 115200, {0x7F, 0x06, 0x00, 0x3F, 0x2C, 0x00, 0x2D}},
      {false, 115200, {0x7F, 0x0A, 0x3E, 0x2C, 0x00, 0x30, 0x00, 0xFF, 0x7F, 0x00, 0xD8}},
  };
  ASSERT_EQ(seen.size(), expected.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].fromHost, expected[i].fromHost) << "frame " << i;
    EXPECT_EQ(seen[i].baud, expected[i].baud) << "frame " << i;
    EXPECT_EQ(seen[i].bytes, expected[i].bytes) << "frame " << i;
  }
  EXPECT_EQ(t->RetryCount(), 0u);
}

TEST_F(SimExchange, SilentDeviceGetsExactlyThreeAttempts) {
  StartDevice();
  Device->AddFault({rv7ksim::TFaultKind::Silence, 0, 0, -1, 0, 0});
  auto t = Open();
  TFrame reply;
  EXPECT_FALSE(t->Exchange(BuildRangeQuery(127), reply));
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 3u);
}

TEST_F(SimExchange, FaultyFirstAnswerThenGoodOneSucceedsOnTheSecondAttempt) {
  for (auto kind : {rv7ksim::TFaultKind::BadCrc, rv7ksim::TFaultKind::PartialReply,
                    rv7ksim::TFaultKind::LengthFF}) {
    StartDevice();
    Device->AddFault({kind, 0, 0, -1, 1, 6});
    auto t = Open();
    TFrame reply;
    EXPECT_TRUE(t->Exchange(BuildRangeQuery(127), reply)) << int(kind);
    EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 2u) << int(kind);
  }
}

TEST_F(SimExchange, EchoIsNeverTakenForTheReplyAtEitherRate) {
  for (double echoDelayMs : {0.0, 1.5}) {  // heard as it is sent; delivered late by an adapter
    auto o = test::SmallDevice();
    o.Echo = true;
    o.EchoDelayMs = echoDelayMs;
    StartDevice(o);
    Device->SetMemory(0x100, {1, 2, 3, 4});
    auto t = Open();
    TFrame reply;
    ASSERT_TRUE(t->Exchange(BuildRangeQuery(127), reply)) << echoDelayMs;
    EXPECT_TRUE(DecodeRangeReply(reply)) << echoDelayMs;
    ASSERT_TRUE(t->Exchange(BuildModeSwitch(127, kModeEnter), reply)) << echoDelayMs;
    EXPECT_TRUE(IsModeSwitchReply(reply)) << echoDelayMs;
    t->SetBaudRate(kFastBaud);
    ASSERT_TRUE(t->Exchange(BuildReadBlock(127, 0x100, 4), reply)) << echoDelayMs;
    const auto data = DecodeDataReply(reply, 4);
    ASSERT_TRUE(data) << echoDelayMs;
    EXPECT_EQ(std::vector<uint8_t>(data->begin(), data->end()), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(t->RetryCount(), 0u) << echoDelayMs;
  }
}

// The real counter, except that the look which would end the transmit wait comes only once
// the device's reply lies in the host's input: the host is turned round late.
class TLateTurnClock : public TClock {
 public:
  explicit TLateTurnClock(const rv7ksim::TVirtualDevice& d) : device_(d) {}
  int64_t Frequency() const override { return SystemClock().Frequency(); }
  int64_t Counter() const override {
    const int64_t now = SystemClock().Counter();
    if (armed_ && ++looks_ == 2) {
      while (device_.HostInputPending() < ReplyBytes) std::this_thread::yield();
      return now + Frequency();  // a second later
    }
    return now;
  }
  TLocalTime Now() const override { return {}; }
  void Arm() { armed_ = true, looks_ = 0; }
  size_t ReplyBytes = 0;

 private:
  const rv7ksim::TVirtualDevice& device_;
  bool armed_ = false;
  mutable int looks_ = 0;
};

TEST_F(SimExchange, ReplyThatCameBeforeALateTurnRoundIsKept) {
  StartDevice();
  TLateTurnClock clock(*Device);
  Link.Clock = &clock;
  auto t = Open();
  clock.ReplyBytes = 11;  // the range reply
  clock.Arm();
  TFrame reply;
  ASSERT_TRUE(t->Exchange(BuildRangeQuery(127), reply));
  EXPECT_TRUE(DecodeRangeReply(reply));
  EXPECT_EQ(t->RetryCount(), 0u) << "the reply was there before the line was turned round";
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 1u);
}

TEST_F(SimExchange, HungUpLineEndsTheReadAtOnce) {
  // Wine's read of a hung-up pseudo-terminal waits out its time-out and reports success; on
  // Windows a pulled-out adapter fails the read, which Wine cannot show on a pty.
  if (test::UnderWine()) GTEST_SKIP() << "Wine cannot hang a COM port up";
  StartDevice();
  auto line = CreateSerialLine();
  ASSERT_TRUE(line->Open(Device->Path()));
  TCommTimeouts timeouts;
  timeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
  line->SetTimeouts(timeouts);
  if (!Device->HangUp()) GTEST_SKIP() << "hanging a terminal up needs root";
  uint8_t buf[6];
  size_t done = 7;
  // A hung-up line is readable for ever and gives nothing: the read must see that and end,
  // not spin through its 400 ms.
  EXPECT_FALSE(line->Read(buf, sizeof buf, done));
  EXPECT_EQ(done, 0u);
}

TEST_F(SimExchange, ReplyFromAnotherAddressIsAccepted) {
  auto o = test::SmallDevice();
  o.Address = 5;
  o.AnswerAll = true;
  StartDevice(o);
  auto t = Open(9);
  TFrame reply;
  ASSERT_TRUE(t->Exchange(BuildRangeQuery(9), reply));
  EXPECT_EQ(reply.At(1), 5);
}

TEST_F(SimExchange, PortHeldByAnotherOpenerIsRefused) {
  // Wine opens a COM port unshared a second time all the same; Windows refuses it.
  if (test::UnderWine()) GTEST_SKIP() << "Wine does not refuse a second opener of a COM port";
  StartDevice();
  auto first = Open();
  TRV7KSoundThread second(nullptr, Link);
  EXPECT_FALSE(second.OpenPort(1));
  first->ClosePort();
  EXPECT_TRUE(second.OpenPort(1)) << "free again once the first has closed it";
}

TEST_F(SimExchange, MissingPortIsRefused) {
  Ports.Map(2, "/dev/nonexistent-dikton-port");
  Link.Ports = &Ports;
  TRV7KSoundThread t(nullptr, Link);
  EXPECT_FALSE(t.OpenPort(2));
  EXPECT_FALSE(t.PortOpen());
}

TEST_F(SimExchange, DeviceIgnoresFramesAtAnotherRate) {
  StartDevice();
  auto t = Open();
  t->SetBaudRate(kFastBaud);  // the device is still at 9600
  TFrame reply;
  EXPECT_FALSE(t->Exchange(BuildRangeQuery(127), reply));
  t->SetBaudRate(kSlowBaud);
  ASSERT_TRUE(t->Exchange(BuildModeSwitch(127, kModeEnter), reply));
  EXPECT_TRUE(IsModeSwitchReply(reply));
  t->SetBaudRate(kFastBaud);
  EXPECT_TRUE(t->Exchange(BuildRangeQuery(127), reply));
}

}  // namespace
}  // namespace dikton
