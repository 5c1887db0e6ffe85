// The Linux platform and session without a device: their raw calls answered by a fake, sysfs and
// /dev laid out in a temporary folder.
#include "platforms/linux/LinuxPlatform.h"
#include "device/AtapiDevice.h"
#include "device/Commands.h"
#include "platforms/linux/LinuxSession.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/capability.h>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace zelfin::linuxos {
namespace {

namespace fs = std::filesystem;

constexpr int kFd = 7;

struct FakeCalls final : LinuxCalls {
    std::vector<std::string> opened;
    int openFlags = 0;
    std::optional<int> openResult; // by default descriptor 10 + N for srN
    std::vector<int> closed;
    int sgIoCalls = 0;
    int sgIoResult = 0;
    sg_io_hdr_t seen{};
    std::vector<uint8_t> seenCdb;
    // Plays the drive and the kernel: fills status, sense, data and resid of the request.
    std::function<void(sg_io_hdr_t&)> answer = [](sg_io_hdr_t&) {};
    unsigned major = 11; // srN is 11:N
    std::set<int> capabilities{CAP_SYS_RAWIO, CAP_SYS_BOOT};
    std::vector<std::string> ran;
    std::vector<std::string> programs; // present programs, each exiting with runStatus
    int runStatus = 0;

    int Open(const char* path, int flags) override {
        opened.emplace_back(path);
        openFlags = flags;
        return openResult ? *openResult : 10 + (path[std::strlen(path) - 1] - '0');
    }
    void Close(int fd) override { closed.push_back(fd); }
    int SgIo(int, sg_io_hdr_t& request) override {
        ++sgIoCalls;
        seen = request;
        const auto* cdb = static_cast<const uint8_t*>(request.cmdp);
        seenCdb.assign(cdb, cdb + request.cmd_len);
        if (sgIoResult == 0) {
            answer(request);
        }
        return sgIoResult;
    }
    int DeviceNumber(int fd, unsigned& outMajor, unsigned& outMinor) override {
        outMajor = major;
        outMinor = static_cast<unsigned>(fd - 10);
        return 0;
    }
    bool HasCapability(int capability) override { return capabilities.count(capability) != 0; }
    int Run(const char* const argv[]) override {
        std::string line = argv[0];
        for (const char* const* arg = argv + 1; *arg != nullptr; ++arg) {
            line += std::string(" ") + *arg;
        }
        ran.push_back(line);
        for (const std::string& program : programs) {
            if (program == argv[0]) {
                return runStatus;
            }
        }
        return -ENOENT;
    }
};

class LinuxPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("zelfin-linux-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        for (const char* name : {"sr1", "sr0", "sr12", "loop0", "vda", "srx"}) {
            fs::create_directories(root_ / "sys/class/block" / name);
        }
        Link("11:0", "../../../2:0:1:0");
        platform_ = std::make_unique<LinuxPlatform>(calls_, root_.string());
        session_ = std::make_unique<LinuxSession>(calls_, root_.string());
    }
    void TearDown() override { fs::remove_all(root_); }

    void Link(const std::string& device, const std::string& target) {
        fs::create_directories(root_ / "sys/dev/block" / device);
        fs::remove(root_ / "sys/dev/block" / device / "device");
        fs::create_directory_symlink(target, root_ / "sys/dev/block" / device / "device");
    }

    static PassThroughBlock Block(uint8_t dataIn, uint32_t length, uint32_t timeoutSeconds) {
        PassThroughBlock block{};
        block.sptd.Length = sizeof(block.sptd);
        block.sptd.CdbLength = 12;
        block.sptd.SenseInfoLength = sizeof(block.sense);
        block.sptd.DataIn = dataIn;
        block.sptd.DataTransferLength = length;
        block.sptd.TimeOutValue = timeoutSeconds;
        block.sptd.SenseInfoOffset = kPassThroughSenseOffset;
        const uint8_t cdb[12] = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x10, 0, 0, 0, 0};
        std::memcpy(block.sptd.Cdb, cdb, sizeof cdb);
        return block;
    }

    fs::path root_;
    FakeCalls calls_;
    std::unique_ptr<LinuxPlatform> platform_;
    std::unique_ptr<LinuxSession> session_;
};

TEST_F(LinuxPlatformTest, ListsTheOpticalDrivesThatFitARootInKernelOrder) {
    const uint32_t needed = platform_->GetLogicalDriveStrings(0, nullptr);
    ASSERT_EQ(needed, 9u); // "sr0\0sr1\0\0"; sr12 does not fit a root, the rest are no drives
    char small[4] = {};
    EXPECT_EQ(platform_->GetLogicalDriveStrings(sizeof small, small), needed);
    char list[16];
    std::memset(list, 'x', sizeof list);
    EXPECT_EQ(platform_->GetLogicalDriveStrings(sizeof list, list), 8u);
    EXPECT_EQ(std::string(list, 9), std::string("sr0\0sr1\0\0", 9));

    EXPECT_EQ(platform_->GetDriveType("sr1"), kDriveCdrom);
    for (const char* other : {"sr2", "loop0", "sr01", "D:\\", "sr0/../vda", ""}) {
        EXPECT_EQ(platform_->GetDriveType(other), kDriveNoRootDir) << other;
    }
    fs::remove_all(root_ / "sys/class/block");
    EXPECT_EQ(platform_->GetLogicalDriveStrings(0, nullptr), 0u);
}

TEST_F(LinuxPlatformTest, OpensADriveOnlyWithTheRightsToProgramIt) {
    struct Case {
        const char* what;
        const char* path;
        int openResult;
        bool rawIo;
        uint32_t error; // 0: opened
        bool openTried;
    };
    const Case cases[] = {
        {"opened", "\\\\.\\sr0", kFd, true, 0, true},
        {"refused by the node's mode", "\\\\.\\sr0", -EACCES, true, kErrorAccessDenied, true},
        {"refused by the kernel", "\\\\.\\sr0", -EPERM, true, kErrorAccessDenied, true},
        {"opened without CAP_SYS_RAWIO", "\\\\.\\sr0", kFd, false, kErrorAccessDenied, true},
        {"missing node", "\\\\.\\sr1", -ENOENT, true, kErrorFileNotFound, true},
        {"gone device", "\\\\.\\sr1", -ENXIO, true, kErrorDeviceNotConnected, true},
        {"busy", "\\\\.\\sr1", -EBUSY, true, kErrorGenFailure, true},
        {"drive letter", "\\\\.\\D:", kFd, true, kErrorFileNotFound, false},
        {"path outside /dev", "\\\\.\\sr0/../../etc/passwd", kFd, true, kErrorFileNotFound, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls_ = FakeCalls{};
        calls_.openResult = c.openResult;
        if (!c.rawIo) {
            calls_.capabilities.erase(CAP_SYS_RAWIO);
        }
        const OpenResult result = platform_->CreateFile(c.path);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.handle, c.error == 0 ? OsHandle{kFd} : kInvalidHandle);
        ASSERT_EQ(calls_.opened.size(), c.openTried ? 1u : 0u);
        if (c.openTried) {
            EXPECT_EQ(calls_.opened[0], (root_ / "dev" / (c.path + 4)).string());
            EXPECT_EQ(calls_.openFlags & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
        }
        // A descriptor that was opened and then refused is closed again.
        EXPECT_EQ(calls_.closed.size(),
                  (c.openTried && c.openResult >= 0 && c.error != 0) ? 1u : 0u);
    }
}

TEST_F(LinuxPlatformTest, HoldsADriveByAnExclusiveOpenThatAMountOrAnotherHolderRefuses) {
    struct Case {
        const char* what;
        const char* root;
        int openResult;
        OsHandle handle;
        uint32_t error;
    };
    const Case cases[] = {
        {"held", "sr0", kFd, OsHandle{kFd}, 0},
        {"mounted or held elsewhere", "sr0", -EBUSY, kInvalidHandle, kErrorBusy},
        {"no rights", "sr1", -EACCES, kInvalidHandle, kErrorAccessDenied},
        {"not a drive name", "sr0/../vda", kFd, kInvalidHandle, kErrorFileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls_ = FakeCalls{};
        calls_.openResult = c.openResult;
        const OpenResult held = session_->HoldDrive(DriveName{c.root, 2, 0, 1, 0}, kFd + 1);
        EXPECT_EQ(held.handle, c.handle);
        EXPECT_EQ(held.error, c.error);
        if (c.error != kErrorFileNotFound) {
            ASSERT_EQ(calls_.opened.size(), 1u);
            EXPECT_EQ(calls_.opened[0], (root_ / "dev" / c.root).string());
            EXPECT_EQ(calls_.openFlags & (O_EXCL | O_NONBLOCK), O_EXCL | O_NONBLOCK);
        }
    }
    calls_ = FakeCalls{};
    session_->ReleaseDrive(kFd);
    EXPECT_EQ(calls_.closed, std::vector<int>{kFd});
}

TEST_F(LinuxPlatformTest, TakesTheScsiAddressFromTheSysfsName) {
    ScsiAddress address{};
    ASSERT_TRUE(platform_->ScsiGetAddress(10, address));
    EXPECT_EQ(address.Length, sizeof(ScsiAddress));
    EXPECT_EQ(address.PortNumber, 2);
    EXPECT_EQ(address.PathId, 0);
    EXPECT_EQ(address.TargetId, 1);
    EXPECT_EQ(address.Lun, 0);

    // Names the address bytes cannot hold, or no SCSI name at all: the address is unknown.
    for (const char* bad : {"../../../256:0:0:0", "../../../1:0:0", "../../../1:0:0:0x",
                            "../../../ata1", "../../../1:-1:0:0"}) {
        Link("11:0", bad);
        EXPECT_FALSE(platform_->ScsiGetAddress(10, address)) << bad;
    }
    EXPECT_FALSE(platform_->ScsiGetAddress(15, address)); // no such device in sysfs
}

TEST_F(LinuxPlatformTest, BuildsOneSgIoRequestFromThePassThroughBlock) {
    struct Case {
        const char* what;
        uint8_t dataIn;
        uint32_t length;
        bool buffer;
        int direction;
        unsigned dxferLength;
    };
    const Case cases[] = {
        {"data out", kScsiIoctlDataOut, 4096, true, SG_DXFER_TO_DEV, 4096},
        {"data in", kScsiIoctlDataIn, 96, true, SG_DXFER_FROM_DEV, 96},
        {"data in of length 0", kScsiIoctlDataIn, 0, true, SG_DXFER_NONE, 0},
        {"no data despite a length", kScsiIoctlDataUnspecified, 512, true, SG_DXFER_NONE, 0},
        {"no buffer", kScsiIoctlDataIn, 96, false, SG_DXFER_NONE, 0},
    };
    uint8_t data[4096];
    uint32_t error = kErrorSuccess;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PassThroughBlock block = Block(c.dataIn, c.length, 108000);
        ASSERT_TRUE(platform_->ScsiPassThroughDirect(kFd, block, c.buffer ? data : nullptr, error));
        const sg_io_hdr_t& io = calls_.seen;
        EXPECT_EQ(io.interface_id, 'S');
        EXPECT_EQ(io.dxfer_direction, c.direction);
        EXPECT_EQ(io.dxfer_len, c.dxferLength);
        EXPECT_EQ(io.dxferp, c.dxferLength != 0 ? data : nullptr);
        EXPECT_EQ(calls_.seenCdb, std::vector<uint8_t>(block.sptd.Cdb, block.sptd.Cdb + 12));
        EXPECT_EQ(io.sbp, block.sense);
        EXPECT_EQ(io.mx_sb_len, sizeof(block.sense));
        EXPECT_EQ(io.timeout, 108'000'000u);
    }
    // The time-out in milliseconds, clamped to what the field holds.
    for (const auto& [seconds, milliseconds] :
         {std::pair{5u, 5000u}, std::pair{4'294'967u, 4'294'967'000u},
          std::pair{4'294'968u, UINT_MAX}, std::pair{UINT32_MAX, UINT_MAX}}) {
        PassThroughBlock block = Block(kScsiIoctlDataUnspecified, 0, seconds);
        platform_->ScsiPassThroughDirect(kFd, block, nullptr, error);
        EXPECT_EQ(calls_.seen.timeout, milliseconds) << seconds;
    }
    // Blocks no driver would take never reach the kernel.
    const int before = calls_.sgIoCalls;
    PassThroughBlock longCdb = Block(kScsiIoctlDataIn, 96, 1);
    longCdb.sptd.CdbLength = 17;
    PassThroughBlock badDirection = Block(3, 96, 1);
    EXPECT_FALSE(platform_->ScsiPassThroughDirect(kFd, longCdb, data, error));
    EXPECT_EQ(error, kErrorInvalidParameter);
    EXPECT_FALSE(platform_->ScsiPassThroughDirect(kFd, badDirection, data, error));
    EXPECT_EQ(error, kErrorInvalidParameter);
    EXPECT_FALSE(platform_->ScsiPassThroughDirect(kInvalidHandle, badDirection, data, error));
    EXPECT_EQ(error, kErrorInvalidHandle);
    EXPECT_EQ(calls_.sgIoCalls, before);
}

TEST_F(LinuxPlatformTest, AShortAnswerLeavesZerosWhateverTheResidualSays) {
    uint8_t data[96];
    uint32_t error = kErrorSuccess;
    for (const int resid : {0, 60}) { // the ATAPI path reports 0 although 36 bytes came
        SCOPED_TRACE(resid);
        std::memset(data, 0xAA, sizeof data);
        calls_.answer = [resid](sg_io_hdr_t& io) {
            std::memset(io.dxferp, 0x41, 36);
            io.resid = resid;
        };
        PassThroughBlock block = Block(kScsiIoctlDataIn, sizeof data, 10);
        ASSERT_TRUE(platform_->ScsiPassThroughDirect(kFd, block, data, error));
        EXPECT_EQ(block.sptd.DataTransferLength, 96u - static_cast<unsigned>(resid));
        EXPECT_EQ(data[35], 0x41);
        EXPECT_EQ(data[36], 0);
        EXPECT_EQ(data[95], 0);
    }
    // A refused command moved nothing, though the kernel's residual says all went.
    calls_.answer = [](sg_io_hdr_t& io) { io.status = kScsiStatusCheckCondition; };
    PassThroughBlock refused = Block(kScsiIoctlDataIn, sizeof data, 10);
    ASSERT_TRUE(platform_->ScsiPassThroughDirect(kFd, refused, data, error));
    EXPECT_EQ(refused.sptd.DataTransferLength, 0u);
}

// What the device layer makes of each outcome of one SG_IO request.
TEST_F(LinuxPlatformTest, OutcomesReachTheDeviceLayerAsTheSeamDefines) {
    AtapiDevice device(*platform_, true);
    ASSERT_TRUE(device.SelectDrive(0));

    struct Case {
        const char* what;
        int ioctlResult;
        unsigned host;
        unsigned driver;
        unsigned char status;
        uint8_t sense[3]; // key, ASC, ASCQ
        uint8_t resultCode;
        uint32_t transferred;
        CommandOutcome outcome;
    };
    using O = CommandOutcome;
    const Case cases[] = {
        {"good", 0, 0, 0, 0, {0, 0, 0}, 1, 4096, O::Good},
        {"refused opcode", 0, 0, 0x08, 0x02, {5, 0x20, 0}, 2, 0, O::CheckCondition},
        {"sense key above the ILI bit", 0, 0, 0x08, 0x02, {0x25, 0x20, 0}, 2, 0, O::CheckCondition},
        {"check condition without sense", 0, 0, 0, 0x02, {0, 0, 0}, 0, 0, O::CheckCondition},
        {"busy", 0, 0, 0, 0x08, {0, 0, 0}, 0, 0, O::OtherStatus},
        {"kernel command filter (EPERM)", -EPERM, 0, 0, 0, {0, 0, 0}, 0, 0, O::OsRefused},
        {"device gone", -ENODEV, 0, 0, 0, {0, 0, 0}, 0, 0, O::NoAnswer},
        {"host time-out", 0, 0x03, 0, 0, {0, 0, 0}, 0, 0, O::NoAnswer},
        {"driver time-out", 0, 0, 0x06, 0, {0, 0, 0}, 0, 0, O::NoAnswer},
        {"bus reset with sense", 0, 0x08, 0x08, 0x02, {6, 0x29, 0}, 0, 0, O::NoAnswer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls_.sgIoResult = c.ioctlResult;
        calls_.answer = [&c](sg_io_hdr_t& io) {
            io.host_status = static_cast<unsigned short>(c.host);
            io.driver_status = static_cast<unsigned short>(c.driver);
            io.status = c.status;
            if (c.sense[0] != 0) {
                io.sbp[0] = 0x70;
                io.sbp[2] = c.sense[0];
                io.sbp[12] = c.sense[1];
                io.sbp[13] = c.sense[2];
                io.sb_len_wr = 18;
            }
        };
        uint8_t cdb[12] = {0x3B, 0x05, 0x01};
        const bool ok = device.ExecuteCommand(cdb, kDirectionOut, 4096);
        EXPECT_EQ(ok, c.resultCode == 1);
        EXPECT_EQ(device.resultCode, c.resultCode);
        EXPECT_EQ(device.LastResult().outcome, c.outcome);
        EXPECT_EQ(device.transferred, c.transferred);
        // Sense only ever speaks for a drive that answered.
        EXPECT_EQ(device.senseKey, c.resultCode == 2 ? c.sense[0] & 0x0F : 0);
        EXPECT_EQ(device.senseAsc, c.resultCode == 2 ? c.sense[1] : 0);
    }
}

TEST_F(LinuxPlatformTest, ScanWithoutRawIoReportsAccessDeniedAndSendsNothing) {
    calls_.capabilities.erase(CAP_SYS_RAWIO);
    AtapiDevice device(*platform_, true);
    EXPECT_EQ(device.lastOsError, kErrorAccessDenied);
    EXPECT_EQ(device.GetDriveCount(), 0u);
    EXPECT_EQ(calls_.sgIoCalls, 0);
}

TEST_F(LinuxPlatformTest, RestartAsksTheInitSystemWhenThisProcessMayReboot) {
    struct Case {
        const char* what;
        bool systemd;
        bool mayReboot;
        std::vector<std::string> programs;
        int status;
        bool restarted;
        std::vector<std::string> ran;
    };
    const Case cases[] = {
        {"systemd",
         true,
         true,
         {"/bin/systemctl"},
         0,
         true,
         {"/usr/bin/systemctl reboot", "/bin/systemctl reboot"}},
        {"systemd refuses",
         true,
         true,
         {"/usr/bin/systemctl"},
         1,
         false,
         {"/usr/bin/systemctl reboot"}},
        {"another init", false, true, {"/sbin/reboot"}, 0, true, {"/sbin/reboot"}},
        {"no way to ask",
         false,
         true,
         {},
         0,
         false,
         {"/sbin/reboot", "/usr/sbin/reboot", "/bin/reboot"}},
        {"no CAP_SYS_BOOT", true, false, {"/usr/bin/systemctl"}, 0, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls_ = FakeCalls{};
        calls_.programs = c.programs;
        calls_.runStatus = c.status;
        if (!c.mayReboot) {
            calls_.capabilities.erase(CAP_SYS_BOOT);
        }
        fs::remove_all(root_ / "run");
        if (c.systemd) {
            fs::create_directories(root_ / "run/systemd/system");
        }
        EXPECT_EQ(session_->RestartSystem(), c.restarted);
        EXPECT_EQ(calls_.ran, c.ran);
    }
}

} // namespace
} // namespace zelfin::linuxos
