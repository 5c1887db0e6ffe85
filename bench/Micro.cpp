#include "Micro.h"

#include "AllocationCount.h"
#include "BenchRig.h"
#include "CommandTime.h"

#include "device/AtapiDevice.h"
#include "flash/LoaderArea.h"
#include "flash/Programming.h"
#include "package/PackageSeal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <vector>

namespace zelfin::bench {
namespace {

constexpr int kScanDrives = 16;

// What start-up reads for the seal check: a whole block (image filled) and the loader area.
struct SealInput {
    std::vector<PackageBlock> block = std::vector<PackageBlock>(1);
    PackageSeal seal{};
    SealInput() {
        std::memset(block[0].FW_IMAGE, 0xA5, sizeof block[0].FW_IMAGE);
        seal = makeSeal(block[0], kLoaderArea);
    }
};

void SealCheckAtStartUp(benchmark::State& state) {
    const SealInput input;
    for (auto _ : state) {
        if (checkSeal(input.seal, input.block[0], kLoaderArea) != zelfin::SealCheck::Intact) {
            state.SkipWithError("the seal did not match");
            break;
        }
    }
}

// The floor: one plain read of the same bytes.
void SealCheckFloor(benchmark::State& state) {
    const SealInput input;
    const auto* block = reinterpret_cast<const std::uint8_t*>(input.block.data());
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < sizeof(PackageBlock); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, block + i, sizeof word);
            sum += word;
        }
        for (const std::uint8_t b : kLoaderArea) {
            sum += b;
        }
        benchmark::DoNotOptimize(sum);
    }
}

// One pass of the piece loop as the job runs it, on a drive whose commands cost nothing.
void PieceLoopJob(benchmark::State& state) {
    BenchRig rig(1, 0.0);
    AtapiDevice device(rig.machine, true);
    device.SelectDrive(0);
    for (auto _ : state) {
        rig.drives[0]->ClearTranscript(); // keeps its capacity: no growth inside the loop
        if (!WriteAndVerify(device, NewImage().data(), kImageBytes)) {
            state.SkipWithError("a piece did not verify");
            break;
        }
    }
}

// What the simulated machine's side of the piece loop costs alone: the same 512 requests made
// straight to it, each between the two counter readings that time a command.
void PieceLoopDriveAlone(benchmark::State& state) {
    BenchRig rig(1, 0.0);
    const OpenResult open = rig.machine.CreateFile("\\\\.\\D:");
    std::vector<uint8_t> out(kBufferCapacity);
    std::vector<uint8_t> in(kBufferCapacity);
    PassThroughBlock write{};
    write.sptd.Length = sizeof(ScsiPassThroughDirect);
    write.sptd.CdbLength = 12;
    write.sptd.SenseInfoLength = 24;
    write.sptd.SenseInfoOffset = offsetof(PassThroughBlock, sense);
    write.sptd.TimeOutValue = kDefaultTimeoutSeconds;
    PassThroughBlock read = write;
    write.sptd.DataIn = kDirectionOut;
    std::memcpy(write.sptd.Cdb, cdb::kWriteBuffer.data(), 12);
    read.sptd.DataIn = kDirectionIn;
    std::memcpy(read.sptd.Cdb, cdb::kReadBuffer.data(), 12);
    for (PassThroughBlock* block : {&write, &read}) {
        block->sptd.Cdb[7] = kPieceBytes >> 8; // transfer length 4096
    }
    for (auto _ : state) {
        rig.drives[0]->ClearTranscript();
        for (uint32_t n = 0; n < kImagePieces; ++n) {
            for (PassThroughBlock* block : {&write, &read}) {
                block->sptd.Cdb[3] = static_cast<uint8_t>(n >> 4); // offset n * 4096
                block->sptd.Cdb[4] = static_cast<uint8_t>(n << 4);
                block->sptd.DataTransferLength = kPieceBytes;
                uint8_t* data = block == &write ? out.data() : in.data();
                benchmark::DoNotOptimize(rig.machine.QueryPerformanceCounter());
                uint32_t error = kErrorSuccess;
                if (!rig.machine.ScsiPassThroughDirect(open.handle, *block, data, error)) {
                    state.SkipWithError("the simulated drive refused a piece");
                    return;
                }
                benchmark::DoNotOptimize(rig.machine.QueryPerformanceCounter());
            }
        }
    }
    rig.machine.CloseHandle(open.handle);
}

// The floor: copy each piece in, copy it back out, compare, with nothing else around it.
void PieceLoopFloor(benchmark::State& state) {
    std::vector<uint8_t> written(kBufferCapacity);
    std::vector<uint8_t> readBack(kBufferCapacity);
    const uint8_t* image = NewImage().data();
    for (auto _ : state) {
        for (uint32_t n = 0; n < kImagePieces; ++n) {
            std::memcpy(written.data(), image + std::size_t{n} * kPieceBytes, kPieceBytes);
            benchmark::ClobberMemory();
            std::memcpy(readBack.data(), written.data(), kPieceBytes);
            benchmark::ClobberMemory();
            int differs = std::memcmp(readBack.data(), written.data(), kPieceBytes);
            benchmark::DoNotOptimize(differs);
        }
    }
}

// The start-up scan of sixteen drives whose commands cost nothing. Timing each command on the
// real clock also tells which share of the scan they spent inside the simulated machine (a
// share, so that a busy machine slows both sides alike).
void ScanSixteen(benchmark::State& state, bool timeCommands) {
    BenchRig rig(kScanDrives, 0.0);
    CommandTime commands;
    if (timeCommands) {
        rig.machine.SetClockMode(sim::ClockMode::Real);
    }
    int64_t scans = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        AtapiDevice master(rig.machine, true, 0, timeCommands ? &commands : nullptr);
        if (master.GetDriveCount() != kScanDrives) {
            state.SkipWithError("the scan missed a drive");
            break;
        }
        if (++scans % 64 == 0) {
            for (sim::SimDrive* drive : rig.drives) {
                drive->ClearTranscript();
            }
        }
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (timeCommands && scans > 0 && total > 0.0) {
        state.counters["inside_share"] = commands.Seconds() / total;
    }
}

double PerPiece(const Measured& m) {
    return m.nanoseconds / kImagePieces;
}

} // namespace

void RegisterMicroBenchmarks(bool quick) {
    const auto tune = [quick](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMicrosecond);
        if (quick) {
            b->MinTime(0.02);
        } else {
            // The least of many short repetitions, taken in random order with the others: on a
            // shared machine that is the figure least disturbed by other work.
            b->MinTime(0.05)->Repetitions(20)->ReportAggregatesOnly(true);
            b->ComputeStatistics("min", [](const std::vector<double>& v) {
                return *std::min_element(v.begin(), v.end());
            });
        }
    };
    tune(benchmark::RegisterBenchmark("piece_loop_job", PieceLoopJob));
    tune(benchmark::RegisterBenchmark("piece_loop_drive_alone", PieceLoopDriveAlone));
    tune(benchmark::RegisterBenchmark("piece_loop_floor", PieceLoopFloor));
    tune(benchmark::RegisterBenchmark("scan_16", ScanSixteen, false));
    tune(benchmark::RegisterBenchmark("scan_16_inside_machine", ScanSixteen, true));
    tune(benchmark::RegisterBenchmark("seal_check", SealCheckAtStartUp));
    tune(benchmark::RegisterBenchmark("seal_check_floor", SealCheckFloor));
}

void AddMicroFigures(const Measurements& measured, Report& report) {
    const auto job = measured.find("piece_loop_job");
    const auto drive = measured.find("piece_loop_drive_alone");
    const auto floor = measured.find("piece_loop_floor");
    if (job != measured.end() && drive != measured.end() && floor != measured.end()) {
        const double floorNs = PerPiece(floor->second);
        report.figures.push_back({"piece_job_ns", "ns per piece", PerPiece(job->second), floorNs,
                                  std::nullopt,
                                  "piece loop with free drive commands vs copy in, copy back, "
                                  "compare"});
        report.figures.push_back({"piece_drive_ns", "ns per piece", PerPiece(drive->second),
                                  floorNs, std::nullopt,
                                  "the simulated machine's share (requests and clock readings), "
                                  "measured alone, vs the floor"});
        report.figures.push_back({"piece_program_ns", "ns per piece",
                                  PerPiece(job->second) - PerPiece(drive->second), floorNs, 1.5,
                                  "the program's share (job less machine) vs the floor"});
    } else {
        report.Missing("the piece loop");
    }
    const auto scan = measured.find("scan_16");
    const auto inside = measured.find("scan_16_inside_machine");
    if (scan != measured.end() && inside != measured.end()) {
        const auto share = inside->second.counters.find("inside_share");
        const double perDrive = scan->second.nanoseconds / 1000.0 / kScanDrives;
        report.figures.push_back(
            {"scan_per_drive_us", "us per drive", perDrive,
             share != inside->second.counters.end() ? perDrive * share->second : 0.0, std::nullopt,
             "start-up scan of 16 free drives vs the time its commands spent inside the "
             "simulated machine"});
    } else {
        report.Missing("the scan");
    }
    const auto seal = measured.find("seal_check");
    const auto read = measured.find("seal_check_floor");
    if (seal != measured.end() && read != measured.end()) {
        report.figures.push_back({"seal_check_ms", "ms at start-up", seal->second.nanoseconds / 1e6,
                                  read->second.nanoseconds / 1e6, std::nullopt,
                                  "SHA-256 of the 1 MiB block and the loader area (to stay under "
                                  "20 ms) vs one plain read of the same bytes"});
    } else {
        report.Missing("the seal check");
    }
}

void AddCountedFigures(Report& report) {
    {
        BenchRig rig(1, 0.0);
        AtapiDevice device(rig.machine, true);
        device.SelectDrive(0);
        // A first pass grows the simulator's own records; the counted one then allocates only
        // what the program does.
        const bool warmed = WriteAndVerify(device, NewImage().data(), kImageBytes);
        rig.drives[0]->ClearTranscript();
        StartCountingAllocations();
        const bool counted = WriteAndVerify(device, NewImage().data(), kImageBytes);
        const uint64_t allocations = StopCountingAllocations();
        if (warmed && counted) {
            report.figures.push_back({"piece_allocations", "allocations per piece",
                                      static_cast<double>(allocations) / kImagePieces, 0.0, 0.0,
                                      "heap allocations in the piece loop (target 0)"});
        } else {
            report.Missing("allocations in the piece loop");
        }
    }
    {
        BenchRig rig(1, 0.0);
        AtapiDevice device(rig.machine, true);
        device.SelectDrive(0);
        const uint32_t sleepsBefore = rig.machine.SleepCount();
        RunFlashJob(FlashJob{&device, NewImage().data(), kImageBytes, true});
        if (device.jobFailed == 0) {
            report.figures.push_back({"job_sleeps", "sleeps per job",
                                      static_cast<double>(rig.machine.SleepCount() - sleepsBefore),
                                      1.0, std::nullopt,
                                      "wake-ups of a whole 1 MiB job (all in the 3 s pause) vs "
                                      "one sleep"});
        } else {
            report.Missing("the sleeps of a job");
        }
    }
}

} // namespace zelfin::bench
