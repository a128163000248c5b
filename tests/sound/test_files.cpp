// The file calls that differ between platforms: UTF-8 names turned into the file system's form,
// the replace of a file by its temporary, the folder of the program itself.
#include <gtest/gtest.h>

#include <filesystem>

#include "SoundFixtures.h"
#include "uFiles.h"

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
