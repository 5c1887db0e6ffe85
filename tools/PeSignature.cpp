#include "tools/PeSignature.h"

#include <algorithm>

namespace zelfin::pack {
namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;

bool readU16(std::span<const std::uint8_t> f, std::size_t at, std::uint16_t& value) {
    if (at > f.size() || f.size() - at < 2)
        return false;
    value = static_cast<std::uint16_t>(f[at] | f[at + 1] << 8);
    return true;
}

bool readU32(std::span<const std::uint8_t> f, std::size_t at, std::uint32_t& value) {
    if (at > f.size() || f.size() - at < 4)
        return false;
    value = std::uint32_t(f[at]) | std::uint32_t(f[at + 1]) << 8 | std::uint32_t(f[at + 2]) << 16 |
            std::uint32_t(f[at + 3]) << 24;
    return true;
}

void writeU32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        f[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The end of the headers and of every section's raw data; past the file when a section header
// cannot be read, so that nothing is ever judged safe to cut on a guess.
std::uint64_t dataEnd(std::span<const std::uint8_t> f, std::size_t peAt, std::size_t optional) {
    const std::uint64_t unreadable = std::uint64_t(f.size()) + 1;
    std::uint16_t sections = 0;
    std::uint16_t optionalSize = 0;
    std::uint32_t headersSize = 0;
    if (!readU16(f, peAt + 4 + 2, sections) || !readU16(f, peAt + 4 + 16, optionalSize) ||
        !readU32(f, optional + 60, headersSize))
        return unreadable;
    const std::size_t table = optional + optionalSize;
    std::uint64_t end = std::max<std::uint64_t>(headersSize, table + sections * kSectionHeaderSize);
    for (std::size_t i = 0; i < sections; ++i) {
        std::uint32_t rawSize = 0;
        std::uint32_t rawAt = 0;
        if (!readU32(f, table + i * kSectionHeaderSize + 16, rawSize) ||
            !readU32(f, table + i * kSectionHeaderSize + 20, rawAt))
            return unreadable;
        if (rawSize != 0)
            end = std::max(end, std::uint64_t(rawAt) + rawSize);
    }
    return end;
}

} // namespace

PeSignature findSignature(std::span<const std::uint8_t> file) {
    PeSignature sig;
    std::uint32_t peAt = 0;
    std::uint32_t peMagic = 0;
    if (file.size() < 2 || file[0] != 'M' || file[1] != 'Z' || !readU32(file, 0x3C, peAt) ||
        !readU32(file, peAt, peMagic) || peMagic != 0x00004550)
        return sig;
    const std::size_t optional = std::size_t(peAt) + 4 + kCoffHeaderSize;
    std::uint16_t magic = 0;
    if (!readU16(file, optional, magic) || (magic != kPe32Magic && magic != kPe32PlusMagic))
        return sig;
    // The count of directories and the directories themselves sit 16 bytes further on in PE32+.
    const std::size_t countAt = optional + (magic == kPe32Magic ? 92 : 108);
    std::uint32_t directories = 0;
    if (!readU32(file, countAt, directories))
        return sig;
    sig.isPe = true;
    sig.dataEnd = dataEnd(file, peAt, optional);
    if (directories <= kSecurityDirectory)
        return sig;
    sig.directoryAt = countAt + 4 + kSecurityDirectory * 8;
    if (!readU32(file, sig.directoryAt, sig.tableOffset) ||
        !readU32(file, sig.directoryAt + 4, sig.tableSize)) {
        sig.isPe = false;
        return sig;
    }
    sig.present = sig.tableOffset != 0 || sig.tableSize != 0;
    return sig;
}

bool dropSignature(std::vector<std::uint8_t>& file, std::size_t keepBefore, std::string& error) {
    const PeSignature sig = findSignature(file);
    if (!sig.present)
        return true;
    const std::string table = "the certificate table (file offset " +
                              std::to_string(sig.tableOffset) + ", " +
                              std::to_string(sig.tableSize) + " bytes)";
    const std::uint64_t end = std::uint64_t(sig.tableOffset) + sig.tableSize;
    if (end != file.size()) {
        error = table + " is not at the end of the file, where signing tools put it";
        return false;
    }
    const std::uint64_t needed =
        std::max({std::uint64_t(sig.directoryAt) + 8, sig.dataEnd, std::uint64_t(keepBefore)});
    if (sig.tableOffset < needed) {
        error = table +
                " would begin inside the program, whose headers, sections and package "
                "reach file offset " +
                std::to_string(needed) + "; dropping it would cut the program";
        return false;
    }
    file.resize(sig.tableOffset);
    writeU32(file, sig.directoryAt, 0);
    writeU32(file, sig.directoryAt + 4, 0);
    return true;
}

} // namespace zelfin::pack
