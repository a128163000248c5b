#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "ScriptedDialog.h"
#include "uFiles.h"
#include "uImageFile.h"
#include "uMainCommands.h"

namespace dikton {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + 3);
  return b;
}

// A valid file built by hand, so that the reader is not only checked against the writer.
Bytes FileBytes(uint32_t start, uint32_t end, const Bytes& data) {
  const TImageChecksum s = ImageChecksum(data.data(), data.size());
  Bytes f(16 + data.size());
  Put32(&f[0], start);
  Put32(&f[4], end);
  Put32(&f[8], s.A);
  Put32(&f[12], s.B);
  std::copy(data.begin(), data.end(), f.begin() + 16);
  return f;
}

void WriteRaw(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

Bytes ReadRaw(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ImageChecksumTest, XorsTheTwoWordsOfCompleteGroupsOnly) {
  Bytes b(16);
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i + 1);
  EXPECT_EQ(ImageChecksum(b.data(), 16), (TImageChecksum{0x08080808, 0x18080808}));
  // A ninth to fifteenth byte does not count.
  EXPECT_EQ(ImageChecksum(b.data(), 15), ImageChecksum(b.data(), 8));
  EXPECT_EQ(ImageChecksum(b.data(), 8), (TImageChecksum{0x04030201, 0x08070605}));
  for (size_t n = 0; n < 8; ++n)
    EXPECT_EQ(ImageChecksum(b.data(), n), (TImageChecksum{0, 0})) << n << " bytes";
}

class ImageFileTest : public ::testing::Test {
 protected:
  ImageFileTest() {
    std::random_device rd;
    dir = fs::temp_directory_path() /
          ("dikton_image_" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
           std::to_string(rd()));
    fs::create_directories(dir);
    cmd.ProgramFolder = dir.string();
  }
  ~ImageFileTest() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  // State after a complete read of a device with the range start..end.
  void SetRead(uint32_t start, uint32_t end) {
    cmd.State.MemoryImage = Pattern(end + 1);
    cmd.State.StartSoundAddr = start;
    cmd.State.EndSoundAddr = end;
    cmd.State.SoundSize = end - start + 1;
    cmd.State.ImageFromDevice = true;
    cmd.State.ImageFromFile = false;
    cmd.State.ImageSaved = false;
  }
  void Save(const fs::path& p) {
    dialog.Files.push_back(p.string());
    cmd.FileSaveClick();
  }
  void Open(const fs::path& p) {
    dialog.Files.push_back(p.string());
    cmd.FileOpenClick();
  }
  std::vector<fs::path> DirEntries() const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
    return out;
  }
  void ExpectOnlyMessage(const std::string& text, TIcon icon = TIcon::Warning) {
    ASSERT_EQ(dialog.Messages.size(), 1u);
    EXPECT_EQ(dialog.Messages[0].Text, text);
    EXPECT_EQ(dialog.Messages[0].Caption, "Сообщение");
    EXPECT_EQ(dialog.Messages[0].Icon, icon);
  }

  fs::path dir;
  test::TScriptedDialog dialog;
  TMainCommands cmd{dialog};
};

TEST_F(ImageFileTest, SaveThenOpenRestoresImageRangeAndStatusBar) {
  SetRead(20, 39);
  const Bytes image = cmd.State.MemoryImage;
  const fs::path file = dir / "memory.bin";
  Save(file);

  ASSERT_EQ(dialog.SaveSpecs.size(), 1u);
  EXPECT_EQ(dialog.SaveSpecs[0], (TFileDialogSpec{.Title = "Сохранение памяти в файл",
                                                  .Filter = "Двоичные (*.bin)|*.bin|Все файлы|*.*",
                                                  .FilterIndex = 1,
                                                  .DefaultExt = "bin",
                                                  .Folder = dir.string(),
                                                  .FileName = "memory.bin",
                                                  .MustExist = false,
                                                  .AskOverwrite = true}));
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_TRUE(cmd.State.ImageSaved);
  EXPECT_EQ(ReadRaw(file), FileBytes(20, 39, image));
  EXPECT_EQ(DirEntries(), std::vector<fs::path>{"memory.bin"});  // no temporary left

  // Another range and image in between, as after other commands.
  cmd.State.MemoryImage = Pattern(5);
  cmd.State.StartSoundAddr = 1;
  cmd.State.EndSoundAddr = 4;
  cmd.State.SoundSize = 4;
  Open(file);

  ASSERT_EQ(dialog.OpenSpecs.size(), 1u);
  EXPECT_EQ(dialog.OpenSpecs[0], (TFileDialogSpec{.Title = "Загрузка памяти из файла",
                                                  .Filter = "Двоичные (*.bin)|*.bin|Все файлы|*.*",
                                                  .FilterIndex = 1,
                                                  .DefaultExt = "bin",
                                                  .Folder = dir.string(),
                                                  .FileName = "",
                                                  .MustExist = true,
                                                  .AskOverwrite = false}));
  EXPECT_TRUE(dialog.Messages.empty());  // saved: no question, and no message on success
  EXPECT_EQ(cmd.State.MemoryImage, image);
  EXPECT_EQ(cmd.State.StartSoundAddr, 20u);
  EXPECT_EQ(cmd.State.EndSoundAddr, 39u);
  EXPECT_EQ(cmd.State.SoundSize, 20u);
  EXPECT_TRUE(cmd.State.ImageFromFile);
  EXPECT_FALSE(cmd.State.ImageFromDevice);
  EXPECT_FALSE(cmd.State.ImageSaved);
  EXPECT_EQ(cmd.StatusBar.Text[0], "StartSoundAddr=20");
  EXPECT_EQ(cmd.StatusBar.Text[1], "EndSoundAddr=39");
  EXPECT_EQ(cmd.StatusBar.Text[2], "Size=20");

  // An image from a file is not saved again.
  dialog.Messages.clear();
  Save(dir / "again.bin");
  ExpectOnlyMessage("Память не была считана!");
  EXPECT_EQ(dialog.SaveSpecs.size(), 1u);
  EXPECT_FALSE(fs::exists(dir / "again.bin"));
}

TEST_F(ImageFileTest, RefusedFilesLeaveTheStateAsItWas) {
  const Bytes data = Pattern(24);
  Bytes oneByteChanged = FileBytes(0, 23, data);
  oneByteChanged[16 + 13] ^= 0x40;
  Bytes endAll(16, 0);
  Put32(&endAll[4], 0xFFFFFFFF);
  Bytes shortByOne = FileBytes(0, 23, data);
  shortByOne.pop_back();
  Bytes longByOne = FileBytes(0, 23, data);
  longByOne.push_back(0);

  const std::string badSize = "Файл открыть не удалось.\r\nНеправильный размер файла.";
  const std::string damaged = "Файл открыть не удалось!\r\nФайл повреждён.";
  struct Case {
    const char* name;
    std::optional<Bytes> content;  // nullopt: no such file
    std::string message;
  };
  const Case cases[] = {
      {"15 bytes", Bytes(15, 0), badSize},     {"16 bytes, end 0", Bytes(16, 0), damaged},
      {"end 0xFFFFFFFF", endAll, damaged},     {"one data byte changed", oneByteChanged, damaged},
      {"one byte short", shortByOne, damaged}, {"one byte too many", longByOne, damaged},
      {"missing", std::nullopt, damaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetRead(3, 9);
    cmd.State.ImageSaved = true;
    cmd.StatusBar.Text[0] = "before";
    const TProgramState before = cmd.State;
    const fs::path p = dir / "case.bin";
    fs::remove(p);
    if (c.content) WriteRaw(p, *c.content);
    dialog.Messages.clear();

    Open(p);
    ExpectOnlyMessage(c.message);
    EXPECT_EQ(cmd.State.MemoryImage, before.MemoryImage);
    EXPECT_EQ(cmd.State.StartSoundAddr, before.StartSoundAddr);
    EXPECT_EQ(cmd.State.EndSoundAddr, before.EndSoundAddr);
    EXPECT_EQ(cmd.State.SoundSize, before.SoundSize);
    EXPECT_TRUE(cmd.State.ImageFromDevice);
    EXPECT_TRUE(cmd.State.ImageSaved);
    EXPECT_FALSE(cmd.State.ImageFromFile);
    EXPECT_EQ(cmd.StatusBar.Text[0], "before");
  }
}

TEST_F(ImageFileTest, GroupOrderAndStartFieldAreNotChecked) {
  const Bytes data = Pattern(24);
  Bytes swapped = data;
  std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 16);
  Bytes file = FileBytes(0, 23, data);
  std::copy(swapped.begin(), swapped.end(), file.begin() + 16);  // header sums of 'data'
  Put32(&file[0], 30);  // start beyond the end: stored as it is
  WriteRaw(dir / "f.bin", file);

  Open(dir / "f.bin");
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(cmd.State.MemoryImage, swapped);
  EXPECT_EQ(cmd.State.StartSoundAddr, 30u);
  EXPECT_EQ(cmd.State.EndSoundAddr, 23u);
  EXPECT_EQ(cmd.State.SoundSize, uint32_t(23 - 30 + 1));
  EXPECT_TRUE(cmd.State.ImageFromFile);
}

TEST_F(ImageFileTest, UnsavedReadIsReplacedOnlyAfterYes) {
  const fs::path file = dir / "other.bin";
  WriteRaw(file, FileBytes(1, 15, Pattern(16)));
  SetRead(3, 9);
  const Bytes read = cmd.State.MemoryImage;

  dialog.Answers.push_back(TAnswer::No);
  Open(file);
  ASSERT_EQ(dialog.Messages.size(), 1u);
  EXPECT_EQ(dialog.Messages[0].Text,
            "Память была считана, но в файл не сохранена.\r\n"
            "Загрузить новый образ памяти из файла?");
  EXPECT_EQ(dialog.Messages[0].Caption, "Сообщение");
  EXPECT_EQ(dialog.Messages[0].Icon, TIcon::Question);
  EXPECT_EQ(dialog.Messages[0].Buttons, TButtons::YesNo);
  EXPECT_TRUE(dialog.OpenSpecs.empty());
  EXPECT_EQ(cmd.State.MemoryImage, read);
  EXPECT_TRUE(cmd.State.ImageFromDevice);
  EXPECT_FALSE(cmd.State.ImageFromFile);

  dialog.Files.clear();
  dialog.Answers.push_back(TAnswer::Yes);
  Open(file);
  EXPECT_EQ(dialog.Messages.size(), 2u);
  EXPECT_EQ(cmd.State.MemoryImage, Pattern(16));
  EXPECT_TRUE(cmd.State.ImageFromFile);
}

TEST_F(ImageFileTest, CancelledSaveChangesNothing) {
  SetRead(0, 7);
  cmd.FileSaveClick();  // no file answer: the dialog is cancelled
  EXPECT_EQ(dialog.SaveSpecs.size(), 1u);
  EXPECT_FALSE(cmd.State.ImageSaved);
  EXPECT_TRUE(DirEntries().empty());
}

TEST_F(ImageFileTest, SavingOverALongerFileLeavesExactlyTheNewOne) {
  const fs::path file = dir / "memory.bin";
  WriteRaw(file, Bytes(1000, 0xAA));
  SetRead(2, 40);
  Save(file);
  EXPECT_EQ(fs::file_size(file), 41u + 16u);
  const Bytes image = cmd.State.MemoryImage;

  cmd.State.ImageFromDevice = false;
  Open(file);
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(cmd.State.MemoryImage, image);
}

// Paths are UTF-8 in the program; on Windows every file call must take them wide, or a folder
// named in Cyrillic is not found at all. Saving twice goes through the replace of an existing
// file.
TEST_F(ImageFileTest, CyrillicFolderSavesReplacesAndOpens) {
  const fs::path sub = dir / FsPath("Звуки");
  fs::create_directories(sub);
  const std::string file = Utf8Path(sub / FsPath("память.bin"));
  ASSERT_NE(file.find("Звуки"), std::string::npos) << file;
  SetRead(2, 40);
  dialog.Files.push_back(file);
  cmd.FileSaveClick();
  SetRead(3, 70);
  const Bytes image = cmd.State.MemoryImage;
  dialog.Files.push_back(file);
  cmd.FileSaveClick();
  EXPECT_TRUE(cmd.State.ImageSaved);
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(sub)) entries.push_back(e.path().filename());
  EXPECT_EQ(entries, std::vector<fs::path>{FsPath("память.bin")}) << "no temporary left";
  EXPECT_EQ(fs::file_size(sub / FsPath("память.bin")), 71u + 16u);

  cmd.State.ImageFromDevice = false;
  cmd.State.MemoryImage.clear();
  dialog.Files.push_back(file);
  cmd.FileOpenClick();
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(cmd.State.MemoryImage, image);
  EXPECT_EQ(cmd.State.EndSoundAddr, 70u);
}

// Text that is not UTF-8 names no file on Windows: it is refused like a file that cannot be
// opened, never guessed at. (On POSIX such bytes are a name like any other.)
TEST_F(ImageFileTest, PathThatIsNotUtf8IsRefusedWhereItCannotBeConverted) {
  const std::string bad = Utf8Path(dir) + "/\xFF\xFE" "bad.bin";
  EXPECT_EQ(ReadImageFile(bad).Status, TImageLoadStatus::Damaged);
  if (!FsPath(bad).empty()) GTEST_SKIP() << "this platform takes the bytes as they are";
  EXPECT_FALSE(WriteImageFile(bad, 0, 7, Pattern(8)));
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(ImageFileTest, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const fs::path file = dir / "memory.bin";
  const Bytes old = FileBytes(0, 7, Pattern(8));
  WriteRaw(file, old);
  const Bytes image = Pattern(200000);  // several write pieces

  // Fails in the middle of the data, after the header and a first piece went out.
  int pieces = 0;
  EXPECT_FALSE(WriteImageFile(file.string(), 0, 199999, image,
                              [&](uint64_t, size_t) { return ++pieces < 3; }));
  EXPECT_EQ(pieces, 3);
  EXPECT_EQ(ReadRaw(file), old);
  EXPECT_EQ(DirEntries(), std::vector<fs::path>{"memory.bin"});

  // The same writer, untroubled, replaces it.
  EXPECT_TRUE(WriteImageFile(file.string(), 0, 199999, image));
  EXPECT_EQ(ReadRaw(file), FileBytes(0, 199999, image));
  EXPECT_EQ(DirEntries(), std::vector<fs::path>{"memory.bin"});
}

TEST_F(ImageFileTest, SaveCommandReportsAFileItCannotWrite) {
  SetRead(0, 15);
  struct Case {
    const char* name;
    fs::path target;
  };
  fs::create_directory(dir / "taken");  // a folder where the file should go: cannot be replaced
  WriteRaw(dir / "taken" / "inside", {1, 2, 3});
  const Case cases[] = {
      {"folder missing", dir / "no such folder" / "memory.bin"},
      {"target is a folder", dir / "taken"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialog.Messages.clear();
    Save(c.target);
    ExpectOnlyMessage("Не удалось сохранить файл!");
    EXPECT_FALSE(cmd.State.ImageSaved);
  }
  EXPECT_EQ(ReadRaw(dir / "taken" / "inside"), (Bytes{1, 2, 3}));
  EXPECT_EQ(DirEntries(), std::vector<fs::path>{"taken"});
}

TEST_F(ImageFileTest, ImageNotMatchingTheRangeIsNotSavedAsAnUnreadableFile) {
  // A list file opened after the read changed the range but not the image.
  SetRead(0, 15);
  cmd.State.EndSoundAddr = 99;
  Save(dir / "memory.bin");
  ExpectOnlyMessage("Не удалось сохранить файл!");
  EXPECT_FALSE(cmd.State.ImageSaved);
  EXPECT_FALSE(fs::exists(dir / "memory.bin"));
}

}  // namespace
}  // namespace dikton
