// Runs inside the QEMU guest of scripts/qemu-e2e.sh: the simulated drive (SimDrive with its
// SimFlash, as zelfin-cli --simulate builds it) behind the guest kernel's SCSI target through
// TCMU, so that tcm_loop shows it as a real CD/DVD device. The kernel hands every CDB to this
// process through the UIO-mapped command ring (TcmuLayout.h).
//
//   zelfin-tcmu-drive UIO_DEVICE FOLDER
//
// FOLDER holds scenario.txt (zelfin-cli's scenario lines; the first drive with firmware is the
// one served) and, optionally, vanish.txt: "COUNT LINK", the LUN link to remove once COUNT
// WRITE BUFFER commands have been answered. The drive's commands go to FOLDER/transcript.txt;
// FOLDER/loaded appears once the drive is ready. Signals: HUP reads the folder again (a fresh
// drive and transcript); USR1 writes flash.bin and stats.txt
// (commands, this process's own seconds handling them, the simulated drive's seconds);
// TERM writes them and ends.
#include "sim/Scenario.h"
#include "sim/SimFlash.h"
#include "tests/e2e/TcmuLayout.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using zelfin::e2e::TcmuEntry;
using zelfin::e2e::TcmuMailbox;
using zelfin::sim::Outcome;

volatile std::sig_atomic_t gReload = 0;
volatile std::sig_atomic_t gReport = 0;
volatile std::sig_atomic_t gStop = 0;

// The largest transfer one command may carry; the guest's pieces are far smaller.
constexpr std::size_t kMaxTransfer = 1 << 20;

// The CDB length as the target core copies it: vendor groups 6 and 7 get 10 bytes.
std::size_t CdbLength(uint8_t opcode) {
    static constexpr std::size_t kByGroup[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    return kByGroup[opcode >> 5];
}

// The ring says nothing of the direction: the host's data reaches us only for data-out
// commands, so which ones those are follows from the opcode.
bool DataOut(uint8_t opcode) {
    switch (opcode) {
    case 0x0A: // WRITE(6)
    case 0x15: // MODE SELECT(6)
    case 0x2A: // WRITE(10)
    case 0x3B: // WRITE BUFFER
    case 0x55: // MODE SELECT(10)
    case 0xAA: // WRITE(12)
    case 0xF2: // the vendor download (its data pieces)
        return true;
    default:
        return false;
    }
}

class Served {
public:
    explicit Served(std::string folder) : folder_(std::move(folder)) { Load(); }

    // A fresh drive as the folder describes it now; the counters start again.
    void Load() {
        scenario_ = zelfin::sim::ReadScenarioFile(folder_ + "/scenario.txt");
        drive_ = nullptr;
        if (transcript_ != nullptr) {
            std::fclose(transcript_);
        }
        transcript_ = std::fopen((folder_ + "/transcript.txt").c_str(), "w");
        if (transcript_ == nullptr) {
            throw std::runtime_error("cannot write " + folder_ + "/transcript.txt");
        }
        for (zelfin::sim::SimDrive* drive : scenario_.drives) {
            if (drive_ == nullptr &&
                dynamic_cast<zelfin::sim::SimFlash*>(drive->GetFlashModel()) != nullptr) {
                drive_ = drive;
            }
        }
        if (drive_ == nullptr) {
            throw std::runtime_error("the scenario describes no drive with firmware");
        }
        std::FILE* file = transcript_;
        drive_->SetTranscriptSink([file](const std::string& line) {
            std::fputs(line.c_str(), file);
            std::fputc('\n', file);
            std::fflush(file);
        });
        vanishAfter_ = 0;
        vanishLink_.clear();
        std::ifstream vanish(folder_ + "/vanish.txt");
        if (vanish && !(vanish >> vanishAfter_ >> vanishLink_)) {
            throw std::runtime_error("vanish.txt reads COUNT LINK");
        }
        writes_ = 0;
        commands_ = 0;
        ownSeconds_ = 0.0;
        driveSeconds_ = 0.0;
        WriteFile("loaded", "", 0);
    }

    // One command: fills the response fields of `entry`. `data` holds the host's bytes for a
    // data-out command and receives the answer of a data-in one.
    void Execute(TcmuEntry& entry, const uint8_t* cdb, uint8_t* data, uint32_t length,
                 bool readLen) {
        const auto start = std::chrono::steady_clock::now();
        zelfin::sim::Request request;
        std::memcpy(request.cdb.data(), cdb, std::min(CdbLength(cdb[0]), request.cdb.size()));
        request.length = length;
        request.direction = length == 0 ? 2 : DataOut(cdb[0]) ? 0 : 1;
        request.data = length == 0 ? nullptr : data;
        const zelfin::sim::Reply reply = drive_->Execute(request);

        std::memset(&entry.rsp, 0, sizeof entry.rsp);
        if (reply.outcome == Outcome::Good) {
            entry.rsp.scsiStatus = 0x00;
        } else {
            // Sense the drive chose; a failure below the drive (which a target cannot say
            // otherwise) as ABORTED COMMAND.
            const bool sensed = reply.outcome == Outcome::CheckCondition;
            entry.rsp.scsiStatus = 0x02;
            auto* sense = entry.rsp.sense;
            sense[0] = 0x70;
            sense[2] = sensed ? reply.sense.key : 0x0B;
            sense[7] = 10;
            sense[12] = sensed ? reply.sense.asc : 0x00;
            sense[13] = sensed ? reply.sense.ascq : 0x00;
        }
        if (readLen && request.direction == 1) {
            entry.uflags |= zelfin::e2e::kTcmuReadLen;
            entry.rsp.readLen = reply.transferred;
        }
        ++commands_;
        driveSeconds_ += reply.seconds;
        ownSeconds_ +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (request.cdb[0] == 0x3B && ++writes_ == vanishAfter_ && !vanishLink_.empty()) {
            // Removing the LUN waits for the commands in flight, this one included.
            std::thread([link = vanishLink_] {
                if (unlink(link.c_str()) != 0) {
                    std::perror(link.c_str());
                }
            }).detach();
        }
    }

    void Report() const {
        if (auto* flash = dynamic_cast<zelfin::sim::SimFlash*>(drive_->GetFlashModel())) {
            WriteFile("flash.bin", flash->Contents().data(), flash->Contents().size());
        }
        char stats[160];
        const int n = std::snprintf(stats, sizeof stats,
                                    "commands=%u handler_seconds=%.3f drive_seconds=%.3f\n",
                                    commands_, ownSeconds_, driveSeconds_);
        WriteFile("stats.txt", stats, static_cast<std::size_t>(n));
    }

private:
    // Whole or not at all: the guest waits for the file to appear.
    void WriteFile(const std::string& name, const void* bytes, std::size_t size) const {
        const std::string path = folder_ + "/" + name;
        std::FILE* file = std::fopen((path + ".part").c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes, 1, size, file) != size ||
            std::fclose(file) != 0 || std::rename((path + ".part").c_str(), path.c_str()) != 0) {
            std::perror(path.c_str());
        }
    }

    std::string folder_;
    std::FILE* transcript_ = nullptr;
    zelfin::sim::Scenario scenario_;
    zelfin::sim::SimDrive* drive_ = nullptr;
    uint32_t vanishAfter_ = 0;
    std::string vanishLink_;
    uint32_t writes_ = 0;
    uint32_t commands_ = 0;
    double ownSeconds_ = 0.0;
    double driveSeconds_ = 0.0;
};

// The UIO-mapped ring: the mailbox, the command ring, then the data area.
class Ring {
public:
    explicit Ring(const std::string& device) {
        fd_ = open(device.c_str(), O_RDWR);
        if (fd_ < 0) {
            throw std::runtime_error("cannot open " + device);
        }
        const std::string sizePath =
            "/sys/class/uio/" + device.substr(device.rfind('/') + 1) + "/maps/map0/size";
        std::ifstream sizeFile(sizePath);
        std::string text;
        if (!(sizeFile >> text)) {
            throw std::runtime_error("cannot read " + sizePath);
        }
        size_ = std::stoul(text, nullptr, 0);
        void* map = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (map == MAP_FAILED) {
            throw std::runtime_error("cannot map " + device);
        }
        base_ = static_cast<uint8_t*>(map);
        mailbox_ = reinterpret_cast<TcmuMailbox*>(base_);
        if (mailbox_->version != zelfin::e2e::kTcmuMailboxVersion) {
            throw std::runtime_error("unknown TCMU mailbox version");
        }
        readLen_ = (mailbox_->flags & zelfin::e2e::kTcmuCapReadLen) != 0;
        buffer_.resize(kMaxTransfer);
    }

    int Fd() const { return fd_; }

    // Answers every command the kernel has queued, in order, then tells the kernel.
    void Serve(Served& served) {
        uint32_t acknowledge = 0;
        if (read(fd_, &acknowledge, sizeof acknowledge) != sizeof acknowledge) {
            return;
        }
        uint8_t* ring = base_ + mailbox_->cmdrOff;
        uint32_t tail = mailbox_->cmdTail;
        bool answered = false;
        while (tail != __atomic_load_n(&mailbox_->cmdHead, __ATOMIC_ACQUIRE)) {
            auto* entry = reinterpret_cast<TcmuEntry*>(ring + tail);
            const uint32_t lenOp = entry->lenOp;
            if ((lenOp & zelfin::e2e::kTcmuOpMask) == zelfin::e2e::kTcmuOpCmd) {
                Command(*entry, served);
                answered = true;
            }
            tail = (tail + (lenOp & ~zelfin::e2e::kTcmuOpMask)) % mailbox_->cmdrSize;
            __atomic_store_n(&mailbox_->cmdTail, tail, __ATOMIC_RELEASE);
        }
        if (answered) {
            const uint32_t kick = 1;
            if (write(fd_, &kick, sizeof kick) != sizeof kick) {
                std::perror("uio write");
            }
        }
    }

private:
    void Command(TcmuEntry& entry, Served& served) {
        const uint8_t* cdb = base_ + entry.req.cdbOff;
        const uint32_t count = entry.req.iovCount;
        const zelfin::e2e::TcmuIovec* iov = entry.req.iov;
        std::size_t length = 0;
        for (uint32_t i = 0; i < count; ++i) {
            length += iov[i].length;
        }
        if (length > buffer_.size()) {
            std::fprintf(stderr, "zelfin-tcmu-drive: a transfer of %zu bytes is too long\n",
                         length);
            std::memset(&entry.rsp, 0, sizeof entry.rsp);
            entry.rsp.scsiStatus = 0x02;
            entry.rsp.sense[0] = 0x70;
            entry.rsp.sense[2] = 0x05;
            entry.rsp.sense[7] = 10;
            entry.rsp.sense[12] = 0x24;
            return;
        }
        // The response overwrites the request fields: the iovecs are copied out first.
        struct Piece {
            uint8_t* at;
            std::size_t size;
        };
        std::array<Piece, 272> pieces{};
        if (count > pieces.size()) {
            throw std::runtime_error("too many data pieces in one command");
        }
        std::size_t offset = 0;
        for (uint32_t i = 0; i < count; ++i) {
            pieces[i] = {base_ + iov[i].base, iov[i].length};
            std::memcpy(buffer_.data() + offset, pieces[i].at, pieces[i].size);
            offset += pieces[i].size;
        }
        served.Execute(entry, cdb, buffer_.data(), static_cast<uint32_t>(length), readLen_);
        offset = 0;
        for (uint32_t i = 0; i < count; ++i) {
            std::memcpy(pieces[i].at, buffer_.data() + offset, pieces[i].size);
            offset += pieces[i].size;
        }
    }

    int fd_ = -1;
    std::size_t size_ = 0;
    uint8_t* base_ = nullptr;
    TcmuMailbox* mailbox_ = nullptr;
    bool readLen_ = false;
    std::vector<uint8_t> buffer_;
};

extern "C" void OnSignal(int signal) {
    if (signal == SIGHUP) {
        gReload = 1;
    } else if (signal == SIGUSR1) {
        gReport = 1;
    } else {
        gStop = 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s UIO_DEVICE FOLDER\n", argv[0]);
        return 2;
    }
    try {
        Served served(argv[2]);
        Ring ring(argv[1]);
        for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGINT}) {
            struct sigaction action {};
            action.sa_handler = OnSignal;
            sigaction(s, &action, nullptr);
        }
        while (gStop == 0) {
            pollfd wait{ring.Fd(), POLLIN, 0};
            if (poll(&wait, 1, 200) > 0) {
                ring.Serve(served);
            }
            if (gReload != 0) {
                gReload = 0;
                served.Load();
            }
            if (gReport != 0) {
                gReport = 0;
                served.Report();
            }
        }
        served.Report();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zelfin-tcmu-drive: %s\n", error.what());
        return 1;
    }
    return 0;
}
