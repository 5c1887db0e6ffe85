// The host-side cost of one command through each transport against the simulated drive (the
// drive itself takes no time here): block filling, timing, sense decoding and the seam call.

#include "device/AtapiDevice.h"
#include "sim/SimMachine.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zelfin;

void PassThroughInquiry(benchmark::State& state) {
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.NewDrive();
    machine.AddOpticalLetter('D', drive);
    AtapiDevice device(machine, true);
    device.SelectDrive(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(device.Inquiry(0, 0, 0, 96, 0));
        drive.ClearTranscript();
    }
}

void AspiWriteBuffer(benchmark::State& state) {
    sim::SimMachine machine(sim::OsFamily::Windows95);
    machine.Aspi().installed = true;
    sim::SimDrive& drive = machine.NewDrive();
    machine.AddAspiDevice(0, 0, 0, kDtypeCdrom, &drive);
    AtapiDevice device(machine, true);
    device.SelectDrive(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(device.WriteBuffer(0, 4096, kWriteCodePiece));
        drive.ClearTranscript();
    }
}

BENCHMARK(PassThroughInquiry);
BENCHMARK(AspiWriteBuffer);

} // namespace

BENCHMARK_MAIN();
