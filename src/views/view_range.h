#pragma once
#include <optional>
#include <string>
#include <vector>

namespace zeltrak {

// A stretch of an axis, lo below hi.
struct TAxisSpan {
    double lo = 0.0;
    double hi = 1.0;
};

// The span scaled by factor (below 1 zooms in) about anchor, which keeps its place on the
// axis; a logarithmic axis is scaled in ratios (lo and anchor above 0).
TAxisSpan ZoomAbout(TAxisSpan span, double anchor, double factor, bool logarithmic);

// The span moved inside limits without changing its width where it fits, cut to the limits
// where it does not, and widened about its centre to at least minFraction of the limits (in
// ratios on a logarithmic axis), so that zooming in cannot collapse the axis.
TAxisSpan ClampSpan(TAxisSpan span, TAxisSpan limits, bool logarithmic, double minFraction);

// The extremes the automatic value axis is chosen from, held so that the axis does not jump
// from frame to frame: a value outside widens them at once, values inside never narrow them;
// Reset (a new run, the user's reset) lets the next data set them afresh.
class TValueHold {
public:
    // The held extremes after taking in the data's (NaN: no data, nothing changes).
    TAxisSpan Take(double dataMin, double dataMax);
    void Reset() { held_ = false; }

private:
    bool held_ = false;
    TAxisSpan span_;
};

// The gridline values of a value axis over span: the whole multiples of step inside it, highest
// first, so that a zoomed span from -37.48 to -12.2 is marked at -15, -20, … -35.
std::vector<double> ValueAxisTicks(TAxisSpan span, double step);

// The range a user chose for a view: the x span, and the value span or none for the
// automatic value axis.
struct TUserRange {
    TAxisSpan x;
    std::optional<TAxisSpan> values;
};

// The range as it is typed into the range dialog, in the x axis's display unit.
struct TRangeEntry {
    std::string xFrom, xTo, valueFrom, valueTo;
    bool automaticValues = true;
};

// What an x entry must keep to: inside the data's axis (in display units), above 0 on a
// logarithmic axis.
struct TRangeLimits {
    TAxisSpan x;
    bool logarithmic = false;
    std::string unit;
};

// The entry as a range (in display units), or the message that says why it is refused.
struct TRangeCheck {
    std::optional<TUserRange> range;
    std::string error;
};
TRangeCheck CheckRangeEntry(const TRangeEntry& entry, const TRangeLimits& limits);

// The whole of a text as a finite number ("1e3", " -12.5 "); nothing for anything else.
std::optional<double> ParseRangeNumber(const std::string& text);

// The range as one line for the settings file: "10 22000 -120 0", or "10 22000 auto".
std::string FormatUserRange(const TUserRange& range);
// Reads FormatUserRange's text back; nothing for malformed text, non-finite numbers or a
// span whose from is not below its to.
std::optional<TUserRange> ParseUserRange(const std::string& text);

}  // namespace zeltrak
