#pragma once
// Operating-system family: which transport the drives are reached through.
#include <cstdint>

namespace zelfin {

class Platform;

class OSInfo {
public:
    explicit OSInfo(Platform& platform);

    uint8_t isNtFamily = 0;
};

} // namespace zelfin
