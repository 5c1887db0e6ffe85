// The progress display measures time, not work: one step per timer tick, 330 steps.
#include "Journey.h"

#include "tools/TestPackage.h"

#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

struct Reading {
    int ticks;
    int position;
    const char* percent;
    const char* message;
};

// The jobs' ends stay queued until the test runs the queue, so the run is under way throughout.
TEST(Progress, PercentageAndDotsFollowTheTicks) {
    Journey j({{"REBOOT", "0"}});
    j.addDrive('D', testpackage::kOldRevision);
    j.start();
    j.clickUpdate();
    ASSERT_TRUE(j.main->runUnderWay());
    EXPECT_EQ(j.control("pbar").maximum, 330);
    EXPECT_EQ(j.control("pbar").step, 1);
    EXPECT_TRUE(j.control("tmr").enabled);
    EXPECT_EQ(j.control("tmr").intervalMs, 100u);

    const Reading readings[] = {
        {1, 1, "0 %", "Programming ."},
        {9, 10, "3 %", "Programming "},
        {155, 165, "50 %", "Programming ....."},
        {164, 329, "99 %", "Programming ........."},
        {1, 330, "100 %", "Programming "},
        {1, 330, "100 %", "Programming .........."},
        {500, 330, "100 %", "Programming .........."},
    };
    for (const Reading& r : readings) {
        j.kit.tick(r.ticks);
        EXPECT_EQ(j.control("pbar").position, r.position);
        EXPECT_EQ(j.control("lblPercent").text, r.percent) << "at position " << r.position;
        EXPECT_EQ(j.control("lblMsg").text, r.message) << "at position " << r.position;
    }

    j.finishRun();
    EXPECT_FALSE(j.control("tmr").enabled);
    EXPECT_EQ(j.kit.texts("lblPercent").back(), "0 %");
    EXPECT_EQ(j.control("pbar").position, 0);
}

// However early the run ends, the bar is shown full before the result.
TEST(Progress, TheRunEndsWithAFullBar) {
    Journey j({{"REBOOT", "0"}});
    j.addDrive('D', testpackage::kOldRevision);
    j.start();
    int positionAtResult = -1;
    std::string percentAtResult;
    j.kit.onDialog([&](const ui::DialogRecord&) {
        positionAtResult = j.control("pbar").position;
        percentAtResult = j.control("lblPercent").text;
    });

    j.clickUpdate();
    j.kit.tick(3);
    j.finishRun();

    EXPECT_EQ(positionAtResult, 330);
    EXPECT_EQ(percentAtResult, "100 %");
}

} // namespace
} // namespace zelfin::apptest
