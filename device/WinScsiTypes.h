#pragma once
// Request blocks exchanged with the OS pass-through driver and the ASPI manager, laid out
// byte for byte as on 32-bit Windows (pointer and handle fields are 4 bytes there).
//
// Pointer fields are kept as 32-bit storage. On the 32-bit target they hold the real address;
// on a 64-bit host they hold only its low half, so every seam call that carries a block also
// receives the real buffer (and event, and aborted request) beside it, and a platform uses
// those, never the stored value.
#include <cstddef>
#include <cstdint>

namespace zelfin {

// I/O control codes and constants of the pass-through driver.
inline constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
inline constexpr uint32_t kIoctlScsiGetAddress = 0x41018;
inline constexpr uint32_t kIoctlStorageQueryProperty = 0x2D1400;
inline constexpr uint8_t kScsiIoctlDataOut = 0;
inline constexpr uint8_t kScsiIoctlDataIn = 1;
inline constexpr uint8_t kScsiIoctlDataUnspecified = 2;
inline constexpr uint8_t kScsiStatusGood = 0x00;
inline constexpr uint8_t kScsiStatusCheckCondition = 0x02;

#pragma pack(push, 1)

struct ScsiPassThroughDirect {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint8_t alignment[3]; // natural padding of the Windows layout before the ULONG
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    uint32_t DataBuffer; // PVOID on the 32-bit target
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

// The 80-byte block handed to IOCTL_SCSI_PASS_THROUGH_DIRECT as input and output.
struct PassThroughBlock {
    ScsiPassThroughDirect sptd;
    uint8_t padding[4];
    uint8_t sense[24];
    uint8_t spare[8];
};

struct ScsiAddress {
    uint32_t Length;
    uint8_t PortNumber;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
};

// ASPI command codes, status codes and flags.
inline constexpr uint8_t kScHaInquiry = 0x00;
inline constexpr uint8_t kScGetDevType = 0x01;
inline constexpr uint8_t kScExecScsiCmd = 0x02;
inline constexpr uint8_t kScAbortSrb = 0x03;
inline constexpr uint8_t kSsPending = 0x00;
inline constexpr uint8_t kSsComp = 0x01;
inline constexpr uint8_t kSsAborted = 0x02;
inline constexpr uint8_t kSsErr = 0x04;
inline constexpr uint8_t kSsInvalidCmd = 0x80;
inline constexpr uint8_t kSsInvalidHa = 0x81;
inline constexpr uint8_t kSsNoDevice = 0x82;
inline constexpr uint8_t kSsInvalidSrb = 0xE0;
inline constexpr uint8_t kSsOldManager = 0xE1;
inline constexpr uint8_t kSsIllegalMode = 0xE2;
inline constexpr uint8_t kSsNoAspi = 0xE3;
inline constexpr uint8_t kSrbDirIn = 0x08;
inline constexpr uint8_t kSrbDirOut = 0x10;
inline constexpr uint8_t kSrbEventNotify = 0x40;
inline constexpr uint8_t kSenseLen = 14;
inline constexpr uint8_t kDtypeCdrom = 0x05;

struct SrbHaInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16];
    uint16_t HA_Rsvd1;
};

struct SrbGDevBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};

struct SrbExecScsiCmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint32_t SRB_BufPointer; // BYTE* on the 32-bit target
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    uint32_t SRB_PostProc; // event handle on the 32-bit target
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[kSenseLen + 2];
};

struct SrbAbort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint32_t SRB_ToAbort; // SRB* on the 32-bit target
};

#pragma pack(pop)

static_assert(sizeof(ScsiPassThroughDirect) == 44);
static_assert(offsetof(ScsiPassThroughDirect, DataIn) == 8);
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) == 12);
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) == 16);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 20);
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 28);
static_assert(sizeof(PassThroughBlock) == 80);
static_assert(offsetof(PassThroughBlock, sense) == 48);
static_assert(sizeof(ScsiAddress) == 8);
static_assert(sizeof(SrbHaInquiry) == 60);
static_assert(offsetof(SrbHaInquiry, HA_Count) == 8);
static_assert(sizeof(SrbGDevBlock) == 12);
static_assert(offsetof(SrbGDevBlock, SRB_DeviceType) == 10);
static_assert(sizeof(SrbExecScsiCmd) == 80);
static_assert(offsetof(SrbExecScsiCmd, SRB_BufLen) == 12);
static_assert(offsetof(SrbExecScsiCmd, SRB_BufPointer) == 16);
static_assert(offsetof(SrbExecScsiCmd, SRB_SenseLen) == 20);
static_assert(offsetof(SrbExecScsiCmd, SRB_PostProc) == 24);
static_assert(offsetof(SrbExecScsiCmd, CDBByte) == 48);
static_assert(offsetof(SrbExecScsiCmd, SenseArea) == 64);
static_assert(sizeof(SrbAbort) == 12);

// Offset of a pass-through block's sense buffer, as written into SenseInfoOffset.
inline constexpr uint32_t kPassThroughSenseOffset = offsetof(PassThroughBlock, sense);

} // namespace zelfin
