#pragma once
// Clocks, pauses and the local calendar.
#include <cstdint>
#include <ctime>

namespace platform {

// Milliseconds of a monotonic clock, truncated to 32 bits (wraps).
std::uint32_t Clock_TickCount();

void Clock_Sleep(std::uint32_t milliseconds);

// Seconds since 1970-01-01 00:00:00 UTC.
std::int64_t Clock_Now();

// Local calendar time of `seconds`; false when it cannot be converted.
bool Clock_LocalTime(std::int64_t seconds, std::tm& out);

}  // namespace platform
