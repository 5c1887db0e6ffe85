// A whole WRITE BUFFER job and a whole download job against the simulated drive with its
// realistic drive times. Wall time is what the host spends; "drive_s" is the time the drive
// model charges on the virtual clock (about 18 s for a 1 MiB job: 256 pieces, read-backs, the
// 3-second pause and the commit).

#include "device/AtapiDevice.h"
#include "flash/Programming.h"
#include "sim/SimFlash.h"
#include "sim/SimMachine.h"
#include "tools/TestPackage.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using namespace zelfin;

void RunJob(benchmark::State& state, int32_t length) {
    const std::vector<uint8_t> image = testpackage::makeImage("B100", "1A07");
    double driveSeconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimMachine machine;
        sim::SimDrive& drive = machine.NewDrive("E");
        sim::SimFlash::Install(drive, {0xBF, 0xD6, 0x00, 0x01}, image);
        machine.AddOpticalLetter('E', drive);
        auto device = std::make_unique<AtapiDevice>(machine, true);
        device->SelectDrive(0);
        const double before = machine.NowSeconds();
        state.ResumeTiming();

        RunFlashJob(FlashJob{device.get(), image.data(), length, true});

        state.PauseTiming();
        if (device->jobFailed != 0) {
            state.SkipWithError("the job failed");
            break;
        }
        driveSeconds += machine.NowSeconds() - before;
        state.ResumeTiming();
    }
    state.counters["drive_s"] =
        benchmark::Counter(driveSeconds, benchmark::Counter::kAvgIterations);
}

void WriteBufferJob(benchmark::State& state) {
    RunJob(state, 1048576);
}
void DownloadJob(benchmark::State& state) {
    RunJob(state, 131072);
}

BENCHMARK(WriteBufferJob)->Unit(benchmark::kMillisecond);
BENCHMARK(DownloadJob)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
