#pragma once
#include <cstdint>
#include <vector>

#include "dsp/bin_axis.h"
#include "dsp/spectral_buffer.h"
#include "dsp/spline.h"
#include "files/calibration_record.h"

namespace zeltrak {

// The factor every bin of a transform is multiplied with:
// 1 / (fftSize x halfRange) x gain / psdFactor x label-type factor x weighting
// / compensation, divided by 2 pi f (or its square) for integrated acceleration.
// Each setter rebuilds the factors. The setters that allocate return false when out of memory.
class TBinScale {
public:
    // The plain normalisation to full scale; false when the factors do not fit in memory.
    bool Init(const BinAxis& axis, uint32_t fftSize, float halfRange, float psdFactor);

    // record null (or not enabled): uncalibrated. Otherwise the record is copied and the gain
    // is the channel's ratio (channel 0 left, 1 right, -1 forces 1.0) times the conversion
    // factor.
    void SetCalibration(const CalibrationRecord* record, int channel);
    // Builds (1 A, 2 B, 3 C) or drops (0) the weighting factors per bin.
    bool SetWeighting(uint32_t standardWeighting);
    // A microphone's compensation curve interpolated onto the bins; no points drops it.
    bool SetCompensation(const std::vector<CurvePoint>& points);

    float* Factors() { return factors_.get(); }
    const float* Factors() const { return factors_.get(); }
    const float* Weighting() const { return weighting_.get(); }
    // The curve the weighting factors came from: 1 A, 2 B, 3 C, 0 none.
    uint32_t WeightingCurve() const { return weighting_ ? weightingCurve_ : 0; }
    const float* Compensation() const { return compensation_.get(); }
    bool Calibrated() const { return calibrated_; }
    const CalibrationRecord& Calibration() const { return calibration_; }
    float Gain() const { return gain_; }

private:
    // Per-bin amplitude factors into one of the arrays; false when out of memory.
    bool Store(const std::vector<float>& factors, SpectralBuffer<float>& out);
    void Compute();

    BinAxis axis_;
    uint32_t fftSize_ = 0;
    float halfRange_ = 1.0f;
    float psdFactor_ = 1.0f;
    SpectralBuffer<float> factors_;       // bins
    SpectralBuffer<float> weighting_;     // bins, or none
    SpectralBuffer<float> compensation_;  // bins, or none
    uint32_t weightingCurve_ = 0;
    bool calibrated_ = false;
    CalibrationRecord calibration_{};
    float gain_ = 1.0f;
};

}  // namespace zeltrak
