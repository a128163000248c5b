// The built program itself: its exit status, its streams, Ctrl+C, and rv7k-sim's extra
// addresses from its command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CliFixture.h"

namespace dikton {
namespace {

using test::Contains;

const std::string kCli = std::string(DIKTON_BINARY_DIR) + "/cli/dikton-cli";
const std::string kSim = std::string(DIKTON_BINARY_DIR) + "/sim/rv7k-sim";

// A child process with its stdout and stderr on pipes.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~TChild() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
    for (int fd : {out_, err_})
      if (fd >= 0) close(fd);
  }
  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Reads one line of the stream; false at its end.
  bool Line(bool fromErr, std::string& line) {
    line.clear();
    char c;
    while (read(fromErr ? err_ : out_, &c, 1) == 1) {
      if (c == '\n') return true;
      line += c;
    }
    return !line.empty();
  }
  std::string Rest(bool fromErr) {
    std::string all, line;
    while (Line(fromErr, line)) all += line + "\n";
    return all;
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  bool waited_ = false;
};

TEST(CliProgram, RangeFromADeviceOfRv7kSimAtAnExtraAddress) {
  TChild sim({kSim, "--address", "5", "--end", "0x7FFF", "--extra-address", "9:0x4000:0xBFFF"});
  ASSERT_TRUE(sim.Started());
  std::string path;
  ASSERT_TRUE(sim.Line(false, path));
  for (const auto& [address, expected] :
       {std::pair{"5", "StartSoundAddr=12288 EndSoundAddr=32767 Size=20480"},
        std::pair{"9", "StartSoundAddr=16384 EndSoundAddr=49151 Size=32768"}}) {
    TChild cli({kCli, "-p", path, "-a", address, "range"});
    ASSERT_TRUE(cli.Started());
    EXPECT_EQ(cli.Rest(false), std::string(expected) + "\n");
    EXPECT_EQ(cli.Rest(true), "");
    EXPECT_EQ(cli.Wait(), 0);
  }
  TChild usage({kCli, "-a", "200", "range"});
  EXPECT_TRUE(Contains(usage.Rest(true), "dikton-cli: address 200 is outside 1 to 127\n"));
  EXPECT_EQ(usage.Wait(), 2);
  kill(sim.Pid(), SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
}

class CliProgramStop : public test::TCliTest {};

TEST_F(CliProgramStop, CtrlCStopsTheRunAndLetsTheDeviceGo) {
  auto o = test::SmallDevice(0x3200, 0x7FFF);
  o.LineTiming = true;  // a read that lasts: the interrupt lands in its middle
  Start(o);
  const std::string file = dir.File("memory.bin");
  TChild cli({kCli, "-p", Device->Path(), "read", file});
  ASSERT_TRUE(cli.Started());
  // Not a terminal: one line per tenth; the first one says the job runs.
  std::string line;
  bool running = false;
  while (!running && cli.Line(true, line)) running = Contains(line, "Выполнено: 1");
  ASSERT_TRUE(running);
  ASSERT_EQ(kill(cli.Pid(), SIGINT), 0);
  const std::string rest = cli.Rest(true);
  EXPECT_EQ(cli.Wait(), 130) << rest;
  EXPECT_TRUE(Contains(rest, "Вы действительно хотите остановить процесс? [Да]\n")) << rest;
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(LeftFastMode());
}

// The production record survives what the program cannot: a kill during the job leaves the
// lines written before it whole, and nothing of its own.
TEST_F(CliProgramStop, AKilledRunLeavesOnlyWholeLinesInTheLog) {
  auto o = test::SmallDevice(0x3200, 0x7FFF);
  o.LineTiming = true;
  Start(o);
  const std::string log = dir.File("production.jsonl");
  {
    TChild first({kCli, "-p", Device->Path(), "--log", log, "range"});
    ASSERT_TRUE(first.Started());
    EXPECT_EQ(first.Wait(), 0);
  }
  const std::vector<uint8_t> before = test::ReadBytes(log);
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(before.back(), '\n');
  TChild cli({kCli, "-p", Device->Path(), "--log", log, "read", dir.File("memory.bin")});
  ASSERT_TRUE(cli.Started());
  std::string line;
  bool running = false;
  while (!running && cli.Line(true, line)) running = Contains(line, "Выполнено: 1");
  ASSERT_TRUE(running);
  ASSERT_EQ(kill(cli.Pid(), SIGKILL), 0);
  EXPECT_EQ(cli.Wait(), -1);
  EXPECT_EQ(test::ReadBytes(log), before) << "the killed job wrote nothing, not half a line";
}

TEST(CliProgram, TwoProcessesAppendingAtOnceLeaveTwoWholeLines) {
  test::TTempDir dir;
  const std::string log = dir.File("shared.jsonl");
  TChild a({kCli, "--demo", "-q", "--log", log, "range"});
  TChild b({kCli, "--demo", "-q", "--log", log, "range"});
  ASSERT_TRUE(a.Started() && b.Started());
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(b.Wait(), 0);
  const std::vector<uint8_t> bytes = test::ReadBytes(log);
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_EQ(test::Count(text, "\n"), 2u) << text;
  ASSERT_EQ(text.back(), '\n');
  const size_t nl = text.find('\n');
  for (const std::string& l : {text.substr(0, nl), text.substr(nl + 1, text.size() - nl - 2)}) {
    EXPECT_EQ(l.front(), '{') << l;
    EXPECT_EQ(l.back(), '}') << l;
    EXPECT_TRUE(Contains(l, "\"command\":\"range\"")) << l;
    EXPECT_TRUE(Contains(l, "\"outcome\":\"done\"")) << l;
  }
}

}  // namespace
}  // namespace dikton
