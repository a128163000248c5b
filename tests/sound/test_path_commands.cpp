#include <gtest/gtest.h>

#include "ScriptedDialog.h"
#include "SoundFixtures.h"
#include "uConst_Orbis.h"
#include "uMainCommands.h"
#include "uPathList.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

class PathCommandsTest : public ::testing::Test {
 protected:
  std::string Fragment(const std::string& name, size_t samples) {
    const std::string path = dir.File(name);
    WriteFragment(path, samples);
    return path;
  }
  void Preload(int row, const std::string& path, int32_t packed) {
    TFragmentRow& r = commands.Catalogue.Row(row);
    r.Cell.Loaded = 1;
    r.Cell.Path = path;
    r.Cell.PackedSize = packed;
    r.PathText = DisplayForm(path);
  }

  TTempDir dir;
  TScriptedDialog dialog;
  TMainCommands commands{dialog};
};

TEST_F(PathCommandsTest, BrowseFillsTheRowAndKeepsTheDialogsFolder) {
  const std::string a = Fragment("a.wav", 20000);
  dialog.Files = {a, std::nullopt};
  ASSERT_TRUE(commands.tlPathButtonClick(2));
  ASSERT_EQ(dialog.OpenSpecs.size(), 1u);
  EXPECT_EQ(dialog.OpenSpecs[0],
            (TFileDialogSpec{.Title = "Загрузка памяти из файла",
                             .Filter = "Windows PCM (*.wav)|*.wav|Все файлы|*.*",
                             .FilterIndex = 1,
                             .DefaultExt = "wav",
                             .Folder = "",
                             .FileName = "",
                             .MustExist = true,
                             .AskOverwrite = false}));
  const TFragmentRow& row = commands.Catalogue.Row(2);
  EXPECT_EQ(row.Cell.Loaded, 1);
  EXPECT_EQ(row.Cell.PackedSize, 30001);
  EXPECT_EQ(row.Cell.Path, a);
  EXPECT_EQ(row.PathText, DisplayForm(a));

  // Cancel: nothing changes; the dialog opened where the last file was chosen.
  EXPECT_FALSE(commands.tlPathButtonClick(2));
  EXPECT_EQ(dialog.OpenSpecs[1].Folder, dir.Dir());
  EXPECT_EQ(row.Cell.Path, a);
  EXPECT_TRUE(dialog.Messages.empty());
}

TEST_F(PathCommandsTest, BrowseRefusesWhatIsNotAFragment) {
  WriteBytes(dir.File("cd.wav"), WavBytes({.Rate = 44100, .Samples = {1, 2}}));
  Preload(4, "/kept/old.wav", 7);
  dialog.Files = {dir.File("cd.wav"), dir.File("missing.wav")};
  for (int i = 0; i < 2; ++i) EXPECT_FALSE(commands.tlPathButtonClick(4));
  ASSERT_EQ(dialog.Messages.size(), 2u);
  for (const auto& m : dialog.Messages) {
    EXPECT_EQ(m.Text, "Формат wav-файла неверный!");
    EXPECT_EQ(m.Caption, "Сообщение");
    EXPECT_EQ(m.Icon, TIcon::Error);
  }
  const TFragmentRow& row = commands.Catalogue.Row(4);
  EXPECT_EQ(row.Cell.Path, "/kept/old.wav");
  EXPECT_EQ(row.Cell.PackedSize, 7);
  EXPECT_EQ(row.PathText, "old.wav [/kept]");
}

TEST_F(PathCommandsTest, RoomLeavesTheRowsOwnFragmentOut) {
  commands.State.SoundSize = 100;
  Preload(0, "/v/other.wav", 40);
  Preload(1, "/v/own.wav", 50);
  const std::string fits = Fragment("fits.wav", 39);   // packs to 60 = 100 - 40
  const std::string toobig = Fragment("big.wav", 40);  // packs to 61
  dialog.Files = {toobig, fits};
  EXPECT_FALSE(commands.tlPathButtonClick(1));
  ASSERT_EQ(dialog.Messages.size(), 1u);
  EXPECT_EQ(dialog.Messages[0].Text, "Недостаточно памяти под файл!\r\n");
  EXPECT_EQ(dialog.Messages[0].Icon, TIcon::Warning);
  EXPECT_EQ(commands.Catalogue.Row(1).Cell.Path, "/v/own.wav");
  EXPECT_TRUE(commands.tlPathButtonClick(1));
  EXPECT_EQ(commands.Catalogue.Row(1).Cell.PackedSize, 60);
}

TEST_F(PathCommandsTest, TypedPathsAreShownShortAndKeepTheSize) {
  Preload(3, dir.File("a.wav"), 123);
  EXPECT_EQ(commands.tlPathValidate(3, "/x/y/new.wav"), "new.wav [/x/y]");
  const TFragmentRow& row = commands.Catalogue.Row(3);
  EXPECT_EQ(row.Cell.Path, "/x/y/new.wav");
  EXPECT_EQ(row.Cell.Loaded, 1);
  EXPECT_EQ(row.Cell.PackedSize, 123);
  EXPECT_EQ(commands.tlSoundClick(3, 1, true), "/x/y/new.wav");
  EXPECT_EQ(commands.tlSoundClick(3, 0, true), std::nullopt);
  EXPECT_EQ(commands.tlSoundClick(3, 2, true), std::nullopt);
  EXPECT_EQ(commands.tlSoundClick(3, 1, false), std::nullopt);

  EXPECT_EQ(commands.tlPathValidate(3, ""), "");
  EXPECT_EQ(row.Cell.Loaded, 0);
  EXPECT_EQ(row.Cell.PackedSize, 0);
  EXPECT_EQ(row.Cell.Path, "");

  EXPECT_EQ(commands.tlPathValidate(8, "bare.wav"), "bare.wav []");
  EXPECT_EQ(commands.Catalogue.Row(8).Cell.Loaded, 0);
  EXPECT_FALSE(commands.Catalogue.HasFragments());
}

TEST_F(PathCommandsTest, SavingWithoutALoadedSlotOpensNoDialog) {
  commands.tlPathValidate(0, "/typed/only.wav");
  commands.SavePathsClick();
  EXPECT_TRUE(dialog.SaveSpecs.empty());
  EXPECT_TRUE(dialog.Messages.empty());
}

TEST_F(PathCommandsTest, SaveThenOpenRestoresSlotsAndRange) {
  commands.ProgramFolder = "/opt/dikton";
  Preload(0, Fragment("a.wav", 4), 7);
  Preload(5, Fragment("Пять.wav", 6), 10);
  commands.State.StartSoundAddr = 0x3000;
  commands.State.EndSoundAddr = 0xFFFFF;
  const std::string list = dir.File("paths.txt");
  dialog.Files = {list};
  commands.SavePathsClick();
  ASSERT_EQ(dialog.SaveSpecs.size(), 1u);
  EXPECT_EQ(dialog.SaveSpecs[0], (TFileDialogSpec{.Title = "Сохранение имен в файл",
                                                  .Filter = "Текстовые (*.txt)|*.txt|Все файлы|*.*",
                                                  .FilterIndex = 1,
                                                  .DefaultExt = "txt",
                                                  .Folder = "/opt/dikton",
                                                  .FileName = "paths.txt",
                                                  .MustExist = false,
                                                  .AskOverwrite = true}));
  EXPECT_EQ(ReadBytes(list).size(), 86u + 5u + 8u);

  TScriptedDialog d2;
  TMainCommands fresh(d2);
  fresh.ProgramFolder = "/opt/dikton";
  fresh.StatusBar.Text[0] = "stale";
  d2.Files = {list};
  fresh.OpenPathsClick();
  ASSERT_EQ(d2.OpenSpecs.size(), 1u);
  EXPECT_EQ(d2.OpenSpecs[0], (TFileDialogSpec{.Title = "Чтение имен из файла",
                                              .Filter = "Текстовые (*.txt)|*.txt|Все файлы|*.*",
                                              .FilterIndex = 1,
                                              .DefaultExt = "txt",
                                              .Folder = "/opt/dikton",
                                              .FileName = "paths.txt",
                                              .MustExist = true,
                                              .AskOverwrite = false}));
  EXPECT_EQ(fresh.Catalogue.Row(0).Cell.Path, dir.File("a.wav"));
  EXPECT_EQ(fresh.Catalogue.Row(0).Cell.PackedSize, int32_t(EstimatePackedSize(8)));
  EXPECT_EQ(fresh.Catalogue.Row(5).Cell.Path, dir.File("Пять.wav"));
  EXPECT_EQ(fresh.State.StartSoundAddr, 0x3000u);
  EXPECT_EQ(fresh.State.EndSoundAddr, 0xFFFFFu);
  EXPECT_EQ(fresh.State.SoundSize, 0xFD000u);
  EXPECT_NE(fresh.StatusBar.Text[0], "stale");
  EXPECT_TRUE(d2.Messages.empty());
}

TEST_F(PathCommandsTest, OpenKeepsTheRangeOfACutOrDamagedList) {
  TFragmentCatalogue empty;
  const std::vector<uint8_t> inverted = BuildPathList(empty, 0x5000, 0x4000).Bytes;
  const std::vector<uint8_t> cut(inverted.begin(), inverted.end() - 2);
  for (const auto& bytes : {cut, inverted}) {
    WriteBytes(dir.File("paths.txt"), bytes);
    commands.State.StartSoundAddr = 0x3100;
    commands.State.EndSoundAddr = 0x31FF;
    commands.State.SoundSize = 0x100;
    commands.StatusBar.Text[0] = "stale";
    dialog.Files = {dir.File("paths.txt")};
    commands.OpenPathsClick();
    EXPECT_EQ(commands.State.StartSoundAddr, 0x3100u);
    EXPECT_EQ(commands.State.EndSoundAddr, 0x31FFu);
    EXPECT_EQ(commands.State.SoundSize, 0x100u);
    EXPECT_NE(commands.StatusBar.Text[0], "stale");
  }
}

TEST_F(PathCommandsTest, SaveRefusesANameOutsideWindows1251) {
  Preload(2, dir.File("a.wav"), 5);
  Preload(9, dir.File("日本.wav"), 5);
  dialog.Files = {dir.File("paths.txt")};
  commands.SavePathsClick();
  ASSERT_EQ(dialog.Messages.size(), 1u);
  EXPECT_EQ(dialog.Messages[0].Text, "Имя файла не может быть сохранено в списке:\r\n日本.wav");
  EXPECT_EQ(dialog.Messages[0].Caption, "Сообщение");
  EXPECT_EQ(dialog.Messages[0].Icon, TIcon::Warning);
  EXPECT_TRUE(dialog.SaveSpecs.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("paths.txt")));
}

TEST_F(PathCommandsTest, SaveThatCannotWriteSaysSo) {
  Preload(2, dir.File("a.wav"), 5);
  dialog.Files = {dir.File("no/such/folder/paths.txt")};
  commands.SavePathsClick();
  ASSERT_EQ(dialog.Messages.size(), 1u);
  EXPECT_EQ(dialog.Messages[0].Text, txt::SaveFailed);
  EXPECT_EQ(dialog.Messages[0].Icon, TIcon::Warning);
}

}  // namespace
}  // namespace dikton::test
