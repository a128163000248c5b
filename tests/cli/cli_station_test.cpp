// dikton-cli on several ports at once, in-process against virtual devices (also under Wine):
// every port its own job and outcome, one record each, the run's status the worst port's.
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "CliFixture.h"
#include "UnderWine.h"
#include "uStation.h"

namespace dikton {
namespace {

using nlohmann::json;
using test::Contains;
using test::Requests;

constexpr uint32_t kStart = 0x3200;
constexpr uint32_t kEnd = 0x3FFF;
constexpr size_t kPorts = 4;

// The port as -p takes a device's path ("COM3" under Wine is port 3).
cli::TPortSpec Spec(const std::string& path) {
  std::vector<cli::TPortSpec> ports;
  EXPECT_FALSE(cli::AddPorts(path, ports));
  return ports.empty() ? cli::TPortSpec{} : ports[0];
}

class CliStation : public test::TCliTest {
 protected:
  void StartAll(size_t n = kPorts) {
    for (size_t i = 0; i < n; ++i) {
      auto o = test::SmallDevice(kStart, kEnd);
      o.FillByte = 0xEE;
      devices.push_back(std::make_unique<rv7ksim::TVirtualDevice>(o));
      ASSERT_TRUE(devices.back()->Start());
      devices.back()->GenerateRealisticContent(uint32_t(10 + i));
    }
  }
  // One line with two devices on it, addresses 5 and 9 (one memory in the virtual device).
  void StartSharedLine() {
    auto o = test::SmallDevice(kStart, kEnd);
    o.Address = 5;
    o.ExtraAddresses = {{9, kStart, kEnd}};
    devices.push_back(std::make_unique<rv7ksim::TVirtualDevice>(o));
    ASSERT_TRUE(devices.back()->Start());
  }
  std::vector<std::string> PortArgs() const {
    std::vector<std::string> a;
    for (const auto& d : devices)
      if (d) a.insert(a.end(), {"-p", d->Path()});
    return a;
  }
  test::TCliResult RunAll(std::vector<std::string> args, cli::TStopRequest* stop = nullptr) {
    auto ports = PortArgs();
    args.insert(args.begin(), ports.begin(), ports.end());
    return RunBare(args, stop);
  }
  // An image unlike every device's content.
  std::string Image() {
    TData image(kEnd + 1);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + 3);
    const std::string path = dir.File("memory.bin");
    EXPECT_TRUE(WriteImageFile(path, kStart, kEnd, image));
    return path;
  }
  // The device holds the image wherever write-all writes, the signature aside.
  static bool Holds(const rv7ksim::TVirtualDevice& d, const std::string& imagePath) {
    const TImageFileContent f = ReadImageFile(imagePath);
    if (f.Status != TImageLoadStatus::Ok) return false;
    const TData m = d.Memory();
    for (uint32_t a = 0; a <= kEnd; ++a) {
      const bool written =
          a < 0x1000 || (a >= 0x3000 && !(a >= 0x31FD && a <= 0x31FF) && a < kEnd - 15);
      if (written && m[a] != f.Image[a]) return false;
    }
    return true;
  }
  std::vector<json> Log(const std::string& path) {
    const auto bytes = test::ReadBytes(path);
    std::vector<json> lines;
    std::string text(bytes.begin(), bytes.end());
    size_t from = 0;
    for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', from)) {
      lines.push_back(json::parse(text.substr(from, nl - from)));
      from = nl + 1;
    }
    return lines;
  }
  const json* RecordOf(const std::vector<json>& log, const std::string& path) {
    for (const json& j : log)
      if (j.at("port").at("given") == Spec(path).Given()) return &j;
    return nullptr;
  }
  std::vector<std::unique_ptr<rv7ksim::TVirtualDevice>> devices;
};

TEST_F(CliStation, FourPortsWriteOneImageEachWithItsRecord) {
  StartAll();
  const std::string image = Image();
  const std::string log = dir.File("production.jsonl");
  const auto r = RunAll({"--log", log, "write", image});
  EXPECT_EQ(r.Status, cli::kExitDone) << r.Err << r.Out;
  const auto records = Log(log);
  ASSERT_EQ(records.size(), kPorts);
  for (const auto& d : devices) {
    EXPECT_TRUE(Holds(*d, image)) << d->Path();
    const json* j = RecordOf(records, d->Path());
    ASSERT_TRUE(j) << d->Path();
    EXPECT_EQ(j->at("command"), "write");
    EXPECT_EQ(j->at("outcome"), "done");
    EXPECT_EQ(j->at("differences").at("count"), 0);
    EXPECT_FALSE(j->at("signature").is_null());
  }
  EXPECT_TRUE(Contains(r.Out, "devices done: 4, failed: 0\n")) << r.Out;
  // Off a terminal every progress line names its port.
  for (size_t p = 0, nl; (nl = r.Err.find('\n', p)) != std::string::npos; p = nl + 1) {
    const std::string line = r.Err.substr(p, nl - p);
    bool named = false;
    for (const auto& d : devices)
      named = named || line.rfind(Spec(d->Path()).Name() + ": ", 0) == 0;
    EXPECT_TRUE(named) << line;
  }
}

TEST_F(CliStation, OneSilentDeviceFailsItsPortAloneAndTheRunIsStatusOne) {
  StartAll();
  devices[2]->AddFault({rv7ksim::TFaultKind::Silence, 0, 0, -1, 0, 0});
  const std::string image = Image();
  const std::string log = dir.File("production.jsonl");
  const auto r = RunAll({"--log", log, "write", image});
  EXPECT_EQ(r.Status, cli::kExitNoDevice);
  const auto records = Log(log);
  ASSERT_EQ(records.size(), kPorts);
  for (size_t i = 0; i < kPorts; ++i) {
    const json* j = RecordOf(records, devices[i]->Path());
    ASSERT_TRUE(j);
    EXPECT_EQ(j->at("outcome"), i == 2 ? "no_answer" : "done") << i;
    EXPECT_EQ(j->at("exit_status"), i == 2 ? 1 : 0) << i;
    if (i != 2) {
      EXPECT_TRUE(Holds(*devices[i], image)) << i;
    }
  }
  EXPECT_EQ(Requests(*devices[2], kCmdWriteBlock).size(), 0u);
  const std::string port = Spec(devices[2]->Path()).Name();
  EXPECT_TRUE(Contains(r.Err, port + ": Прибор не отвечает!")) << r.Err;
  EXPECT_TRUE(Contains(r.Out, "devices done: 3, failed: 1\n")) << r.Out;
}

TEST_F(CliStation, ADeviceGoneMidWriteFailsItsPortWhileTheOthersFinishExact) {
  StartAll();
  const std::string image = Image();
  const std::string gone = devices[1]->Path();
  std::thread unplug([&] {
    devices[1]->WaitForRequests(60, 20000);
    devices[1].reset();  // the device and its line are gone, as an adapter pulled out
  });
  const auto r = RunAll({"write", image});
  unplug.join();
  EXPECT_EQ(r.Status, cli::kExitNoDevice) << r.Err;
  for (size_t i : {0u, 2u, 3u}) EXPECT_TRUE(Holds(*devices[i], image)) << i;
  EXPECT_TRUE(Contains(r.Out, Spec(gone).Name() + " ")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "devices done: 3, failed: 1\n")) << r.Out;
}

TEST_F(CliStation, CtrlCStopsEveryPortRecordsEachAndLeavesTheFastMode) {
  StartAll();
  const std::string image = Image();
  const std::string log = dir.File("production.jsonl");
  cli::TStopRequest stop;
  std::thread press([&] {
    for (const auto& d : devices) d->WaitForRequests(40, 20000);
    stop.Request();
  });
  const auto r = RunAll({"--log", log, "write", image}, &stop);
  press.join();
  EXPECT_EQ(r.Status, cli::kExitStopped);
  const auto records = Log(log);
  ASSERT_EQ(records.size(), kPorts);
  for (const auto& d : devices) {
    const json* j = RecordOf(records, d->Path());
    ASSERT_TRUE(j);
    EXPECT_EQ(j->at("outcome"), "stopped");
    EXPECT_EQ(j->at("exit_status"), 130);
    const auto req = Requests(*d);
    ASSERT_FALSE(req.empty());
    EXPECT_EQ(req.back()[3], kCmdModeSwitch) << d->Path() << ": the last request leaves";
    EXPECT_EQ(req.back()[5], kModeLeave) << d->Path();
  }
}

TEST_F(CliStation, ReadSavesOneFilePerPortWithThePortInItsName) {
  StartAll(2);
  const std::string file = dir.File("dump.bin");
  const auto r = RunAll({"-q", "read", file});
  ASSERT_EQ(r.Status, cli::kExitDone) << r.Err;
  for (const auto& d : devices) {
    const std::string path = cli::WithPortName(file, Spec(d->Path()).Name());
    const TImageFileContent f = ReadImageFile(path);
    ASSERT_EQ(f.Status, TImageLoadStatus::Ok) << path;
    TData m = d->Memory();
    m.resize(kEnd + 1);
    EXPECT_EQ(f.Image, m) << path;
  }
}

TEST_F(CliStation, BadPortListsAreUsageErrorsWithNothingSent) {
  StartAll(2);
  const std::string a = devices[0]->Path(), b = devices[1]->Path();
  const std::vector<std::vector<std::string>> cases = {
      {"-p", a, "-p", a, "range"},       // named twice
      {"-p", a, "-p", "17", "range"},    // outside 1 to 16
      {"-p", "3,,4", "-p", b, "range"},  // an empty element
      {"-p", "", "range"},               // an empty list
      {"-p", a, "-p", b, "scan"},        // scan takes one port
      {"--demo", "17", "range"},         // too many virtual devices
  };
  for (const auto& args : cases) {
    const auto r = RunBare(args);
    EXPECT_EQ(r.Status, cli::kExitUsage) << args[1] << " " << args[3];
  }
  for (const auto& d : devices) EXPECT_EQ(d->RequestCount(), 0u);
}

TEST_F(CliStation, SeveralAddressesOnOneLineAreProgrammedInTheOrderGivenEachWithItsOutcome) {
  // Two devices share the line, and the third address named has no device.
  StartSharedLine();
  const std::string image = Image();
  const std::string log = dir.File("production.jsonl");
  const auto r = RunAll({"-a", "9,5,6", "--log", log, "write", image});
  EXPECT_EQ(r.Status, cli::kExitNoDevice) << r.Err;
  const auto records = Log(log);
  ASSERT_EQ(records.size(), 3u);
  const int order[] = {9, 5, 6};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(records[i].at("address"), order[i]);
    EXPECT_EQ(records[i].at("outcome"), i < 2 ? "done" : "no_answer") << order[i];
  }
  EXPECT_TRUE(Holds(*devices[0], image));
  // One device at a time: every request to 9, then every one to 5, then those to 6.
  std::vector<uint8_t> turns;
  for (const auto& q : Requests(*devices[0]))
    if (turns.empty() || turns.back() != q[0]) turns.push_back(q[0]);
  EXPECT_EQ(turns, (std::vector<uint8_t>{9, 5, 6}));
  const std::string port = Spec(devices[0]->Path()).Name();
  EXPECT_TRUE(Contains(r.Err, port + " a6: Прибор не отвечает!")) << r.Err;
  EXPECT_TRUE(Contains(r.Out, "devices done: 2, failed: 1\n")) << r.Out;
}

// Waits, without a clock, until the device has been written and then told to leave the fast
// mode: the job on it has ended.
void WaitUntilWrittenAndLeft(const rv7ksim::TVirtualDevice& d) {
  for (;;) {
    const auto r = Requests(d);
    if (!Requests(d, kCmdWriteBlock).empty() && !r.empty() && r.back()[3] == kCmdModeSwitch &&
        r.back()[5] == kModeLeave)
      return;
    ASSERT_TRUE(d.WaitForRequests(d.RequestCount() + 1, 20000)) << "the station went quiet";
  }
}

TEST_F(CliStation, LoopProgramsEachDevicePutOnThePortOnceAndRecordsEach) {
  // The fixture is a link that the test points at one device and then another, as a
  // technician takes one off the needle-bed and puts the next on. Wine's COM ports are the
  // host's own links, which the test cannot repoint, so this runs on POSIX only.
  if (test::UnderWine()) GTEST_SKIP() << "the COM port of a Wine prefix is not the test's link";
  StartAll(2);
  const std::string fixture = dir.File("fixture");
  std::filesystem::create_symlink(devices[0]->Path(), fixture);
  const std::string image = Image();
  const std::string log = dir.File("production.jsonl");
  cli::TStopRequest stop;
  std::thread technician([&] {
    WaitUntilWrittenAndLeft(*devices[0]);
    // Taken off: it answers nothing from now on. Two silent queries later the station takes
    // the fixture for empty, and only then is the next device put on.
    const size_t seen = devices[0]->RequestCount();
    devices[0]->AddFault({rv7ksim::TFaultKind::Silence, 0, 0, -1, 0, 0});
    devices[0]->WaitForRequests(seen + 2, 20000);
    std::filesystem::remove(fixture);
    std::filesystem::create_symlink(devices[1]->Path(), fixture);
    WaitUntilWrittenAndLeft(*devices[1]);
    // The second stays on the fixture: it must not be programmed again before the stop.
    const size_t queries = devices[1]->RequestCount();
    devices[1]->WaitForRequests(queries + 3, 20000);
    stop.Request();
  });
  const auto r = RunBare({"-p", fixture, "--loop", "--log", log, "write", image}, &stop);
  technician.join();
  EXPECT_EQ(r.Status, cli::kExitStopped) << r.Err;
  const auto records = Log(log);
  ASSERT_EQ(records.size(), 2u) << "one record a device, neither programmed twice";
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(records[i].at("device"), i + 1);
    EXPECT_EQ(records[i].at("outcome"), "done");
    EXPECT_EQ(records[i].at("port").at("given"), Spec(fixture).Given());
    EXPECT_TRUE(Holds(*devices[i], image)) << i;
  }
  EXPECT_TRUE(Contains(r.Out, "devices done: 2, failed: 0\n")) << r.Out;
}

TEST_F(CliStation, LoopEndsAfterCountDevices) {
  StartAll(2);
  const std::string image = Image();
  const auto r = RunAll({"--loop", "--count", "2", "-q", "write", image});
  EXPECT_EQ(r.Status, cli::kExitDone) << r.Err;
  for (const auto& d : devices) EXPECT_TRUE(Holds(*d, image));
  EXPECT_TRUE(Contains(r.Out, "devices done: 2, failed: 0\n")) << r.Out;
}

TEST_F(CliStation, LoopProgramsEveryDeviceOfALineInOrderOnceTheFixtureAnswers) {
  StartSharedLine();
  const std::string image = Image();
  const std::string log = dir.File("production.jsonl");
  const auto r = RunAll({"--loop", "--count", "2", "-a", "9,5", "-q", "--log", log, "write", image});
  EXPECT_EQ(r.Status, cli::kExitDone) << r.Err;
  const auto records = Log(log);
  ASSERT_EQ(records.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(records[i].at("address"), i == 0 ? 9 : 5);
    EXPECT_EQ(records[i].at("device"), i + 1) << "numbered on the port, in the line's order";
    EXPECT_EQ(records[i].at("outcome"), "done");
  }
}

TEST(StationSeverity, AnUnansweredPortOutweighsDifferencesARefusedFileAndUsage) {
  using namespace cli;
  const int order[] = {kExitDone, kExitUsage, kExitFileRefused, kExitDifferences, kExitNoDevice};
  for (size_t i = 1; i < std::size(order); ++i)
    EXPECT_GT(StationSeverity(order[i]), StationSeverity(order[i - 1])) << order[i];
}

}  // namespace
}  // namespace dikton
