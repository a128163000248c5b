// The built program itself: its exit status, its streams, Ctrl+C, and rv7k-sim's extra
// addresses from its command line.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CliFixture.h"
#include "TermScreen.h"
#include "uPortList.h"

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

// The program with its stderr on a terminal 'columns' wide (a pseudo-terminal in raw mode, so
// that what it sends arrives as sent) and its stdout on a pipe.
struct TTerminalRun {
  std::string Sent, Out;
  int Status = -1;
};
TTerminalRun RunOnTerminal(const std::vector<std::string>& argv, unsigned short columns) {
  TTerminalRun run;
  int master = -1, slave = -1, out[2];
  winsize size{};
  size.ws_col = columns;
  size.ws_row = 40;
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0 || pipe(out) != 0) return run;
  termios mode{};
  tcgetattr(slave, &mode);
  cfmakeraw(&mode);
  tcsetattr(slave, TCSANOW, &mode);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(slave, STDERR_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (int fd : {master, slave, out[0], out[1]}) close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(slave);
  close(out[1]);
  // Both read as they come, so that neither the terminal nor the pipe fills up; the terminal
  // ends with EIO once the program has closed it.
  pollfd fds[2] = {{master, POLLIN, 0}, {out[0], POLLIN, 0}};
  std::string* into[2] = {&run.Sent, &run.Out};
  for (int open = 2; open > 0;) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, size_t(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(master);
  close(out[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.Status = WEXITSTATUS(status);
  return run;
}

// A row of the station as the terminal shows it, read back into the port's state.
struct TRowState {
  std::string Port, Address, Phase, Rest;
};
TRowState ParseRow(const std::string& line) {
  TRowState r;
  std::istringstream in(line);
  in >> r.Port >> r.Address;
  std::getline(in >> std::ws, r.Rest);
  for (const char* phase : {"ждёт прибор", "чтение", "запись", "проверка", "готово", "ошибка"}) {
    if (r.Rest.rfind(phase, 0) == 0) {
      r.Phase = phase;
      r.Rest = r.Rest.substr(r.Phase.size());
    }
  }
  return r;
}

size_t Chars(const std::string& utf8) {
  size_t n = 0;
  for (char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

TEST(CliProgram, OnATerminalEveryPortHasOneRowRedrawnInPlaceAndTheMessagesFollow) {
  test::TTempDir dir;
  std::vector<std::unique_ptr<rv7ksim::TVirtualDevice>> devices;
  for (int i = 0; i < 2; ++i) {
    devices.push_back(std::make_unique<rv7ksim::TVirtualDevice>(test::SmallDevice(0x3200, 0x3FFF)));
    ASSERT_TRUE(devices.back()->Start());
  }
  devices[1]->AddFault({rv7ksim::TFaultKind::Silence, 0, 0, -1, 0, 0});
  TData image(0x4000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 5 + 1);
  const std::string file = dir.File("memory.bin");
  ASSERT_TRUE(WriteImageFile(file, 0x3200, 0x3FFF, image));
  constexpr unsigned short kColumns = 72;
  const auto run = RunOnTerminal(
      {kCli, "-p", devices[0]->Path(), "-p", devices[1]->Path(), "write", file}, kColumns);
  EXPECT_EQ(run.Status, 1) << run.Sent;

  const std::string done = cli::TPortSpec{0, devices[0]->Path()}.Name();
  const std::string silent = cli::TPortSpec{0, devices[1]->Path()}.Name();
  EXPECT_TRUE(Contains(run.Sent, "\x1b[2A")) << "the two rows are redrawn where they stand";
  const auto screen = test::TermScreen(run.Sent);
  ASSERT_GE(screen.size(), 2u) << run.Sent;
  for (const std::string& line : screen) EXPECT_LT(Chars(line), kColumns) << line;
  const TRowState first = ParseRow(screen[0]), second = ParseRow(screen[1]);
  EXPECT_EQ(first.Port, done);
  EXPECT_EQ(first.Address, "a127");
  EXPECT_EQ(first.Phase, "готово");
  EXPECT_TRUE(Contains(first.Rest, "done  [##########] 100% 8192/8192 B")) << first.Rest;
  EXPECT_EQ(second.Port, silent);
  EXPECT_EQ(second.Phase, "ошибка");
  EXPECT_TRUE(Contains(second.Rest, "no_answer  Прибор не отвечает!")) << second.Rest;
  // After the rows, what the ports' commands showed, each line naming its port (the two ports
  // ended in either order); the table goes to stdout.
  std::vector<std::string> messages(screen.begin() + 2, screen.end());
  std::sort(messages.begin(), messages.end());
  const std::vector<std::string> shown = {done + ": Ошибок: 0", done + ": Запись проведена успешно!",
                                          silent + ": Прибор не отвечает!"};
  std::vector<std::string> expected = shown;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(messages, expected);
  EXPECT_TRUE(Contains(run.Out, "devices done: 1, failed: 1\n")) << run.Out;
  EXPECT_EQ(run.Out.find('\x1b'), std::string::npos) << "no escapes where no terminal is";
}

}  // namespace
}  // namespace dikton
