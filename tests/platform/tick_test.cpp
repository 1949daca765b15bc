#include "platform/tick.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Tick, AdvancesInMilliseconds)
{
    const uint32_t before = platform::GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = platform::TicksBetween(before, platform::GetTickCount());
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Tick, DifferenceIsRightAcrossTheWrap)
{
    EXPECT_EQ(platform::TicksBetween(0xFFFFFFF0u, 0x00000010u), 0x20u);
    EXPECT_EQ(platform::TicksBetween(100u, 250u), 150u);
}

} // namespace
