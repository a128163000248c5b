// The command line: bad usage talks to nobody and exits 2 with one line and the usage.
#include "CliFixture.h"
#include "uCliOptions.h"

namespace dikton {
namespace {

using test::Contains;

class CliUsage : public test::TCliTest {};

TEST_F(CliUsage, BadUsageIsOneLineAndTheUsageAndSendsNothing) {
  Start();
  struct TCase {
    std::vector<std::string> Args;
    std::string Error;
  };
  const TCase cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command frobnicate"},
      {{"--frob", "range"}, "unknown option --frob"},
      {{"-x", "range"}, "unknown option -x"},
      {{"-p", "0", "range"}, "port 0 is outside 1 to 16"},
      {{"--port=17", "range"}, "port 17 is outside 1 to 16"},
      {{"--port", "-3", "range"}, "port -3 is outside 1 to 16"},
      {{"-a", "0", "range"}, "address 0 is outside 1 to 127"},
      {{"--address", "128", "range"}, "address 128 is outside 1 to 127"},
      {{"--address", "7x", "range"}, "address 7x is outside 1 to 127"},
      {{"range", "-a"}, "option -a needs an address"},
      {{"-a", "5", "-a", "5", "range"}, "address 5 is named twice"},
      {{"-a", "5,6", "scan"}, "scan takes one address"},
      {{"read"}, "read needs FILE"},
      {{"extract", "memory.bin"}, "extract needs FILE DIR"},
      {{"range", "extra"}, "too many arguments for range: extra"},
      {{"--trace", "", "range"}, "option --trace needs a file"},
      {{"--quiet=yes", "range"}, "option --quiet takes no value"},
      {{"--demo", "-p", "2", "range"}, "--demo and --port cannot be used together"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Error);
    // The device's own path goes first; a port given after it replaces it.
    const test::TCliResult r = Run(c.Args);
    EXPECT_EQ(r.Status, cli::kExitUsage);
    EXPECT_EQ(r.Err, "dikton-cli: " + c.Error + "\n" + std::string(cli::kUsage));
    EXPECT_EQ(r.Out, "");
  }
  EXPECT_EQ(Device->RequestCount(), 0u) << "bad usage sends nothing";
}

TEST_F(CliUsage, OptionsMayStandAnywhereAndDoubleDashEndsThem) {
  const auto parsed =
      cli::ParseCliArgs({"read", "-q", "--address=5", "--port", "/dev/ttyUSB0", "--", "-odd.bin"});
  ASSERT_TRUE(std::holds_alternative<cli::TCliOptions>(parsed));
  const auto& o = std::get<cli::TCliOptions>(parsed);
  EXPECT_EQ(o.Command, cli::TCommand::Read);
  EXPECT_EQ(o.Args, std::vector<std::string>{"-odd.bin"});
  EXPECT_EQ(o.Address, 5);
  EXPECT_EQ(o.PortPath, "/dev/ttyUSB0");
  EXPECT_TRUE(o.Quiet);
  const auto numbered = cli::ParseCliArgs({"-p", "16", "-a", "127", "scan"});
  ASSERT_TRUE(std::holds_alternative<cli::TCliOptions>(numbered));
  EXPECT_EQ(std::get<cli::TCliOptions>(numbered).Port, 16);
  EXPECT_EQ(std::get<cli::TCliOptions>(numbered).PortPath, "");
  // -a again adds to the list; the first is the address of a one-device run.
  const auto several = cli::ParseCliArgs({"-a", "9,3", "range", "-a", "5"});
  ASSERT_TRUE(std::holds_alternative<cli::TCliOptions>(several));
  EXPECT_EQ(std::get<cli::TCliOptions>(several).Addresses, (std::vector<uint8_t>{9, 3, 5}));
  EXPECT_EQ(std::get<cli::TCliOptions>(several).Address, 9);
}

TEST_F(CliUsage, HelpNamesEveryCommandOptionAndExitStatus) {
  for (const char* arg : {"--help", "-h"}) {
    const test::TCliResult r = RunBare({"read", arg});
    EXPECT_EQ(r.Status, cli::kExitDone);
    EXPECT_EQ(r.Err, "");
    for (const char* word :
         {"range", "read FILE", "write FILE", "sound LIST", "info FILE", "extract FILE DIR", "scan",
          "--port PORT", "--address N", "--no-verify", "--stop-on-difference", "--trace FILE",
          "--demo", "--quiet", "--version", "130", "StartSoundAddr=S"})
      EXPECT_TRUE(Contains(r.Out, word)) << word;
  }
  const test::TCliResult v = RunBare({"--version"});
  EXPECT_EQ(v.Status, cli::kExitDone);
  EXPECT_EQ(v.Out.rfind("dikton-cli ", 0), 0u);
}

}  // namespace
}  // namespace dikton
