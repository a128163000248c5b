// The demo's sound flow from start to end: the generated voices' list is opened and the
// whole set is written to a device with the demo's range and read back.
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeDeviceLine.h"
#include "ScriptedDialog.h"
#include "WorkerRun.h"
#include "uMainCommands.h"

namespace dikton {
namespace {

TEST(DemoFlow, OpenTheVoiceListAndWriteTheSounds) {
  const auto list = std::filesystem::path(DIKTON_BINARY_DIR) / "voices" / "paths.txt";
  if (!std::filesystem::exists(list)) GTEST_SKIP() << "voices not generated";
  auto device = std::make_shared<test::TFakeDevice>();
  device->Start = 0x3200;
  test::TJumpingClock clock;
  TLinkContext ctx;
  ctx.Clock = &clock;
  ctx.LineFactory = [device] { return std::make_unique<test::TFakeDeviceLine>(device); };
  test::TScriptedDialog dialog;
  TMainCommands cmd(dialog, ctx);

  dialog.Files.push_back(list.string());
  cmd.OpenPathsClick();
  EXPECT_EQ(cmd.StatusBar.Text[0], "StartSoundAddr=12800");
  ASSERT_TRUE(cmd.Catalogue.HasFragments());
  cmd.WriteSoundMemClick();
  ASSERT_EQ(dialog.CommandMessages().size(), 1u);
  EXPECT_EQ(dialog.CommandMessages()[0].Text, txt::SoundOk);
  const auto& image = cmd.State.MemoryImage;
  const uint32_t end = 0x3200 + uint32_t(cmd.Catalogue.SumFragmentSizes());
  EXPECT_TRUE(std::equal(image.begin() + 0x3000, image.begin() + 0x30E1,
                         device->Memory.begin() + 0x3000));
  EXPECT_TRUE(std::equal(image.begin() + 0x3200, image.begin() + end,
                         device->Memory.begin() + 0x3200));
  EXPECT_EQ(device->Memory[end - 1], 0xFF);
}

}  // namespace
}  // namespace dikton
