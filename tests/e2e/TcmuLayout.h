#pragma once
// The TCMU ring's shared layout, as the kernel's <linux/target_core_user.h> defines it (that
// header is C only: it redefines struct iovec and converts ints to enums). Only the outer
// structures are packed there, so the request's fields keep their natural alignment.
#include <cstddef>
#include <cstdint>

namespace zelfin::e2e {

inline constexpr uint16_t kTcmuMailboxVersion = 2;
inline constexpr uint16_t kTcmuCapReadLen = 1 << 1;
inline constexpr uint32_t kTcmuOpMask = 0x7;
inline constexpr uint32_t kTcmuOpCmd = 1;
inline constexpr uint8_t kTcmuReadLen = 0x2; // uflags: read_len is valid
inline constexpr std::size_t kTcmuSenseSize = 96;

struct TcmuMailbox {
    uint16_t version;
    uint16_t flags;
    uint32_t cmdrOff;
    uint32_t cmdrSize;
    uint32_t cmdHead;
    uint8_t pad[64 - 16]; // cmd_tail sits on its own cache line
    uint32_t cmdTail;
};

struct TcmuIovec {
    uint64_t base; // offset from the start of the mapping
    uint64_t length;
};

struct TcmuEntry {
    uint32_t lenOp;
    uint16_t cmdId;
    uint8_t kflags;
    uint8_t uflags;
    union {
        struct {
            uint32_t iovCount;
            uint32_t iovBidiCount;
            uint32_t iovDifCount;
            uint64_t cdbOff;
            uint64_t pad1;
            uint64_t pad2;
            TcmuIovec iov[1]; // iovCount of them
        } req;
        struct {
            uint8_t scsiStatus;
            uint8_t pad1;
            uint16_t pad2;
            uint32_t readLen;
            uint8_t sense[kTcmuSenseSize];
        } rsp;
    };
};

static_assert(offsetof(TcmuMailbox, cmdHead) == 12 && offsetof(TcmuMailbox, cmdTail) == 64);
static_assert(sizeof(TcmuIovec) == 16);
static_assert(offsetof(TcmuEntry, req.iovCount) == 8 && offsetof(TcmuEntry, req.cdbOff) == 24);
static_assert(offsetof(TcmuEntry, req.iov) == 48);
static_assert(offsetof(TcmuEntry, rsp.readLen) == 12 && offsetof(TcmuEntry, rsp.sense) == 16);

} // namespace zelfin::e2e
