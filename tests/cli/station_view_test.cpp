// The station's port list and its view: what -p makes of its values, the rows a terminal is
// sent (parsed back from the escapes), and the lines off a terminal.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TermScreen.h"
#include "uPortList.h"
#include "uStationView.h"

namespace dikton::cli {
namespace {

TEST(PortList, ListsRangesNamesAndPathsMix) {
  std::vector<TPortSpec> ports;
  ASSERT_FALSE(AddPorts("1,3,5-8", ports));
  ASSERT_FALSE(AddPorts("COM12", ports));
  ASSERT_FALSE(AddPorts("/dev/ttyUSB0", ports));
  ASSERT_FALSE(AddPorts("\\\\.\\COM16", ports));
  const std::vector<TPortSpec> expected = {{1, ""},
                                           {3, ""},
                                           {5, ""},
                                           {6, ""},
                                           {7, ""},
                                           {8, ""},
                                           {12, ""},
                                           {0, "/dev/ttyUSB0"},
                                           {0, "\\\\.\\COM16"}};
  EXPECT_EQ(ports, expected);
  EXPECT_EQ(ports[6].Name(), "COM12");
  EXPECT_EQ(ports[7].Name(), "ttyUSB0");
  EXPECT_EQ(ports[8].Name(), "COM16");
  EXPECT_EQ(ports[7].Given(), "/dev/ttyUSB0");
  EXPECT_EQ(ports[0].Given(), "1");
}

TEST(PortList, BadValuesAreRefusedAndLeaveTheListAsItWas) {
  struct {
    const char* value;
    const char* error;
  } cases[] = {
      {"", "option -p needs a port"},
      {"0", "port 0 is outside 1 to 16"},
      {"17", "port 17 is outside 1 to 16"},
      {"99999999999", "port 99999999999 is outside 1 to 16"},
      {"-3", "port -3 is outside 1 to 16"},
      {"1-17", "port 17 is outside 1 to 16"},
      {"8-5", "port range 8-5 runs backwards"},
      {"1,,2", "empty port in list 1,,2"},
      {"4,", "empty port in list 4,"},
      {"COM0", "port COM0 is outside 1 to 16"},
      {"2", "port 2 is named twice"},     // 2 is in the list already
      {"com2", "port 2 is named twice"},  // the same port by its name
      {"5,5", "port 5 is named twice"},   // twice in one value
      {"3-6", "port 4 is named twice"},   // a range over a named port
  };
  for (const auto& c : cases) {
    std::vector<TPortSpec> ports{{2, ""}, {4, ""}};
    const auto error = AddPorts(c.value, ports);
    ASSERT_TRUE(error) << c.value;
    EXPECT_EQ(*error, c.error) << c.value;
    EXPECT_EQ(ports.size(), 2u) << c.value << ": nothing added";
  }
}

TEST(AddressList, KeepsTheOrderGivenAndRefusesWhatIsNoAddressOrNamedTwice) {
  std::vector<uint8_t> addresses;
  ASSERT_FALSE(AddAddresses("9,5,20-22", addresses));
  ASSERT_FALSE(AddAddresses("127", addresses));
  EXPECT_EQ(addresses, (std::vector<uint8_t>{9, 5, 20, 21, 22, 127}));
  struct {
    const char* value;
    const char* error;
  } cases[] = {
      {"", "address  is outside 1 to 127"},
      {"0", "address 0 is outside 1 to 127"},
      {"1-128", "address 128 is outside 1 to 127"},
      {"7x", "address 7x is outside 1 to 127"},
      {"9999999999", "address 9999999999 is outside 1 to 127"},
      {"12-10", "address range 12-10 runs backwards"},
      {"1,,2", "empty address in list 1,,2"},
      {"3,", "empty address in list 3,"},
      {"4", "address 4 is named twice"},    // 4 is in the list already
      {"6,6", "address 6 is named twice"},  // twice in one value
      {"2-5", "address 4 is named twice"},  // a range over a named address
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> list{4};
    const auto error = AddAddresses(c.value, list);
    ASSERT_TRUE(error) << c.value;
    EXPECT_EQ(*error, c.error) << c.value;
    EXPECT_EQ(list, std::vector<uint8_t>{4}) << c.value << ": nothing added";
  }
}

TEST(PortList, PortNameGoesBeforeTheExtension) {
  EXPECT_EQ(WithPortName("memory.bin", "COM3"), "memory-COM3.bin");
  EXPECT_EQ(WithPortName("/srv/a.b/memory.bin", "ttyUSB0"), "/srv/a.b/memory-ttyUSB0.bin");
  EXPECT_EQ(WithPortName("/srv/a.b/dump", "COM3"), "/srv/a.b/dump-COM3");
  EXPECT_EQ(WithPortName("C:\\x.y\\dump", "COM3"), "C:\\x.y\\dump-COM3");
  EXPECT_EQ(WithPortName("/srv/.bin", "COM3"), "/srv/.bin-COM3");
}

TPortRow Row(std::string port, int address, TStationPhase phase = TStationPhase::Waiting,
             uint32_t done = 0, uint32_t total = 0) {
  TPortRow r;
  r.Port = std::move(port);
  r.Address = address;
  r.Phase = phase;
  r.Done = done;
  r.Total = total;
  return r;
}

std::vector<std::string> Screen(const std::string& sent) { return test::TermScreen(sent); }

TEST(StationView, TerminalRowsAreRedrawnInPlaceAtMostTenTimesASecond) {
  std::ostringstream err;
  double now = 0;
  TStationView view(err, true, 0, [&] { return now; });
  const size_t a = view.Add(Row("COM3", 127));
  const size_t b = view.Add(Row("ttyUSB0", 5));
  view.Flush();
  view.Update(a, [](TPortRow& r) {
    r.Phase = TStationPhase::Writing;
    r.Done = 1024, r.Total = 4096, r.Rate = 2048;
  });
  const std::string before = err.str();
  now = 0.05;  // too soon: held back
  view.Update(b, [](TPortRow& r) { r.Phase = TStationPhase::Reading; });
  EXPECT_EQ(err.str(), before);
  now = 0.2;
  view.Update(b, [](TPortRow& r) { r.Done = 10, r.Total = 100; });
  view.Message(a, "Прибор не отвечает!");
  view.Update(a, [](TPortRow& r) { r.Phase = TStationPhase::Failed, r.Outcome = "no_answer"; });
  view.Flush();

  const auto screen = Screen(err.str());
  ASSERT_EQ(screen.size(), 2u) << "two rows, each redrawn where it stands";
  EXPECT_EQ(screen[0], TStationView::RowText(view.Rows()[a]));
  EXPECT_NE(screen[0].find("COM3"), std::string::npos);
  EXPECT_NE(screen[0].find("ошибка"), std::string::npos);
  EXPECT_NE(screen[0].find("25%"), std::string::npos);
  EXPECT_NE(screen[0].find("no_answer"), std::string::npos);
  EXPECT_NE(screen[0].find("Прибор не отвечает!"), std::string::npos);
  EXPECT_NE(screen[1].find("ttyUSB0"), std::string::npos);
  EXPECT_NE(screen[1].find("чтение"), std::string::npos);
  EXPECT_NE(screen[1].find("10%"), std::string::npos);
  const auto messages = view.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], (std::pair<std::string, std::string>{"COM3", "Прибор не отвечает!"}));
}

TEST(StationView, RowsAreCutToTheTerminalsWidth) {
  std::ostringstream err;
  TStationView view(err, true, 20, [] { return 0.0; });
  view.Add(Row("ttyUSB0", 127, TStationPhase::Verifying, 500, 1000));
  view.Flush();
  const auto screen = Screen(err.str());
  ASSERT_EQ(screen.size(), 1u);
  // 19 characters, the Cyrillic ones counted as one each.
  size_t chars = 0;
  for (char c : screen[0]) chars += (c & 0xC0) != 0x80;
  EXPECT_EQ(chars, 19u);
}

TEST(StationView, OffATerminalEveryLineNamesItsPortOncePerTenth) {
  std::ostringstream err;
  TStationView view(err, false, 0, [] { return 0.0; });
  const size_t a = view.Add(Row("COM1", 127));
  const size_t b = view.Add(Row("COM2", 127));
  for (uint32_t done = 0; done <= 1000; done += 50) {
    for (size_t row : {a, b})
      view.Update(row, [&](TPortRow& r) {
        r.Phase = TStationPhase::Writing, r.Done = done, r.Total = 1000;
      });
  }
  view.Message(b, "Прибор не отвечает!\r\nПовторите.");
  view.Update(a, [](TPortRow& r) { r.Phase = TStationPhase::Done, r.Outcome = "done"; });
  std::istringstream in(err.str());
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 10u + 10u + 1u + 1u);
  for (const auto& l : lines)
    EXPECT_TRUE(l.rfind("COM1: ", 0) == 0 || l.rfind("COM2: ", 0) == 0) << l;
  EXPECT_EQ(lines[0], "COM1: запись 10%  100/1000 B  0.0 KiB/s");
  EXPECT_EQ(lines[lines.size() - 2], "COM2: Прибор не отвечает! Повторите.");
  EXPECT_EQ(lines.back(), "COM1: готово done");
}

TEST(StationView, SummaryCountsDevicesDoneAndFailed) {
  std::vector<TPortRow> rows(3);
  rows[0].Port = "COM1", rows[0].Address = 127, rows[0].Outcome = "done", rows[0].Status = 0;
  rows[1].Port = "COM2", rows[1].Address = 127, rows[1].Outcome = "differences",
  rows[1].Differences = 2, rows[1].Status = 4, rows[1].Seconds = 12.34;
  rows[2].Port = "COM3", rows[2].Address = 9, rows[2].Outcome = "written_unverified",
  rows[2].Status = 0;
  std::ostringstream out;
  PrintStationSummary(out, rows);
  const std::string s = out.str();
  EXPECT_NE(s.find("COM2      127     differences         2           12.3\n"), std::string::npos)
      << s;
  EXPECT_NE(s.find("devices done: 2, failed: 1\n"), std::string::npos) << s;
}

}  // namespace
}  // namespace dikton::cli
