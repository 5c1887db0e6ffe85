#include "device/AtapiDevice.h"

#include <algorithm>
#include <cstring>

namespace zelfin {

using cdb::PutBigEndian;

bool AtapiDevice::TestUnitReady() {
    return ExecuteCommand(cdb::kTestUnitReady, kDirectionNone, 0);
}

bool AtapiDevice::Inquiry(uint8_t cmddt, uint8_t evpd, uint8_t page, uint8_t allocation,
                          uint8_t control) {
    Cdb command = cdb::kInquiry;
    command[1] = static_cast<uint8_t>(((cmddt & 1) << 1) | (evpd & 1));
    command[2] = page;
    command[4] = allocation;
    command[5] = control;
    return ExecuteCommand(command, kDirectionIn, allocation);
}

bool AtapiDevice::StartStopUnit(uint8_t immed, uint8_t power, uint8_t loej, uint8_t start) {
    Cdb command = cdb::kStartStopUnit;
    command[1] = immed & 1;
    command[4] = static_cast<uint8_t>(((power & 0x0F) << 4) | ((loej & 1) << 1) | (start & 1));
    return ExecuteCommand(command, kDirectionNone, 0);
}

bool AtapiDevice::GetEventStatus(uint8_t polled, uint8_t classes, uint16_t allocation,
                                 uint8_t control) {
    Cdb command = cdb::kGetEventStatus;
    command[1] = polled & 1;
    command[4] = classes;
    PutBigEndian(command, 7, 2, allocation);
    command[9] = control;
    return ExecuteCommand(command, kDirectionIn, allocation);
}

bool AtapiDevice::ReadBuffer(uint32_t offset, uint32_t length) {
    Cdb command = cdb::kReadBuffer;
    PutBigEndian(command, 3, 3, offset);
    PutBigEndian(command, 6, 3, length);
    return ExecuteCommand(command, kDirectionIn, length);
}

bool AtapiDevice::WriteBuffer(uint32_t offset, uint32_t length, uint8_t code) {
    Cdb command = cdb::kWriteBuffer;
    PutBigEndian(command, 3, 3, offset);
    PutBigEndian(command, 6, 3, length);
    command[9] = code;
    const bool commit = code == kWriteCodeCommit || code == kWriteCodeCommitBootCode;
    if (commit) {
        return ExecuteCommand(command, kDirectionNone, 0);
    }
    return ExecuteCommand(command, kDirectionOut, length);
}

bool AtapiDevice::ReadFlashId() {
    ClearReadBuffer(kFlashIdLength);
    if (!ExecuteCommand(cdb::kReadFlashId, kDirectionIn, kFlashIdLength)) {
        return false;
    }
    return std::any_of(readBuffer, readBuffer + kFlashIdLength, [](uint8_t b) { return b != 0; });
}

bool AtapiDevice::DownloadBegin() {
    return ExecuteCommand(cdb::kDownloadBegin, kDirectionNone, 0);
}

bool AtapiDevice::DownloadPiece(uint32_t offset, uint32_t length) {
    // The sum goes behind the piece, and length + 2 must fit the CDB's 16-bit field.
    const uint64_t sent = uint64_t{length} + 2;
    Cdb command = cdb::kDownloadPiece;
    PutBigEndian(command, 2, 4, offset);
    PutBigEndian(command, 8, 2, static_cast<uint32_t>(sent));
    if (writeBuffer == nullptr) {
        return Refuse(command.data(), kDirectionOut, static_cast<uint32_t>(sent),
                      Refusal::NoBuffer);
    }
    if (sent > writeCapacity || sent > 0xFFFF) {
        return Refuse(command.data(), kDirectionOut, static_cast<uint32_t>(sent),
                      Refusal::LengthAboveCapacity);
    }
    uint16_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) {
        sum = static_cast<uint16_t>(sum + writeBuffer[i]);
    }
    writeBuffer[length] = static_cast<uint8_t>(sum & 0xFF);
    writeBuffer[length + 1] = static_cast<uint8_t>(sum >> 8);
    return ExecuteCommand(command, kDirectionOut, static_cast<uint32_t>(sent));
}

bool AtapiDevice::DownloadEnd(uint32_t total) {
    Cdb command = cdb::kDownloadEnd;
    PutBigEndian(command, 6, 4, total);
    return ExecuteCommand(command, kDirectionNone, 0);
}

} // namespace zelfin
