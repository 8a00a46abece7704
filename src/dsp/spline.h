#pragma once
#include <cstdint>
#include <vector>

namespace zeltrak {

// One point of a frequency curve: frequency in Hz and a value (a level in dB for weighting
// and compensation curves).
struct CurvePoint {
    float x = 0.0f;
    float y = 0.0f;
};

// A natural cubic spline through points of non-decreasing abscissa (both end second
// derivatives 0). With fewer than 3 points, or no usable set-up, every value is 0.
//
// Equal or falling abscissae end the set-up there: the curve up to that point is a natural
// spline, beyond it straight segments; an interval of zero width is evaluated as a step
// instead of dividing by zero.
class TSpline {
public:
    TSpline() = default;
    explicit TSpline(std::vector<CurvePoint> points);

    float Evaluate(float x) const;
    uint32_t Count() const { return static_cast<uint32_t>(points_.size()); }
    const std::vector<CurvePoint>& Points() const { return points_; }
    const std::vector<float>& SecondDerivatives() const { return y2_; }

private:
    std::vector<CurvePoint> points_;
    std::vector<float> y2_;
    bool ready_ = false;
};

}  // namespace zeltrak
