#pragma once

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

}  // namespace zeltrak
