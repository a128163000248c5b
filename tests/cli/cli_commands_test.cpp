// Every command of dikton-cli end to end against the virtual device: files, device memory,
// messages and exit statuses.
#include <regex>
#include <thread>

#include "CliFixture.h"
#include "uConst_Orbis.h"
#include "uPathList.h"
#include "uRV7KWriteThread.h"
#include "uScanCommand.h"
#include "uSoundArea.h"
#include "uTermDialog.h"

namespace dikton {
namespace {

using rv7ksim::TFault;
using rv7ksim::TFaultKind;
using test::Contains;
using test::Count;
using test::ReadBytes;
using test::Requests;

constexpr uint32_t kStart = 0x3200;
constexpr uint32_t kEnd = 0x3FFF;

class Cli : public test::TCliTest {
 protected:
  // The image file content the device's memory gives.
  std::vector<uint8_t> ImageFileOf(const TData& memory, uint32_t start, uint32_t end) {
    const std::string path = dir.File("expected.bin");
    TData image = memory;
    image.resize(size_t(end) + 1);
    EXPECT_TRUE(WriteImageFile(path, start, end, image));
    return ReadBytes(path);
  }
};

TEST_F(Cli, RangePrintsTheStatusBarLine) {
  Start();
  const auto r = Run({"range"});
  EXPECT_EQ(r.Status, cli::kExitDone);
  EXPECT_EQ(r.Out, "StartSoundAddr=12800 EndSoundAddr=16383 Size=3584\n");
  EXPECT_EQ(r.Err, "");
  // Only range queries: no preparatory command, no mode switch.
  EXPECT_GE(Device->RequestCount(kCmdRangeQuery), 1u);
  EXPECT_EQ(Device->RequestCount(), Device->RequestCount(kCmdRangeQuery));
}

TEST_F(Cli, NoDeviceIsStatusOne) {
  Start();
  Device->AddFault({TFaultKind::Silence, 0, 0, -1, 0, 0});
  const auto silent = Run({"range"});
  EXPECT_EQ(silent.Status, cli::kExitNoDevice);
  EXPECT_EQ(silent.Err, "Прибор не отвечает!\n");
  EXPECT_EQ(silent.Out, "");

  // The mode switch unanswered: the read never starts and no file is made.
  const auto read = Run({"read", dir.File("m.bin")});
  EXPECT_EQ(read.Status, cli::kExitNoDevice);
  EXPECT_TRUE(Contains(read.Err, "Прибор не отвечает!\n"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("m.bin")));

  const auto closed = RunBare({"--port", dir.File("no-such-port"), "range"});
  EXPECT_EQ(closed.Status, cli::kExitNoDevice);
  EXPECT_EQ(closed.Err, "Не могу открыть порт!\n");
}

TEST_F(Cli, ReadSavesTheImageFileWithOneLinePerTenPerCent) {
  Start();
  const std::string file = dir.File("memory.bin");
  const auto r = Run({"read", file});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  EXPECT_EQ(ReadBytes(file), ImageFileOf(Device->Memory(), kStart, kEnd));
  EXPECT_TRUE(LeftFastMode());
  EXPECT_TRUE(Contains(r.Err, "Память прочитана успешно\n"));
  // Not a terminal: a line at each new tenth, rising, none twice.
  std::regex line("Выполнено: (\\d+)%  (\\d+)/16383 B  [0-9.]+ KiB/s\n");
  int last = 0, lines = 0;
  for (std::sregex_iterator it(r.Err.begin(), r.Err.end(), line), end; it != end; ++it) {
    const int percent = std::stoi((*it)[1]);
    EXPECT_GT(percent / 10, last / 10) << it->str();
    last = percent;
    ++lines;
  }
  EXPECT_GE(lines, 8);
  EXPECT_LE(lines, 10);
  EXPECT_EQ(Count(r.Err, "\r"), 0u) << "no bar redrawn in place when not on a terminal";

  // Quiet: the messages only.
  const auto quiet = Run({"-q", "read", file});
  EXPECT_EQ(quiet.Status, cli::kExitDone);
  EXPECT_EQ(quiet.Err, "Память прочитана успешно\n");
}

TEST_F(Cli, AReadThatLosesTheDeviceLeavesNoFile) {
  Start();
  const std::string file = dir.File("memory.bin");
  test::WriteBytes(file, {1, 2, 3});
  Device->AddFault({TFaultKind::Silence, 0, kCmdReadBlock, 0x2000, 0, 0});
  const auto r = Run({"read", file});
  EXPECT_EQ(r.Status, cli::kExitNoDevice);
  EXPECT_TRUE(Contains(r.Err, "Прибор не отвечает!\n"));
  EXPECT_EQ(ReadBytes(file), (std::vector<uint8_t>{1, 2, 3})) << "the old file stays whole";
  EXPECT_TRUE(LeftFastMode()) << "the device is let go after every confirmed switch";
}

TEST_F(Cli, TerminalBarShowsPercentBytesRateAndTimeLeft) {
  Start();
  std::ostringstream out, err;
  cli::TCliEnv env(out, err);
  env.ErrIsTerminal = true;
  env.Link.Clock = &clock;
  const int status = cli::RunCli({"--port", Device->Path(), "read", dir.File("m.bin")}, env);
  const std::string e = err.str();
  ASSERT_EQ(status, cli::kExitDone) << e;
  EXPECT_TRUE(std::regex_search(
      e, std::regex("\rВыполнено: \\d+% \\[#*\\.*\\] \\d+/16383 B  [0-9.]+ KiB/s  ETA "
                    "(\\d+:\\d\\d|--:--)")));
  // The bar's line is ended before the message.
  EXPECT_TRUE(Contains(e, "\nПамять прочитана успешно\n"));
}

TEST(CliTerminal, TheLiveLineIsCutToTheWidthAndClearedForAMessage) {
  std::ostringstream err;
  cli::TStopRequest stop;
  cli::TTermSettings settings;
  settings.Terminal = true;
  settings.Columns = 8;
  cli::TTermDialog dialog(err, settings, stop, SystemClock());
  dialog.SetLiveLine("Выполнено: 5%");
  dialog.SetLiveLine("ab");
  dialog.Message("Да\r\nнет", "Сообщение", TIcon::Warning, TButtons::Ok);
  dialog.EndLiveLine();
  // Cut to 7 characters; the shorter line covers the longer; the message clears the line,
  // prints with the terminal's line breaks, and puts the line back.
  EXPECT_EQ(err.str(), "\rВыполне\rab     \r  \rДа\nнет\n\rab\n");
}

TEST_F(Cli, WriteStampsTheSignatureAndReadsBack) {
  Start();
  TData image = Device->Memory();
  image.resize(kEnd + 1);
  for (uint32_t a : {0x10u, 0xFFFu, 0x3000u, 0x3500u, kEnd - 20}) image[a] ^= 0x5A;
  const std::string file = dir.File("image.bin");
  ASSERT_TRUE(WriteImageFile(file, kStart, kEnd, image));

  TData expected = Device->Memory();
  std::copy(image.begin(), image.begin() + kRegionAEnd, expected.begin());
  std::copy(image.begin() + kDirectoryAddr, image.end(), expected.begin() + kDirectoryAddr);
  Put24(&expected[kSignaturePtrAddr], kEnd - 15);
  const auto record = TRV7KWriteThread::SignatureRecord(clock.Time);
  std::copy(record.begin(), record.end(), expected.begin() + (kEnd - 15));

  const auto r = Run({"write", file});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  EXPECT_EQ(Device->Memory(), expected);
  EXPECT_TRUE(Contains(r.Err, "Запись проведена.\nВыполнить проверку? [Да]\n"));
  EXPECT_TRUE(Contains(r.Err, "Проверка чтением, выполнено: "));
  EXPECT_TRUE(Contains(r.Err, "Ошибок: 0\n"));
  EXPECT_TRUE(Contains(r.Err, "Запись проведена успешно!\n"));
  EXPECT_TRUE(LeftFastMode());

  // Without the read-back: written, not checked, and that is what was asked for.
  Device->ClearTranscript();
  const auto nv = Run({"--no-verify", "write", file});
  EXPECT_EQ(nv.Status, cli::kExitDone) << nv.Err;
  EXPECT_TRUE(Contains(nv.Err, "Выполнить проверку? [Нет]\n"));
  EXPECT_EQ(Requests(*Device, kCmdReadBlock).size(), 0u);
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(Cli, EveryDifferenceIsListedWithTheCountAtTheEnd) {
  Start();
  const std::string file = SaveDeviceImage("image.bin");
  const TData image = Device->Memory();
  // Two stored bytes that do not take what is written, in two blocks.
  const uint32_t a1 = 0x100, a2 = 0x3400;
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, a1, 1, uint8_t(~image[a1])});
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, a2, 1, uint8_t(~image[a2])});
  auto report = [&](uint32_t a) {
    return "Ошибка. Адрес: " + std::to_string(a) + "\nВ файле:       " + std::to_string(image[a]) +
           "\nВ приборе:     " + std::to_string(uint8_t(~image[a])) + "\nПродолжить проверку?";
  };

  const auto all = Run({"write", file});
  EXPECT_EQ(all.Status, cli::kExitDifferences);
  EXPECT_TRUE(Contains(all.Err, report(a1) + " [Да]\n")) << all.Err;
  EXPECT_TRUE(Contains(all.Err, report(a2) + " [Да]\n"));
  EXPECT_TRUE(Contains(all.Err, "\nОшибок: 2\n"));
  EXPECT_FALSE(Contains(all.Err, "Запись проведена успешно!"));

  const auto first = Run({"--stop-on-difference", "write", file});
  EXPECT_EQ(first.Status, cli::kExitDifferences);
  EXPECT_TRUE(Contains(first.Err, report(a1) + " [Нет]\n"));
  EXPECT_FALSE(Contains(first.Err, report(a2)));
  EXPECT_TRUE(Contains(first.Err, "\nОшибок: 1\n"));
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(Cli, RefusedFilesAreStatusThreeAndSendNothing) {
  Start();
  const std::string good = SaveDeviceImage("good.bin");
  std::vector<uint8_t> damaged = ReadBytes(good);
  damaged[100] ^= 1;
  test::WriteBytes(dir.File("damaged.bin"), damaged);
  test::WriteBytes(dir.File("short.bin"), std::vector<uint8_t>(15, 0));
  const std::string other = SaveDeviceImage("other.bin", kStart, kEnd - 1);

  struct TCase {
    std::string File;
    std::string Message;
    bool Asked;  // the device was asked for its range, and nothing else
  };
  const TCase cases[] = {
      {dir.File("damaged.bin"), "Файл открыть не удалось!\nФайл повреждён.\n", false},
      {dir.File("short.bin"), "Файл открыть не удалось.\nНеправильный размер файла.\n", false},
      {dir.File("missing.bin"), "dikton-cli: " + dir.File("missing.bin") + ": no such file\n",
       false},
      // The device's range is not the file's.
      {other, "Открыт файл другого формата!\nПродолжение невозможно.\n", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    Device->ClearTranscript();
    const auto r = Run({"write", c.File});
    EXPECT_EQ(r.Status, cli::kExitFileRefused);
    EXPECT_EQ(r.Err, c.Message);
    EXPECT_EQ(Device->RequestCount(kCmdRangeQuery) > 0, c.Asked);
    EXPECT_EQ(Device->RequestCount(), Device->RequestCount(kCmdRangeQuery));
    EXPECT_EQ(Device->RequestCount(kCmdWriteBlock), 0u);
  }
  // info and extract refuse the same way and talk to nobody.
  const auto info = RunBare({"info", dir.File("damaged.bin")});
  EXPECT_EQ(info.Status, cli::kExitFileRefused);
  EXPECT_EQ(info.Err, "Файл открыть не удалось!\nФайл повреждён.\n");
}

TEST_F(Cli, SoundWritesTheBuiltAreaAndReadsItBack) {
  Start();
  test::WriteFragment(dir.File("a.wav"), 301);
  test::WriteFragment(dir.File("b.wav"), 200);
  TFragmentCatalogue catalogue;
  for (auto [slot, name] : {std::pair{1, "a.wav"}, std::pair{3, "b.wav"}}) {
    catalogue.Row(slot).Cell.Loaded = 1;
    catalogue.Row(slot).Cell.Path = dir.File(name);
    catalogue.Row(slot).Cell.PackedSize = 1;
  }
  const std::string list = dir.File("paths.txt");
  ASSERT_TRUE(SavePathList(list, BuildPathList(catalogue, 0, 0).Bytes));
  TData expected = Device->Memory();
  ASSERT_TRUE(std::holds_alternative<uint32_t>(BuildSoundArea(catalogue, expected, kStart, kEnd)));

  const auto r = Run({"sound", list});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  EXPECT_EQ(Device->Memory(), expected);
  EXPECT_TRUE(Contains(r.Err, "Звуковые фрагменты успешно записаны!\n"));
  EXPECT_TRUE(LeftFastMode());

  // A list that names a file which is not beside it: refused before anything is sent.
  std::filesystem::rename(dir.File("b.wav"), dir.File("gone.wav"));
  Device->ClearTranscript();
  const auto gone = Run({"sound", list});
  EXPECT_EQ(gone.Status, cli::kExitFileRefused);
  EXPECT_EQ(gone.Err, "dikton-cli: slot 3: b.wav is not beside the list\n");
  EXPECT_EQ(Device->RequestCount(), 0u);
  std::filesystem::rename(dir.File("gone.wav"), dir.File("b.wav"));

  // A list whose fragments the device's range cannot hold.
  Device->SetRange(kStart, kStart + 100);
  Device->ClearTranscript();
  const auto big = Run({"sound", list});
  EXPECT_EQ(big.Status, cli::kExitFileRefused);
  EXPECT_TRUE(Contains(big.Err, "Размер фрагментов слишком большой\n"));
  EXPECT_EQ(Device->RequestCount(kCmdWriteBlock), 0u);
}

TEST_F(Cli, InfoShowsRangeChecksumsFragmentsAndSignature) {
  Start(test::SmallDevice(kStart, 0xBFFF));
  const std::string file = SaveDeviceImage("image.bin", kStart, 0xBFFF);
  const auto r = RunBare({"info", file});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  EXPECT_TRUE(Contains(r.Out,
                       "StartSoundAddr=12800 (0x003200) EndSoundAddr=49151 (0x00BFFF) "
                       "Size=36352\n"));
  TData image = Device->Memory();
  image.resize(0xC000);
  const TImageChecksum sum = ImageChecksum(image.data(), image.size());
  char sums[64];
  std::snprintf(sums, sizeof sums, "Checksums: A=0x%08X B=0x%08X", sum.A, sum.B);
  EXPECT_TRUE(Contains(r.Out, sums));
  // Slot 0 starts the area; every fragment the directory names is listed with its numbers.
  const TAreaContent area = ReadSoundArea(image, kStart, 0xBFFF);
  ASSERT_GE(area.Fragments.size(), 2u);
  EXPECT_EQ(area.Fragments[0].Slot, 0);
  for (const TAreaFragment& f : area.Fragments) {
    const uint32_t samples = *PackedSamples(f.Size);
    char row[128];
    std::snprintf(row, sizeof row, "0x%06X %8u %8u %8.3f\n", f.Address, f.Size + 1, samples,
                  samples / 10000.0);
    EXPECT_TRUE(Contains(r.Out, std::string(kSlotNames[size_t(f.Slot)]))) << f.Slot;
    EXPECT_TRUE(Contains(r.Out, row)) << row;
  }
  EXPECT_TRUE(std::regex_search(
      r.Out, std::regex("Signature: 0x00BFF0: \\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d ZORIX\n")));
}

TEST_F(Cli, ExtractedFragmentsBuildTheSameAreaAgain) {
  constexpr uint32_t kBigEnd = 0xBFFF;
  Start(test::SmallDevice(kStart, kBigEnd));
  const std::string file = SaveDeviceImage("image.bin", kStart, kBigEnd);
  const std::string out = dir.File("voices");
  const auto r = RunBare({"extract", file, out});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  EXPECT_EQ(r.Err, "");

  TData image = Device->Memory();
  image.resize(kBigEnd + 1);
  const TAreaContent area = ReadSoundArea(image, kStart, kBigEnd);
  std::string listed;
  for (const TAreaFragment& f : area.Fragments) {
    char name[32];
    std::snprintf(name, sizeof name, "slot%02d.wav", f.Slot);
    listed += Utf8Path(FsPath(out) / name) + "\n";
  }
  EXPECT_EQ(r.Out, listed + Utf8Path(FsPath(out) / "paths.txt") + "\n");

  // The list and its WAVs, loaded as "Открыть список" does, pack to the same bytes.
  TFragmentCatalogue catalogue;
  const auto range = LoadPathList(out + "/paths.txt", catalogue);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->Start, kStart);
  EXPECT_EQ(range->End, kBigEnd);
  TData rebuilt(image.size(), 0x55);
  ASSERT_TRUE(
      std::holds_alternative<uint32_t>(BuildSoundArea(catalogue, rebuilt, kStart, kBigEnd)));
  const TAreaFragment& last = area.Fragments.back();
  const uint32_t areaEnd = last.Address + last.Size + 1;  // past the last end mark
  EXPECT_TRUE(std::equal(image.begin() + kDirectoryAddr, image.begin() + kDirectoryPadEnd + 1,
                         rebuilt.begin() + kDirectoryAddr));
  EXPECT_TRUE(
      std::equal(image.begin() + kStart, image.begin() + areaEnd, rebuilt.begin() + kStart));
}

TEST_F(Cli, ScanFindsTwoDevicesOnOneLineWithOneAttemptEach) {
  auto o = test::SmallDevice(kStart, kEnd);
  o.Address = 5;
  o.ExtraAddresses = {{9, 0x4000, 0x7FFF}};
  Start(o);
  // The whole scan of 1 to 127 costs 0.4 s per silent address; the command's loop over a
  // part of it shows the same.
  TLinkContext link = Link;
  const auto hits = ScanAddresses(1, link, 3, 11);
  EXPECT_EQ(hits, (std::vector<TScanHit>{{5, kStart, kEnd}, {9, 0x4000, 0x7FFF}}));
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 9u) << "one attempt per address";
}

TEST_F(Cli, ScanPrintsEveryAnsweringAddress) {
  auto o = test::SmallDevice(kStart, kEnd);
  o.AnswerAll = true;  // every address answers, so the scan takes no time-outs
  o.ExtraAddresses = {{9, 0x4000, 0x7FFF}};
  Start(o);
  const auto r = Run({"scan"});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  std::string expected;
  for (int a = 1; a <= 127; ++a) {
    expected += "Address=" + std::to_string(a) +
                (a == 9 ? " StartSoundAddr=16384 EndSoundAddr=32767 Size=16384\n"
                        : " StartSoundAddr=12800 EndSoundAddr=16383 Size=3584\n");
  }
  EXPECT_EQ(r.Out, expected);
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 127u);
}

TEST_F(Cli, TraceLogsEveryFrameWithTimeDirectionAndRate) {
  Start();
  const std::string trace = dir.File("wire.log");
  const auto r = Run({"--trace", trace, "range"});
  ASSERT_EQ(r.Status, cli::kExitDone);
  const auto t = Device->Transcript();
  ASSERT_EQ(t.size(), 2u);
  auto hex = [](const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (uint8_t x : bytes) {
      std::snprintf(b, sizeof b, " %02X", x);
      s += b;
    }
    return s;
  };
  const std::vector<uint8_t> text = ReadBytes(trace);
  const std::string log(text.begin(), text.end());
  // The port's name taken literally: on Windows it may be "\\.\COMn".
  const std::string port =
      std::regex_replace(Device->Path(), std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)");
  const std::regex expected("# open " + port + "\n\\d+\\.\\d{6} > 9600" +
                            hex(t[0].Bytes) + "\n\\d+\\.\\d{6} < 9600" + hex(t[1].Bytes) +
                            "\n# close\n");
  EXPECT_TRUE(std::regex_match(log, expected)) << log;

  // A whole read: one line per frame both ways, the rate switching with the mode.
  Device->ClearTranscript();
  ASSERT_EQ(Run({"--trace", trace, "-q", "read", dir.File("m.bin")}).Status, cli::kExitDone);
  const std::vector<uint8_t> readText = ReadBytes(trace);
  const std::string readLog(readText.begin(), readText.end());
  const auto frames = Device->Transcript();
  size_t fromHost = 0, fromDevice = 0;
  for (const auto& e : frames) (e.FromHost ? fromHost : fromDevice)++;
  EXPECT_EQ(Count(readLog, " > "), fromHost);
  // A reply the program purged unread (it came before the line was turned round) is not in
  // its trace.
  EXPECT_LE(Count(readLog, " < "), fromDevice);
  EXPECT_EQ(Count(readLog, " > 115200 7F 08 00 43 "), Requests(*Device, kCmdReadBlock).size());
  EXPECT_GE(Count(readLog, " < 115200 7F 24 44 20 "), 512u);  // 16 KiB in 32-byte replies
}

TEST_F(Cli, StopGoesTheStopButtonsWay) {
  Start();
  const std::string file = dir.File("memory.bin");
  cli::TStopRequest stop;
  // Pressed once the job is well under way: seen by the device, not by a clock.
  std::thread press([&] {
    Device->WaitForRequests(40, 20000);
    stop.Request();
  });
  const auto r = Run({"read", file}, &stop);
  press.join();
  EXPECT_EQ(r.Status, cli::kExitStopped);
  EXPECT_TRUE(Contains(r.Err, "Вы действительно хотите остановить процесс? [Да]\n"));
  EXPECT_FALSE(Contains(r.Err, "Память прочитана успешно"));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(LeftFastMode()) << "a stopped run still leaves the fast mode";
  EXPECT_LT(Requests(*Device, kCmdReadBlock).size(), 512u);

  // A stop requested before the run: nothing is read, the device is let go again.
  Device->ClearTranscript();
  const auto early = Run({"read", file}, &stop);
  EXPECT_EQ(early.Status, cli::kExitStopped);
  EXPECT_TRUE(LeftFastMode()) << early.Err;
  EXPECT_LT(Requests(*Device, kCmdReadBlock).size(), 512u);
}

}  // namespace
}  // namespace dikton
