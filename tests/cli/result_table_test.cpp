// Every command of TMainCommands and its ways to end, against the virtual device and the
// scripted dialogue: the result's kind and counts, the questions' identifiers, and the exit
// status dikton-cli's one table gives it.
#include <functional>
#include <set>

#include "../sound/SoundFixtures.h"
#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "WorkerRun.h"
#include "uCli.h"
#include "uConst_Orbis.h"
#include "uImageFile.h"
#include "uMainCommands.h"
#include "uPathList.h"
#include "uRV7KWriteThread.h"
#include "uWavFile.h"

namespace dikton {
namespace {

using rv7ksim::TFaultKind;
using test::Requests;

constexpr uint32_t kStart = 0x3000;
constexpr uint32_t kEnd = 0x3FFF;
constexpr uint32_t kWriteAllBytes = 0x1000 + (kEnd - kDirectoryAddr + 1);

class Results : public test::TSimTest {
 protected:
  void Start(uint32_t end = kEnd) {
    auto o = test::SmallDevice(kStart, end);
    o.FillByte = 0xEE;
    StartDevice(o);
    Device->GenerateRealisticContent(5);
    Link.Clock = &clock;
    dialog = std::make_unique<test::TScriptedDialog>();
    cmd = std::make_unique<TMainCommands>(*dialog, Link);
    cmd->RaisePortError = false;
  }
  // An image as "Открыть" leaves it: a pattern over the whole range.
  void LoadImage(uint32_t end = kEnd) {
    auto& s = cmd->State;
    s.MemoryImage.resize(end + 1);
    for (size_t i = 0; i < s.MemoryImage.size(); ++i) s.MemoryImage[i] = uint8_t(i * 3);
    s.StartSoundAddr = kStart;
    s.EndSoundAddr = end;
    s.SoundSize = end - kStart + 1;
    s.ImageFromFile = true;
  }
  void LoadFragment(int row, size_t samples) {
    const std::string path = dir.File("slot" + std::to_string(row) + ".wav");
    test::WriteFragment(path, samples);
    auto& cell = cmd->Catalogue.Row(row).Cell;
    cell.Loaded = 1;
    cell.Path = path;
    cell.PackedSize = int32_t(EstimatePackedSize(uint32_t(2 * samples)));
  }
  std::string ImageFile(const std::string& name, uint32_t end = kEnd) {
    TData image(end + 1);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7);
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteImageFile(path, kStart, end, image));
    return path;
  }
  void StopAtProgress(int n) {
    dialog->StopWhen = [n, seen = 0](const test::TPosted& p) mutable {
      return p.Message == UM_PROGRESS && ++seen == n;
    };
  }

  test::TFixedDateClock clock;
  std::unique_ptr<test::TScriptedDialog> dialog;
  std::unique_ptr<TMainCommands> cmd;
  test::TTempDir dir;
};

struct TCase {
  std::string Name;
  std::function<void(Results&)> Setup;
  std::function<TCommandResult(TMainCommands&)> Run;
  TOutcome Outcome;
  TRefusal Refusal;
  int ExitStatus;
  std::function<void(Results&, const TCommandResult&)> Check;
};

// The test body's access to the fixture's protected members.
class ResultTable : public Results {
 public:
  using Results::clock;
  using Results::cmd;
  using Results::Device;
  using Results::dialog;
  using Results::dir;
  using Results::ImageFile;
  using Results::LoadFragment;
  using Results::LoadImage;
  using Results::Ports;
  using Results::StopAtProgress;
};

auto Range = [](TMainCommands& c) { return c.GetSizeSoundMemClick(); };
auto ReadAll = [](TMainCommands& c) { return c.ReadAllMemoryClick(); };
auto WriteAll = [](TMainCommands& c) { return c.WriteAllClick(); };
auto WriteSound = [](TMainCommands& c) { return c.WriteSoundMemClick(); };
auto Verify = [](TMainCommands& c) { return c.VerifyClick(); };
auto Open = [](TMainCommands& c) { return c.FileOpenClick(); };
auto Save = [](TMainCommands& c) { return c.FileSaveClick(); };
auto OpenList = [](TMainCommands& c) { return c.OpenPathsClick(); };
auto SaveList = [](TMainCommands& c) { return c.SavePathsClick(); };

void Nothing(Results&) {}
void NoCheck(Results&, const TCommandResult&) {}

TEST_F(ResultTable, EveryCommandAndItsWaysToEnd) {
  using O = TOutcome;
  using R = TRefusal;
  const std::vector<TCase> cases = {
      // Range.
      {"range done", Nothing, Range, O::Done, R::None, 0,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.Range, (TSoundRange{kStart, kEnd}));
         EXPECT_EQ(r.Retries, 0u);
       }},
      {"range silent",
       [](Results& f) {
         static_cast<ResultTable&>(f).Device->AddFault({TFaultKind::Silence, 0, 0, -1, 0, 0});
       },
       Range, O::NoAnswer, R::None, 1,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.Retries, 2u) << "three attempts";
         EXPECT_FALSE(r.Range);
       }},
      {"range unsupported",
       [](Results& f) {
         static_cast<ResultTable&>(f).Device->AddFault(
             {TFaultKind::WrongCode, 0, kCmdRangeQuery, -1, 0, 0});
       },
       Range, O::NoAnswer, R::None, 1, NoCheck},
      {"range, port not opened",
       [](Results& f) {
         static_cast<ResultTable&>(f).Ports.Map(1, "/dev/nonexistent-dikton-port");
       },
       Range, O::PortNotOpened, R::None, 1, NoCheck},
      // Read all.
      {"read done", Nothing, ReadAll, O::Done, R::None, 0,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.BytesDone, kEnd + 1);
         EXPECT_EQ(r.BytesTotal, kEnd + 1);
         EXPECT_EQ(r.Range, (TSoundRange{kStart, kEnd}));
       }},
      {"read with one bad reply",
       [](Results& f) {
         static_cast<ResultTable&>(f).Device->AddFault(
             {TFaultKind::BadCrc, 0, kCmdReadBlock, 0x400, 1, 0});
       },
       ReadAll, O::Done, R::None, 0,
       [](Results&, const TCommandResult& r) { EXPECT_EQ(r.Retries, 1u); }},
      {"read, mode switch refused",
       [](Results& f) {
         static_cast<ResultTable&>(f).Device->AddFault(
             {TFaultKind::WrongCode, 0, kCmdModeSwitch, -1, 0, 0});
       },
       ReadAll, O::NoAnswer, R::None, 1, NoCheck},
      {"read, link lost",
       [](Results& f) {
         static_cast<ResultTable&>(f).Device->AddFault(
             {TFaultKind::Silence, 0, kCmdReadBlock, 0x400, 0, 0});
       },
       ReadAll, O::NoAnswer, R::None, 1,
       [](Results&, const TCommandResult& r) { EXPECT_EQ(r.BytesDone, 0x400u); }},
      {"read stopped", [](Results& f) { static_cast<ResultTable&>(f).StopAtProgress(3); }, ReadAll,
       O::Stopped, R::None, 130,
       [](Results& f, const TCommandResult& r) {
         EXPECT_LT(r.BytesDone, kEnd + 1);
         EXPECT_EQ(static_cast<ResultTable&>(f).dialog->Questions,
                   (std::vector<TQuestion>{TQuestion::Stop}));
       }},
      {"read, port not opened",
       [](Results& f) {
         static_cast<ResultTable&>(f).Ports.Map(1, "/dev/nonexistent-dikton-port");
       },
       ReadAll, O::PortNotOpened, R::None, 1, NoCheck},
      // Write all.
      {"write-all, nothing to write", Nothing, WriteAll, O::NothingToWrite, R::None, 3, NoCheck},
      {"write-all done", [](Results& f) { static_cast<ResultTable&>(f).LoadImage(); }, WriteAll,
       O::Done, R::None, 0,
       [](Results& f, const TCommandResult& r) {
         auto& t = static_cast<ResultTable&>(f);
         EXPECT_EQ(r.BytesDone, kWriteAllBytes);
         EXPECT_EQ(r.BytesTotal, kWriteAllBytes);
         ASSERT_TRUE(r.SignatureWritten);
         EXPECT_EQ(r.SignatureWritten->Address, kEnd - 15);
         EXPECT_EQ(r.SignatureWritten->Bytes, TRV7KWriteThread::SignatureRecord(t.clock.Time));
         EXPECT_EQ(t.dialog->Questions, (std::vector<TQuestion>{TQuestion::Verify}));
         EXPECT_TRUE(r.Mismatches.empty());
       }},
      {"write-all, read-back declined",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         t.dialog->Answers = {TAnswer::No};
       },
       WriteAll, O::WrittenUnverified, R::None, 0,
       [](Results&, const TCommandResult& r) { EXPECT_TRUE(r.SignatureWritten); }},
      {"write-all with two differences",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         for (uint32_t a : {0x10u, 0x3400u})
           t.Device->AddFault(
               {TFaultKind::CorruptByte, 0, 0, a, 0, uint32_t(t.cmd->State.MemoryImage[a] ^ 1)});
       },
       WriteAll, O::Differences, R::None, 4,
       [](Results& f, const TCommandResult& r) {
         auto& t = static_cast<ResultTable&>(f);
         ASSERT_EQ(r.DifferenceCount(), 2u);
         EXPECT_EQ(r.Mismatches[0].Address, 0x10u);
         EXPECT_EQ(r.Mismatches[0].ImageByte, t.cmd->State.MemoryImage[0x10]);
         EXPECT_EQ(r.Mismatches[0].DeviceByte, uint8_t(t.cmd->State.MemoryImage[0x10] ^ 1));
         EXPECT_EQ(r.Mismatches[1].Address, 0x3400u);
         EXPECT_EQ(r.BytesDone, kWriteAllBytes);
         EXPECT_EQ(t.dialog->Questions,
                   (std::vector<TQuestion>{TQuestion::Verify, TQuestion::GoOnAfterDifference,
                                           TQuestion::GoOnAfterDifference}));
       }},
      {"write-all, no at the first difference",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         for (uint32_t a : {0x10u, 0x3400u})
           t.Device->AddFault(
               {TFaultKind::CorruptByte, 0, 0, a, 0, uint32_t(t.cmd->State.MemoryImage[a] ^ 1)});
         t.dialog->Answers = {TAnswer::Yes, TAnswer::No};
       },
       WriteAll, O::Differences, R::None, 4,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.DifferenceCount(), 1u);
         EXPECT_LT(r.BytesDone, kWriteAllBytes);
       }},
      {"write-all, another range",
       [](Results& f) { static_cast<ResultTable&>(f).LoadImage(kEnd - 0x10); }, WriteAll,
       O::RangeDiffers, R::None, 3,
       [](Results& f, const TCommandResult& r) {
         EXPECT_EQ(r.Range, (TSoundRange{kStart, kEnd})) << "the device's";
         EXPECT_EQ(static_cast<ResultTable&>(f).Device->RequestCount(kCmdWriteBlock), 0u);
       }},
      {"write-all, image cannot hold the map",
       [](Results& f) { static_cast<ResultTable&>(f).LoadImage(0x31FE); }, WriteAll, O::FileRefused,
       R::OtherFormat, 3, NoCheck},
      {"write-all, link lost",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         t.Device->AddFault({TFaultKind::Silence, 0, kCmdWriteBlock, 0x3200, 0, 0});
       },
       WriteAll, O::NoAnswer, R::None, 1, NoCheck},
      {"write-all stopped",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         t.StopAtProgress(2);
       },
       WriteAll, O::Stopped, R::None, 130,
       [](Results&, const TCommandResult& r) { EXPECT_FALSE(r.SignatureWritten); }},
      // Write sound.
      {"write-sound, nothing to write", Nothing, WriteSound, O::NothingToWrite, R::None, 3,
       NoCheck},
      {"write-sound done",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.Device->SetRange(0x3100, kEnd);
         t.LoadFragment(0, 101);
         t.LoadFragment(3, 64);
       },
       WriteSound, O::Done, R::None, 0,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.Range, (TSoundRange{0x3100, kEnd}));
         EXPECT_EQ(r.BytesDone, r.BytesTotal);
         EXPECT_GT(r.BytesDone, 225u);
       }},
      {"write-sound, too big",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.Device->SetRange(0x3100, 0x3180);
         t.LoadFragment(0, 1000);
       },
       WriteSound, O::FileRefused, R::TooBig, 3, NoCheck},
      {"write-sound, bad range",
       [](Results& f) { static_cast<ResultTable&>(f).LoadFragment(1, 10); }, WriteSound,
       O::FileRefused, R::BadRange, 3, NoCheck},
      {"write-sound, fragment gone",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.Device->SetRange(0x3100, kEnd);
         t.LoadFragment(0, 10);
         t.LoadFragment(1, 10);
         std::filesystem::remove(FsPath(t.cmd->Catalogue.Row(1).Cell.Path));
       },
       WriteSound, O::FileRefused, R::BrokenFragment, 3,
       [](Results& f, const TCommandResult& r) {
         EXPECT_EQ(r.Path, static_cast<ResultTable&>(f).cmd->Catalogue.Row(1).Cell.Path);
       }},
      {"write-sound, read-back declined",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.Device->SetRange(0x3100, kEnd);
         t.LoadFragment(0, 10);
         t.dialog->Answers = {TAnswer::No};
       },
       WriteSound, O::WrittenUnverified, R::None, 0, NoCheck},
      {"write-sound with two differences",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.Device->SetRange(0x3100, kEnd);
         t.LoadFragment(0, 10);
         t.LoadFragment(1, 10);
         t.Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3101, 0, 0x00});
         t.Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3102, 0, 0x00});
       },
       WriteSound, O::Differences, R::None, 4,
       [](Results&, const TCommandResult& r) {
         ASSERT_EQ(r.DifferenceCount(), 2u);
         EXPECT_EQ(r.Mismatches[1].Address, 0x3102u);
       }},
      // Verify.
      {"verify, nothing to compare", Nothing, Verify, O::NothingToWrite, R::None, 3, NoCheck},
      {"verify, equal but for the signature",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         ASSERT_EQ(t.cmd->WriteAllClick().Outcome, TOutcome::Done);
         t.LoadImage();  // the file again: its signature pointer and record are not the device's
         t.Device->ClearTranscript();
         t.dialog->Questions.clear();
       },
       Verify, O::Done, R::None, 0,
       [](Results& f, const TCommandResult& r) {
         auto& t = static_cast<ResultTable&>(f);
         EXPECT_EQ(r.BytesDone, kWriteAllBytes);
         ASSERT_TRUE(r.SignatureRead);
         EXPECT_EQ(r.SignatureRead->Bytes, TRV7KWriteThread::SignatureRecord(t.clock.Time));
         EXPECT_EQ(t.Device->RequestCount(kCmdWriteBlock), 0u) << "nothing is written";
         EXPECT_TRUE(t.dialog->Questions.empty());
       }},
      {"verify with a difference",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadImage();
         t.Device->SetMemory(0, t.cmd->State.MemoryImage);
         t.Device->AddFault({TFaultKind::CorruptByte, 0, 0, 0x3500, 0,
                             uint32_t(t.cmd->State.MemoryImage[0x3500] ^ 0xFF)});
       },
       Verify, O::Differences, R::None, 4,
       [](Results& f, const TCommandResult& r) {
         ASSERT_EQ(r.DifferenceCount(), 1u);
         EXPECT_EQ(r.Mismatches[0].Address, 0x3500u);
         EXPECT_EQ(static_cast<ResultTable&>(f).dialog->Questions,
                   (std::vector<TQuestion>{TQuestion::GoOnAfterDifference}));
       }},
      {"verify, another range",
       [](Results& f) { static_cast<ResultTable&>(f).LoadImage(kEnd - 1); }, Verify,
       O::RangeDiffers, R::None, 3,
       [](Results& f, const TCommandResult&) {
         EXPECT_EQ(static_cast<ResultTable&>(f).Device->RequestCount(kCmdReadBlock), 0u);
       }},
      // Image files.
      {"open done",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.dialog->Files = {t.ImageFile("image.bin")};
       },
       Open, O::Done, R::None, 0,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.Range, (TSoundRange{kStart, kEnd}));
       }},
      {"open damaged",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         const std::string p = t.ImageFile("image.bin");
         auto bytes = test::ReadBytes(p);
         bytes[100] ^= 1;
         test::WriteBytes(p, bytes);
         t.dialog->Files = {p};
       },
       Open, O::FileRefused, R::Damaged, 3, NoCheck},
      {"open, bad size",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         test::WriteBytes(t.dir.File("short.bin"), std::vector<uint8_t>(15, 0));
         t.dialog->Files = {t.dir.File("short.bin")};
       },
       Open, O::FileRefused, R::BadSize, 3,
       [](Results& f, const TCommandResult& r) {
         EXPECT_EQ(r.Path, static_cast<ResultTable&>(f).dir.File("short.bin"));
       }},
      {"open cancelled", Nothing, Open, O::Cancelled, R::None, 3, NoCheck},
      {"open, unsaved read kept",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.cmd->State.ImageFromDevice = true;
         t.dialog->Answers = {TAnswer::No};
       },
       Open, O::Cancelled, R::None, 3,
       [](Results& f, const TCommandResult&) {
         EXPECT_EQ(static_cast<ResultTable&>(f).dialog->Questions,
                   (std::vector<TQuestion>{TQuestion::ReplaceImage}));
       }},
      {"save, nothing read", Nothing, Save, O::NothingToWrite, R::NotRead, 3, NoCheck},
      {"save done",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         ASSERT_EQ(t.cmd->ReadAllMemoryClick().Outcome, TOutcome::Done);
         t.dialog->Files = {t.dir.File("saved.bin")};
       },
       Save, O::Done, R::None, 0,
       [](Results& f, const TCommandResult& r) {
         EXPECT_EQ(r.Path, static_cast<ResultTable&>(f).dir.File("saved.bin"));
         EXPECT_EQ(r.BytesDone, kEnd + 1);
       }},
      {"save into no folder",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         ASSERT_EQ(t.cmd->ReadAllMemoryClick().Outcome, TOutcome::Done);
         t.dialog->Files = {t.dir.File("no-folder/saved.bin")};
       },
       Save, O::FileRefused, R::SaveFailed, 3, NoCheck},
      // Fragment lists.
      {"save list, no fragments", Nothing, SaveList, O::NothingToWrite, R::None, 3, NoCheck},
      {"save list done",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadFragment(2, 10);
         t.dialog->Files = {t.dir.File("paths.txt")};
       },
       SaveList, O::Done, R::None, 0, NoCheck},
      {"open list with a name not beside it",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadFragment(2, 10);
         t.LoadFragment(5, 10);
         const TListBytes list = BuildPathList(t.cmd->Catalogue, kStart, kEnd);
         ASSERT_TRUE(SavePathList(t.dir.File("paths.txt"), list.Bytes));
         std::filesystem::remove(FsPath(t.dir.File("slot5.wav")));
         t.cmd->Catalogue = TFragmentCatalogue();
         t.dialog->Files = {t.dir.File("paths.txt")};
       },
       OpenList, O::FileRefused, R::NamesNotFound, 3,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.MissingNames, (std::vector<TMissingName>{{5, "slot5.wav"}}));
         EXPECT_EQ(r.FragmentsLoaded, 1);
         EXPECT_EQ(r.Range, (TSoundRange{kStart, kEnd}));
       }},
      {"open list done",
       [](Results& f) {
         auto& t = static_cast<ResultTable&>(f);
         t.LoadFragment(2, 10);
         const TListBytes list = BuildPathList(t.cmd->Catalogue, kStart, kEnd);
         ASSERT_TRUE(SavePathList(t.dir.File("paths.txt"), list.Bytes));
         t.cmd->Catalogue = TFragmentCatalogue();
         t.dialog->Files = {t.dir.File("paths.txt")};
       },
       OpenList, O::Done, R::None, 0,
       [](Results&, const TCommandResult& r) { EXPECT_EQ(r.FragmentsLoaded, 1); }},
      {"open list cancelled", Nothing, OpenList, O::Cancelled, R::None, 3, NoCheck},
      // Scan.
      {"scan done", Nothing, [](TMainCommands& c) { return c.ScanClick(126, 127); }, O::Done,
       R::None, 0,
       [](Results&, const TCommandResult& r) {
         EXPECT_EQ(r.Answers, (std::vector<TScanAnswer>{{127, {kStart, kEnd}}}));
       }},
      {"scan, nobody answers", Nothing, [](TMainCommands& c) { return c.ScanClick(125, 126); },
       O::NoAnswer, R::None, 1, NoCheck},
      {"scan stopped", Nothing,
       [](TMainCommands& c) { return c.ScanClick(1, 127, [](uint8_t a) { return a < 3; }); },
       O::Stopped, R::None, 130, NoCheck},
      {"scan, port not opened",
       [](Results& f) {
         static_cast<ResultTable&>(f).Ports.Map(1, "/dev/nonexistent-dikton-port");
       },
       [](TMainCommands& c) { return c.ScanClick(1, 2); }, O::PortNotOpened, R::None, 1, NoCheck},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Start();
    c.Setup(*this);
    if (HasFatalFailure()) return;
    const TCommandResult r = c.Run(*cmd);
    EXPECT_EQ(OutcomeWord(r.Outcome), OutcomeWord(c.Outcome));
    EXPECT_EQ(RefusalWord(r.Refusal), RefusalWord(c.Refusal));
    EXPECT_EQ(cli::ExitStatusOf(r.Outcome), c.ExitStatus);
    c.Check(*this, r);
  }
}

TEST(ResultWords, EveryOutcomeHasItsOwnWord) {
  std::set<std::string_view> words;
  for (int i = 0; i <= int(TOutcome::Cancelled); ++i) {
    const std::string_view w = OutcomeWord(TOutcome(i));
    EXPECT_NE(w, "unknown");
    EXPECT_TRUE(words.insert(w).second) << w;
  }
  EXPECT_EQ(OutcomeWord(TOutcome::WrittenUnverified), "written_unverified");
}

}  // namespace
}  // namespace dikton
