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

}  // namespace dikton::cli
