// The demo device that the programs start for --demo: a full-size memory with realistic content,
// line timing as on a real wire, and a sound area that "Записать звуки" can lay fragments out in.
#pragma once

#include <memory>

#include "rv7k_sim.h"

namespace rv7ksim {

inline constexpr int kDemoPort = 1;  // the port number the programs map to the demo device

TSimOptions DemoOptions();
// Started and filled; nullptr when no pseudo-terminal can be had.
std::unique_ptr<TVirtualDevice> StartDemoDevice();

}  // namespace rv7ksim
