#include <gtest/gtest.h>

#include <set>

#include "FakeDeviceLine.h"
#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "WorkerRun.h"

namespace dikton {
namespace {

using rv7ksim::TFault;
using rv7ksim::TFaultKind;
using test::CountOf;
using test::Requests;

class ReadAll : public test::TSimTest {
 protected:
  void SetUp() override {
    StartDevice();
    Device->GenerateRealisticContent(3);
  }
  TModalResult Run() {
    worker = std::make_unique<TRV7KSoundThread>(&image, Link);
    EXPECT_TRUE(worker->OpenPort(1));
    return test::RunInWindow(*worker, dialog);
  }
  std::vector<uint8_t> Expected(size_t n) const {
    auto m = Device->Memory();
    m.resize(n);
    return m;
  }
  TData image;
  test::TScriptedDialog dialog;
  std::unique_ptr<TRV7KSoundThread> worker;
};

TEST_F(ReadAll, ImageEqualsDeviceMemoryWithProgressEvery1024Bytes) {
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_EQ(image, Expected(0x8000));
  EXPECT_EQ(worker->BytesDone, 0x8000);
  EXPECT_EQ(worker->StartSoundAddr, 0x3000);
  EXPECT_EQ(worker->EndSoundAddr, 0x7FFF);
  const auto& h = dialog.Handled;
  EXPECT_EQ(CountOf(h, UM_PROGRESS), 32u);
  ASSERT_GE(h.size(), 2u);
  EXPECT_EQ(h[h.size() - 2], (test::TPosted{UM_PROGRESS, 0x8000, 0x7FFF}));
  EXPECT_EQ(h.back(), (test::TPosted{UM_DONE, 0, 0}));
  std::set<uint32_t> addresses;
  for (const auto& r : Requests(*Device, kCmdReadBlock)) addresses.insert(test::BlockAddress(r));
  EXPECT_EQ(addresses.size(), 0x8000u / 32);
  EXPECT_EQ(*addresses.rbegin(), 0x7FE0u);
}

TEST_F(ReadAll, LinkFailureAtBlockK) {
  constexpr uint32_t k = 40;
  Device->AddFault({TFaultKind::Silence, 0, kCmdReadBlock, 32 * k, 0, 0});
  EXPECT_EQ(Run(), TModalResult::Cancel);
  EXPECT_EQ(CountOf(dialog.Handled, UM_ERROR), 1u);
  EXPECT_EQ(CountOf(dialog.Handled, UM_DONE), 0u);
  EXPECT_EQ(worker->BytesDone, int32_t(32 * k));
}

TEST_F(ReadAll, NonDataReplyIsAskedForAgain) {
  Device->AddFault({TFaultKind::WrongCode, 0, kCmdReadBlock, 0, 1, 0});
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_EQ(dialog.Handled.front(), (test::TPosted{UM_PROGRESS, 0, 0x7FFF}));
  const auto reads = Requests(*Device, kCmdReadBlock);
  EXPECT_EQ(test::BlockAddress(reads[0]), 0u);
  EXPECT_EQ(test::BlockAddress(reads[1]), 0u);
  EXPECT_EQ(image, Expected(0x8000));
}

TEST_F(ReadAll, ShortReplyAdvancesByItsCount) {
  Device->AddFault({TFaultKind::ShortReply, 0, kCmdReadBlock, 0, 1, 10});
  ASSERT_EQ(Run(), TModalResult::Ok);
  const auto reads = Requests(*Device, kCmdReadBlock);
  EXPECT_EQ(test::BlockAddress(reads[1]), 10u);
  EXPECT_EQ(image, Expected(0x8000));
}

TEST_F(ReadAll, ReplyWithMoreBytesThanAskedIsAskedForAgain) {
  for (auto kind : {TFaultKind::ExtraData, TFaultKind::LyingCount}) {
    Device->ClearTranscript();
    Device->AddFault({kind, 0, kCmdReadBlock, 0x7FE0, 1, 8});
    image.clear();
    ASSERT_EQ(Run(), TModalResult::Ok) << int(kind);
    EXPECT_EQ(image, Expected(0x8000)) << "nothing past EndSoundAddr";
    EXPECT_EQ(worker->BytesDone, 0x8000);
    size_t last = 0;
    for (const auto& r : Requests(*Device, kCmdReadBlock)) last += test::BlockAddress(r) == 0x7FE0;
    EXPECT_EQ(last, 2u) << int(kind);
  }
}

TEST_F(ReadAll, FailedOrUnsupportedRangeQueryIsALinkFailure) {
  for (auto kind : {TFaultKind::Silence, TFaultKind::WrongCode}) {
    Device->AddFault({kind, 0, kCmdRangeQuery, -1, 0, 0});
    dialog.Handled.clear();
    EXPECT_EQ(Run(), TModalResult::Cancel) << int(kind);
    EXPECT_EQ(dialog.Handled, (std::vector<test::TPosted>{{UM_ERROR, 0, 0}}));
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(Requests(*Device, kCmdReadBlock).empty());
    Device->ClearFaults();
  }
}

TEST_F(ReadAll, StopButtonHoldsAndStops) {
  // The first stop question is answered no, the second yes.
  int progress = 0;
  dialog.StopWhen = [&](const test::TPosted& p) {
    return p.Message == UM_PROGRESS && (++progress == 2 || progress == 4);
  };
  dialog.Answers = {TAnswer::No, TAnswer::Yes};
  EXPECT_EQ(Run(), TModalResult::Ok);
  ASSERT_EQ(dialog.Messages.size(), 2u);
  EXPECT_EQ(dialog.Messages[0].Text, txt::AskStop);
  EXPECT_EQ(dialog.Messages[0].Caption, txt::StopCaption);
  EXPECT_GE(worker->BytesDone, 4 * 1024);
  EXPECT_LT(worker->BytesDone, 0x8000);
  EXPECT_EQ(CountOf(dialog.Handled, UM_DONE), 0u);
}

TEST(ReadAllWhole, RangeEndingAt0xFFFEF) {
  auto device = std::make_shared<test::TFakeDevice>();
  device->End = 0xFFFEF;
  for (size_t i = 0; i < device->Memory.size(); ++i) device->Memory[i] = uint8_t(i * 7);
  test::TJumpingClock clock;
  TLinkContext ctx;
  ctx.Clock = &clock;
  ctx.LineFactory = [device] { return std::make_unique<test::TFakeDeviceLine>(device); };
  TData image;
  TRV7KSoundThread worker(&image, ctx);
  ASSERT_TRUE(worker.OpenPort(1));
  test::TScriptedDialog dialog;
  ASSERT_EQ(test::RunInWindow(worker, dialog), TModalResult::Ok);
  const auto& last = device->Requests[device->Requests.size() - 2];  // before the leave
  EXPECT_EQ(last[3], kCmdReadBlock);
  EXPECT_EQ(test::BlockAddress(last), 0xFFFE0u);
  EXPECT_EQ(last[7], 16);
  const auto& h = dialog.Handled;
  EXPECT_EQ(h[h.size() - 2], (test::TPosted{UM_PROGRESS, 0xFFC00, 0xFFFEF}));
  EXPECT_EQ(h.back().Message, UM_DONE);
  EXPECT_EQ(image.size(), 0xFFFF0u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), device->Memory.begin()));
}

}  // namespace
}  // namespace dikton
