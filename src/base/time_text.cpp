#include "base/time_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace zeltrak {

namespace {

struct TimeFields {
    bool negative = false;
    int64_t hours = 0;
    int64_t minutes = 0;
    int64_t seconds = 0;
    int64_t millis = 0;
};

TimeFields SplitTime(double value) {
    TimeFields f;
    if (!std::isfinite(value)) return f;
    f.negative = value < 0.0;
    const double magnitude = std::fabs(value);
    // Clamp far beyond a day so that the integer conversion stays defined.
    const double whole = std::trunc(std::fmin(magnitude, 9.0e15));
    int64_t total = static_cast<int64_t>(whole);
    // The nudge keeps values such as 59.999, whose binary fraction falls a hair short,
    // from losing a millisecond; it is far below anything a display can show.
    f.millis = static_cast<int64_t>((magnitude - whole) * 1000.0 + 1e-6);
    if (f.millis > 999) f.millis = 999;
    if (magnitude > 86400.0) total %= 86400;  // clocks wrap once a day has passed
    f.hours = total / 3600;
    f.minutes = (total / 60) % 60;
    f.seconds = total % 60;
    return f;
}

std::string Format(const TimeFields& f, bool withMillis) {
    char buffer[64];
    const char* sign = f.negative ? "-" : "";
    const long long h = f.hours, m = f.minutes, s = f.seconds, ms = f.millis;
    if (withMillis) {
        if (h != 0)
            std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld:%02lld.%03lld", sign, h, m, s, ms);
        else if (m != 0)
            std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld.%03lld", sign, m, s, ms);
        else
            std::snprintf(buffer, sizeof buffer, "%s%lld.%03lld", sign, s, ms);
    } else {
        if (h != 0)
            std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld:%02lld", sign, h, m, s);
        else if (m != 0)
            std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld", sign, m, s);
        else
            std::snprintf(buffer, sizeof buffer, "%s%lld", sign, s);
    }
    return buffer;
}

}  // namespace

std::string FormatTimeWithMillis(double seconds) { return Format(SplitTime(seconds), true); }
std::string FormatTime(double seconds) { return Format(SplitTime(seconds), false); }

}  // namespace zeltrak
