// One pass-through request as one SG_IO ioctl.
#include "platforms/linux/LinuxPlatform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace zelfin::linuxos {
namespace {

// The driver byte of sg_io_hdr's driver_status; DRIVER_SENSE only says sense data came back.
constexpr unsigned kDriverByteMask = 0x0F;
constexpr unsigned kDriverSense = 0x08;

// The host byte of a request the SCSI mid-layer timed out (DID_TIME_OUT).
constexpr unsigned kHostTimedOut = 0x03;

unsigned TimeoutMilliseconds(uint32_t seconds) {
    return static_cast<unsigned>(std::min<uint64_t>(uint64_t{seconds} * 1000u, UINT_MAX));
}

// The Windows code of a refused SG_IO: EPERM is a command the process lacks the rights for.
uint32_t IoErrorCode(int error) {
    switch (error) {
    case EINVAL:
        return kErrorInvalidParameter;
    case ENOTTY:
        return kErrorInvalidFunction;
    default:
        return OpenErrorCode(error);
    }
}

} // namespace

bool LinuxPlatform::ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer,
                                          uint32_t& lastError) {
    auto& request = block.sptd;
    lastError = kErrorSuccess;
    if (drive == kInvalidHandle || drive > static_cast<OsHandle>(INT32_MAX)) {
        lastError = kErrorInvalidHandle;
        return false;
    }
    if (request.CdbLength == 0 || request.CdbLength > sizeof(request.Cdb) ||
        request.DataIn > kScsiIoctlDataUnspecified ||
        request.SenseInfoOffset != kPassThroughSenseOffset) {
        lastError = kErrorInvalidParameter;
        return false;
    }
    const uint32_t length = request.DataTransferLength;
    const bool hasData =
        dataBuffer != nullptr && length != 0 && request.DataIn != kScsiIoctlDataUnspecified;

    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = !hasData                              ? SG_DXFER_NONE
                         : request.DataIn == kScsiIoctlDataOut ? SG_DXFER_TO_DEV
                                                               : SG_DXFER_FROM_DEV;
    io.cmd_len = request.CdbLength;
    io.mx_sb_len = static_cast<unsigned char>(
        std::min<std::size_t>(request.SenseInfoLength, sizeof(block.sense)));
    io.dxfer_len = hasData ? length : 0;
    io.dxferp = hasData ? dataBuffer : nullptr;
    io.cmdp = request.Cdb;
    io.sbp = block.sense;
    io.timeout = TimeoutMilliseconds(request.TimeOutValue);

    std::memset(block.sense, 0, sizeof(block.sense));
    // The kernel's residual count is no proof of what arrived (the ATAPI path reports 0 for a
    // short answer), so bytes the drive did not send read as zero, not as an older answer.
    if (hasData && io.dxfer_direction == SG_DXFER_FROM_DEV) {
        std::memset(dataBuffer, 0, length);
    }
    request.DataTransferLength = 0;
    if (const int error = calls_->SgIo(static_cast<int>(drive), io); error != 0) {
        lastError = IoErrorCode(-error);
        return false;
    }
    const unsigned driverByte = io.driver_status & kDriverByteMask;
    if (io.host_status != 0 || (driverByte != 0 && driverByte != kDriverSense)) {
        // Time-out, reset, lost device: the transport failed, and no sense speaks for the drive.
        std::memset(block.sense, 0, sizeof(block.sense));
        lastError = io.host_status == kHostTimedOut ? kErrorSemTimeout : kErrorIoDevice;
        return false;
    }
    request.ScsiStatus = io.status;
    // A command the drive did not complete moved nothing the caller may use, whatever the
    // residual says (it stays 0 for a refused command on every path).
    const int64_t residual = std::clamp<int64_t>(io.resid, 0, io.dxfer_len);
    request.DataTransferLength =
        io.status == kScsiStatusGood ? io.dxfer_len - static_cast<uint32_t>(residual) : 0;
    return true;
}

} // namespace zelfin::linuxos
