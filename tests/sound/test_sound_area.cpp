#include <gtest/gtest.h>

#include "SoundFixtures.h"
#include "uConst_Orbis.h"
#include "uSoundArea.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

std::vector<uint8_t> Pack(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out(PackedLength(samples.size()) + 8, 0xAA);
  out.resize(PackFragment(samples, out.data()));
  return out;
}

TEST(PackFragment, KeepsTheTopTenBitsInGroupsOfThree) {
  // Offset-binary 0x8000, 0xFFC0, 0x0040.
  EXPECT_EQ(Pack({0, 0x7FC0, -0x7FC0}), (std::vector<uint8_t>{0x80, 0x30, 0xFE, 0x00, 0x01, 0xFF}));
  EXPECT_EQ(Pack({}), (std::vector<uint8_t>{0xFF}));
  EXPECT_EQ(Pack({32767}), (std::vector<uint8_t>{0xFE, 0x03, 0xFF}));
  EXPECT_EQ(Pack({-32768, -32768}), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0xFF}));
}

TEST(PackFragment, EndMarkIsTheOnlyFFAndLengthsAgree) {
  std::vector<int16_t> all;
  for (int v = -32768; v <= 32767; ++v) all.push_back(int16_t(v));
  const std::vector<uint8_t> packed = Pack(all);
  ASSERT_EQ(packed.size(), PackedLength(all.size()));
  EXPECT_EQ(std::count(packed.begin(), packed.end(), 0xFF), 1);
  EXPECT_EQ(packed.back(), 0xFF);
  for (uint32_t m = 0; m < 8; ++m) EXPECT_EQ(PackedLength(m), EstimatePackedSize(2 * m)) << m;
}

class BuildSoundAreaTest : public ::testing::Test {
 protected:
  static constexpr uint32_t S = 0x3200;   // StartSoundAddr
  static constexpr uint32_t E = 0x32FF;   // EndSoundAddr: 256 bytes of sound data
  static constexpr uint8_t kFill = 0xAA;  // what the image held before

  void SetUp() override { image.assign(E + 1, kFill); }

  std::vector<int16_t> Load(int slot, size_t samples) {
    const std::string path = dir.File("slot" + std::to_string(slot) + ".wav");
    const auto s = WriteFragment(path, samples);
    TStringCell& cell = catalogue.Row(slot).Cell;
    cell.Loaded = 1;
    cell.Path = path;
    cell.PackedSize = int32_t(PackedLength(samples));
    return s;
  }
  uint32_t Entry(int k) const { return Get24(&image[kDirectoryAddr + 3 * k]); }
  std::vector<uint8_t> At(uint32_t addr, size_t n) const {
    return {image.begin() + addr, image.begin() + addr + n};
  }
  void ExpectFailure(const std::string& path, uint32_t start = S, uint32_t end = E) {
    const TData before = image;
    const auto result = BuildSoundArea(catalogue, image, start, end);
    ASSERT_TRUE(std::holds_alternative<TBuildFailure>(result));
    EXPECT_EQ(std::get<TBuildFailure>(result).Path, path);
    EXPECT_EQ(image, before);
  }

  TTempDir dir;
  TFragmentCatalogue catalogue;
  TData image;
};

TEST_F(BuildSoundAreaTest, SlotsOneAndThreeFillEntriesZeroAndTwo) {
  const auto one = Load(1, 3), three = Load(3, 5);
  const auto result = BuildSoundArea(catalogue, image, S, E);
  ASSERT_TRUE(std::holds_alternative<uint32_t>(result));
  const uint32_t len1 = PackedLength(3), len3 = PackedLength(5);
  EXPECT_EQ(std::get<uint32_t>(result), len1 + len3 + kDirectoryBytes);
  EXPECT_EQ(Entry(0), S);
  EXPECT_EQ(Entry(1), 0u);
  EXPECT_EQ(Entry(2), S + len1);
  for (int k = 3; k < 75; ++k) EXPECT_EQ(Entry(k), 0u) << k;
  EXPECT_EQ(At(kDirectoryAddr + kDirectoryBytes, 3), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(At(S, len1), Pack(one));
  EXPECT_EQ(At(S + len1, len3), Pack(three));
  EXPECT_EQ(image[S + len1 + len3], kFill);  // the rest of the range stays
}

TEST_F(BuildSoundAreaTest, SlotZeroHasNoEntry) {
  const auto zero = Load(0, 4);
  const auto result = BuildSoundArea(catalogue, image, S, E);
  ASSERT_TRUE(std::holds_alternative<uint32_t>(result));
  EXPECT_EQ(std::get<uint32_t>(result), PackedLength(4) + kDirectoryBytes);
  for (int k = 0; k < 75; ++k) EXPECT_EQ(Entry(k), 0u) << k;
  EXPECT_EQ(At(S, PackedLength(4)), Pack(zero));
}

TEST_F(BuildSoundAreaTest, LastSlotLandsInTheLastEntry) {
  Load(75, 2);
  ASSERT_TRUE(std::holds_alternative<uint32_t>(BuildSoundArea(catalogue, image, S, E)));
  EXPECT_EQ(Entry(74), S);
  EXPECT_EQ(At(kDirectoryAddr + kDirectoryBytes, 3), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(BuildSoundAreaTest, FragmentMayEndExactlyAtTheEndAddress) {
  Load(1, 170);  // 255 bytes + end mark = 256: the whole range
  ASSERT_EQ(PackedLength(170), E - S + 1);
  ASSERT_TRUE(std::holds_alternative<uint32_t>(BuildSoundArea(catalogue, image, S, E)));
  EXPECT_EQ(image[E], 0xFF);
}

TEST_F(BuildSoundAreaTest, FragmentChangedOnDiskLeavesTheImageAlone) {
  Load(1, 10);
  const std::string path = catalogue.Row(4).Cell.Path = dir.File("slot4.wav");
  catalogue.Row(4).Cell.Loaded = 1;

  WriteFragment(path, 160);  // slot 1 takes 16 bytes; 241 more is one past the end
  ExpectFailure(path);
  WriteBytes(path, WavBytes({.Rate = 22050, .Samples = {1, 2}}));
  ExpectFailure(path);
  std::filesystem::remove(path);
  ExpectFailure(path);
}

TEST_F(BuildSoundAreaTest, RangeOverTheDirectoryOrPastTheImageIsRefused) {
  Load(1, 2);
  ExpectFailure("", kDirectoryPadEnd, E);
  ExpectFailure("", E, S);
  ExpectFailure("", S, E + 1);
}

}  // namespace
}  // namespace dikton::test
