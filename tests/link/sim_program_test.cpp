// rv7k-sim as a technician starts it: it prints the path to open, answers there, and ends
// cleanly on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7K_v210_Sound.h"

namespace dikton {
namespace {

TEST(SimProgram, PrintsItsPathAnswersARangeQueryAndEndsOnSigterm) {
  const std::string exe = std::string(DIKTON_BINARY_DIR) + "/sim/rv7k-sim";
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(exe.c_str(), exe.c_str(), "--end", "0x7FFF", "--address", "3", nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string path;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
  close(out[0]);
  ASSERT_FALSE(path.empty()) << "no path printed";

  TPortMap ports;
  ports.Map(4, path);
  TLinkContext ctx;
  ctx.Ports = &ports;
  {
    TRV7KSoundThread link(nullptr, ctx);
    ASSERT_TRUE(link.OpenPort(4));
    link.SetBaudRate(kSlowBaud);
    TFrame reply;
    ASSERT_TRUE(link.Exchange(BuildRangeQuery(3), reply));
    const auto range = DecodeRangeReply(reply);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->Start, 0x3000u);
    EXPECT_EQ(range->End, 0x7FFFu);
  }
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace dikton
