#pragma once
// SHA-256 (FIPS 180-4). Our own: the program links nothing but the system's libraries, and the
// oldest systems it runs on have no SHA-256 of their own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelfin {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    Sha256Digest finish();

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

Sha256Digest sha256(std::span<const std::uint8_t> bytes);

} // namespace zelfin
