#include "utilities/delay_units.h"

#include <cstdio>

namespace zeltrak {

uint32_t DelayBlockLength(int32_t maxDelayMs, uint32_t rate) {
    const uint64_t m = static_cast<uint64_t>(maxDelayMs < 0 ? 0 : maxDelayMs) * rate / 1000;
    if (m < 2048) return 4096;
    if (m < 4028) return 8192;  // 4028, not 4096: the limit the block sizes have always had
    if (m < 8192) return 16384;
    if (m < 16384) return 32768;
    return 65536;
}

std::string FormatDelay(double delayMs, const DelayFinderOptions& options) {
    char text[64];
    const double speed = options.speedOfSoundFtPerS;
    switch (options.displayUnits) {
        case DelayUnits::Feet: std::snprintf(text, sizeof text, "%6.3f ft", 0.001 * delayMs * speed); break;
        case DelayUnits::Metres: std::snprintf(text, sizeof text, "%6.3f m", 0.001 * delayMs * 0.3048 * speed); break;
        default: std::snprintf(text, sizeof text, "%6.3f msec", delayMs); break;
    }
    return text;
}

}  // namespace zeltrak
