#include "platform/clock.h"

#include <chrono>
#include <thread>

#include <time.h>

namespace platform {

std::uint32_t Clock_TickCount() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void Clock_Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t Clock_Now() { return static_cast<std::int64_t>(::time(nullptr)); }

bool Clock_LocalTime(std::int64_t seconds, std::tm& out) {
  const auto t = static_cast<time_t>(seconds);
  if (static_cast<std::int64_t>(t) != seconds) return false;
  std::tm result{};
  if (::localtime_r(&t, &result) == nullptr) return false;
  out = result;
  return true;
}

}  // namespace platform
