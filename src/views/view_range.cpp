#include "views/view_range.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

namespace zeltrak {

namespace {

// Zooming and clamping work on a linear stretch: the axis itself, or its logarithm.
double ToLinear(double v, bool logarithmic) { return logarithmic ? std::log(v) : v; }
double FromLinear(double v, bool logarithmic) { return logarithmic ? std::exp(v) : v; }

TAxisSpan ToLinear(TAxisSpan s, bool logarithmic) { return {ToLinear(s.lo, logarithmic), ToLinear(s.hi, logarithmic)}; }
TAxisSpan FromLinear(TAxisSpan s, bool logarithmic) {
    return {FromLinear(s.lo, logarithmic), FromLinear(s.hi, logarithmic)};
}

}  // namespace

TAxisSpan ZoomAbout(TAxisSpan span, double anchor, double factor, bool logarithmic) {
    const TAxisSpan s = ToLinear(span, logarithmic);
    const double a = ToLinear(anchor, logarithmic);
    return FromLinear({a + (s.lo - a) * factor, a + (s.hi - a) * factor}, logarithmic);
}

TAxisSpan ClampSpan(TAxisSpan span, TAxisSpan limits, bool logarithmic, double minFraction) {
    const TAxisSpan s = ToLinear(span, logarithmic);
    const TAxisSpan l = ToLinear(limits, logarithmic);
    const double full = l.hi - l.lo;
    const double width = std::max(s.hi - s.lo, full * minFraction);
    if (width >= full) return limits;
    // A span that already fits comes back as given, not through log and exp.
    if (s.hi - s.lo >= width && span.lo >= limits.lo && span.hi <= limits.hi) return span;
    const double centre = std::clamp((s.lo + s.hi) / 2.0, l.lo + width / 2.0, l.hi - width / 2.0);
    return FromLinear({centre - width / 2.0, centre + width / 2.0}, logarithmic);
}

TAxisSpan TValueHold::Take(double dataMin, double dataMax) {
    if (std::isnan(dataMin) || std::isnan(dataMax)) return held_ ? span_ : TAxisSpan{dataMin, dataMax};
    if (!held_) {
        span_ = {dataMin, dataMax};
        held_ = true;
    } else {
        span_ = {std::min(span_.lo, dataMin), std::max(span_.hi, dataMax)};
    }
    return span_;
}

std::vector<double> ValueAxisTicks(TAxisSpan span, double step) {
    std::vector<double> ticks;
    if (!(step > 0.0) || !(span.hi >= span.lo) || !std::isfinite(span.hi - span.lo)) return ticks;
    // A hair of tolerance keeps an edge that is itself a multiple despite float rounding.
    const double slack = step * 1e-6;
    const double first = std::floor((span.hi + slack) / step), last = std::ceil((span.lo - slack) / step);
    constexpr double kMaxTicks = 1000;
    for (double k = first; k >= last && first - k < kMaxTicks; k -= 1.0) {
        // k * step lands a rounding error off zero, which would be written "-0".
        ticks.push_back(k == 0.0 ? 0.0 : k * step);
    }
    return ticks;
}

std::optional<double> ParseRangeNumber(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = text.find_last_not_of(" \t");
    // from_chars takes no leading '+' and ignores the locale, as a settings file must.
    const char* begin = text.data() + first + (text[first] == '+' ? 1 : 0);
    const char* end = text.data() + last + 1;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

namespace {

// The shortest text that reads back as the same number.
std::string FormatNumber(double v) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

// Refusal texts of the range dialog.
constexpr char kRangeNotNumber[] = "Please enter a number in every field.";
constexpr char kRangeNotAscending[] = "\"From\" must be below \"To\".";
constexpr char kRangeOutside[] = "The x range must lie within %.6g … %.6g %s.";
constexpr char kRangeLogNotPositive[] = "On a logarithmic axis \"From\" must be above 0.";

// Both ends as numbers, from below to; otherwise the error says why not.
std::optional<TAxisSpan> CheckSpan(const std::string& from, const std::string& to, std::string& error) {
    const std::optional<double> lo = ParseRangeNumber(from), hi = ParseRangeNumber(to);
    if (!lo || !hi) {
        error = kRangeNotNumber;
        return std::nullopt;
    }
    if (!(*lo < *hi)) {
        error = kRangeNotAscending;
        return std::nullopt;
    }
    return TAxisSpan{*lo, *hi};
}

}  // namespace

TRangeCheck CheckRangeEntry(const TRangeEntry& entry, const TRangeLimits& limits) {
    TRangeCheck check;
    std::optional<TAxisSpan> x = CheckSpan(entry.xFrom, entry.xTo, check.error);
    if (!x) return check;
    if (limits.logarithmic && !(x->lo > 0.0)) {
        check.error = kRangeLogNotPositive;
        return check;
    }
    // The limits are shown to six digits; an entry that rounding put just beyond them is taken
    // as their edge.
    const double slack = (limits.x.hi - limits.x.lo) * 1e-5;
    if (x->lo < limits.x.lo - slack || x->hi > limits.x.hi + slack || x->lo >= limits.x.hi || x->hi <= limits.x.lo) {
        char text[160];
        std::snprintf(text, sizeof text, kRangeOutside, limits.x.lo, limits.x.hi, limits.unit.c_str());
        check.error = text;
        return check;
    }
    x = TAxisSpan{std::max(x->lo, limits.x.lo), std::min(x->hi, limits.x.hi)};
    std::optional<TAxisSpan> values;
    if (!entry.automaticValues) {
        values = CheckSpan(entry.valueFrom, entry.valueTo, check.error);
        if (!values) return check;
    }
    check.range = TUserRange{*x, values};
    return check;
}

std::string FormatUserRange(const TUserRange& range) {
    std::string text = FormatNumber(range.x.lo) + " " + FormatNumber(range.x.hi);
    if (!range.values) return text + " auto";
    return text + " " + FormatNumber(range.values->lo) + " " + FormatNumber(range.values->hi);
}

std::optional<TUserRange> ParseUserRange(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    const bool automatic = words.size() == 3 && words[2] == "auto";
    if (!automatic && words.size() != 4) return std::nullopt;
    std::string error;
    const std::optional<TAxisSpan> x = CheckSpan(words[0], words[1], error);
    if (!x) return std::nullopt;
    if (automatic) return TUserRange{*x, std::nullopt};
    const std::optional<TAxisSpan> values = CheckSpan(words[2], words[3], error);
    if (!values) return std::nullopt;
    return TUserRange{*x, values};
}

}  // namespace zeltrak
