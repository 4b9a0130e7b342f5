#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "ui/CZelCpuUsage.h"

namespace {

// A /proc/stat with two processors; the per-processor lines only count.
std::string ProcStat(uint64_t user, uint64_t system, uint64_t idle, uint64_t ioWait) {
    const std::string times = std::to_string(user) + " 0 " + std::to_string(system) + " " +
                              std::to_string(idle) + " " + std::to_string(ioWait) + " 0 0 0 0 0\n";
    return "cpu  " + times + "cpu0 0 0 0 0 0 0 0 0 0 0\ncpu1 0 0 0 0 0 0 0 0 0 0\nintr 1 2 3\nctxt 99\n";
}

}  // namespace

TEST(CpuUsage, ShareOfTheIntervalNotSpentIdleAndItsCaption) {
    CZelCpuUsage meter;
    const std::string first = ProcStat(1000, 500, 8000, 500);
    EXPECT_EQ(CZelCpuUsage::ProcessorCount(first), 2);
    EXPECT_EQ(meter.Reading(first, 2), 0.0) << "the first reading only sets the start";
    // 200 ticks on two processors: 60 busy, 140 idle or waiting.
    EXPECT_DOUBLE_EQ(meter.Reading(ProcStat(1040, 520, 8130, 510), 2), 30.5);
    // Fully idle across both processors: only the rounding half remains.
    EXPECT_DOUBLE_EQ(meter.Reading(ProcStat(1040, 520, 8330, 510), 2), 0.5);
    // Fully busy, clamped at 100.
    EXPECT_DOUBLE_EQ(meter.Reading(ProcStat(1240, 520, 8330, 510), 2), 100.0);
    // An unreadable text reads 0 and leaves the starting point alone.
    EXPECT_EQ(meter.Reading("intr 1 2 3\n", 2), 0.0);
    EXPECT_DOUBLE_EQ(meter.Reading(ProcStat(1290, 520, 8480, 510), 2), 25.5);
    // On one processor an idle delta equal to the elapsed time is idle.
    CZelCpuUsage single;
    single.Reading(CZelCpuUsage::Times{100, 200}, 1);
    EXPECT_DOUBLE_EQ(single.Reading(CZelCpuUsage::Times{150, 250}, 1), 0.5);

    EXPECT_EQ(CZelCpuUsage::Caption(37.8), "37 %");
    EXPECT_EQ(CZelCpuUsage::Caption(0.5), "0 %");
    EXPECT_EQ(CZelCpuUsage::Caption(100.0), "100 %");
    // The machine's own counters read too.
    CZelCpuUsage real;
    EXPECT_EQ(real.Read(), 0.0);
    EXPECT_THAT(real.Read(), ::testing::AllOf(::testing::Ge(0.0), ::testing::Le(100.0)));
}
