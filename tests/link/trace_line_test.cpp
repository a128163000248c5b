// The wire trace: every call reaches the line it wraps, and the log has one line per frame.
#include <gtest/gtest.h>

#include <sstream>

#include "FakeLine.h"
#include "uTraceLine.h"

namespace dikton::test {
namespace {

// One tick per look at the counter, a million ticks a second: every stamp is known.
class TTickClock : public TClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() const override { return ticks_++; }
  TLocalTime Now() const override { return {}; }

 private:
  mutable int64_t ticks_ = 0;
};

TEST(TraceLine, ForwardsEveryCallAndLogsOneLinePerFrame) {
  auto script = std::make_shared<TFakeLineScript>();
  // A reply read as its head and its rest, then two frames and a stray byte in one read.
  script->Reads = {{0x7F, 0x0A, 0x3E, 0x2C, 0x00, 0x32},
                   {0x00, 0xFF, 0x3F, 0x00, 0xC0},
                   {0x01, 0x05, 0x42, 0x00, 0x00, 0x11, 0x02, 0x05, 0x42, 0x00, 0x00, 0x22, 0x99}};
  std::ostringstream out;
  TTickClock clock;
  TTraceLog log(out, clock);
  TTraceLine line(std::make_unique<TFakeLine>(script), log);

  ASSERT_TRUE(line.Open("/dev/ttyX"));
  EXPECT_TRUE(line.IsOpen());
  TLineSettings settings;
  settings.BaudRate = 9600;
  EXPECT_TRUE(line.SetState(settings));
  const uint8_t request[] = {0x7F, 0x06, 0x00, 0x3F, 0x2C, 0x00, 0x2D};
  size_t done = 0;
  EXPECT_TRUE(line.Write(request, sizeof request, done));
  EXPECT_EQ(done, sizeof request);
  uint8_t buffer[16];
  EXPECT_TRUE(line.Read(buffer, 6, done));
  EXPECT_EQ(done, 6u);
  EXPECT_TRUE(line.Read(buffer, 5, done));
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(buffer[4], 0xC0);
  settings.BaudRate = 115200;
  EXPECT_TRUE(line.SetState(settings));
  EXPECT_TRUE(line.Read(buffer, 13, done));
  EXPECT_TRUE(line.Purge(PurgeRxClear));  // the stray byte goes into the log here
  line.Close();
  EXPECT_FALSE(line.IsOpen());

  EXPECT_EQ(script->Writes, (std::vector<std::vector<uint8_t>>{{request, request + 7}}));
  EXPECT_EQ(out.str().substr(0, 17), "# open /dev/ttyX\n");
  std::istringstream lines(out.str());
  std::string l;
  std::vector<std::string> body;
  while (std::getline(lines, l)) body.push_back(l);
  ASSERT_EQ(body.size(), 7u) << out.str();
  EXPECT_EQ(body[1].substr(body[1].find(' ')), " > 9600 7F 06 00 3F 2C 00 2D");
  EXPECT_EQ(body[2].substr(body[2].find(' ')), " < 9600 7F 0A 3E 2C 00 32 00 FF 3F 00 C0");
  EXPECT_EQ(body[3].substr(body[3].find(' ')), " < 115200 01 05 42 00 00 11");
  EXPECT_EQ(body[4].substr(body[4].find(' ')), " < 115200 02 05 42 00 00 22");
  EXPECT_EQ(body[5].substr(body[5].find(' ')), " < 115200 99");
  EXPECT_EQ(body[6], "# close");
  // Seconds since the log began, from the clock it was given.
  EXPECT_EQ(body[1].substr(0, body[1].find(' ')).size(), 8u);
  EXPECT_EQ(body[1][1], '.');
}

}  // namespace
}  // namespace dikton::test
