// Time marks from the millisecond clock.
#include <gtest/gtest.h>

#include "timer.h"

namespace {

TEST(TimerTest, DifferenceAcrossTheClockWrap)
{
    CTimer earlier;
    CTimer later;
    earlier.m_ms = 0xFFFFFFF0u;
    later.m_ms = 0x00000010u;
    EXPECT_FLOAT_EQ(later.SecondsSince(earlier), 0.032f);
    earlier.m_ms = 1000;
    later.m_ms = 1250;
    EXPECT_FLOAT_EQ(later.SecondsSince(earlier), 0.25f);
}

}  // namespace
