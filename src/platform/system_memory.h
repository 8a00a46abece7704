#pragma once
#include <cstdint>

namespace zeltrak {

// Memory the system can still hand out (MemAvailable), in bytes; 0 when unknown.
uint64_t SystemFreeMemoryBytes();

}  // namespace zeltrak
