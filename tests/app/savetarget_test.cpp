// Both savers ("Сохранить" for the image, "Сохранить список" for the list) write a temporary
// file and rename it over the chosen one: a read-only file must not be replaced that way, and
// a file that is replaced keeps its mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "ScriptedDialog.h"
#include "uConst_Orbis.h"
#include "uMainCommands.h"

namespace dikton {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

enum class TSaver { Image, List };

struct TModeCase {
  fs::perms Mode;
  bool Refused;
};

class SaveTargetTest : public ::testing::Test {
 protected:
  SaveTargetTest() {
    std::random_device rd;
    dir = fs::temp_directory_path() / ("dikton_save_" + std::to_string(rd()));
    fs::create_directories(dir);
    cmd.ProgramFolder = dir.string();
    // A complete read of 0..15 and one loaded fragment: both commands have something to save.
    cmd.State.MemoryImage = Bytes(16, 0x5A);
    cmd.State.StartSoundAddr = 0;
    cmd.State.EndSoundAddr = 15;
    cmd.State.SoundSize = 16;
    cmd.State.ImageFromDevice = true;
    cmd.Catalogue.Row(0).Cell.Loaded = 1;
    cmd.Catalogue.Row(0).Cell.Path = (dir / "a.wav").string();
  }
  ~SaveTargetTest() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  void Run(TSaver saver, const fs::path& target) {
    dialog.Files.push_back(target.string());
    if (saver == TSaver::Image)
      cmd.FileSaveClick();
    else
      cmd.SavePathsClick();
  }
  static Bytes ReadRaw(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  size_t EntryCount() const {
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  fs::path dir;
  test::TScriptedDialog dialog;
  TMainCommands cmd{dialog};
};

// Read-only is judged by the mode bits: the tests may run as root, who could write the file.
TEST_F(SaveTargetTest, ReadOnlyTargetIsRefusedAndAReplacedFileKeepsItsMode) {
  const TModeCase modes[] = {
      {fs::perms(0444), true},  {fs::perms(0400), true},  {fs::perms(0555), true},
      {fs::perms(0640), false}, {fs::perms(0606), false},  // others' write bit: not left to the
                                                           // umask
      {fs::perms(0200), false},                            // writable by its owner: not read-only
  };
  {
    // Windows keeps a read-only flag, not these modes: there is nothing of them to keep.
    const fs::path probe = dir / "mode.probe";
    std::ofstream(probe).put('x');
    fs::permissions(probe, fs::perms(0640), fs::perm_options::replace);
    if (fs::status(probe).permissions() != fs::perms(0640))
      GTEST_SKIP() << "the file system keeps no POSIX mode";
    fs::remove(probe);
  }
  const Bytes old(300, 0xEE);
  for (const TSaver saver : {TSaver::Image, TSaver::List}) {
    for (const TModeCase& m : modes) {
      SCOPED_TRACE(std::string(saver == TSaver::Image ? "image " : "list ") +
                   std::to_string(int(m.Mode)));
      const fs::path target = dir / (saver == TSaver::Image ? "golden.bin" : "paths.txt");
      {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
      }
      fs::permissions(target, m.Mode, fs::perm_options::replace);
      dialog.Messages.clear();
      cmd.State.ImageSaved = false;

      Run(saver, target);

      EXPECT_EQ(fs::status(target).permissions(), m.Mode);
      EXPECT_EQ(EntryCount(), 1u);  // no temporary left beside it
      if (m.Refused) {
        ASSERT_EQ(dialog.Messages.size(), 1u);
        EXPECT_EQ(dialog.Messages[0].Text, "Не удалось сохранить файл!");
        EXPECT_EQ(dialog.Messages[0].Caption, "Сообщение");
        EXPECT_EQ(dialog.Messages[0].Icon, TIcon::Warning);
        EXPECT_EQ(ReadRaw(target), old);
        EXPECT_FALSE(cmd.State.ImageSaved);
      } else {
        EXPECT_TRUE(dialog.Messages.empty());
        EXPECT_EQ(fs::file_size(target), saver == TSaver::Image ? 16u + 16u : 86u + 5u);
        if (saver == TSaver::Image) {
          EXPECT_TRUE(cmd.State.ImageSaved);
        }
      }
      fs::permissions(target, fs::perms(0600), fs::perm_options::replace);
      fs::remove(target);
    }
  }
}

}  // namespace
}  // namespace dikton
