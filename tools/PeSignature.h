#pragma once
// The Authenticode signature of a Windows program: whether its security directory names a
// certificate table, and how to take the table out, so that filling a signed program never
// leaves a broken signature behind.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelfin::pack {

struct PeSignature {
    bool isPe = false;             // an MZ file with a PE header we can read
    bool present = false;          // the security directory names a certificate table
    std::size_t directoryAt = 0;   // file offset of the security directory entry
    std::uint32_t tableOffset = 0; // file offset of the certificate table
    std::uint32_t tableSize = 0;
    // End of the headers and of the last section's data; what the program needs to run. Past
    // the file's end when the section table cannot be read whole.
    std::uint64_t dataEnd = 0;
};

// Reads the headers within the file's bytes only; a file that is not a PE program is reported
// as such, never read past its end.
PeSignature findSignature(std::span<const std::uint8_t> file);

// Clears the security directory and removes the certificate table. The table must be the file's
// last bytes, as signing tools place it, and begin at or after both the program's data and
// `keepBefore` (the end of what the caller put into the file); a table said to start earlier
// would cut the program, so it is refused with a message and the file is left as it was.
bool dropSignature(std::vector<std::uint8_t>& file, std::size_t keepBefore, std::string& error);

} // namespace zelfin::pack
