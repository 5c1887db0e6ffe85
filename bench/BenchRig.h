#pragma once
// A simulated machine with `drives` drives of the supported model, each with a flash that holds
// the old firmware, and the image the package ships. Command costs are zero or the simulator's
// realistic ones, scaled.

#include "sim/SimFlash.h"
#include "sim/SimMachine.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zelfin::bench {

inline constexpr int32_t kImageBytes = 1048576;
inline constexpr uint32_t kImagePieces = 256;
inline constexpr sim::FlashId kChip{0xBF, 0xD6, 0x00, 0x01};

// The image the job writes (built once).
const std::vector<uint8_t>& NewImage();

struct BenchRig {
    // costScale 0: every command is free; 1: the simulator's realistic costs.
    BenchRig(int drives, double costScale);

    sim::SimMachine machine;
    std::vector<sim::SimDrive*> drives;
    std::vector<sim::SimFlash*> flashes;
};

} // namespace zelfin::bench
