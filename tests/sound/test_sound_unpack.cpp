// The way back from the sound area: unpacking fragments, finding them through the directory,
// and writing them as WAV files.
#include <gtest/gtest.h>

#include "SoundFixtures.h"
#include "uConst_Orbis.h"
#include "uSoundArea.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

std::vector<uint8_t> Packed(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out(PackedLength(samples.size()));
  PackFragment(samples, out.data());
  out.pop_back();  // the end mark
  return out;
}

TEST(UnpackFragment, KeepsTheTopTenBitsAndPacksToTheSameBytes) {
  // Every value, so every high byte and every pair of low bits, odd count included.
  std::vector<int16_t> all;
  for (int v = -32768; v <= 32767; v += 7) all.push_back(int16_t(v));
  const std::vector<uint8_t> packed = Packed(all);
  ASSERT_EQ(PackedSamples(uint32_t(packed.size())), all.size());
  const std::vector<int16_t> back = UnpackFragment(packed.data(), uint32_t(packed.size()));
  ASSERT_EQ(back.size(), all.size());
  for (size_t i = 0; i < all.size(); ++i) {
    const uint16_t u = uint16_t(uint16_t(all[i]) ^ 0x8000);
    uint16_t kept = uint16_t(u & 0xFFC0);
    if ((kept >> 8) == 0xFF)
      kept = uint16_t(0xFE00 | (kept & 0xC0));  // the end mark is never a high byte
    ASSERT_EQ(uint16_t(uint16_t(back[i]) ^ 0x8000), kept) << i;
  }
  EXPECT_EQ(Packed(back), packed);
  EXPECT_EQ(UnpackFragment(packed.data(), 0).size(), 0u);
}

TEST(UnpackFragment, SampleCountsOfPackedLengths) {
  EXPECT_EQ(PackedSamples(0), 0u);
  EXPECT_EQ(PackedSamples(2), 1u);
  EXPECT_EQ(PackedSamples(3), 2u);
  EXPECT_EQ(PackedSamples(5), 3u);
  EXPECT_EQ(PackedSamples(1), std::nullopt);
  EXPECT_EQ(PackedSamples(4), std::nullopt);
}

TEST(ReadSoundArea, FindsSlotZeroAndTheDirectorysFragments) {
  constexpr uint32_t kStart = 0x3200, kEnd = 0x32FF;
  TData image(kEnd + 1, 0x11);
  std::fill(image.begin() + kDirectoryAddr, image.begin() + kDirectoryPadEnd + 1, 0);
  // Slot 0 (3 bytes), slot 2 (2 bytes), an entry outside the range, slot 9 without end mark.
  const std::vector<uint8_t> data{0x80, 0x00, 0x80, 0xFF, 0x40, 0x01, 0xFF};
  std::copy(data.begin(), data.end(), image.begin() + kStart);
  Put24(&image[kDirectoryAddr + 3 * 1], kStart + 4);
  Put24(&image[kDirectoryAddr + 3 * 4], kEnd + 1);
  Put24(&image[kDirectoryAddr + 3 * 8], kStart + 0x20);

  TAreaContent area = ReadSoundArea(image, kStart, kEnd);
  ASSERT_EQ(area.Fragments.size(), 3u);
  EXPECT_EQ(area.Fragments[0].Slot, 0);
  EXPECT_EQ(area.Fragments[0].Size, 3u);
  EXPECT_EQ(area.Fragments[1].Slot, 2);
  EXPECT_EQ(area.Fragments[1].Address, kStart + 4);
  EXPECT_EQ(area.Fragments[1].Size, 2u);
  EXPECT_TRUE(area.Fragments[1].Closed);
  EXPECT_EQ(area.Fragments[2].Slot, 9);
  EXPECT_FALSE(area.Fragments[2].Closed) << "no end mark before the end of the range";
  EXPECT_EQ(area.BadSlots, std::vector<int>{5});

  // An entry at the start means slot 0 holds nothing.
  Put24(&image[kDirectoryAddr], kStart);
  area = ReadSoundArea(image, kStart, kEnd);
  ASSERT_FALSE(area.Fragments.empty());
  EXPECT_EQ(area.Fragments[0].Slot, 1);
}

TEST(WriteWavFile, WritesAFragmentTheReaderTakes) {
  TTempDir dir;
  const std::vector<int16_t> samples{0, -1, 32767, -32768, 5};
  ASSERT_TRUE(WriteWavFile(dir.File("a.wav"), samples));
  const auto info = ReadWavInfo(dir.File("a.wav"));
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->FormatOk);
  EXPECT_EQ(info->DataOffset, 44u);
  EXPECT_EQ(info->DataSize, 10u);
  EXPECT_EQ(ReadWavSamples(dir.File("a.wav")), samples);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.wav.part")));
  EXPECT_FALSE(WriteWavFile(dir.File("missing/a.wav"), samples));
}

}  // namespace
}  // namespace dikton::test
