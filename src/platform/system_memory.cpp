#include "platform/system_memory.h"

#include <fstream>
#include <string>

namespace zeltrak {

uint64_t SystemFreeMemoryBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string name;
    uint64_t kilobytes = 0;
    std::string unit;
    while (meminfo >> name >> kilobytes >> unit) {
        if (name == "MemAvailable:") return kilobytes * 1024u;
    }
    return 0;
}

}  // namespace zeltrak
