// A virtual device on a pseudo-terminal mapped to COM1, and a link context that opens it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "rv7k_sim.h"
#include "uPortNames.h"
#include "uRV7K_v210_Sound.h"

namespace dikton::test {

inline rv7ksim::TSimOptions SmallDevice(uint32_t start = 0x3000, uint32_t end = 0x7FFF) {
  rv7ksim::TSimOptions o;
  o.MemorySize = 0x10000;
  o.StartSound = start;
  o.EndSound = end;
  o.Address = 127;
  // Room for the test's own thread to be late to its purge on a busy machine: a reply that
  // comes before it would be dropped and cost a retry.
  o.TurnaroundMs = 3.0;
  return o;
}

class TSimTest : public ::testing::Test {
 protected:
  void StartDevice(rv7ksim::TSimOptions o = SmallDevice()) {
    Device = std::make_unique<rv7ksim::TVirtualDevice>(o);
    ASSERT_TRUE(Device->Start());
    Ports.Map(1, Device->Path());
    Link.Ports = &Ports;
  }
  // A failed test shows what went over the line, both ways.
  void TearDown() override {
    if (!HasFailure() || !Device) return;
    for (const auto& e : Device->Transcript()) {
      std::printf("  %s %6d%s", e.FromHost ? "host  " : "device", e.Baud,
                  e.Ignored ? " ignored" : "        ");
      for (uint8_t b : e.Bytes) std::printf(" %02X", b);
      std::printf("\n");
    }
  }
  std::unique_ptr<rv7ksim::TVirtualDevice> Device;
  TPortMap Ports;
  TLinkContext Link;
};

}  // namespace dikton::test
