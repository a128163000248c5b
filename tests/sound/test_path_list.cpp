#include <gtest/gtest.h>

#include "SoundFixtures.h"
#include "uPathList.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

constexpr uint32_t kStart = 0x3000, kEnd = 0xFFFFF;

class PathListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFragment(dir.File("a.wav"), 10);  // 20 data bytes
    WriteFragment(dir.File("b.wav"), 3);   // 6 data bytes
    Fill(saved, 0, dir.File("a.wav"));
    Fill(saved, 5, dir.File("b.wav"));
  }
  static void Fill(TFragmentCatalogue& c, int slot, const std::string& path) {
    c.Row(slot).Cell.Loaded = 1;
    c.Row(slot).Cell.Path = path;
    c.Row(slot).Cell.PackedSize = 1;
    c.Row(slot).PathText = DisplayForm(path);
  }
  std::vector<uint8_t> SavedBytes() { return BuildPathList(saved, kStart, kEnd).Bytes; }
  std::string WriteList(const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File("paths.txt");
    WriteBytes(path, bytes);
    return path;
  }

  TTempDir dir;
  TFragmentCatalogue saved;
};

TEST_F(PathListTest, SavesNamesThenRange) {
  std::vector<uint8_t> expected{'a', '.', 'w', 'a', 'v', 0, 0, 0, 0, 0, 'b', '.', 'w', 'a', 'v', 0};
  expected.insert(expected.end(), 70, 0);
  expected.insert(expected.end(), {0, 0x00, 0x30, 0x00, 0x00, 0, 0xFF, 0xFF, 0x0F, 0x00});
  ASSERT_EQ(expected.size(), 96u);
  EXPECT_EQ(SavedBytes(), expected);
  // A typed path that was never loaded is an empty entry.
  saved.Row(7).Cell.Path = "typed.wav";
  EXPECT_EQ(SavedBytes(), expected);
}

TEST_F(PathListTest, LoadsBackFromTheListsFolder) {
  const std::string list = WriteList(SavedBytes());
  TFragmentCatalogue c;
  Fill(c, 7, "/elsewhere/old.wav");  // a slot the list leaves empty
  const auto range = LoadPathList(list, c);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->Start, kStart);
  EXPECT_EQ(range->End, kEnd);
  const std::string a = dir.File("a.wav"), b = dir.File("b.wav");
  EXPECT_EQ(c.Row(0).Cell.Path, a);
  EXPECT_EQ(c.Row(0).Cell.PackedSize, int32_t(EstimatePackedSize(20)));
  EXPECT_EQ(c.Row(0).PathText, DisplayForm(a));
  EXPECT_EQ(c.Row(5).Cell.Path, b);
  EXPECT_EQ(c.Row(5).Cell.PackedSize, int32_t(EstimatePackedSize(6)));
  for (int i = 0; i < TFragmentCatalogue::Count(); ++i) {
    EXPECT_EQ(c.Row(i).Cell.Loaded, (i == 0 || i == 5) ? 1 : 0) << i;
    if (i != 0 && i != 5) {
      EXPECT_EQ(c.Row(i).PathText, "") << i;
    }
  }
}

TEST_F(PathListTest, SlotsWhoseFileIsNotThereOrNoWavAreEmptied) {
  const std::string list = WriteList(SavedBytes());
  // Another rate still loads: the list reader takes the size, not the format.
  WriteBytes(dir.File("a.wav"), WavBytes({.Rate = 22050, .Samples = {1, 2, 3, 4}}));
  TFragmentCatalogue c;
  std::filesystem::remove(dir.File("b.wav"));
  Fill(c, 5, dir.File("b.wav"));
  ASSERT_TRUE(LoadPathList(list, c));
  EXPECT_EQ(c.Row(0).Cell.Loaded, 1);
  EXPECT_EQ(c.Row(0).Cell.PackedSize, int32_t(EstimatePackedSize(8)));
  EXPECT_EQ(c.Row(5).Cell.Loaded, 0);
  EXPECT_EQ(c.Row(5).Cell.Path, "");
  EXPECT_EQ(c.Row(5).PathText, "");

  WriteBytes(dir.File("a.wav"), {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e', '!', '!'});
  ASSERT_TRUE(LoadPathList(list, c));
  EXPECT_EQ(c.Row(0).Cell.Loaded, 0);
}

TEST_F(PathListTest, NameWithAFolderIsNotFollowed) {
  std::filesystem::create_directory(dir.File("sub"));
  WriteFragment(dir.File("sub/c.wav"), 2);
  std::vector<uint8_t> bytes{'s', 'u', 'b', '/', 'c', '.', 'w', 'a', 'v', 0};
  bytes.insert(bytes.end(), 75 + 10, 0);
  TFragmentCatalogue c;
  ASSERT_TRUE(LoadPathList(WriteList(bytes), c));
  EXPECT_EQ(c.Row(0).Cell.Loaded, 0);
}

// A list written on Windows names "A.WAV" where the folder holds "a.wav": a missing name is
// taken from the one entry that equals it but for case (Latin and Cyrillic letters).
TEST(PathListCaseTest, MissingNameIsFoundAgainWithoutRegardToCase) {
  {
    // Where the file system itself ignores case (Windows), the list's own name opens the file as
    // it stands, and there is nothing for the reader to look for.
    TTempDir probe;
    WriteBytes(probe.File("case.probe"), {});
    if (std::filesystem::exists(FsPath(probe.File("CASE.PROBE"))))
      GTEST_SKIP() << "the file system finds a name whatever its case";
  }
  const struct {
    const char* name;
    std::vector<std::string> entries;  // a trailing "/" makes a folder
    std::string stored;                // the name in the list
    std::string taken;                 // the file the slot gets; empty: the slot is emptied
  } cases[] = {
      {"upper in the list", {"a.wav"}, "A.WAV", "a.wav"},
      {"lower in the list", {"A.WAV"}, "a.wav", "A.WAV"},
      {"mixed", {"Slot01.Wav", "slot02.wav"}, "SLOT01.WAV", "Slot01.Wav"},
      {"Cyrillic", {"Звук.wav"}, "зВУК.WAV", "Звук.wav"},
      {"Cyrillic Ё", {"ёлка.wav"}, "ЁЛКА.wav", "ёлка.wav"},
      {"Cyrillic Ї and Ґ", {"їжак ґанок.wav"}, "ЇЖАК ҐАНОК.WAV", "їжак ґанок.wav"},
      {"exact name first", {"A.WAV", "a.wav"}, "A.WAV", "A.WAV"},
      {"two variants", {"a.wav", "A.wav"}, "A.WAV", ""},
      {"no variant", {"b.wav"}, "A.WAV", ""},
      {"brackets are not letters", {"a[1].wav"}, "A{1}.WAV", ""},
      {"the variant is a folder", {"a.wav/"}, "A.WAV", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    for (const std::string& e : c.entries) {
      if (e.back() == '/')
        std::filesystem::create_directory(dir.File(e.substr(0, e.size() - 1)));
      else
        WriteFragment(dir.File(e), 3);
    }
    TFragmentCatalogue named;
    named.Row(0).Cell.Loaded = 1;
    named.Row(0).Cell.Path = "/elsewhere/" + c.stored;
    const TListBytes list = BuildPathList(named, kStart, kEnd);
    ASSERT_FALSE(list.Bytes.empty());
    const std::string listPath = dir.File("paths.txt");
    WriteBytes(listPath, list.Bytes);

    TFragmentCatalogue back;
    ASSERT_TRUE(LoadPathList(listPath, back));
    const TStringCell& cell = back.Row(0).Cell;
    if (c.taken.empty()) {
      EXPECT_EQ(cell.Loaded, 0);
      EXPECT_EQ(cell.Path, "");
    } else {
      EXPECT_EQ(cell.Loaded, 1);
      EXPECT_EQ(cell.Path, dir.File(c.taken));
      EXPECT_EQ(cell.PackedSize, int32_t(EstimatePackedSize(6)));
      EXPECT_EQ(back.Row(0).PathText, DisplayForm(dir.File(c.taken)));
    }
  }
}

TEST_F(PathListTest, ShortFilesChangeOnlyWhatTheyHoldWhole) {
  const std::vector<uint8_t> full = SavedBytes();
  const struct {
    size_t length;
    int slotsSet;  // slots whose entry was complete
  } cases[] = {
      {0, 0}, {3, 0}, {6, 1}, {9, 4}, {86, 76}, {87, 76}, {90, 76}, {91, 76}, {95, 76},
  };
  for (const auto& c : cases) {
    TFragmentCatalogue cat;
    for (int i = 0; i < TFragmentCatalogue::Count(); ++i) Fill(cat, i, "/old/x.wav");
    const auto range =
        LoadPathList(WriteList({full.begin(), full.begin() + std::ptrdiff_t(c.length)}), cat);
    EXPECT_FALSE(range) << c.length;
    for (int i = 0; i < TFragmentCatalogue::Count(); ++i) {
      const bool set = i < c.slotsSet;
      const bool loaded = set ? (i == 0 || i == 5) : true;
      EXPECT_EQ(cat.Row(i).Cell.Loaded, loaded ? 1 : 0) << c.length << " slot " << i;
      if (!set) {
        EXPECT_EQ(cat.Row(i).Cell.Path, "/old/x.wav") << c.length << " slot " << i;
      }
    }
  }
}

TEST_F(PathListTest, CyrillicNamesAreStoredInWindows1251) {
  const std::string name = "Пять.wav";
  WriteFragment(dir.File(name), 4);
  TFragmentCatalogue c;
  Fill(c, 5, dir.File(name));
  const TListBytes list = BuildPathList(c, kStart, kEnd);
  const std::vector<uint8_t> stored{0xCF, 0xFF, 0xF2, 0xFC, '.', 'w', 'a', 'v', 0};
  ASSERT_EQ(list.Bytes.size(), 86u + 8u);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), list.Bytes.begin() + 5));

  TFragmentCatalogue back;
  ASSERT_TRUE(LoadPathList(WriteList(list.Bytes), back));
  EXPECT_EQ(back.Row(5).Cell.Loaded, 1);
  EXPECT_EQ(back.Row(5).Cell.Path, dir.File(name));
}

TEST(Cp1251, EveryByteReadsAndWritesBack) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += char(b);
  EXPECT_EQ(ToCp1251(FromCp1251(all)), all);
  EXPECT_EQ(FromCp1251("\xB8\xA8\xB9"), "ёЁ№");
  EXPECT_FALSE(ToCp1251("日本.wav"));
  EXPECT_FALSE(ToCp1251("\xC3"));          // cut sequence
  EXPECT_FALSE(ToCp1251("\xC0\xAF"));      // overlong "/"
  EXPECT_FALSE(ToCp1251("\xED\xA0\x80"));  // surrogate
}

TEST(BuildPathList, RefusesANameTheCodePageCannotHold) {
  TFragmentCatalogue c;
  c.Row(3).Cell.Loaded = 1;
  c.Row(3).Cell.Path = "/v/日本.wav";
  const TListBytes list = BuildPathList(c, kStart, kEnd);
  EXPECT_TRUE(list.Bytes.empty());
  EXPECT_EQ(list.BadName, "日本.wav");
}

TEST(SavePathList, ReplacesTheWholeFile) {
  TTempDir dir;
  const std::string path = dir.File("paths.txt");
  WriteBytes(path, std::vector<uint8_t>(200, 'x'));
  const std::vector<uint8_t> bytes(86, 0);
  ASSERT_TRUE(SavePathList(path, bytes));
  EXPECT_EQ(ReadBytes(path), bytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_FALSE(SavePathList(dir.File("no/such/folder/paths.txt"), bytes));
}

}  // namespace
}  // namespace dikton::test
