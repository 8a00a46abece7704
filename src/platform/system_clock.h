#pragma once
#include <cstdint>

namespace zeltrak {

// The real clocks, shared by the hosts that run outside tests.
int64_t SystemWallClockSeconds();
uint32_t SystemTickMilliseconds();  // monotonic, wraps after about 49 days like any 32-bit tick
void SystemSleepMilliseconds(uint32_t ms);

}  // namespace zeltrak
