// The device's CRC, sample packing and synthetic content, without a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>

#include "rv7k_sim.h"
#include "rv7k_sim_content.h"
#include "rv7k_sim_wire.h"

namespace rv7ksim {
namespace {

struct TCrcCase {
  std::vector<uint8_t> Bytes;
  uint8_t Crc;
};

TEST(SimCrc8, MatchesTheDevicesTableIncludingItsDeviantEntry) {
  const TCrcCase cases[] = {
      {{0x01, 0x06, 0x00, 0x3F, 0x2C, 0x00}, 0xA6},
      {{0x04, 0x08, 0x00, 0x43, 0x00, 0x00, 0x00, 0x20}, 0x03},  // published table: 0x60
      {{0x2A, 0x06, 0x00, 0x3F, 0x2C, 0x00}, 0xFC},              // published table: 0xE8
      {{}, 0x00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SimCrc8(c.Bytes.data(), c.Bytes.size()), c.Crc) << testing::PrintToString(c.Bytes);
  }
}

TEST(SimFrameParser, TellsFramesGarbageAndIncompleteBytesApart) {
  const std::vector<uint8_t> range{0x01, 0x06, 0x00, 0x3F, 0x2C, 0x00, 0xA6};
  size_t length = 0;
  EXPECT_EQ(wire::InspectFront(range.data(), range.size(), &length), wire::TInspect::Frame);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(wire::InspectFront(range.data(), 6, &length), wire::TInspect::NeedMore);
  std::vector<uint8_t> bad = range;
  bad.back() ^= 1;
  EXPECT_EQ(wire::InspectFront(bad.data(), bad.size(), &length), wire::TInspect::Garbage);
  const uint8_t tooShort[] = {0x01, 0x03, 0x00, 0x00};  // L below a request's minimum
  EXPECT_EQ(wire::InspectFront(tooShort, sizeof tooShort, &length), wire::TInspect::Garbage);
}

std::vector<uint8_t> Framed(std::vector<uint8_t> body) {
  body.push_back(SimCrc8(body.data(), body.size()));
  return body;
}

TEST(SimReceive, AnswersTheFramesOfABytePieceWithoutThePty) {
  TSimOptions o;
  o.MemorySize = 0x100;
  o.Address = 9;
  TVirtualDevice device(o);
  device.AddFault({TFaultKind::RefuseWrite, 0, 0x41, 0x20, 1, 0});
  std::vector<uint8_t> line{0x00, 0x02, 0x55};  // garbage before the first frame
  for (const auto& f : {Framed({9, 8, 0, 0x41, 0x10, 0, 0, 0xAB}),  // stored, acknowledged
                        Framed({3, 6, 0, 0x3F, 0x2C, 0}),           // another device's
                        Framed({9, 8, 0, 0x41, 0x20, 0, 0, 0xCD}),  // refused once
                        Framed({9, 8, 0, 0x43, 0x10, 0, 0, 2}),     // read back
                        Framed({9, 6, 0, 0x33, 0xA0, 0})}) {        // mode switch
    line.insert(line.end(), f.begin(), f.end());
  }
  line.insert(line.end(), {9, 8, 0, 0x43});  // cut off: never answered
  const auto answers = device.Receive(line);
  EXPECT_EQ(answers, (std::vector<std::vector<uint8_t>>{
                         Framed({9, 5, 0x42, 1, 0}), Framed({9, 5, 0x21, 0, 0}),
                         Framed({9, 6, 0x44, 2, 0xAB, 0xFF}), Framed({9, 5, 0x34, 0xA0, 0})}));
  EXPECT_EQ(device.Peek(0x10), 0xAB);
  EXPECT_EQ(device.Peek(0x20), 0xFF);
  EXPECT_EQ(device.RequestCount(), 5u);
  EXPECT_EQ(device.CurrentRate(), 115200);
}

TEST(SimPackSamples, PacksTenBitsPerSampleWithoutAnInnerEndMark) {
  // Offset-binary values 0x8000, 0xFFC0, 0x0040.
  EXPECT_EQ(wire::PackSamples({0, 0x7FC0, -0x7FC0}),
            (std::vector<uint8_t>{0x80, 0x30, 0xFE, 0x00, 0x01, 0xFF}));
  EXPECT_EQ(wire::PackSamples({}), std::vector<uint8_t>{0xFF});
  // +32767 is u = 0xFFFF: the high byte 0xFF is stored as 0xFE, its two low bits are 3.
  EXPECT_EQ(wire::PackSamples({32767, 32767}), (std::vector<uint8_t>{0xFE, 0x33, 0xFE, 0xFF}));
}

constexpr uint32_t kMem = 0x10000;  // bytes

std::vector<uint8_t> Generated(uint32_t seed, uint32_t start = 0x3000, uint32_t end = 0xFFFFF) {
  std::vector<uint8_t> m(kMem, 0x00);
  content::Generate(m, start, end, seed);
  return m;
}

uint32_t EntryAt(const std::vector<uint8_t>& m, uint32_t k) {
  return wire::Get24(&m[content::kDirectoryAddr + 3 * k]);
}

TEST(SimContent, IsDeterministicAndLooksLikeAProgrammedDevice) {
  const std::vector<uint8_t> m = Generated(5);
  EXPECT_EQ(m, Generated(5));
  EXPECT_NE(m, Generated(6));

  EXPECT_EQ(std::memcmp(m.data(), "RV-7K", 5), 0);
  for (uint32_t a = 0x100; a < 0x3000; ++a) ASSERT_EQ(m[a], 0xFF) << a;
  for (uint32_t a = 0x30E1; a <= content::kDirectoryPadEnd; ++a) EXPECT_EQ(m[a], 0x00);

  // Fragments lie back to back from the first free byte: slot 0 first, then the slots that
  // have an entry, in slot order; each one ends with its only 0xFF.
  uint32_t p = content::kFirstFreeData;  // the range starts on the directory
  int fragments = 0;
  for (uint32_t k = 0; k <= content::kDirectoryEntries; ++k) {
    if (k > 0) {
      const uint32_t entry = EntryAt(m, k - 1);
      if (entry == 0) continue;
      ASSERT_EQ(entry, p) << "fragment " << k;
    }
    while (m[p] != 0xFF) {
      ++p;
      ASSERT_LT(p, kMem);
    }
    ++p;
    ++fragments;
  }
  EXPECT_GE(fragments, 4);
  EXPECT_EQ(m[p], 0xFF);  // erased beyond the last fragment
}

TEST(SimContent, KeepsFragmentsInsideTheRangeAndSignsItsEnd) {
  const uint32_t start = 0x4000, end = 0x4800;
  const std::vector<uint8_t> m = Generated(3, start, end);
  const uint32_t record = end - 15;
  EXPECT_EQ(wire::Get24(&m[content::kSignaturePtrAddr]), record);
  EXPECT_EQ(std::memcmp(&m[record + 10], "ZORIX", 5), 0);
  EXPECT_EQ(m[end], 0x00);
  for (uint32_t k = 0; k < content::kDirectoryEntries; ++k) {
    const uint32_t entry = EntryAt(m, k);
    if (entry != 0) {
      EXPECT_TRUE(entry > start && entry < record) << k;
    }
  }
  for (uint32_t a = end + 1; a < kMem; ++a) ASSERT_EQ(m[a], 0xFF) << a;
}

}  // namespace
}  // namespace rv7ksim
