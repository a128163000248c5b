#include <gtest/gtest.h>

#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "WorkerRun.h"
#include "uRV7KWriteSoundThread.h"

namespace dikton {
namespace {

using rv7ksim::TFaultKind;
using test::BlockAddress;
using test::CountOf;
using test::Requests;

constexpr uint32_t kStart = 0x3100, kEnd = 0x3FFF;

class WriteSound : public test::TSimTest {
 protected:
  void SetUp() override {
    auto o = test::SmallDevice(kStart, kEnd);
    o.FillByte = 0xEE;
    StartDevice(o);
    image.assign(kEnd + 1, 0x11);
    std::fill(image.begin() + kDirectoryAddr, image.begin() + kDirectoryAddr + 225, 0);
  }
  // Fragments of the given lengths (end mark included) from kStart, entries for slots 1 on.
  uint32_t Lay(std::vector<uint32_t> lengths) {
    uint32_t p = kStart;
    for (size_t i = 0; i < lengths.size(); ++i) {
      if (i > 0) Put24(&image[kDirectoryAddr + 3 * (i - 1)], p);
      for (uint32_t k = 0; k + 1 < lengths[i]; ++k) image[p + k] = uint8_t(k % 0xF0);
      image[p + lengths[i] - 1] = 0xFF;
      p += lengths[i];
    }
    return p - 1;  // the last end mark
  }
  TModalResult Run(int32_t total = 0) {
    worker = std::make_unique<TRV7KWriteSoundThread>(&image, Link);
    worker->StartSoundAddr = kStart;
    worker->EndSoundAddr = kEnd;
    worker->DirectoryAddr = int32_t(kDirectoryAddr);
    worker->DirectoryCount = int32_t(kDirectoryCount);
    worker->BytesTotal = total;
    EXPECT_TRUE(worker->OpenPort(1));
    return test::RunInWindow(*worker, dialog);
  }
  std::vector<std::vector<uint8_t>> Writes() { return Requests(*Device, kCmdWriteBlock); }
  std::vector<std::vector<uint8_t>> Reads() { return Requests(*Device, kCmdReadBlock); }

  TData image;
  test::TScriptedDialog dialog;
  std::unique_ptr<TRV7KWriteSoundThread> worker;
};

TEST_F(WriteSound, WritesDirectoryAndDataAndVerifies) {
  const uint32_t last = Lay({100, 50, 200});
  ASSERT_EQ(Run(), TModalResult::Ok);
  const auto mem = Device->Memory();
  EXPECT_TRUE(std::equal(image.begin() + 0x3000, image.begin() + 0x30E1, mem.begin() + 0x3000));
  EXPECT_TRUE(std::equal(image.begin() + kStart, image.begin() + last + 1, mem.begin() + kStart));
  EXPECT_EQ(mem[last + 1], 0xEE) << "nothing past the end of data";
  EXPECT_EQ(mem[0x30E1], 0xEE) << "nothing between the directory and the data";
  EXPECT_EQ(worker->BytesTotal, int32_t(225 + 350));
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
  // The directory as 7 blocks of 32 and one of 1, each followed by a progress.
  const auto writes = Writes();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(BlockAddress(writes[i]), 0x3000u + 32 * i);
    EXPECT_EQ(writes[i][1], (i < 7 ? 32 : 1) + 7);
    EXPECT_EQ(dialog.Handled[i], (test::TPosted{UM_PROGRESS, i < 7 ? 32u * (i + 1) : 225u, 575}));
  }
  EXPECT_EQ(dialog.Handled.back().Message, UM_DONE);
}

TEST_F(WriteSound, DataRegionOfAMultipleOf32SendsAnEmptyFinalBlock) {
  const uint32_t last = Lay({32, 32});
  ASSERT_EQ(Run(), TModalResult::Ok);
  const auto writes = Writes();
  EXPECT_EQ(BlockAddress(writes.back()), last + 1);
  EXPECT_EQ(writes.back()[1], 7) << "no data bytes";
  for (const auto& r : Reads()) EXPECT_LE(BlockAddress(r), last) << "no extra read";
  EXPECT_EQ(worker->BytesDone, 225 + 64);
}

TEST_F(WriteSound, DataRegionUnder32BytesIsOneBlock) {
  Lay({12, 8});
  ASSERT_EQ(Run(), TModalResult::Ok);
  const auto writes = Writes();
  ASSERT_EQ(writes.size(), 9u);
  EXPECT_EQ(BlockAddress(writes.back()), kStart);
  EXPECT_EQ(writes.back()[1], 20 + 7);
  const auto reads = Reads();
  EXPECT_EQ(reads.back()[7], 20);
}

TEST_F(WriteSound, EveryDifferenceOfABlockIsReportedInOrder) {
  Lay({50, 50});
  for (uint32_t a : {kStart + 40, kStart + 33, kStart + 35})
    Device->AddFault({TFaultKind::CorruptByte, 0, 0, a, 0, 0xFF});
  ASSERT_EQ(Run(), TModalResult::Ok);
  ASSERT_EQ(worker->Mismatches.size(), 3u);
  EXPECT_EQ(worker->Mismatches[0].Address, kStart + 33);
  EXPECT_EQ(worker->Mismatches[1].Address, kStart + 35);
  EXPECT_EQ(worker->Mismatches[2].Address, kStart + 40);
  std::vector<uint32_t> indices;
  for (const auto& p : dialog.Handled)
    if (p.Message == UM_ERROR) indices.push_back(p.LParam);
  EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
}

TEST_F(WriteSound, NoToTheFirstDifferenceStopsThere) {
  Lay({50, 50});
  for (uint32_t a : {kStart + 33, kStart + 35, kStart + 40})
    Device->AddFault({TFaultKind::CorruptByte, 0, 0, a, 0, 0xFF});
  dialog.Answers = {TAnswer::Yes, TAnswer::No};  // verify yes, first difference no
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_EQ(worker->Mismatches.size(), 1u);
  EXPECT_LT(worker->BytesDone, worker->BytesTotal);
}

TEST_F(WriteSound, RefusedBlockIsSentAgainAndTheAreaIsComplete) {
  const uint32_t last = Lay({150, 150});
  Device->AddFault({TFaultKind::RefuseWrite, 0, kCmdWriteBlock, kStart + 64, 1, 0});
  Device->AddFault({TFaultKind::RefuseWrite, 0, kCmdWriteBlock, 0x30E0, 1, 0});
  ASSERT_EQ(Run(), TModalResult::Ok);
  const auto mem = Device->Memory();
  EXPECT_TRUE(std::equal(image.begin() + kStart, image.begin() + last + 1, mem.begin() + kStart));
  EXPECT_EQ(mem[0x30E0], image[0x30E0]);
  EXPECT_EQ(worker->BytesDone, worker->BytesTotal);
  EXPECT_TRUE(worker->Mismatches.empty());
}

TEST_F(WriteSound, NoEndMarkBeforeEndSoundAddr) {
  Lay({5, 5});
  image[kStart + 9] = 0x00;  // the end mark is gone: the data runs to the range's end
  ASSERT_TRUE(worker == nullptr);
  worker = std::make_unique<TRV7KWriteSoundThread>(&image, Link);
  worker->StartSoundAddr = kStart;
  worker->EndSoundAddr = kEnd;
  worker->DirectoryAddr = int32_t(kDirectoryAddr);
  worker->DirectoryCount = int32_t(kDirectoryCount);
  EXPECT_EQ(worker->FindEndOfData(), kEnd);
  Put24(&image[kDirectoryAddr + 6], 0x7FFFFF);  // outside the image
  EXPECT_EQ(worker->FindEndOfData(), kEnd);
}

TEST_F(WriteSound, AllEntriesZeroWritesOnlyTheDirectory) {
  std::fill(image.begin() + 0x3000, image.begin() + 0x30E1, 0);
  ASSERT_EQ(Run(), TModalResult::Ok);
  EXPECT_EQ(Writes().size(), 8u);
  EXPECT_EQ(Reads().size(), 8u);
  EXPECT_EQ(worker->BytesTotal, 225);
  EXPECT_EQ(worker->BytesDone, 225);
  EXPECT_EQ(CountOf(dialog.Handled, UM_WRITE_FINISHED), 1u);
  EXPECT_EQ(dialog.Handled.back().Message, UM_DONE);
}

TEST_F(WriteSound, DeclinedVerificationAndTheCreatorsTotal) {
  Lay({50, 50});
  dialog.Answers = {TAnswer::No};
  ASSERT_EQ(Run(4321), TModalResult::Ok);
  EXPECT_EQ(worker->BytesTotal, 4321) << "a total from the creator is used unchanged";
  EXPECT_EQ(dialog.Handled.front().LParam, 4321u);
  EXPECT_EQ(worker->BytesDone, 0);
  EXPECT_EQ(CountOf(dialog.Handled, UM_DONE), 0u);
}

}  // namespace
}  // namespace dikton
