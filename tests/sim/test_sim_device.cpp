// The virtual device over its pseudo-terminal, driven from the host side as the program would.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "SimHost.h"
#include "rv7k_sim.h"

namespace rv7ksim {
namespace {

using test::Frame;
using test::THost;

constexpr uint8_t kMe = 1;               // the device's address in these tests
constexpr size_t kTestMemory = 0x10000;  // bytes
constexpr int kWaitMs = 5000;            // ms; generous, only a broken device waits it out

const std::vector<uint8_t> kRangeQuery{kMe, 0, 0x00, 0x3F, 0x2C, 0x00};
const std::vector<uint8_t> kPrepare{kMe, 0, 0x00, 0x0D, 0x00, 0x00};
const std::vector<uint8_t> kEnter{kMe, 0, 0x00, 0x33, 0xA0, 0x00};
const std::vector<uint8_t> kLeave{kMe, 0, 0x00, 0x33, 0xA0, 0x01};

std::vector<uint8_t> ReadRequest(uint32_t address, uint8_t n, uint8_t to = kMe) {
  return {to, 0, 0x00, 0x43, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16), n};
}

std::vector<uint8_t> WriteRequest(uint32_t address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> r{
      kMe, 0, 0x00, 0x41, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16)};
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

std::vector<uint8_t> DataReply(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> body{kMe, 0, 0x44, uint8_t(data.size())};
  body.insert(body.end(), data.begin(), data.end());
  return Frame(body);
}

std::vector<uint8_t> Pattern(uint8_t first, size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

TSimOptions SmallDevice() {
  TSimOptions o;
  o.MemorySize = kTestMemory;
  o.Address = kMe;
  o.TurnaroundMs = 0.2;
  return o;
}

class SimDevice : public testing::Test {
 protected:
  void Open(TSimOptions options = SmallDevice()) {
    device_.emplace(std::move(options));
    ASSERT_TRUE(device_->Start());
    host_.emplace(device_->Path());
    ASSERT_TRUE(host_->Valid());
  }
  void SetUp() override { Open(); }

  // Waits until the device has seen its count-th request in all.
  void SeenRequests(size_t count) { ASSERT_TRUE(device_->WaitForRequests(count, kWaitMs)); }

  std::optional<TVirtualDevice> device_;
  std::optional<THost> host_;
};

TEST_F(SimDevice, AnswersTheRangeQueryWithItsRange) {
  device_->SetRange(0x3000, 0xFFFF);
  EXPECT_EQ(host_->Exchange(kRangeQuery),
            Frame({kMe, 0, 0x3E, 0x2C, 0x00, 0x30, 0x00, 0xFF, 0xFF, 0x00}));
  const auto t = device_->Transcript();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_TRUE(t[0].FromHost);
  EXPECT_EQ(t[0].Bytes, Frame(kRangeQuery));
  EXPECT_EQ(t[0].Baud, 9600);
  EXPECT_FALSE(t[0].Ignored);
  EXPECT_FALSE(t[1].FromHost);
  EXPECT_EQ(t[1].Bytes.size(), 11u);
}

TEST_F(SimDevice, StoresWrittenBlocksAndReadsThemBack) {
  const std::vector<uint8_t> data = Pattern(0x10, 32);
  EXPECT_EQ(host_->Exchange(WriteRequest(0x1234, data)), Frame({kMe, 0, 0x42, 32, 0x00}));
  EXPECT_EQ(device_->Peek(0x1234), 0x10);
  EXPECT_EQ(device_->Peek(0x1234 + 31), 0x10 + 31);
  EXPECT_EQ(device_->Peek(0x1234 + 32), 0xFF);
  EXPECT_EQ(host_->Exchange(ReadRequest(0x1234, 32)), DataReply(data));

  // A block that runs off the end of the memory: the missing bytes read as erased.
  device_->SetMemory(kTestMemory - 2, {0xAB, 0xCD});
  EXPECT_EQ(host_->Exchange(ReadRequest(kTestMemory - 2, 4)), DataReply({0xAB, 0xCD, 0xFF, 0xFF}));
  // A write with no data bytes is acknowledged.
  EXPECT_EQ(host_->Exchange(WriteRequest(0x10, {})), Frame({kMe, 0, 0x42, 0, 0x00}));
}

TEST_F(SimDevice, SwitchesItsRateOnlyWhenItHasAnsweredTheModeSwitch) {
  // At 115200 before the switch the frame is garbage to the device.
  host_->SetRate(B115200);
  host_->Send(kRangeQuery);
  SeenRequests(1);
  EXPECT_TRUE(device_->Transcript().back().Ignored);
  EXPECT_EQ(device_->Transcript().back().Baud, 115200);

  host_->SetRate(B9600);
  EXPECT_EQ(host_->Exchange(kPrepare).size(), 6u);  // any valid frame will do
  EXPECT_EQ(host_->Exchange(kEnter), Frame({kMe, 0, 0x34, 0xA0, 0x00}));
  EXPECT_EQ(device_->CurrentRate(), 115200);

  host_->Send(kRangeQuery);  // still at 9600: now the wrong rate
  SeenRequests(4);
  EXPECT_TRUE(device_->Transcript().back().Ignored);

  host_->SetRate(B115200);
  EXPECT_EQ(host_->Exchange(kRangeQuery).size(), 11u);
  EXPECT_EQ(host_->Exchange(kLeave)[2], 0x34);
  EXPECT_EQ(device_->CurrentRate(), 9600);
  host_->SetRate(B9600);
  EXPECT_EQ(host_->Exchange(kRangeQuery).size(), 11u);
  // Nothing came for the ignored frames: every reply read above was the one expected.
  EXPECT_EQ(device_->RequestCount(), 7u);
  EXPECT_EQ(device_->RequestCount(0x3F), 4u);
  EXPECT_EQ(device_->RequestCount(0x33), 2u);
  EXPECT_EQ(device_->Transcript().size(), 7u + 5u);
}

TEST_F(SimDevice, AnswersOnlyItsOwnAddressUnlessToldToAnswerAll) {
  host_->Send(ReadRequest(0, 1, kMe + 1));
  EXPECT_EQ(host_->Exchange(ReadRequest(0, 1)), DataReply({0xFF}));  // the first reply read
  EXPECT_TRUE(device_->Transcript()[0].Ignored);

  Open([] {
    TSimOptions o = SmallDevice();
    o.AnswerAll = true;
    return o;
  }());
  EXPECT_EQ(host_->Exchange(ReadRequest(0, 1, 99)), DataReply({0xFF}));  // its own address
}

TEST_F(SimDevice, SkipsGarbageAndFindsTheFrameBehindIt) {
  std::vector<uint8_t> burst{0x55, 0x01, 0x06, 0x00, 0x3F, 0x2C, 0x00, 0x00};  // bad CRC
  const std::vector<uint8_t> good = Frame(kRangeQuery);
  burst.insert(burst.end(), good.begin(), good.end());
  host_->WriteRaw(burst);
  EXPECT_EQ(host_->ReadFrame().size(), 11u);
  EXPECT_EQ(device_->RequestCount(), 1u);
}

TEST_F(SimDevice, EchoesTheRequestBeforeItsReply) {
  TSimOptions o = SmallDevice();
  o.Echo = true;
  Open(o);
  host_->Send(kRangeQuery);
  const std::vector<uint8_t> got = host_->Read(7 + 11);
  ASSERT_EQ(got.size(), 18u);
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 7), Frame(kRangeQuery));
  EXPECT_EQ(got[9], 0x3E);
}

TEST_F(SimDevice, WithLineTimingNoReplyIsCompleteBeforeTheWireCouldCarryIt) {
  TSimOptions o = SmallDevice();
  o.LineTiming = true;
  o.TurnaroundMs = 2.0;
  Open(o);
  const auto before = std::chrono::steady_clock::now();
  const std::vector<uint8_t> reply = host_->Exchange(kRangeQuery);
  const auto took = std::chrono::steady_clock::now() - before;
  ASSERT_EQ(reply.size(), 11u);
  // (7 + 11) bytes of 10 bits at 9600 baud, plus the turnaround: a lower bound only.
  EXPECT_GE(took, std::chrono::microseconds(18 * 10 * 1000000 / 9600 + 2000));
}

TEST_F(SimDevice, LoadsAndDumpsRawMemory) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("rv7k_sim_test_" + std::to_string(::getpid()) + ".bin");
  device_->SetMemory(0x20, {1, 2, 3});
  ASSERT_TRUE(device_->DumpMemory(path.string()));
  EXPECT_EQ(std::filesystem::file_size(path), kTestMemory);
  TVirtualDevice other(SmallDevice());
  ASSERT_TRUE(other.LoadMemory(path.string()));
  EXPECT_EQ(other.Memory(), device_->Memory());
  std::filesystem::remove(path);
  EXPECT_FALSE(other.LoadMemory(path.string()));
}

// ---- faults ----

constexpr uint32_t kBlock = 0x100;  // where the fault cases read and write

struct TFaultCase {
  const char* Name;
  TFault Fault;
  std::vector<uint8_t> Request;
  std::vector<uint8_t> Reply;  // exactly what comes back; empty: nothing
  uint8_t StoredAtBlock;       // device byte at kBlock afterwards
};

std::vector<TFaultCase> FaultCases() {
  const auto mem = [](size_t from, size_t n) {  // the test memory: a pattern of 40, then FF
    std::vector<uint8_t> v;
    for (size_t i = from; i < from + n; ++i) v.push_back(i < 40 ? uint8_t(0xA0 + i) : 0xFF);
    return v;
  };
  const auto read8 = ReadRequest(kBlock, 8);
  const auto write2 = WriteRequest(kBlock, {0x11, 0x22});
  std::vector<uint8_t> badCrc = DataReply(mem(0, 8));
  badCrc.back() ^= 0xFF;
  std::vector<uint8_t> lying = DataReply(mem(0, 8));
  lying[3] = 10;
  lying.back() = SimCrc8(lying.data(), lying.size() - 1);
  std::vector<uint8_t> lengthFF = DataReply(mem(0, 251));
  std::vector<uint8_t> partial = DataReply(mem(0, 8));
  partial.resize(4);
  using K = TFaultKind;
  return {
      {"Silence", {K::Silence, 1, 0, -1, 1, 0}, read8, {}, 0xA0},
      {"SilenceLosesTheWrite", {K::Silence}, write2, {}, 0xA0},
      {"BadCrc", {K::BadCrc}, read8, badCrc, 0xA0},
      {"WrongCode", {K::WrongCode}, write2, Frame({kMe, 0, 0x3F, 0, 0}), 0xA0},
      {"RefuseWrite", {K::RefuseWrite}, write2, Frame({kMe, 0, 0x21, 0, 0}), 0xA0},
      {"ShortReply", {K::ShortReply, 0, 0, -1, 1, 3}, read8, DataReply(mem(0, 3)), 0xA0},
      {"PartialReply", {K::PartialReply, 0, 0, -1, 1, 4}, read8, partial, 0xA0},
      {"PartialAckStillStores",
       {K::PartialReply, 0, 0, -1, 1, 3},
       write2,
       std::vector<uint8_t>{kMe, 5, 0x42},
       0x11},
      {"ExtraData", {K::ExtraData, 0, 0, -1, 1, 2}, read8, DataReply(mem(0, 10)), 0xA0},
      {"LyingCount", {K::LyingCount, 0, 0, -1, 1, 2}, read8, lying, 0xA0},
      {"LengthFF", {K::LengthFF}, read8, lengthFF, 0xA0},
      {"OnlyOnItsAddress",
       {K::Silence, 0, 0, kBlock + 32, 0, 0},
       read8,
       DataReply(mem(0, 8)),
       0xA0},
      {"OnlyOnItsCommand", {K::Silence, 0, 0x41, -1, 0, 0}, read8, DataReply(mem(0, 8)), 0xA0},
      // Frame 2 is the range query that follows: both frame and command must match.
      {"NeedsFrameAndCommandToMatch",
       {K::Silence, 2, 0x43, -1, 0, 0},
       read8,
       DataReply(mem(0, 8)),
       0xA0},
      {"ReadFaultSparesWrites",
       {K::ShortReply, 0, 0, -1, 1, 3},
       write2,
       Frame({kMe, 0, 0x42, 2, 0}),
       0x11},
  };
}

void PrintTo(const TFaultCase& c, std::ostream* os) { *os << c.Name; }

class SimFault : public SimDevice, public testing::WithParamInterface<TFaultCase> {};

TEST_P(SimFault, ShapesTheAnswerAndTheMemory) {
  const TFaultCase& c = GetParam();
  device_->SetMemory(kBlock, Pattern(0xA0, 40));
  device_->AddFault(c.Fault);
  host_->Send(c.Request);
  // The range query that follows shows where the faulty answer ends.
  host_->Send(kRangeQuery);
  const std::vector<uint8_t> got = host_->Read(c.Reply.size() + 11);
  ASSERT_EQ(got.size(), c.Reply.size() + 11);
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end() - 11), c.Reply);
  EXPECT_EQ(got[got.size() - 9], 0x3E);
  EXPECT_EQ(device_->Peek(kBlock), c.StoredAtBlock);
  EXPECT_EQ(device_->Transcript()[0].Ignored, c.Reply.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SimFault, testing::ValuesIn(FaultCases()),
                         [](const testing::TestParamInfo<TFaultCase>& param) {
                           return std::string(param.param.Name);
                         });

TEST_F(SimDevice, FaultFiresItsNumberOfTimesThenTheDeviceRecovers) {
  device_->AddFault({TFaultKind::Silence, 0, 0x43, 0x40, 2, 0});
  host_->Send(ReadRequest(0x40, 1));
  host_->Send(ReadRequest(0x40, 1));
  EXPECT_EQ(host_->Exchange(ReadRequest(0x40, 1)), DataReply({0xFF}));  // the third attempt
  const auto t = device_->Transcript();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_TRUE(t[0].Ignored);
  EXPECT_TRUE(t[1].Ignored);
  EXPECT_FALSE(t[2].Ignored);
  EXPECT_EQ(device_->RequestCount(0x43), 3u);
}

TEST_F(SimDevice, CorruptByteStaysStuckThroughWrites) {
  device_->AddFault({TFaultKind::CorruptByte, 0, 0, 0x205, 1, 0x5A});
  EXPECT_EQ(device_->Peek(0x205), 0x5A);
  EXPECT_EQ(host_->Exchange(WriteRequest(0x200, Pattern(0, 8)))[2], 0x42);
  EXPECT_EQ(host_->Exchange(ReadRequest(0x200, 8)), DataReply({0, 1, 2, 3, 4, 0x5A, 6, 7}));
  device_->ClearFaults();
  device_->SetMemory(0x205, {5});
  EXPECT_EQ(device_->Peek(0x205), 5);
}

}  // namespace
}  // namespace rv7ksim
