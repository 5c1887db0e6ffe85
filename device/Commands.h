#pragma once
// The drive's command vocabulary: 12-byte CDB templates (parameters are patched in, most
// significant byte first), data directions and the sense conditions the command layer tests.
// The command operations themselves are members of AtapiDevice.
#include <array>
#include <cstddef>
#include <cstdint>

namespace zelfin {

using Cdb = std::array<uint8_t, 12>;

inline constexpr uint8_t kDirectionOut = 0; // host to drive, from writeBuffer
inline constexpr uint8_t kDirectionIn = 1;  // drive to host, into readBuffer
inline constexpr uint8_t kDirectionNone = 2;

namespace cdb {
inline constexpr Cdb kTestUnitReady{0x00};
inline constexpr Cdb kInquiry{0x12};
inline constexpr Cdb kStartStopUnit{0x1B};
inline constexpr Cdb kGetEventStatus{0x4A};
inline constexpr Cdb kReadBuffer{0x3C, 0x01, 0x01};
inline constexpr Cdb kWriteBuffer{0x3B, 0x05, 0x01};
inline constexpr Cdb kReadFlashId{0xDF, 0x11};
inline constexpr Cdb kDownloadBegin{0xF2, 0x01};
inline constexpr Cdb kDownloadPiece{0xF2, 0x03};
inline constexpr Cdb kDownloadEnd{0xF2, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};

// Patches the low `bytes` bytes of value into cdb[at...], most significant byte first.
constexpr void PutBigEndian(Cdb& out, int at, int bytes, uint32_t value) {
    for (int i = bytes - 1; i >= 0; --i) {
        out[static_cast<std::size_t>(at + i)] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}
} // namespace cdb

static_assert(cdb::kReadBuffer[1] == 0x01 && cdb::kWriteBuffer[1] == 0x05);
static_assert(cdb::kDownloadEnd[11] == 0x01);

inline constexpr uint32_t kInquiryLength = 96;
inline constexpr uint32_t kFlashIdLength = 128;
inline constexpr uint32_t kTrayStatusLength = 8;
inline constexpr uint8_t kMediaClassRequest = 0x10;

// WRITE BUFFER codes (byte 9).
inline constexpr uint8_t kWriteCodePiece = 0x00;
inline constexpr uint8_t kWriteCodeLoader = 0x7F;
inline constexpr uint8_t kWriteCodeCommit = 0x80;
inline constexpr uint8_t kWriteCodeCommitBootCode = 0xA0;

inline constexpr uint8_t kSenseNotReady = 0x2;
inline constexpr uint8_t kSenseUnitAttention = 0x6;
inline constexpr uint8_t kAscBecomingReady = 0x04;
inline constexpr uint8_t kAscMediumNotPresent = 0x3A;

// WaitReady polls every 300 ms; ClearUnitAttention gives up after this many attempts.
inline constexpr uint32_t kReadyPollMilliseconds = 300;
inline constexpr int kUnitAttentionAttempts = 100;
inline constexpr int kIdentityAttempts = 10;

} // namespace zelfin
