#include "uDemo.h"

namespace dikton::cli {

// The virtual device lives on a pseudo-terminal, which Windows does not have.
std::shared_ptr<void> StartDemo(TPortMap&, uint8_t&, std::string& error) {
  error = "--demo is not available on Windows";
  return nullptr;
}

std::shared_ptr<void> StartDemos(int, TPortMap&, std::string& error) {
  error = "--demo is not available on Windows";
  return nullptr;
}

}  // namespace dikton::cli
