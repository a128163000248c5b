// The demonstration voices made at build time, when espeak-ng and sox were there.
#include <gtest/gtest.h>

#include <filesystem>

#include "uConst_Orbis.h"
#include "uPathList.h"
#include "uSoundArea.h"
#include "uWavFile.h"

namespace dikton::test {
namespace {

TEST(DemoVoices, EveryFragmentIsValidAndTheListLoadsAndFits) {
  const std::filesystem::path dir = std::filesystem::path(DIKTON_BINARY_DIR) / "voices";
  const std::string list = (dir / "paths.txt").string();
  if (!std::filesystem::exists(list)) GTEST_SKIP() << "voices not generated in " << dir;

  TFragmentCatalogue catalogue;
  const auto range = LoadPathList(list, catalogue);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->Start, 0x3200u);
  EXPECT_EQ(range->End, 0xFFFFFu);
  for (int i = 0; i < TFragmentCatalogue::Count(); ++i) {
    const TStringCell& cell = catalogue.Row(i).Cell;
    ASSERT_EQ(cell.Loaded, 1) << i;
    const auto info = ReadWavInfo(cell.Path);
    ASSERT_TRUE(info) << cell.Path;
    EXPECT_TRUE(info->FormatOk) << cell.Path;
    EXPECT_EQ(info->DataOffset, 44u) << cell.Path;
    EXPECT_GT(info->DataSize, 0u) << cell.Path;
  }
  // The whole set fits into the list's range, which starts after the signature pointer.
  TData image(range->End + 1, 0);
  const auto built = BuildSoundArea(catalogue, image, range->Start, range->End);
  ASSERT_TRUE(std::holds_alternative<uint32_t>(built));
  EXPECT_EQ(std::get<uint32_t>(built), uint32_t(catalogue.SumFragmentSizes()) + kDirectoryBytes);
}

}  // namespace
}  // namespace dikton::test
