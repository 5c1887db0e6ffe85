// The interval timer.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

namespace zelfin::testing {
namespace {

TEST(HiTimer, SubtractsItsOwnCostAndAccumulatesAcrossStops) {
    sim::SimMachine machine;
    machine.SetCounterReadCost(0.001);
    HiTimer watch(machine);
    EXPECT_EQ(watch.overhead, sim::SimMachine::kFrequency / 1000);

    watch.Start(true);
    machine.AdvanceClock(2.0);
    EXPECT_NEAR(static_cast<double>(watch.Lap()), 2.0, 1e-9);
    watch.Stop();
    EXPECT_NEAR(static_cast<double>(watch.Total()), 2.001, 1e-9) << "the lap read cost time";
    EXPECT_EQ(watch.Lap(), 0.0L) << "a stopped watch has no lap";

    watch.Start(false);
    machine.AdvanceClock(1.0);
    watch.Stop();
    EXPECT_NEAR(static_cast<double>(watch.Total()), 3.001, 1e-9);
    watch.Start(true);
    watch.Stop();
    EXPECT_NEAR(static_cast<double>(watch.Total()), 0.0, 1e-9);
}

TEST(HiTimer, UnavailableCounterReadsZero) {
    sim::SimMachine machine;
    machine.SetPerformanceCounterAvailable(false);
    HiTimer watch(machine);
    EXPECT_EQ(watch.unavailable, 1);
    watch.Start(true);
    machine.AdvanceClock(5.0);
    EXPECT_EQ(watch.Lap(), 0.0L);
    watch.Stop();
    EXPECT_EQ(watch.Total(), 0.0L);
}

} // namespace
} // namespace zelfin::testing
