#include "platform/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockTest, TickCountDoesNotGoBack) {
  const std::uint32_t first = platform::Clock_TickCount();
  platform::Clock_Sleep(20);
  const std::uint32_t elapsed = platform::Clock_TickCount() - first;
  EXPECT_GE(elapsed, 20u);
}

TEST(ClockTest, LocalTimeOfNow) {
  const std::int64_t now = platform::Clock_Now();
  EXPECT_GT(now, 1600000000);
  std::tm tm{};
  ASSERT_TRUE(platform::Clock_LocalTime(now, tm));
  EXPECT_GE(tm.tm_year, 120);
  EXPECT_GE(tm.tm_mday, 1);
}

}  // namespace
