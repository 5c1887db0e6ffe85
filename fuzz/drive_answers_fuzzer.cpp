// Arbitrary drive answers during the start-up scan and a flash job: each command's answer from a
// simulated drive of the supported model may be replaced, from the input, by another status,
// other sense bytes, other data, any transferred length, or a failed I/O control. The buffer
// the OS fills is never written past the length asked for, as the real driver guarantees.

#include "device/AtapiDevice.h"
#include "flash/FlashJob.h"
#include "flash/Programming.h"
#include "sim/SimFlash.h"
#include "sim/SimMachine.h"
#include "tools/TestPackage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace zelfin;

class AnswerStream {
public:
    AnswerStream(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | byte();
        }
        return value;
    }
    // Up to `most` bytes of the input.
    std::size_t copy(std::uint8_t* to, std::size_t most) {
        const std::size_t n = std::min(most, size_ - std::min(at_, size_));
        std::memcpy(to, data_ + at_, n);
        at_ += n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class AnsweringMachine final : public sim::SimMachine {
public:
    explicit AnsweringMachine(AnswerStream& answers) : answers_(answers) {}

    bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer,
                               std::uint32_t& lastError) override {
        const std::uint32_t asked = block.sptd.DataTransferLength;
        const bool dataIn = block.sptd.DataIn == kScsiIoctlDataIn && dataBuffer != nullptr;
        const bool ok = sim::SimMachine::ScsiPassThroughDirect(drive, block, dataBuffer, lastError);
        if (answers_.empty()) {
            return ok;
        }
        switch (answers_.byte() % 7) {
        case 0:
            return ok;
        case 1:
            block.sptd.ScsiStatus = answers_.byte();
            return ok;
        case 2:
            block.sptd.ScsiStatus = kScsiStatusCheckCondition;
            answers_.copy(block.sense,
                          std::min<std::size_t>(sizeof block.sense, block.sptd.SenseInfoLength));
            return ok;
        case 3:
            block.sptd.DataTransferLength = answers_.word();
            return ok;
        case 4:
            if (dataIn) {
                const std::size_t n = answers_.byte();
                answers_.copy(static_cast<std::uint8_t*>(dataBuffer),
                              std::min<std::size_t>(n, asked));
            }
            return ok;
        case 5:
            block.sptd.SenseInfoLength = answers_.byte();
            return ok;
        default:
            lastError = answers_.byte(); // a refusal by the system or a failure below the drive
            return false;
        }
    }

private:
    AnswerStream& answers_;
};

const std::vector<std::uint8_t>& oldImage() {
    static const std::vector<std::uint8_t> image =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kOldRevision);
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> newImage =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kNewRevision);
    AnswerStream answers(data, size);
    const std::uint8_t shape = answers.byte();

    AnsweringMachine machine(answers);
    sim::SimDrive& drive = machine.NewDrive("D");
    sim::SimFlash::Install(drive, {0xBF, 0xD7, 0x00, 0x03}, oldImage());
    machine.AddOpticalLetter('D', drive, {1, 0, 0, 0});
    if ((shape & 1) != 0) {
        sim::SimDrive& other = machine.NewDrive("E");
        other.SetIdentity("OTHER", "DVD-ROM X16", "2.10");
        other.SetVendorCommands(false);
        machine.AddOpticalLetter('E', other, {1, 0, 1, 0});
    }

    AtapiDevice master(machine, true);
    const std::uint16_t count = master.GetDriveCount();
    if (count == 0) {
        return 0;
    }
    AtapiDevice job(machine, false);
    master.CopyStateTo(&job);
    if (!job.SelectDrive(static_cast<int16_t>((shape >> 1) % count))) {
        return 0;
    }
    // Two pieces the write-buffer way, or the download way.
    const bool download = (shape & 4) != 0;
    RunFlashJob(
        {&job, newImage.data(), download ? kDownloadImageLength : 2 * 4096, (shape & 8) != 0});
    return 0;
}
