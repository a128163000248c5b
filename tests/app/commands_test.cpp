#include <gtest/gtest.h>

#include "../sound/SoundFixtures.h"
#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "UnderWine.h"
#include "WorkerRun.h"
#include "uMainCommands.h"
#include "uWavFile.h"

namespace dikton {
namespace {

using rv7ksim::TFaultKind;
using test::Requests;

class Commands : public test::TSimTest {
 protected:
  void Start(uint32_t start = 0x3000, uint32_t end = 0x3FFF) {
    auto o = test::SmallDevice(start, end);
    o.FillByte = 0xEE;
    StartDevice(o);
    Device->GenerateRealisticContent(5);
    Link.Clock = &clock;
    cmd = std::make_unique<TMainCommands>(dialog, Link);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& m : dialog.CommandMessages()) t.push_back(m.Text);
    return t;
  }
  // The last request on the wire is the leave command.
  bool LeftFastMode() const {
    const auto r = Requests(*Device);
    return !r.empty() && r.back()[3] == kCmdModeSwitch && r.back()[5] == kModeLeave;
  }
  size_t Writes() const { return Requests(*Device, kCmdWriteBlock).size(); }

  test::TFixedDateClock clock;
  test::TScriptedDialog dialog;
  std::unique_ptr<TMainCommands> cmd;
};

TEST_F(Commands, StartUpState) {
  Start();
  EXPECT_EQ(cmd->StatusBar.Text[0], "StartSoundAddr=0");
  EXPECT_EQ(cmd->StatusBar.Text[1], "EndSoundAddr=0");
  EXPECT_EQ(cmd->StatusBar.Text[2], "Size=1048576");
  EXPECT_EQ(cmd->StatusBar.Text[3], "");
  EXPECT_EQ(cmd->State.PortNumber, 1);
  EXPECT_EQ(cmd->State.DeviceAddress, 127);
  EXPECT_TRUE(cmd->State.MemoryImage.empty());
}

TEST_F(Commands, RangeRequest) {
  Start(0x3000, 0xFFFFF);
  cmd->State.MemoryImage.assign(10, 1);
  cmd->State.ImageFromDevice = cmd->State.ImageSaved = true;
  cmd->GetSizeSoundMemClick();
  EXPECT_EQ(cmd->StatusBar.Text[0], "StartSoundAddr=12288");
  EXPECT_EQ(cmd->StatusBar.Text[1], "EndSoundAddr=1048575");
  EXPECT_EQ(cmd->StatusBar.Text[2], "Size=1036288");
  EXPECT_EQ(cmd->StatusBar.Width[0], 180);
  EXPECT_TRUE(cmd->State.MemoryImage.empty());
  EXPECT_FALSE(cmd->State.ImageFromDevice || cmd->State.ImageSaved);
  EXPECT_EQ(Requests(*Device).size(), 1u) << "one range query and nothing else";
  EXPECT_TRUE(dialog.Messages.empty());
}

TEST_F(Commands, RangeRequestToASilentDeviceChangesNothing) {
  Start();
  Device->AddFault({TFaultKind::Silence, 0, 0, -1, 0, 0});
  cmd->GetSizeSoundMemClick();
  EXPECT_EQ(cmd->StatusBar.Text[2], "Size=1048576");
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 3u);
}

TEST_F(Commands, PortThatCannotBeOpenedIsRaised) {
  Start();
  Ports.Map(1, "/dev/nonexistent-dikton-port");
  cmd->State.MemoryImage.assign(10, 1);
  for (auto click : {&TMainCommands::GetSizeSoundMemClick, &TMainCommands::ReadAllMemoryClick}) {
    try {
      (cmd.get()->*click)();
      ADD_FAILURE() << "no error raised";
    } catch (const TAppError& e) {
      EXPECT_EQ(e.Text(), txt::CantOpenPort);
      EXPECT_EQ(ErrorBoxText(e.Text()), "Не могу открыть порт!");
    }
    EXPECT_TRUE(cmd->State.MemoryImage.empty());
  }
  EXPECT_EQ(ErrorBoxText("Ошибка"), "Ошибка.");
  EXPECT_EQ(ErrorBoxText("Ok."), "Ok.");
}

TEST_F(Commands, ReadAllEndToEnd) {
  Start();
  cmd->ReadAllMemoryClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::ReadOk)}));
  EXPECT_EQ(dialog.CommandMessages()[0].Icon, TIcon::Warning);
  EXPECT_TRUE(cmd->State.ImageFromDevice);
  auto mem = Device->Memory();
  mem.resize(0x4000);
  EXPECT_EQ(cmd->State.MemoryImage, mem);
  EXPECT_EQ(cmd->StatusBar.Text[0], "StartSoundAddr=12288");
  EXPECT_EQ(cmd->StatusBar.Text[2], "Size=4096");
  EXPECT_TRUE(LeftFastMode());
  // The preparatory command and the mode switch came first, at 9600.
  const auto t = Device->Transcript();
  EXPECT_EQ(t[0].Bytes[3], kCmdPrepare);
  EXPECT_EQ(t[0].Baud, 9600);
}

TEST_F(Commands, ReadAllWithTheModeSwitchRefused) {
  Start();
  Device->AddFault({TFaultKind::WrongCode, 0, kCmdModeSwitch, -1, 0, 0});
  cmd->ReadAllMemoryClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoAnswer)}));
  EXPECT_EQ(dialog.ProgressWindowsShown, 0);
  EXPECT_TRUE(Requests(*Device, kCmdReadBlock).empty());
}

TEST_F(Commands, ReadAllWithThePortHeldByAnotherProgram) {
  // Wine opens a COM port unshared a second time all the same; Windows refuses it.
  if (test::UnderWine()) GTEST_SKIP() << "Wine does not refuse a second opener of a COM port";
  Start();
  TRV7KSoundThread other(nullptr, Link);
  ASSERT_TRUE(other.OpenPort(1));
  EXPECT_THROW(cmd->ReadAllMemoryClick(), TAppError);
  EXPECT_TRUE(cmd->State.MemoryImage.empty());
  cmd->FileSaveClick();
  EXPECT_EQ(Texts().back(), txt::NotRead);
}

TEST_F(Commands, ReadAllStoppedHalfWay) {
  Start();
  int progress = 0;
  dialog.StopWhen = [&](const test::TPosted& p) { return p.Message == UM_PROGRESS && ++progress == 3; };
  cmd->ReadAllMemoryClick();
  EXPECT_TRUE(Texts().empty()) << "no success message";
  EXPECT_FALSE(cmd->State.ImageFromDevice);
  EXPECT_EQ(cmd->StatusBar.Text[1], "EndSoundAddr=16383") << "the range is still shown";
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(Commands, ReadAllLinkFailure) {
  Start();
  Device->AddFault({TFaultKind::Silence, 0, kCmdReadBlock, 0x400, 0, 0});
  cmd->ReadAllMemoryClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoAnswer)}));
  EXPECT_TRUE(LeftFastMode()) << "the device confirmed the switch, so it is told to leave";
  EXPECT_EQ(cmd->StatusBar.Text[2], "Size=1048576") << "range display not updated";
}

TEST_F(Commands, ReadAllWithAFailedRangeQuery) {
  Start();
  Device->AddFault({TFaultKind::WrongCode, 0, kCmdRangeQuery, -1, 0, 0});
  cmd->ReadAllMemoryClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoAnswer)}));
  EXPECT_FALSE(cmd->State.ImageFromDevice);
  EXPECT_TRUE(cmd->State.MemoryImage.empty());
  EXPECT_TRUE(LeftFastMode()) << "the device had confirmed the switch";
}

// An adapter that hears the line delivers each request's echo 1.5 ms after it has left the
// wire, before the device's reply (3 ms): neither command takes an echo for a reply.
TEST_F(Commands, ReadAndWriteAllThroughALateEcho) {
  auto o = test::SmallDevice(0x3000, 0x3FFF);
  o.Echo = true;
  o.EchoDelayMs = 1.5;
  StartDevice(o);
  Device->GenerateRealisticContent(5);
  Link.Clock = &clock;
  cmd = std::make_unique<TMainCommands>(dialog, Link);
  cmd->ReadAllMemoryClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::ReadOk)}));
  auto mem = Device->Memory();
  mem.resize(0x4000);
  EXPECT_EQ(cmd->State.MemoryImage, mem) << "exact image, no block shifted";
  EXPECT_EQ(Requests(*Device, kCmdReadBlock).size(), 0x4000u / 32) << "no retry";

  Device->ClearTranscript();
  dialog.Messages.clear();
  cmd->WriteAllClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::WriteOk)}))
      << "no false difference";
  EXPECT_EQ(Requests(*Device, kCmdWriteBlock).size(), (0x1000u + 0x1000u) / 32 + 1)
      << "every block and the record once";
  EXPECT_TRUE(LeftFastMode());
}

// "Записать всю" with an image as "Открыть" leaves it.
class WriteAllCommand : public Commands {
 protected:
  void LoadImage(uint32_t start, uint32_t end, size_t size = 0) {
    auto& s = cmd->State;
    s.MemoryImage.resize(size ? size : end + 1);
    for (size_t i = 0; i < s.MemoryImage.size(); ++i) s.MemoryImage[i] = uint8_t(i * 3);
    s.StartSoundAddr = start;
    s.EndSoundAddr = end;
    s.SoundSize = end - start + 1;
    s.ImageFromFile = true;
  }
};

TEST_F(WriteAllCommand, NothingToWrite) {
  Start(0x3000, 0x3FFF);
  cmd->WriteAllClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoDataToWrite)}));
  EXPECT_EQ(dialog.ProgressWindowsCreated, 0);
  EXPECT_EQ(Device->RequestCount(), 0u);
}

TEST_F(WriteAllCommand, FileImageWrittenAndVerified) {
  Start(0x3000, 0x3FFF);
  LoadImage(0x3000, 0x3FFF);
  cmd->WriteAllClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::WriteOk)}));
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 1u);
  EXPECT_TRUE(LeftFastMode());
  const auto mem = Device->Memory();
  EXPECT_TRUE(std::equal(mem.begin() + 0x3000, mem.begin() + 0x4000,
                         cmd->State.MemoryImage.begin() + 0x3000));
}

TEST_F(WriteAllCommand, VerificationDeclinedShowsNoSuccess) {
  Start(0x3000, 0x3FFF);
  LoadImage(0x3000, 0x3FFF);
  dialog.Answers = {TAnswer::No};
  cmd->WriteAllClick();
  EXPECT_TRUE(Texts().empty());
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(WriteAllCommand, RangeQueryOutcomes) {
  struct {
    TFaultKind fault;
    bool inject;
    uint32_t end;
    std::string_view text;
    TIcon icon;
  } cases[] = {
      {TFaultKind::Silence, true, 0x3FFF, txt::NoAnswerCrLf, TIcon::Error},
      {TFaultKind::WrongCode, true, 0x3FFF, txt::RangeUnsupported, TIcon::Error},
      {TFaultKind::Silence, false, 0x3FF0, txt::OtherFormat, TIcon::Warning},
  };
  for (const auto& c : cases) {
    Start(0x3000, 0x3FFF);
    LoadImage(0x3000, c.end);
    if (c.inject) Device->AddFault({c.fault, 0, kCmdRangeQuery, -1, 0, 0});
    cmd->WriteAllClick();
    ASSERT_EQ(dialog.CommandMessages().size(), 1u) << c.text;
    EXPECT_EQ(dialog.CommandMessages()[0].Text, c.text);
    EXPECT_EQ(dialog.CommandMessages()[0].Icon, c.icon);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_EQ(Device->RequestCount(kCmdModeSwitch), 0u);
    dialog.Messages.clear();
  }
}

TEST_F(WriteAllCommand, ImageThatCannotHoldTheMemoryMapIsRefused) {
  for (auto [end, size] : {std::pair<uint32_t, size_t>{0x3FFF, 0x100}, {0x31FE, 0}}) {
    Start(0x3000, 0x3FFF);
    LoadImage(0x3000, end, size);
    cmd->WriteAllClick();
    EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::OtherFormat)}));
    EXPECT_EQ(Device->RequestCount(), 0u);
    dialog.Messages.clear();
  }
}

TEST_F(WriteAllCommand, AfterACompleteReadNoRangeQuery) {
  Start(0x3000, 0x3FFF);
  cmd->ReadAllMemoryClick();
  Device->ClearTranscript();
  dialog.Messages.clear();
  cmd->WriteAllClick();
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 0u);
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::WriteOk)}));
}

TEST_F(WriteAllCommand, ImageReadWithAnotherRangeThanNowInForceIsRefused) {
  Start(0x3000, 0x3FFF);
  cmd->ReadAllMemoryClick();
  // "Открыть список" of a list saved for another range moves the range.
  cmd->State.EndSoundAddr = 0x37FF;
  Device->ClearTranscript();
  dialog.Messages.clear();
  cmd->WriteAllClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::OtherFormat)}));
  EXPECT_TRUE(Requests(*Device).empty()) << "nothing sent, no record among the sounds";
}

TEST_F(WriteAllCommand, LinkFailureMidWrite) {
  Start(0x3000, 0x3FFF);
  LoadImage(0x3000, 0x3FFF);
  Device->AddFault({TFaultKind::Silence, 0, kCmdWriteBlock, 0x3200, 0, 0});
  cmd->WriteAllClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoAnswer)}));
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(WriteAllCommand, DifferencesReportedMeanNoSuccess) {
  Start(0x3000, 0x3FFF);
  LoadImage(0x3000, 0x3FFF);
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x10, 0, uint32_t(cmd->State.MemoryImage[0x10] ^ 1)});
  cmd->WriteAllClick();
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(dialog.Messages.size(), 2u) << "the verify question and one report";
}

// "Записать звуки".
class WriteSoundCommand : public Commands {
 protected:
  void LoadFragment(int row, size_t samples) {
    const std::string path = dir.File("slot" + std::to_string(row) + ".wav");
    test::WriteFragment(path, samples);
    auto& cell = cmd->Catalogue.Row(row).Cell;
    cell.Loaded = 1;
    cell.Path = path;
    cell.PackedSize = int32_t(EstimatePackedSize(uint32_t(2 * samples)));
  }
  test::TTempDir dir;
};

TEST_F(WriteSoundCommand, NothingToWrite) {
  Start();
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoDataToWriteShort)}));
  EXPECT_EQ(Device->RequestCount(), 0u);
}

TEST_F(WriteSoundCommand, DefaultRangeAndASilentDeviceIsTooBig) {
  Start();
  Device->AddFault({TFaultKind::Silence, 0, 0, -1, 0, 0});
  LoadFragment(1, 10);
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::TooBig)}));
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 3u);
}

TEST_F(WriteSoundCommand, FullWriteAndVerify) {
  Start(0x3100, 0x7FFF);
  LoadFragment(0, 101);
  LoadFragment(1, 300);
  LoadFragment(3, 64);
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::SoundOk)}));
  const auto& img = cmd->State.MemoryImage;
  const auto mem = Device->Memory();
  const uint32_t end = 0x3100 + cmd->Catalogue.SumFragmentSizes();
  EXPECT_TRUE(std::equal(img.begin() + 0x3000, img.begin() + 0x30E1, mem.begin() + 0x3000));
  EXPECT_TRUE(std::equal(img.begin() + 0x3100, img.begin() + end, mem.begin() + 0x3100));
  EXPECT_EQ(mem[end - 1], 0xFF);
  EXPECT_EQ(Get24(&mem[0x3000]), 0x3100u + EstimatePackedSize(202));
  EXPECT_EQ(cmd->StatusBar.Text[0], "StartSoundAddr=12544") << "the device's range is shown";
  EXPECT_FALSE(cmd->State.ImageFromFile || cmd->State.ImageFromDevice);
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(WriteSoundCommand, VerificationDeclinedShowsTheShortfall) {
  Start(0x3100, 0x7FFF);
  LoadFragment(0, 10);
  LoadFragment(2, 10);
  dialog.Answers = {TAnswer::No};
  cmd->WriteSoundMemClick();
  const uint32_t total = 225 + 2 * EstimatePackedSize(20);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Размер фрагментов: " + std::to_string(total) +
                                                "\r\nЗаписано :0"}));
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(WriteSoundCommand, CancelResultStillLeavesFastMode) {
  Start(0x3100, 0x7FFF);
  LoadFragment(0, 10);
  LoadFragment(1, 10);
  Device->AddFault({TFaultKind::Silence, 0, kCmdWriteBlock, 0x3100, 0, 0});
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::NoAnswer)}));
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(WriteSoundCommand, DifferencesAfterACompleteVerifyAreNoSuccess) {
  Start(0x3100, 0x7FFF);
  LoadFragment(0, 10);
  LoadFragment(1, 10);
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3101, 0, 0x00});
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3102, 0, 0x00});
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::VerifyErrors) + "2"}));
}

TEST_F(WriteSoundCommand, FileImageAndTheDevicesRange) {
  for (uint32_t deviceEnd : {0x7FFFu, 0x7FF0u}) {
    Start(0x3100, deviceEnd);
    auto& s = cmd->State;
    s.MemoryImage.assign(0x8000, 0);
    s.StartSoundAddr = 0x3100;
    s.EndSoundAddr = 0x7FFF;
    s.ImageFromFile = true;
    LoadFragment(1, 10);
    LoadFragment(0, 10);
    const TData before = s.MemoryImage;
    cmd->WriteSoundMemClick();
    if (deviceEnd == 0x7FFF) {
      EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::SoundOk)}));
    } else {
      EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::OtherFormatShort)}));
      EXPECT_EQ(s.MemoryImage, before) << "nothing built";
      EXPECT_EQ(Writes(), 0u);
    }
    dialog.Messages.clear();
  }
}

TEST_F(WriteSoundCommand, RangeThatBreaksTheLayoutIsRefused) {
  Start(0x3000, 0x7FFF);
  LoadFragment(1, 10);
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::BadRange)}));
  EXPECT_EQ(Writes(), 0u);
  EXPECT_TRUE(cmd->State.MemoryImage.empty());
}

TEST_F(WriteSoundCommand, FragmentGoneSinceItWasBrowsed) {
  Start(0x3100, 0x7FFF);
  LoadFragment(0, 10);
  LoadFragment(1, 10);
  const std::string gone = cmd->Catalogue.Row(1).Cell.Path;
  std::filesystem::remove(gone);
  cmd->State.MemoryImage.assign(0x8000, 0x77);
  cmd->WriteSoundMemClick();
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(txt::FragmentBroken) + gone}));
  EXPECT_EQ(cmd->State.MemoryImage, TData(0x8000, 0x77));
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(Device->RequestCount(kCmdModeSwitch), 0u);
}

}  // namespace
}  // namespace dikton
