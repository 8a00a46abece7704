#include "dsp/spectral_display.h"

#include <cmath>

#include "base/numeric.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_strings.h"

namespace zeltrak {

namespace {

// What the scaling adds to the amplitude label, so that a density or weighted level is not
// read as a plain amplitude.
constexpr const char* kSquaredPerHertzSuffix = ", PSD: Units^2/Hz";
constexpr const char* kPerRootHertzSuffix = ", PSD: Units/sqrt(Hz)";
// ", A weighted" ... by the curve number (1 A, 2 B, 3 C).
constexpr const char* kWeightedSuffixes[4] = {"", ", A weighted", ", B weighted", ", C weighted"};

double FiniteOr0(double v) { return std::isfinite(v) ? v : 0.0; }

// Band values are levels in dB of the band powers.
double BandDisplayValue(const TSpectralData& s, uint32_t index) {
    const float* values = s.BandAxis().Values();
    if (!values || index >= s.BandAxis().Count()) return 0.0;
    const bool coherence = s.CoherenceDone();
    const bool unitScale = s.Scale().Calibrated() && !s.IsRatio();
    const int32_t units = s.Scale().Calibration().RefUnits;
    const double db = values[index];
    // the no-value level stays the no-value level: it is no level a unit could shift
    const bool noValue = !(db > kNoDecibels) || !std::isfinite(db);
    if (s.InDecibels() && !coherence) return noValue ? kNoDecibels : db + (unitScale ? UnitOffsetDb(units) : 0.0);
    if (noValue) return 0.0;
    if (unitScale) return FiniteOr0(std::pow(10.0, 0.05 * (db + UnitOffsetDb(units))) * UnitReference(units));
    return FiniteOr0(coherence ? std::pow(10.0, (s.CoherenceSquared() ? 0.1 : 0.05) * db)
                               : std::pow(10.0, 0.05 * db) * (s.Scale().Calibrated() ? 1.0 : 100.0));
}

double BinDisplayValue(const TSpectralData& s, uint32_t index) {
    if (index >= s.Bins()) return 0.0;
    const bool coherence = s.CoherenceDone();
    const double p = s.AveragePower()[index];
    const double root = p > 0.0 ? std::sqrt(p) : 0.0;
    if (coherence && s.CoherenceSquared()) return std::isfinite(p) && p > 0.0 ? p : 0.0;
    const bool density = s.Density();
    if (!s.InDecibels()) {
        double v = (density && s.DensityUnit() == DensityUnits::SquaredPerHertz) ? p : root;
        if (!s.Scale().Calibrated() && !coherence) v *= 100.0;
        return FiniteOr0(v);
    }
    if (coherence) return FiniteOr0(root);
    double v;
    if (!density)
        v = s.AverageDb() ? s.AverageDb()[index] : PowerToDb(p);
    else
        v = s.DensityUnit() == DensityUnits::PerRootHertz ? AmplitudeToDb(root) : PowerToDb(p);
    if (!(v > kNoDecibels) || !std::isfinite(v)) return kNoDecibels;
    return s.Scale().Calibrated() && !s.IsRatio() ? v + UnitOffsetDb(s.Scale().Calibration().RefUnits) : v;
}

}  // namespace

double SpectralDisplayValue(const TSpectralData& s, uint32_t index) {
    if (s.Error()) return 0.0;
    return s.InBands() ? BandDisplayValue(s, index) : BinDisplayValue(s, index);
}

uint32_t SpectralValueCount(const TSpectralData& s) { return s.InBands() ? s.BandAxis().Count() : s.Bins(); }

float SpectralValueFrequency(const TSpectralData& s, uint32_t index) {
    if (!s.InBands()) return s.BinFrequency(index);
    const auto& bands = s.BandAxis().Records();
    return index < bands.size() ? bands[index].centre : 0.0f;
}

std::string SpectralLinearLabel(const TSpectralData& s) {
    return s.Scale().Calibrated() ? std::string(s.Scale().Calibration().LabelLinear) : kPercentFullScaleLabel;
}

std::string SpectralLogLabel(const TSpectralData& s) {
    return s.Scale().Calibrated() ? std::string(s.Scale().Calibration().LabelLog) : kRelativeAmplitudeLabel;
}

std::string SpectralValueLabel(const TSpectralData& s) {
    if (s.CoherenceDone()) return s.CoherenceSquared() ? kCoherenceSquaredLabel : kCoherenceMagnitudeLabel;
    std::string label = s.InDecibels() ? SpectralLogLabel(s) : SpectralLinearLabel(s);
    // Bands are band powers whatever the density setting; bins follow it.
    if (s.Density() && !s.InBands())
        label += s.DensityUnit() == DensityUnits::PerRootHertz ? kPerRootHertzSuffix : kSquaredPerHertzSuffix;
    if (s.Scale().WeightingCurve() < 4) label += kWeightedSuffixes[s.Scale().WeightingCurve()];
    // Power averaging of a cross spectrum averages |X||Y| per frame; only vector averaging
    // keeps the phase that lets uncorrelated parts cancel.
    if (s.HoldsCrossSpectrum())
        label += s.Averager().Type() == AveragingType::Vector ? kCrossVectorSuffix : kCrossPowerSuffix;
    return label;
}

}  // namespace zeltrak
