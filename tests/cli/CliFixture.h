// Runs dikton-cli in-process against a virtual device on a pseudo-terminal, with the streams
// captured and the signature date fixed.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../sound/SoundFixtures.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "WorkerRun.h"
#include "uCli.h"
#include "uImageFile.h"

namespace dikton::test {

struct TCliResult {
  int Status = -1;
  std::string Out, Err;
};

class TCliTest : public TSimTest {
 protected:
  // The device's options: small memory, content generated from seed 5 over a fill of 0xEE.
  void Start(rv7ksim::TSimOptions o = SmallDevice(0x3200, 0x3FFF)) {
    o.FillByte = 0xEE;
    StartDevice(o);
    Device->GenerateRealisticContent(5);
  }
  // Runs "dikton-cli --port <device> args...".
  TCliResult Run(std::vector<std::string> args, cli::TStopRequest* stop = nullptr) {
    if (Device) args.insert(args.begin(), {"--port", Device->Path()});
    return RunBare(args, stop);
  }
  TCliResult RunBare(const std::vector<std::string>& args, cli::TStopRequest* stop = nullptr) {
    std::ostringstream out, err;
    cli::TCliEnv env(out, err);
    env.Stop = stop;
    env.Link.Clock = &clock;
    TCliResult r;
    r.Status = cli::RunCli(args, env);
    r.Out = out.str();
    r.Err = err.str();
    return r;
  }
  // The image file of the device's memory 0..end with its range.
  std::string SaveDeviceImage(const std::string& name, uint32_t start = 0x3200,
                              uint32_t end = 0x3FFF) {
    TData image = Device->Memory();
    image.resize(size_t(end) + 1);
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteImageFile(path, start, end, image));
    return path;
  }
  bool LeftFastMode() const {
    const auto r = Requests(*Device);
    return !r.empty() && r.back()[3] == kCmdModeSwitch && r.back()[5] == kModeLeave;
  }

  TFixedDateClock clock;
  TTempDir dir;
};

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

}  // namespace dikton::test
