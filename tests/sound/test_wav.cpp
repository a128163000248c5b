#include <gtest/gtest.h>

#include "SoundFixtures.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

TEST(EstimatePackedSize, PairsTakeThreeBytesPlusEndMark) {
  const struct {
    uint32_t n, expected;
  } cases[] = {{40000, 30001}, {40002, 30003}, {0, 1}, {2, 3}, {4, 4}, {0xFFFFFFFF, 0xC0000001}};
  for (const auto& c : cases) EXPECT_EQ(EstimatePackedSize(c.n), c.expected) << c.n;
}

TEST(ReadWavInfo, AcceptsCanonicalPcmWithFixedOffsets) {
  TTempDir dir;
  const std::string path = dir.File("a.wav");
  WriteFragment(path, 20000);
  const auto info = ReadWavInfo(path);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->FormatOk);
  EXPECT_EQ(info->DataOffset, 44u);
  EXPECT_EQ(info->DataSize, 40000u);
}

TEST(ReadWavInfo, RefusesEveryOtherFormat) {
  TTempDir dir;
  const struct {
    const char* what;
    TWavSpec spec;
  } cases[] = {
      {"44100 Hz", {.Rate = 44100, .Samples = {1, 2}}},
      {"stereo", {.Channels = 2, .Samples = {1, 2}}},
      {"8-bit", {.Bits = 8, .Samples = {1, 2}}},
      {"IEEE float tag", {.Format = 3, .Samples = {1, 2}}},
      {"EXTENSIBLE float", {.Format = 0xFFFE, .PcmSubFormat = false, .Samples = {1, 2}}},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File("x.wav");
    WriteBytes(path, WavBytes(c.spec));
    const auto info = ReadWavInfo(path);
    ASSERT_TRUE(info) << c.what;
    EXPECT_FALSE(info->FormatOk) << c.what;
    EXPECT_FALSE(ReadWavSamples(path)) << c.what;
  }
  WriteBytes(dir.File("text.wav"),
             {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
  EXPECT_FALSE(ReadWavInfo(dir.File("text.wav")));
  EXPECT_FALSE(ReadWavInfo(dir.File("missing.wav")));
  EXPECT_FALSE(ReadWavInfo(dir.Dir()));  // a folder
}

TEST(ReadWavInfo, WalksChunksToTheData) {
  TTempDir dir;
  const std::string path = dir.File("list.wav");
  const std::vector<int16_t> samples{-32768, 0, 32767, 5};
  WriteBytes(path, WavBytes({.ListBeforeData = true, .Samples = samples}));
  const auto info = ReadWavInfo(path);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->FormatOk);
  EXPECT_EQ(info->DataSize, 8u);
  EXPECT_EQ(info->DataOffset, 44u + 18u);  // LIST header, 9 bytes and one pad byte
  EXPECT_EQ(ReadWavSamples(path), samples);
}

TEST(ReadWavInfo, AcceptsExtensiblePcm) {
  TTempDir dir;
  const std::string path = dir.File("ext.wav");
  WriteBytes(path, WavBytes({.Format = 0xFFFE, .Samples = {7, -7, 9}}));
  const auto info = ReadWavInfo(path);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->FormatOk);
  EXPECT_EQ(info->DataSize, 6u);
  EXPECT_EQ(ReadWavSamples(path), (std::vector<int16_t>{7, -7, 9}));
}

TEST(ReadWavInfo, CutsTheDataChunkToTheFile) {
  TTempDir dir;
  const std::string path = dir.File("cut.wav");
  WriteBytes(path, WavBytes({.Samples = {1, 2, 3}, .DeclaredData = 0xFFFFFFF0}));
  const auto info = ReadWavInfo(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->DataSize, 6u);
  EXPECT_EQ(ReadWavSamples(path), (std::vector<int16_t>{1, 2, 3}));
}

TEST(ReadWavInfo, HugeChunkBeforeDataEndsTheWalk) {
  TTempDir dir;
  std::vector<uint8_t> v = WavBytes({.Samples = {1, 2}});
  // Turn the fmt chunk's declared size into 4 GiB: the walk steps past the file's end.
  v[16] = v[17] = v[18] = v[19] = 0xFF;
  WriteBytes(dir.File("huge.wav"), v);
  EXPECT_FALSE(ReadWavInfo(dir.File("huge.wav")));
}

TEST(DisplayForm, NameThenFolderInBrackets) {
  const struct {
    const char *path, *name, *folder, *shown;
  } cases[] = {
      {"a.wav", "a.wav", "", "a.wav []"},
      {"/home/u/voices/a.wav", "a.wav", "/home/u/voices", "a.wav [/home/u/voices]"},
      {"/a.wav", "a.wav", "/", "a.wav [/]"},
      {"rel/a.wav", "a.wav", "rel", "a.wav [rel]"},
#ifndef _WIN32
      {"/x/back\\slash:.wav", "back\\slash:.wav", "/x", "back\\slash:.wav [/x]"},
#else
      {"C:\\a.wav", "a.wav", "C:\\", "a.wav [C:\\]"},
      {"C:\\v\\a.wav", "a.wav", "C:\\v", "a.wav [C:\\v]"},
      {"C:a.wav", "a.wav", "C:", "a.wav [C:]"},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(DisplayForm(c.path), c.shown) << c.path;
  }
}

}  // namespace
}  // namespace dikton::test
