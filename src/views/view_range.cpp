#include "views/view_range.h"

#include <algorithm>
#include <cmath>

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

}  // namespace zeltrak
