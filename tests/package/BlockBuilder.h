#pragma once

// Builds package blocks in memory for the tests: the template, then fields set by hand.

#include "package/PackageBlock.h"
#include "package/PackageTemplate.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace zelfin::test {

// Writes the text and NUL padding; a text as long as the field leaves no NUL at all.
template <std::size_t N> void setField(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

inline std::unique_ptr<PackageBlock> templateBlock() {
    auto block = std::make_unique<PackageBlock>();
    writeTemplate(*block);
    return block;
}

// A template whose image is filled and whose bank count is `banks`, every slot still unfilled.
inline std::unique_ptr<PackageBlock> filledBlock(int banks = 1) {
    auto block = templateBlock();
    std::memset(block->FW_IMAGE, 0x5A, kImageSize);
    char count[] = "HOW_MANY_BIN=0";
    count[13] = static_cast<char>('0' + banks);
    setField(block->HOW_MANY_BIN, count);
    return block;
}

inline void setSlot(PackageBlock& block, int group, int slot, std::string_view from,
                    std::string_view to, std::string_view vendor, std::string_view product) {
    ConstraintSlot& s = block.constraints[group - 1][slot - 1];
    setField(s.FW_FROM, from);
    setField(s.FW_TO, to);
    setField(s.VENDOR, vendor);
    setField(s.PRODUCT, product);
}

inline constexpr std::string_view kVendor = "BRYMOTE ";
inline constexpr std::string_view kProduct = "DVDRW RVM-270A  ";

} // namespace zelfin::test
