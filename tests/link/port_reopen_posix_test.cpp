// The POSIX serial line's exclusive mode, as an ordinary user sees it. Not in the Windows build.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SimFixture.h"
#include "uSerialLine.h"

namespace dikton {
namespace {

using PosixPort = test::TSimTest;

// An ordinary user (root passes the exclusive mode anyway) opens the port again after closing it.
TEST_F(PosixPort, OrdinaryUserOpensThePortAgainAfterClosingIt) {
  StartDevice();
  auto openTwice = [this] {
    auto line = CreateSerialLine();
    if (!line->Open(Device->Path())) return false;
    line->Close();
    return line->Open(Device->Path());
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(openTwice());
    return;
  }
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chown(Device->Path().c_str(), kNobody, kNobody), 0);
  const pid_t child = ::fork();
  if (child == 0) _exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && openTwice() ? 0 : 1);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the second open was refused: the exclusive mode outlived the first";
}

}  // namespace
}  // namespace dikton
