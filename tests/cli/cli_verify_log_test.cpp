// dikton-cli verify, --log and --json against the virtual device, in-process (also under Wine).
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "CliFixture.h"
#include "uAppendFile.h"
#include "uConst_Orbis.h"
#include "uJobRecord.h"
#include "uRV7KWriteThread.h"
#include "uSha256.h"

namespace dikton {
namespace {

using nlohmann::json;
using rv7ksim::TFaultKind;
using test::Contains;
using test::Count;
using test::ReadBytes;
using test::Requests;

constexpr uint32_t kStart = 0x3200;
constexpr uint32_t kEnd = 0x3FFF;

class CliVerify : public test::TCliTest {
 protected:
  // An image file of the device's content with a few bytes changed in both regions, so that
  // a write changes the device.
  std::string ImageFile(const std::string& name, uint32_t end = kEnd) {
    TData image = Device->Memory();
    image.resize(size_t(end) + 1);
    for (uint32_t a : {0x10u, 0xFFFu, 0x3000u, 0x3500u}) image[a] ^= 0x5A;
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteImageFile(path, kStart, end, image));
    return path;
  }
  std::string Report(uint32_t a, uint8_t file, uint8_t device) const {
    return "Ошибка. Адрес: " + std::to_string(a) + "\nВ файле:       " + std::to_string(file) +
           "\nВ приборе:     " + std::to_string(device) + "\nПродолжить проверку?";
  }
  std::vector<json> LogLines(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    std::vector<json> lines;
    size_t from = 0;
    for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', from)) {
      lines.push_back(json::parse(text.substr(from, nl - from)));
      from = nl + 1;
    }
    EXPECT_EQ(from, text.size()) << "the log ends with a whole line";
    return lines;
  }
};

TEST_F(CliVerify, ADeviceWrittenFromTheFileEqualsIt) {
  Start();
  const std::string file = ImageFile("image.bin");
  ASSERT_EQ(Run({"-q", "write", file}).Status, cli::kExitDone);
  Device->ClearTranscript();
  const auto r = Run({"verify", file});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  // The device's signature is the write's, not the file's.
  EXPECT_EQ(r.Out, "Signature: 0x003FF0: 07.12.26 14:05 ZORIX\n");
  EXPECT_TRUE(Contains(r.Err, "Проверка чтением, выполнено: ")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "\nОшибок: 0\n"));
  EXPECT_EQ(Requests(*Device, kCmdWriteBlock).size(), 0u) << "nothing is written";
  // The regions of write-all, 32 bytes a block, and the record once.
  EXPECT_EQ(Requests(*Device, kCmdReadBlock).size(), (0x1000u + (kEnd + 1 - 0x3000)) / 32 + 1);
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(CliVerify, AFlippedByteInEachRegionIsListed) {
  Start();
  const std::string file = ImageFile("image.bin");
  ASSERT_EQ(Run({"-q", "write", file}).Status, cli::kExitDone);
  TData memory = Device->Memory();
  const uint8_t a = memory[0x123], b = memory[0x3456];
  Device->SetMemory(0x123, {uint8_t(a ^ 0xFF)});
  Device->SetMemory(0x3456, {uint8_t(b ^ 0x01)});
  Device->ClearTranscript();
  const auto r = Run({"verify", file});
  EXPECT_EQ(r.Status, cli::kExitDifferences);
  EXPECT_TRUE(Contains(r.Err, Report(0x123, a, uint8_t(a ^ 0xFF)) + " [Да]\n")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, Report(0x3456, b, uint8_t(b ^ 0x01)) + " [Да]\n"));
  EXPECT_TRUE(Contains(r.Err, "\nОшибок: 2\n"));
  EXPECT_EQ(Requests(*Device, kCmdWriteBlock).size(), 0u);

  const auto first = Run({"--stop-on-difference", "verify", file});
  EXPECT_EQ(first.Status, cli::kExitDifferences);
  EXPECT_TRUE(Contains(first.Err, Report(0x123, a, uint8_t(a ^ 0xFF)) + " [Нет]\n"));
  EXPECT_TRUE(Contains(first.Err, "\nОшибок: 1\n"));
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(CliVerify, ADeviceOfAnotherRangeIsStatusThreeAndNothingIsRead) {
  Start();
  const std::string file = ImageFile("other.bin", kEnd - 1);
  const auto r = Run({"verify", file});
  EXPECT_EQ(r.Status, cli::kExitFileRefused);
  EXPECT_EQ(r.Err, "Открыт файл другого формата!\nПродолжение невозможно.\n");
  EXPECT_EQ(Device->RequestCount(), Device->RequestCount(kCmdRangeQuery));
}

TEST_F(CliVerify, ADeviceThatFallsSilentIsStatusOne) {
  Start();
  const std::string file = ImageFile("image.bin");
  Device->AddFault({TFaultKind::Silence, 0, kCmdReadBlock, 0x3400, 0, 0});
  const auto r = Run({"-q", "verify", file});
  EXPECT_EQ(r.Status, cli::kExitNoDevice);
  EXPECT_TRUE(Contains(r.Err, "Прибор не отвечает!\n")) << r.Err;
  EXPECT_EQ(Requests(*Device, kCmdWriteBlock).size(), 0u);
  EXPECT_TRUE(LeftFastMode());
}

TEST_F(CliVerify, TheLogRecordOfAWriteWithDifferencesHasEveryField) {
  Start();
  const std::string file = ImageFile("image.bin");
  TData image = Device->Memory();
  const auto content = ReadBytes(file);
  // Two stored bytes that do not take what is written.
  const uint32_t a1 = 0x100, a2 = 0x3400;
  TData fileImage(content.begin() + 16, content.end());
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, a1, 1, uint8_t(~fileImage[a1])});
  Device->AddFault({TFaultKind::CorruptByte, 0, 0, a2, 1, uint8_t(~fileImage[a2])});
  const std::string log = dir.File("production.jsonl");
  const auto r = Run({"-q", "--log", log, "write", file});
  ASSERT_EQ(r.Status, cli::kExitDifferences) << r.Err;
  const auto lines = LogLines(log);
  ASSERT_EQ(lines.size(), 1u);
  const json& j = lines[0];
  const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
  EXPECT_TRUE(std::regex_match(j.at("time_start").get<std::string>(), iso)) << j.dump();
  EXPECT_TRUE(std::regex_match(j.at("time_end").get<std::string>(), iso));
  EXPECT_LE(j.at("time_start").get<std::string>(), j.at("time_end").get<std::string>());
  EXPECT_FALSE(j.at("host").get<std::string>().empty());
  EXPECT_EQ(j.at("program_version"), "1.0.0");
  EXPECT_EQ(j.at("port").at("given"), Device->Path());
  EXPECT_EQ(j.at("port").at("opened"), Device->Path());
  EXPECT_EQ(j.at("address"), 127);
  EXPECT_EQ(j.at("command"), "write");
  EXPECT_EQ(j.at("file").at("path"), file);
  EXPECT_EQ(j.at("file").at("sha256"), Sha256Hex(content.data(), content.size()));
  EXPECT_EQ(j.at("range"), (json{{"start", kStart}, {"end", kEnd}}));
  EXPECT_EQ(j.at("outcome"), "differences");
  EXPECT_TRUE(j.at("refusal").is_null());
  EXPECT_EQ(j.at("exit_status"), 4);
  EXPECT_EQ(j.at("bytes"), 0x1000 + (kEnd + 1 - 0x3000));
  EXPECT_EQ(j.at("bytes_total"), 0x1000 + (kEnd + 1 - 0x3000));
  EXPECT_GT(j.at("seconds").get<double>(), 0.0);
  EXPECT_EQ(j.at("retries"), 0);
  EXPECT_EQ(j.at("differences").at("count"), 2);
  EXPECT_EQ(
      j.at("differences").at("first"),
      (json::array(
          {{{"address", a1}, {"file", fileImage[a1]}, {"device", uint8_t(~fileImage[a1])}},
           {{"address", a2}, {"file", fileImage[a2]}, {"device", uint8_t(~fileImage[a2])}}})));
  const json& sig = j.at("signature");
  EXPECT_EQ(sig.at("address"), kEnd - 15);
  EXPECT_EQ(sig.at("date"), "07.12.26");
  EXPECT_EQ(sig.at("time"), "14:05");
  EXPECT_EQ(sig.at("maker"), "ZORIX");
  EXPECT_EQ(sig.at("hex"),
            "30373132323631343035"
            "5a4f524958"
            "00");
  (void)image;

  // The next job's record follows on its own line.
  ASSERT_EQ(Run({"--log", log, "range"}).Status, cli::kExitDone);
  const auto two = LogLines(log);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].at("command"), "range");
  EXPECT_EQ(two[1].at("outcome"), "done");
  EXPECT_TRUE(two[1].at("file").is_null());
  EXPECT_TRUE(two[1].at("signature").is_null());
}

TEST_F(CliVerify, TheLogRecordOfAStoppedRun) {
  Start();
  const std::string file = dir.File("memory.bin");
  const std::string log = dir.File("production.jsonl");
  cli::TStopRequest stop;
  std::thread press([&] {
    Device->WaitForRequests(40, 20000);
    stop.Request();
  });
  const auto r = Run({"--log", log, "read", file}, &stop);
  press.join();
  EXPECT_EQ(r.Status, cli::kExitStopped);
  const auto lines = LogLines(log);
  ASSERT_EQ(lines.size(), 1u);
  const json& j = lines[0];
  EXPECT_EQ(j.at("command"), "read");
  EXPECT_EQ(j.at("outcome"), "stopped");
  EXPECT_EQ(j.at("exit_status"), 130);
  EXPECT_EQ(j.at("file").at("path"), file);
  EXPECT_TRUE(j.at("file").at("sha256").is_null()) << "no file was saved";
  EXPECT_LT(j.at("bytes").get<uint32_t>(), kEnd + 1);
  EXPECT_EQ(j.at("range"), (json{{"start", kStart}, {"end", kEnd}}));
  EXPECT_EQ(j.at("differences").at("count"), 0);
}

TEST_F(CliVerify, AReadOnlyLogIsRefusedWithNothingSent) {
  Start();
  const std::string log = dir.File("readonly.jsonl");
  test::WriteBytes(log, {'{', '}', '\n'});
  std::filesystem::permissions(FsPath(log), std::filesystem::perms::owner_read |
                                                std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
  const auto r = Run({"--log", log, "range"});
  EXPECT_EQ(r.Status, cli::kExitFileRefused);
  EXPECT_EQ(r.Err, "dikton-cli: " + log + ": cannot be appended to\n");
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(Device->RequestCount(), 0u);
  EXPECT_EQ(ReadBytes(log), (std::vector<uint8_t>{'{', '}', '\n'}));
  std::filesystem::permissions(FsPath(log), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  // A folder cannot be appended to either.
  const auto folder = Run({"--log", dir.File(""), "range"});
  EXPECT_EQ(folder.Status, cli::kExitFileRefused);
  EXPECT_EQ(Device->RequestCount(), 0u);
}

TEST_F(CliVerify, JsonPrintsTheRecordInPlaceOfTheText) {
  Start();
  const auto r = Run({"--json", "range"});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  ASSERT_EQ(Count(r.Out, "\n"), 1u) << r.Out;
  const json j = json::parse(r.Out);
  EXPECT_EQ(j.at("command"), "range");
  EXPECT_EQ(j.at("outcome"), "done");
  EXPECT_EQ(j.at("exit_status"), 0);
  EXPECT_EQ(j.at("range"), (json{{"start", kStart}, {"end", kEnd}}));

  const auto silent = [&] {
    Device->AddFault({TFaultKind::Silence, 0, 0, -1, 0, 0});
    return Run({"--json", "range"});
  }();
  EXPECT_EQ(silent.Status, cli::kExitNoDevice);
  EXPECT_EQ(json::parse(silent.Out).at("outcome"), "no_answer");
  EXPECT_EQ(silent.Err, "Прибор не отвечает!\n");
}

// The appender's promise, which several sessions of one process rely on: whole lines only,
// whether they share one opening of the log or each has its own (as two processes do).
TEST(JobLog, ThreadsAppendingAtOnceLeaveWholeLines) {
  test::TTempDir dir;
  const std::string path = dir.File("shared.jsonl");
  constexpr int kThreads = 4, kLines = 50;
  std::vector<std::thread> threads;
  TAppendFile shared, own;
  ASSERT_TRUE(shared.Open(path));
  ASSERT_TRUE(own.Open(path));
  for (int t = 0; t < kThreads; ++t) {
    TAppendFile& file = t == 0 ? own : shared;
    threads.emplace_back([&file, t] {
      for (int i = 0; i < kLines; ++i)
        EXPECT_TRUE(file.Append(std::string(size_t(200 + t), char('a' + t)) + "\n"));
    });
  }
  for (auto& th : threads) th.join();
  const auto bytes = ReadBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  std::vector<int> counts(kThreads);
  size_t from = 0;
  for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', from)) {
    const std::string line = text.substr(from, nl - from);
    ASSERT_FALSE(line.empty());
    const int t = line[0] - 'a';
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(line, std::string(size_t(200 + t), char('a' + t)));
    ++counts[size_t(t)];
    from = nl + 1;
  }
  EXPECT_EQ(from, text.size());
  EXPECT_EQ(counts, std::vector<int>(kThreads, kLines));
}

TEST(JobLog, Sha256OfKnownTexts) {
  const std::string abc = "abc";
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(nullptr, 0),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(two.data()), two.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(million.data()), million.size()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(JobLog, TheRecordOfAScanListsItsAnswers) {
  TCommandResult r;
  r.Outcome = TOutcome::Done;
  r.Answers = {{5, {0x3000, 0x7FFF}}};
  TJobContext c;
  c.Command = "scan";
  c.ExitStatus = 0;
  const json j = json::parse(JobRecordLine(r, c));
  EXPECT_EQ(j.at("answers"), json::parse(R"([{"address":5,"start":12288,"end":32767}])"));
  EXPECT_EQ(j.at("outcome"), "done");
  // Only the first 16 differences are listed; the count is all of them.
  r.Mismatches.assign(20, MismatchRecord{1, 2, 3});
  const json d = JobRecord(r, c).at("differences");
  EXPECT_EQ(d.at("count"), 20);
  EXPECT_EQ(d.at("first").size(), kRecordedDifferences);
}

}  // namespace
}  // namespace dikton
