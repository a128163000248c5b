// The file calls that differ between platforms: UTF-8 names turned into the file system's form,
// the replace of a file by its temporary, the folder of the program itself.
#include <gtest/gtest.h>

#include <filesystem>

#include "SoundFixtures.h"
#include "uFiles.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

namespace fs = std::filesystem;

TEST(FileNames, CyrillicNamesGoThereAndBackUnchanged) {
  for (const char* name : {"Звуки", "Пять.wav", "a/Звуки/b.bin", "plain.txt"})
    EXPECT_EQ(Utf8Path(FsPath(name)), name);
  EXPECT_TRUE(FsPath("").empty());
}

TEST(FileNames, RenameOverReplacesTheTargetInAFolderWithACyrillicName) {
  TTempDir dir;
  const std::string folder = dir.File("Звуки");
  fs::create_directories(FsPath(folder));
  const std::string target = folder + "/paths.txt", temp = folder + "/paths.txt.part";
  WriteBytes(target, {1, 2, 3, 4, 5});
  WriteBytes(temp, {9});
  ASSERT_TRUE(RenameOver(FsPath(temp), FsPath(target)));
  EXPECT_EQ(ReadBytes(target), std::vector<uint8_t>{9});
  EXPECT_FALSE(fs::exists(FsPath(temp)));
  // Nowhere to go: refused, the temporary stays for its owner to remove.
  WriteBytes(temp, {7});
  EXPECT_FALSE(RenameOver(FsPath(temp), FsPath(folder + "/missing/paths.txt")));
  EXPECT_TRUE(fs::exists(FsPath(temp)));
}

TEST(FileNames, CreateNewFileRefusesAnExistingOne) {
  TTempDir dir;
  const fs::path p = FsPath(dir.File("новый.bin"));
  std::FILE* f = CreateNewFile(p);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(SyncFile(f));
  std::fclose(f);
  EXPECT_EQ(CreateNewFile(p), nullptr);
}

// A fragment in a folder deeper than the system's ordinary limit of 259 characters (network
// shares, long names): written, found, measured and read like any other. On Windows the file
// calls get the "\\?\" form, which the text of the path never shows.
TEST(FileNames, PathsLongerThanTheOrdinaryLimitWork) {
  TTempDir dir;
  std::string folder = dir.File("глубоко");
  for (char c = 'a'; c < 'e'; ++c) folder += "/" + std::string(90, c);
  ASSERT_GT(folder.size(), 360u);
  std::error_code ec;
  fs::create_directories(FsPath(folder), ec);
  ASSERT_FALSE(ec) << ec.message();
  const std::string wav = folder + "/голос.wav";
  ASSERT_TRUE(WriteWavFile(wav, std::vector<int16_t>(100, 7)));
  EXPECT_TRUE(IsRegularFile(FsPath(wav)));
  EXPECT_TRUE(PathExists(FsPath(wav)));
  EXPECT_FALSE(IsRegularFile(FsPath(folder)));
  EXPECT_EQ(RegularFileSize(FsPath(wav)), std::optional<uint64_t>(44 + 200));
  EXPECT_FALSE(RegularFileSize(FsPath(folder + "/нет.wav")).has_value());
  const auto info = ReadWavInfo(wav);
  ASSERT_TRUE(info.has_value());
  EXPECT_TRUE(info->FormatOk);
  EXPECT_EQ(ReadWavSamples(wav), std::optional<std::vector<int16_t>>(std::vector<int16_t>(100, 7)));
#ifdef _WIN32
  const fs::path p = FsPath(wav);
  EXPECT_EQ(p.native().rfind(L"\\\\?\\", 0), 0u) << "the long form at the file call";
  EXPECT_EQ(FsPath("C:\\short\\name.wav").native(), L"C:\\short\\name.wav")
      << "short paths as given";
  const std::string unc = "\\\\server\\share\\" + std::string(300, 'x') + "\\a.wav";
  EXPECT_EQ(FsPath(unc).native().rfind(L"\\\\?\\UNC\\server\\share\\", 0), 0u);
  EXPECT_EQ(Utf8Path(FsPath(unc)), unc) << "and back without the prefix";
#else
  EXPECT_EQ(Utf8Path(FsPath(wav)), wav);
#endif
  fs::remove_all(FsPath(dir.File("глубоко")), ec);
}

TEST(FileNames, ExecutableFolderHoldsTheRunningProgram) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  bool found = false;
  for (const auto& e : fs::directory_iterator(FsPath(folder)))
    found |= Utf8Path(e.path().filename()).rfind("test_sound", 0) == 0;
  EXPECT_TRUE(found) << folder;
}

}  // namespace
}  // namespace dikton::test
