#include <gtest/gtest.h>

#include <set>

#include "FakeDeviceLine.h"
#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "WorkerRun.h"
#include "uRV7KWriteThread.h"

namespace dikton {
namespace {

using rv7ksim::TFaultKind;
using test::BlockAddress;
using test::CountOf;
using test::Requests;

constexpr uint32_t kEnd = 0x3FFF;
const std::vector<uint8_t> kRecord = {'0', '7', '1', '2', '2', '6', '1', '4',
                                      '0', '5', 'Z', 'O', 'R', 'I', 'X', 0};

class WriteAll : public test::TSimTest {
 protected:
  void SetUp() override {
    auto o = test::SmallDevice(0x3000, kEnd);
    o.FillByte = 0xEE;
    StartDevice(o);
    Link.Clock = &clock;
  }
  void MakeImage(uint32_t end) {
    image.resize(end + 1);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 13 + 5);
    original = image;
  }
  TModalResult Run(uint32_t end = kEnd) {
    if (image.empty()) MakeImage(end);
    worker = std::make_unique<TRV7KWriteThread>(&image, Link);
    worker->StartSoundAddr = 0x3000;
    worker->EndSoundAddr = int32_t(end);
    worker->DirectoryAddr = int32_t(kDirectoryAddr);
    worker->DirectoryCount = int32_t(kDirectoryCount);
    EXPECT_TRUE(worker->OpenPort(1));
    return test::RunInWindow(*worker, dialog);
  }
  std::vector<std::vector<uint8_t>> Writes() { return Requests(*Device, kCmdWriteBlock); }

  test::TFixedDateClock clock;
  TData image, original;
  test::TScriptedDialog dialog;
  std::unique_ptr<TRV7KWriteThread> worker;
};

TEST_F(WriteAll, WritesRegionsAAndBWithSignatureAndVerifies) {
  ASSERT_EQ(Run(), TModalResult::Ok);
  const auto mem = Device->Memory();
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x1000, mem.begin()));
  EXPECT_TRUE(std::equal(image.begin() + 0x3000, image.end(), mem.begin() + 0x3000));
  for (uint32_t a = 0x1000; a < 0x3000; ++a) ASSERT_EQ(mem[a], 0xEE) << "untouched " << a;
  // The pointer names the record; the record is in the image and on the device.
  EXPECT_EQ(Get24(&image[kSignaturePtrAddr]), kEnd - 15);
  EXPECT_EQ(std::vector<uint8_t>(image.end() - 16, image.end()), kRecord);
  EXPECT_EQ(std::vector<uint8_t>(mem.begin() + kEnd - 15, mem.begin() + kEnd + 1), kRecord);
  EXPECT_EQ(worker->BytesTotal, 4096 + (kEnd - 0x3000 + 1));
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
  EXPECT_TRUE(worker->Mismatches.empty());
  EXPECT_EQ(dialog.Messages.at(0).Text, txt::AskVerify);
  EXPECT_EQ(dialog.Handled.back().Message, UM_DONE);
  // Progress only after more than 1024 bytes since the last one.
  uint32_t last = 0;
  for (const auto& p : dialog.Handled)
    if (p.Message == UM_PROGRESS) {
      EXPECT_GT(p.WParam > last ? p.WParam - last : p.WParam, 1024u);
      last = p.WParam;
    }
}

TEST_F(WriteAll, ShortLastBlockAndRecordAt0x3201) {
  // Region B of 529 bytes: 16 blocks of 32 and a last one of 17 at 0x3200.
  Device->SetRange(0x3000, 0x3210);
  ASSERT_EQ(Run(0x3210), TModalResult::Ok);
  const auto writes = Writes();
  ASSERT_GE(writes.size(), 2u);
  const auto& lastB = writes[writes.size() - 2];
  EXPECT_EQ(BlockAddress(lastB), 0x3200u);
  EXPECT_EQ(lastB[1], 17 + 7);
  EXPECT_EQ(BlockAddress(writes.back()), 0x3201u);
  EXPECT_EQ(writes.back()[1], 16 + 7);
  EXPECT_EQ(std::vector<uint8_t>(writes.back().begin() + 7, writes.back().end() - 1), kRecord);
}

TEST_F(WriteAll, RefusedBlockIsSentAgainUntilAcknowledged) {
  Device->AddFault({TFaultKind::RefuseWrite, 0, kCmdWriteBlock, 0x20, 2, 0});
  ASSERT_EQ(Run(), TModalResult::Ok);
  size_t at20 = 0;
  for (const auto& w : Writes()) at20 += BlockAddress(w) == 0x20;
  EXPECT_EQ(at20, 3u);
  EXPECT_EQ(Device->Peek(0x20), image[0x20]);
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
  EXPECT_TRUE(worker->Mismatches.empty());
}

TEST_F(WriteAll, RefusedRecordLeavesTheImageUnchangedThere) {
  Device->AddFault({TFaultKind::RefuseWrite, 0, kCmdWriteBlock, kEnd - 15, 1, 0});
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_TRUE(std::equal(image.end() - 16, image.end(), original.end() - 16));
  size_t records = 0;
  for (const auto& w : Writes()) records += BlockAddress(w) == kEnd - 15;
  EXPECT_EQ(records, 1u) << "a refused record is not sent again";
  EXPECT_TRUE(worker->Mismatches.empty()) << "the device kept the block's bytes there";
}

TEST_F(WriteAll, OnlyTheFirstDifferenceOfABlockIsRecorded) {
  MakeImage(kEnd);
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3009, 0, uint32_t(image[0x3009] ^ 0xFF)});
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3005, 0, uint32_t(image[0x3005] ^ 0x0F)});
  ASSERT_EQ(Run(), TModalResult::Ok);
  ASSERT_EQ(worker->Mismatches.size(), 1u);
  EXPECT_EQ(worker->Mismatches[0],
            (MismatchRecord{image[0x3005], uint8_t(image[0x3005] ^ 0x0F), 0x3005}));
  EXPECT_EQ(dialog.Messages.at(1).Text,
            TProcessStatusLogic::DifferenceReport(0x3005, image[0x3005], image[0x3005] ^ 0x0F));
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
  EXPECT_EQ(dialog.Handled.back().Message, UM_DONE);
}

TEST_F(WriteAll, DeclinedVerificationLeavesBytesDoneZero) {
  dialog.Answers = {TAnswer::No};
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_EQ(worker->BytesDone, 0);
  EXPECT_EQ(CountOf(dialog.Handled, UM_DONE), 0u);
  EXPECT_TRUE(Requests(*Device, kCmdReadBlock).empty());
}

TEST_F(WriteAll, ShortReplyInTheVerifyPassIsReadAgain) {
  Device->AddFault({TFaultKind::ShortReply, 0, kCmdReadBlock, 0x40, 1, 4});
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_TRUE(worker->Mismatches.empty());
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
  size_t at40 = 0;
  for (const auto& r : Requests(*Device, kCmdReadBlock)) at40 += BlockAddress(r) == 0x40;
  EXPECT_EQ(at40, 2u);
}

TEST_F(WriteAll, LinkFailureMidWriteEndsWithoutWriteFinished) {
  Device->AddFault({TFaultKind::Silence, 0, kCmdWriteBlock, 0x3100, 0, 0});
  EXPECT_EQ(Run(), TModalResult::Cancel);
  EXPECT_EQ(CountOf(dialog.Handled, UM_WRITE_FINISHED), 0u);
  EXPECT_EQ(dialog.Handled.back(), (test::TPosted{UM_ERROR, 0, 0}));
}

TEST(WriteAllWhole, OneMebibyteDevice) {
  auto device = std::make_shared<test::TFakeDevice>();
  test::TJumpingClock clock;
  TLinkContext ctx;
  ctx.Clock = &clock;
  ctx.LineFactory = [device] { return std::make_unique<test::TFakeDeviceLine>(device); };
  TData image(0x100000, 0x5A);
  TRV7KWriteThread worker(&image, ctx);
  worker.EndSoundAddr = 0xFFFFF;
  worker.DirectoryAddr = 0x3000;
  ASSERT_TRUE(worker.OpenPort(1));
  test::TScriptedDialog dialog;
  ASSERT_EQ(test::RunInWindow(worker, dialog), TModalResult::Ok);
  EXPECT_EQ(worker.BytesTotal, 1040384);
  EXPECT_EQ(worker.BytesDone, 1040384);
  EXPECT_TRUE(worker.Mismatches.empty());
  EXPECT_TRUE(std::equal(image.begin() + 0x3000, image.end(), device->Memory.begin() + 0x3000));
  EXPECT_EQ(image[0x31FD], 0xF0);
  EXPECT_EQ(image[0x31FE], 0xFF);
  EXPECT_EQ(image[0x31FF], 0x0F);
  size_t regionA = 0, regionB = 0, full = 0;
  for (const auto& r : device->Requests) {
    if (r[3] != kCmdWriteBlock) continue;
    const uint32_t a = BlockAddress(r);
    (a < 0x1000 ? regionA : regionB)++;
    full += r[1] == 32 + 7;
  }
  EXPECT_EQ(regionA, 128u);
  EXPECT_EQ(regionB, 32384u + 1) << "and the record";
  EXPECT_EQ(full, 128u + 32384u) << "no shortened block";
  EXPECT_EQ(std::vector<uint8_t>(image.end() - 16, image.end()), kRecord);
}

TEST(WriteAllImage, CanWriteOnlyWhatHoldsTheMemoryMap) {
  // The record at end - 15 must not overlap the pointer at 0x31FD..0x31FF.
  EXPECT_TRUE(TRV7KWriteThread::CanWrite(TData(0x3210), 0x320F));
  EXPECT_FALSE(TRV7KWriteThread::CanWrite(TData(0x3210), 0x320E));
  EXPECT_FALSE(TRV7KWriteThread::CanWrite(TData(0x3200), 0x31FF));
  EXPECT_FALSE(TRV7KWriteThread::CanWrite(TData(0x3FFF), 0x3FFF)) << "image one byte short";
  EXPECT_FALSE(TRV7KWriteThread::CanWrite(TData(0x10), 0x1000000));
  EXPECT_EQ(TRV7KWriteThread::SignatureRecord({1, 2, 2003, 4, 5})[0], '0');
}

}  // namespace
}  // namespace dikton
