#include <vector>

#include "rv7k_sim_demo.h"
#include "uDemo.h"

namespace dikton::cli {

std::shared_ptr<void> StartDemo(TPortMap& ports, uint8_t& port, std::string& error) {
  std::shared_ptr<rv7ksim::TVirtualDevice> device = rv7ksim::StartDemoDevice();
  if (!device) {
    error = "the virtual device could not get a pseudo-terminal";
    return nullptr;
  }
  ports.Map(rv7ksim::kDemoPort, device->Path());
  port = uint8_t(rv7ksim::kDemoPort);
  return device;
}

std::shared_ptr<void> StartDemos(int count, TPortMap& ports, std::string& error) {
  auto devices = std::make_shared<std::vector<std::unique_ptr<rv7ksim::TVirtualDevice>>>();
  for (int i = 0; i < count; ++i) {
    // The same sound range on each, so that one image fits them all; the content differs,
    // so that each device's read is its own.
    auto device = std::make_unique<rv7ksim::TVirtualDevice>(rv7ksim::DemoOptions());
    device->GenerateRealisticContent(uint32_t(i + 1));
    if (!device->Start()) {
      error = "the virtual device could not get a pseudo-terminal";
      return nullptr;
    }
    ports.Map(i + 1, device->Path());
    devices->push_back(std::move(device));
  }
  return devices;
}

}  // namespace dikton::cli
