// The program's options and the conversion of the dialogs' filters to Qt's form.
#include <gtest/gtest.h>

#include "uCommandLine.h"
#include "uQtUserDialog.h"

namespace dikton::gui {
namespace {

TEST(CommandLine, MapsPortsAndDemo) {
  auto parsed = ParseCommandLine(
      {"--com", "3=/dev/ttyUSB0", "--demo", "--com", "16=/dev/pts/4", "--com", "3=/dev/ttyUSB1"});
  ASSERT_TRUE(std::holds_alternative<TCommandLine>(parsed));
  const TCommandLine& line = std::get<TCommandLine>(parsed);
  EXPECT_TRUE(line.Demo);
  EXPECT_EQ(line.Ports.DeviceFor(3), "/dev/ttyUSB1");  // the last mapping wins
  EXPECT_EQ(line.Ports.DeviceFor(16), "/dev/pts/4");
  EXPECT_EQ(line.Ports.DeviceFor(1), TPortMap().DeviceFor(1));  // unmapped: the default

  auto none = ParseCommandLine({});
  ASSERT_TRUE(std::holds_alternative<TCommandLine>(none));
  EXPECT_FALSE(std::get<TCommandLine>(none).Demo);
}

TEST(CommandLine, RefusesWhatItDoesNotKnow) {
  const std::vector<std::vector<std::string>> bad = {
      {"--com"},           {"--com", "0=/dev/x"}, {"--com", "17=/dev/x"},
      {"--com", "/dev/x"}, {"--com", "2="},       {"--help"},
      {"-demo"},           {"file.bin"},          {"--com=1=/dev/x"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args.back());
    EXPECT_TRUE(std::holds_alternative<std::string>(ParseCommandLine(args)));
  }
}

TEST(QtFilters, PairsBecomeNameFilters) {
  struct TCase {
    const char* Filter;
    QStringList Expected;
  };
  const TCase cases[] = {
      {"Двоичные (*.bin)|*.bin|Все файлы|*.*",
       {QString::fromUtf8("Двоичные (*.bin)"), QString::fromUtf8("Все файлы (*)")}},
      {"Windows PCM (*.wav)|*.wav", {QStringLiteral("Windows PCM (*.wav)")}},
      {"Lists|*.txt;*.lst", {QStringLiteral("Lists (*.txt *.lst)")}},
      {"", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Filter);
    EXPECT_EQ(QtNameFilters(c.Filter), c.Expected);
  }
}

}  // namespace
}  // namespace dikton::gui
