// --demo: the built-in virtual device, where the platform has one (uDemoPosix.cpp), mapped to
// the port the run opens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "uPortNames.h"

namespace dikton::cli {

// A handle that keeps the device running; nullptr with 'error' set when there is none.
std::shared_ptr<void> StartDemo(TPortMap& ports, uint8_t& port, std::string& error);
// 'count' devices on ports 1 to count, each with content of its own; one handle keeps them all.
std::shared_ptr<void> StartDemos(int count, TPortMap& ports, std::string& error);

}  // namespace dikton::cli
