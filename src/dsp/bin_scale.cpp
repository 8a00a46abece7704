#include "dsp/bin_scale.h"

#include <algorithm>
#include <cmath>

#include "dsp/calibration_units.h"
#include "dsp/weighting.h"

namespace zeltrak {

bool TBinScale::Init(const BinAxis& axis, uint32_t fftSize, float halfRange, float psdFactor) {
    axis_ = axis;
    fftSize_ = fftSize;
    halfRange_ = halfRange;
    psdFactor_ = psdFactor;
    factors_ = AllocateSpectral<float>(axis.bins);
    return factors_ != nullptr;
}

void TBinScale::Compute() {
    // The packed transform's factor 2 and the N of the sum leave a full-scale sine on a bin
    // at 1.0 before the gain.
    double s = gain_ / (static_cast<double>(fftSize_) * halfRange_) / psdFactor_;
    if (calibrated_) {
        if (calibration_.LabelType == 1)
            s *= 0.7071067811865;
        else if (calibration_.LabelType == 2)
            s *= 2.0;
    }
    const int32_t integration = calibrated_ ? calibration_.IntegrationType : 0;
    constexpr double kTwoPi = 2.0 * 3.141592654;
    for (uint32_t k = 0; k < axis_.bins; ++k) {
        double v = s;
        if (weighting_) v *= weighting_[k];
        if (compensation_) v /= compensation_[k];
        const double f = axis_.BinFrequency(k);
        if (f > 0.0001) {
            if (integration == 1)
                v /= kTwoPi * f;
            else if (integration == 2)
                v /= (kTwoPi * f) * (kTwoPi * f);
        }
        // a record holding junk must not turn every later value into NaN or infinity
        factors_[k] = std::isfinite(v) ? static_cast<float>(v) : 0.0f;
    }
}

void TBinScale::SetCalibration(const CalibrationRecord* record, int channel) {
    calibrated_ = record != nullptr && record->IsEnabled != 0;
    gain_ = 1.0f;
    if (calibrated_) {
        calibration_ = *record;
        if (channel == 0 || channel == 1) {
            const double ratio = channel == 0 ? record->CalRatioLeft : record->CalRatioRight;
            const float g = static_cast<float>(ratio * UnitConversionFactor(record->ConversionType));
            gain_ = std::isfinite(g) ? g : 1.0f;
        }
    } else {
        calibration_ = CalibrationRecord{};
    }
    Compute();
}

bool TBinScale::Store(const std::vector<float>& factors, SpectralBuffer<float>& out) {
    out = AllocateSpectral<float>(axis_.bins);
    if (!out) return false;
    std::copy(factors.begin(), factors.end(), out.get());
    return true;
}

bool TBinScale::SetWeighting(uint32_t standardWeighting) {
    weighting_.reset();
    const std::vector<float> factors = WeightingFactorsOnBins(standardWeighting, axis_);
    if (!factors.empty() && !Store(factors, weighting_)) return false;
    weightingCurve_ = standardWeighting;
    Compute();
    return true;
}

bool TBinScale::SetCompensation(const std::vector<CurvePoint>& points) {
    compensation_.reset();
    if (!points.empty() && !Store(LevelsToFactors(CurveOntoBins(points, axis_)), compensation_)) return false;
    Compute();
    return true;
}

}  // namespace zeltrak
