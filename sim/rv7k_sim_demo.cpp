#include "rv7k_sim_demo.h"

namespace rv7ksim {
namespace {
// The sound area starts after the directory and the signature pointer (0x3000..0x31FF), so
// that "Записать звуки" can lay its fragments out on the demo device.
constexpr uint32_t kDemoStartSound = 0x3200;  // device address
constexpr uint32_t kDemoEndSound = 0xFFFFF;   // device address, inclusive
constexpr size_t kDemoMemorySize = 0x100000;  // bytes
constexpr double kDemoTurnaroundMs = 1.0;     // ms
}  // namespace

TSimOptions DemoOptions() {
  TSimOptions options;
  options.StartSound = kDemoStartSound;
  options.EndSound = kDemoEndSound;
  options.MemorySize = kDemoMemorySize;
  options.LineTiming = true;
  options.TurnaroundMs = kDemoTurnaroundMs;
  return options;
}

std::unique_ptr<TVirtualDevice> StartDemoDevice() {
  auto device = std::make_unique<TVirtualDevice>(DemoOptions());
  device->GenerateRealisticContent();
  if (!device->Start()) return nullptr;
  return device;
}

}  // namespace rv7ksim
