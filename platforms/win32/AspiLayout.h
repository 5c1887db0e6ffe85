#pragma once
// The ASPI request blocks as a manager of the target's own width reads them: byte-packed, with
// real pointers. On i686 they are the portable blocks of device/WinScsiTypes.h byte for byte
// (checked below); on x86_64 the platform translates to and from them.
#include "device/WinScsiTypes.h"

#include <cstddef>
#include <cstdint>

namespace zelfin::win32 {

#pragma pack(push, 1)

struct NativeSrbExecScsiCmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc; // the event to set, with SRB_EVENT_NOTIFY
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[kSenseLen + 2];
};

struct NativeSrbAbort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

#pragma pack(pop)

// The blocks without pointers are the same on both widths.
using NativeSrbHaInquiry = SrbHaInquiry;
using NativeSrbGDevBlock = SrbGDevBlock;

#if defined(__i386__)
static_assert(sizeof(NativeSrbExecScsiCmd) == sizeof(SrbExecScsiCmd));
static_assert(offsetof(NativeSrbExecScsiCmd, SRB_BufPointer) ==
              offsetof(SrbExecScsiCmd, SRB_BufPointer));
static_assert(offsetof(NativeSrbExecScsiCmd, SRB_SenseLen) ==
              offsetof(SrbExecScsiCmd, SRB_SenseLen));
static_assert(offsetof(NativeSrbExecScsiCmd, SRB_PostProc) ==
              offsetof(SrbExecScsiCmd, SRB_PostProc));
static_assert(offsetof(NativeSrbExecScsiCmd, CDBByte) == offsetof(SrbExecScsiCmd, CDBByte));
static_assert(offsetof(NativeSrbExecScsiCmd, SenseArea) == offsetof(SrbExecScsiCmd, SenseArea));
static_assert(sizeof(NativeSrbAbort) == sizeof(SrbAbort));
static_assert(offsetof(NativeSrbAbort, SRB_ToAbort) == offsetof(SrbAbort, SRB_ToAbort));
#endif

} // namespace zelfin::win32
