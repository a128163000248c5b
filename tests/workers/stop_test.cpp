// A stop confirmed while the job is held sends nothing more, and a stopped run never reads as
// complete; a block that is never answered usably ends the job as a link failure.
#include <gtest/gtest.h>

#include "FakeDeviceLine.h"
#include "HoldProbe.h"
#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "WorkerRun.h"
#include "uCommandSet.h"
#include "uRV7KWriteSoundThread.h"
#include "uRV7KWriteThread.h"

namespace dikton {
namespace {

using rv7ksim::TFaultKind;
using test::BlockAddress;

// One worker on the in-process device; the window holds the job right after the request at
// 'holdAfter' and the user then confirms the stop.
template <class TWorker>
struct TStopAtLastBlock {
  std::shared_ptr<test::TFakeDevice> device = std::make_shared<test::TFakeDevice>();
  test::TJumpingClock clock;
  test::TRecordingTarget target;
  TData image;
  std::unique_ptr<test::THoldProbe<TWorker>> worker;

  void Run(uint8_t command, uint32_t holdAfter) {
    TLinkContext ctx;
    ctx.Clock = &clock;
    auto d = device;
    ctx.LineFactory = [d] { return std::make_unique<test::TFakeDeviceLine>(d); };
    worker = std::make_unique<test::THoldProbe<TWorker>>(&image, ctx);
    device->OnRequest = [this, command, holdAfter](const std::vector<uint8_t>& f) {
      if (f[3] == command && BlockAddress(f) == holdAfter) worker->Suspend();
    };
    Setup(*worker);
    ASSERT_TRUE(worker->OpenPort(1));
    worker->SetNotifyWindow(&target);
    worker->SetDeviceAddress(127);
    worker->Resume();
    worker->ConfirmStopWhenHeld();
  }
  std::function<void(TWorker&)> Setup = [](TWorker&) {};
  bool Sent(uint8_t command, uint32_t address) const {
    for (const auto& f : device->Requests)
      if (f[3] == command && BlockAddress(f) == address) return true;
    return false;
  }
};

TEST(StopAtLastBlock, ReadAllSendsNothingMoreAndIsNotComplete) {
  TStopAtLastBlock<TRV7KSoundThread> run;
  run.device->End = 0x3FFF;
  run.Run(kCmdReadBlock, 0x3FC0);
  EXPECT_FALSE(run.Sent(kCmdReadBlock, 0x3FE0)) << "no request after the confirmed stop";
  EXPECT_FALSE(run.worker->JobCompleted());
  EXPECT_TRUE(run.target.Of(UM_DONE).empty());
}

TEST(StopAtLastBlock, WriteAllSendsNothingMoreAndCountsNothing) {
  TStopAtLastBlock<TRV7KWriteThread> run;
  run.image.assign(0x4000, 0x5A);
  run.Setup = [](TRV7KWriteThread& w) {
    w.StartSoundAddr = 0x3000;
    w.EndSoundAddr = 0x3FFF;
    w.DirectoryAddr = int32_t(kDirectoryAddr);
    w.DirectoryCount = int32_t(kDirectoryCount);
  };
  run.Run(kCmdWriteBlock, 0x3FC0);
  EXPECT_FALSE(run.Sent(kCmdWriteBlock, 0x3FE0)) << "region B's last block";
  EXPECT_FALSE(run.Sent(kCmdWriteBlock, 0x3FF0)) << "the signature record";
  EXPECT_EQ(run.worker->BytesDone, 0) << "a stopped write pass counts nothing";
  EXPECT_FALSE(run.worker->JobCompleted());
  EXPECT_TRUE(run.target.Of(UM_WRITE_FINISHED).empty());
}

TEST(StopAtLastBlock, WriteSoundSendsNoFinalBlockAndCountsNothing) {
  TStopAtLastBlock<TRV7KWriteSoundThread> run;
  constexpr uint32_t kStart = 0x3200, kDataBytes = 2000;  // 62 full blocks, a final one of 17
  run.image.assign(0x4000, 0);
  Put24(&run.image[kDirectoryAddr], kStart);
  run.image[kStart + kDataBytes] = 0xFF;  // the fragment's end mark
  run.Setup = [](TRV7KWriteSoundThread& w) {
    w.StartSoundAddr = kStart;
    w.EndSoundAddr = 0x3FFF;
    w.DirectoryAddr = int32_t(kDirectoryAddr);
    w.DirectoryCount = int32_t(kDirectoryCount);
  };
  run.Run(kCmdWriteBlock, kStart + 61 * 32);
  EXPECT_FALSE(run.Sent(kCmdWriteBlock, kStart + 62 * 32)) << "the final block";
  EXPECT_EQ(run.worker->BytesDone, 0) << "\"Записано :0\", not the partial count";
  EXPECT_FALSE(run.worker->JobCompleted());
}

// A device that answers one block unusably for ever: the job gives up after 16 answers.
class UnusableAnswers : public test::TSimTest {
 protected:
  void SetUp() override {
    auto o = test::SmallDevice(0x3000, 0x3FFF);
    StartDevice(o);
    Link.Clock = &clock;
    image.assign(0x4000, 0x11);
  }
  enum class TKind { ReadAll, WriteAll, WriteSound };
  TModalResult Run(TKind kind) {
    std::unique_ptr<TRV7KSoundThread> w;
    if (kind == TKind::ReadAll) w = std::make_unique<TRV7KSoundThread>(&image, Link);
    if (kind == TKind::WriteAll) w = std::make_unique<TRV7KWriteThread>(&image, Link);
    if (kind == TKind::WriteSound) w = std::make_unique<TRV7KWriteSoundThread>(&image, Link);
    w->StartSoundAddr = 0x3200;
    w->EndSoundAddr = 0x3FFF;
    w->DirectoryAddr = int32_t(kDirectoryAddr);
    w->DirectoryCount = int32_t(kDirectoryCount);
    EXPECT_TRUE(w->OpenPort(1));
    const auto r = test::RunInWindow(*w, dialog);
    completed = w->JobCompleted();
    return r;
  }
  size_t RequestsAt(uint8_t command, uint32_t address) const {
    size_t n = 0;
    for (const auto& r : test::Requests(*Device, command)) n += BlockAddress(r) == address;
    return n;
  }
  test::TFixedDateClock clock;
  test::TScriptedDialog dialog;
  TData image;
  bool completed = true;
};

TEST_F(UnusableAnswers, EndTheJobAsALinkFailureAfterSixteen) {
  struct {
    const char* what;
    TFaultKind kind;
    uint8_t command;
    uint32_t address;
    TKind worker;
  } cases[] = {
      {"read-all, another reply code", TFaultKind::WrongCode, kCmdReadBlock, 0x40, TKind::ReadAll},
      {"write-all, a refused write", TFaultKind::RefuseWrite, kCmdWriteBlock, 0x40,
       TKind::WriteAll},
      {"write-all read-back, another reply code", TFaultKind::WrongCode, kCmdReadBlock, 0x40,
       TKind::WriteAll},
      {"write-sound, a refused write", TFaultKind::RefuseWrite, kCmdWriteBlock, 0x3000,
       TKind::WriteSound},
  };
  for (const auto& c : cases) {
    SetUp();
    Device->AddFault({c.kind, 0, c.command, int64_t(c.address), 0, 0});
    EXPECT_EQ(Run(c.worker), TModalResult::Cancel) << c.what << ": \"Прибор не отвечает!\"";
    EXPECT_EQ(RequestsAt(c.command, c.address), size_t(kMaxUnusableAnswers)) << c.what;
    EXPECT_EQ(dialog.Handled.back(), (test::TPosted{UM_ERROR, 0, 0})) << c.what;
    EXPECT_FALSE(completed) << c.what;
    dialog.Handled.clear();
  }
}

}  // namespace
}  // namespace dikton
